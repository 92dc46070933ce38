// Comparing two patterns record by record: `qpkit compare`, and how the
// Windows stage proves that a run through Qpkit6.dll under wine gives what
// the same run gives on Linux.
//
// Both patterns are built in the store and read back, so a shorthand file
// and the records it stands for compare as the same. Every record of every
// kind must be there in both, with the same whole-number fields, the same
// point types and byte-identical formula texts (the library writes its
// numbers with its own code); numbers (coordinates, placements, sizes,
// widths, steps) may differ by the tolerance. Each difference is one line
// naming its place by the file's field path and giving both values.
// Units: millimetres (the tolerance too), centimetres for measurements.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/pattern_model.h"

namespace host {

struct Comparison {
    std::vector<std::string> differences;  // "<path>: <a> vs <b>", in file order
    double largestCoordinate = 0.0;        // largest |x or y difference| of a point, mm
    std::string largestAt;                 // its path, empty when every one is equal
};

Comparison comparePatterns(const PatternModel& a, const PatternModel& b, double tolerance);

// Exit status of `qpkit compare` when the patterns differ.
constexpr int kPatternsDiffer = 3;

// Prints every difference (the first 50, then how many more) and the
// largest coordinate difference; returns 0 when they are the same within
// `tolerance`, kPatternsDiffer otherwise.
int cmdCompare(const std::string& pathA, const std::string& pathB, double tolerance, std::ostream& out);

}  // namespace host

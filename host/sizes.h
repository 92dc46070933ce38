// Sizes: a pattern evaluated at other measurements (docs/sizes.md).
//
// A size is a name and a value for every measurement of the pattern. The
// user gives sizes on the command line (`--size NAME:B=96,W=80`, repeatable)
// or as a size chart (`--sizes CHART.csv`); readSizes is the one routine
// that reads them, for every subcommand. Measurements a size leaves out
// keep the pattern's own (base) values.
//
// Grading moves every point that has formulas to the coordinates its
// formulas give at the size, through the library's own evaluation
// (qpFormulaCalculation on the store's measurement table), and recomputes
// what follows from those positions: a special point's position along its
// line. Everything else is kept (see gradePattern).
// Units: measurements in centimetres, coordinates in millimetres.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "host/pattern_model.h"
#include "host/pattern_store.h"

namespace host {

struct Size {
    std::string name;
    // Every measurement of the pattern, by name, in centimetres.
    std::map<std::string, float> measurements;
    // Its values are the pattern's own.
    bool base = false;
};

// The sizes a command was given: the --size texts in their order and the
// --sizes chart (empty: none).
struct SizeOptions {
    std::vector<std::string> sizes;
    std::string chart;
    bool given() const { return !sizes.empty() || !chart.empty(); }
};

// A measurement value: digits with at most one decimal point (an optional
// sign), from 0 to kMaxMeasurementCm centimetres.
constexpr float kMaxMeasurementCm = 1000.0f;

// The sizes, in order: a `--size NAME` without values picks the chart's
// size of that name; without any pick, every size of the chart comes first,
// then the sizes defined by --size. `base` is the pattern's measurement
// table. Throws a one-line UserError naming the option, or the chart's file,
// line and column, for an unknown measurement, a bad value, a size named
// twice or a malformed chart.
std::vector<Size> readSizes(const SizeOptions& options, const std::map<std::string, float>& base);
// The pieces of readSizes, for tests: one --size text, and a chart's text.
Size parseSizeOption(const std::string& text, const std::map<std::string, float>& base);
std::vector<Size> parseSizeChart(const std::string& text, const std::string& fileName,
                                 const std::map<std::string, float>& base);

// The sizes with the base among them: when none of them is the base, a size
// named "base" with the pattern's values comes first.
std::vector<Size> withBase(std::vector<Size> sizes, const std::map<std::string, float>& base);

// "36, 38 (base), 40": the sizes' names, for messages and captions.
std::string sizeNames(const std::vector<Size>& sizes);
// "B=96 W=80": the measurements a size gives, for messages and reports.
std::string measurementsText(const std::map<std::string, float>& measurements);

// Sets the store's measurement table to the size and grades every piece of
// the document: each point with formulas gets the coordinates its formulas
// give (the value in cm x 10 mm); a point without formulas keeps its own;
// a special point on a line gets the position along that line of the point
// nearest its graded point. Kept: every other record (a notch's direction
// is a quarter turn from its line, so it follows the line; seam allowances
// are widths; grading rules are steps), the formula texts and the placement.
void gradePattern(PatternDoc& doc, const Size& size);
// buildPattern, then gradePattern.
PatternDoc gradedPattern(const PatternModel& model, const std::string& file, const Size& size);

// Points of the piece that keep their coordinates at every size: those
// without formulas.
int pointsWithoutFormulas(Piece* piece);

}  // namespace host

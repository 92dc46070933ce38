// What a tool run changed, for a pattern maker who walks the seams: per
// piece, the length of every outline and inner line before and after the
// run with the difference, and the points that moved, were added or were
// removed.
//
// A run renumbers points and lines, so the two pieces are matched, not
// compared index by index: points by an alignment of the two point lists
// (kept order; a point of the same type letter may move, an unmatched one
// was added or removed), lines by the positions of their end points. Pieces
// are matched by number; a piece the run appended is reported whole.
// Memory: reads both documents, keeps nothing. Units: millimetres, or
// inches when asked (units.h).
#pragma once

#include <string>

#include "host/pattern_store.h"
#include "host/units.h"

namespace host {

// Below this (mm, per axis) a point has not moved and a length not changed.
constexpr double kChangeTolerance = 0.005;

// The report as text, one piece after the other; a piece the run left
// exactly as it was gets one line.
std::string changeReport(const PatternDoc& before, const PatternDoc& after, const Units& units = {});
// The same for one piece: piece `beforePiece` of `before` against piece
// `afterPiece` of `after` (a tool may leave its result in a new piece).
std::string pieceChangeReport(const PatternDoc& before, int beforePiece, const PatternDoc& after, int afterPiece,
                              const Units& units = {});

}  // namespace host

// What a tool run changed, for a pattern maker who walks the seams: per
// piece, the length of every outline and inner line before and after the
// run with the difference, and the points that moved, were added or were
// removed.
//
// A run renumbers points and lines, so the two pieces are paired, not
// compared index by index. Points are paired by what the run did to them
// where the host followed it (an EditTrace: the store's own renumbering),
// and otherwise by an alignment of the two point lists (kept order; a point
// of the same type letter may move, an unmatched one was added or removed);
// the report says which. Lines are paired by their end points: the same
// points first, then the nearest. Pieces are paired by what they are: the
// piece the trace says it came from, else the piece of the same name, else
// the one whose extent it overlaps most; a piece the run made, or one it
// removed, is reported whole.
// Memory: reads both documents, keeps nothing. Units: millimetres, or
// inches when asked (units.h).
#pragma once

#include <string>
#include <vector>

#include "host/edit_trace.h"
#include "host/pattern_store.h"
#include "host/units.h"

namespace host {

// Below this (mm, per axis) a point has not moved and a length not changed.
constexpr double kChangeTolerance = 0.005;

// For each piece of `after`, the piece of `before` it is (-1: none): the
// trace's origin (when given and it followed the piece), else the one piece
// of the same name, else the unpaired piece whose bounding box it overlaps
// most (at least half of the two boxes' union).
std::vector<int> pairPieces(const PatternDoc& before, const PatternDoc& after, const EditTrace* trace = nullptr);

// The report as text, one piece after the other; a piece the run left
// exactly as it was gets one line.
std::string changeReport(const PatternDoc& before, const PatternDoc& after, const EditTrace* trace = nullptr,
                         const Units& units = {});
// The same for one piece: piece `beforePiece` of `before` against piece
// `afterPiece` of `after`, its points paired by `origin` when given (the
// trace's), else by their geometry.
std::string pieceChangeReport(const PatternDoc& before, int beforePiece, const PatternDoc& after, int afterPiece,
                              const PieceOrigin* origin = nullptr, const Units& units = {});

}  // namespace host

// Qpkit2's curve reshaping: turning a curve point into a corner, and making
// an arc of the stretch around a point. Both edit the piece in place through
// the store (qpInsertLine and field writes) and leave it consistent for the
// store's checker. The curve model they shape is in
// siblings/geometry/curve_model.h.
//
// qpModifyCurve2Turnp (pattern, piece, i)
//   Point i must lie inside a line L (lineIn = lineOut = L, not one of L's
//   end points), as a point inserted into a line by qpInsertPoint does. L is
//   split at i: L keeps firstPoint .. i, the new line L + 1 (qpInsertLine)
//   takes i .. L's old last point; i becomes a turning point 'K' of the same
//   case, with lineIn L and lineOut L + 1; the points after i on the old line
//   move to L + 1. Both parts keep L's kind (a part of an arc keeps its
//   circle), except that a part of two points gets kind 1: it is a chord in
//   any case. The line that followed L keeps its points (the store's insert
//   would otherwise hand its first stretch to the new line). Notches (SPoints) of L that lie beyond i move to L + 1 with
//   their position measured from i. A point that is not inside a line (a
//   chain end, a turning point, a mark, an index out of range) is left
//   alone: there is nothing to split.
//
// qpModifyCurve2Arcp (pattern, piece, i)
//   Point i must lie inside a line, as above. The stretch i - 1, i, i + 1
//   becomes a line of its own (split at i - 1 and at i + 1 where they are
//   inside the line, those points turning into corners as above) whose kind
//   is kArcLineKind: the circular arc through the three points. Otherwise
//   nothing changes.
#pragma once

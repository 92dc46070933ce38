// Pleat spread: the geometry of one cut, shared by the pleat tool
// (qpHandlePieceFold, an export) and its tests.
//
// Memory: the piece lives in a work buffer; only Coord x, y of existing
// points are rewritten, nothing is added or removed.
// Units: millimetres, radians.
#pragma once

#include "frame/records.h"

// An end of a pleat is open (the outline is cut there) from this width on.
constexpr float kPleatOpenMm = 1.0f;

// Opens `piece` along the pleat from point i0 to point i1 (i0 < i1; i1 is
// the twin when that end is open) by a millimetres at i0 and b at i1: the
// points from i0 + 1 up to i1 - 1 (the portion between the cuts), with the
// points of other segments on their side of the line, turn about the end with
// the smaller width so that the other end opens by the difference, then shift
// by the smaller width when both ends are open; equal widths shift straight
// away from the line. Does nothing for indices out of order or range, a pleat
// shorter than 0.1 mm, or a difference of widths beyond twice its length.
void SpreadPieceFold(Piece* piece, short i0, short i1, float a, float b);

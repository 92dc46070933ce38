// What the qpkit host needs of the geometry stand-in (Qpkit) beyond the
// sibling operations of frame/siblings.h. The library never includes this.
//
// qpCurve reads a piece's lines into a table on every call, which is right
// for the tools (they edit between calls) but makes a caller that measures
// or draws every line of a large piece, one call per line, pay for the whole
// piece per line. While a piece is held, qpCurve builds its table once per
// mode and reuses it for every call on that piece. The holder promises not
// to change the piece until it lets go; results are exactly those of
// unheld calls.
#pragma once

#include "frame/siblings.h"

// Holds `piece` (null: lets go of the held one). One piece at a time.
QP_SIBLING_EXPORT void geometryHoldPiece(Piece* piece);

// The curve model's samples of what qpCurve would draw for points first ..
// first + count - 1 (count <= 0: every stretch the mode allows), in piece
// millimetres, before any matrix and unrounded, handed to `sink` one by one
// as they come: each stretch starts with move = 1 at its first point, then
// its other samples with move = 0. For a host that needs the shape exactly
// (pictures within a hundredth of a millimetre, offsets of the outline),
// which a drawing rounded to whole pixels cannot give.
typedef void (*GeometrySampleSink)(void* context, int move, double x, double y);
QP_SIBLING_EXPORT void geometrySampleLines(Piece* piece, short first, short count, unsigned long mode,
                                           short resolution, GeometrySampleSink sink, void* context);

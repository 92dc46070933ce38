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

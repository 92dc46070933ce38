// Notch seating for the symmetry tool: once a piece's outline has its
// mirrored half, every notch ('v' point) is put on the outline again where
// the whole piece's curves say, with the line it lies on and its position
// along that line.
//
// Memory: reads and writes the piece in place through the store; keeps a
// scratch block of its own for the length of one call. Units: millimetres.
#pragma once

#include <vector>

#include "frame/records.h"

namespace symmetry {

// Seats every notch of piece n of `pattern` on the outline segment (the
// first of code 3, else the first of code 1): its point moves to the nearest
// point of the segment's lines; the special point takes the line that leaves
// the first stretch passing within kPartMatchMm of it on both axes, and the
// length along that line up to it. A notch that no stretch holds stays as it
// is, and so do the notches at the point indices `stay` names.
void seatNotches(PatternBuffer* pattern, short n, const std::vector<int>& stay = {});

// Notches are seated by asking the curve model about the whole piece, once
// per notch and stretch, as a check of the faster way (tests only).
void seatNotchesOnWholePiece(bool on);

}  // namespace symmetry

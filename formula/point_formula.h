// Point formula recalculation: formula texts for a new or moved point that
// follow the sizes like its neighbours' formulas and reproduce its position
// for the current size.
//
// Units: coordinates in millimetres, formula texts and parameter values in
// centimetres. Texts are handled as std::string, so no working text can
// overflow; a stored result is kept within kMaxPointFormula characters (the
// size of the callers' and the other formula routines' text buffers).
#pragma once

#include <string>

#include "frame/records.h"

namespace formula {

// Longest formula text this routine stores, terminating zero excluded.
constexpr size_t kMaxPointFormula = 79;

}  // namespace formula

// Blends two split expressions (texts without their constant terms): each
// parameter name of A gets the coefficient (sum of its terms in A x wA plus
// its terms in B x wB) / value; the terms of B whose names occur in A are
// folded in and cut out of B, the rest of B follows at the end with weight wB.
void BlendFormulas(Piece* piece, std::string& out, const std::string& a, std::string& b,
                   float wA, float wB);

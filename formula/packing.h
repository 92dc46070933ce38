// Expression packing: gathering like terms of a formula text
// (qpPackExpression) and of the bracket-free terms of a text that holds
// bracket groups (qpPackBracketsExpression).
//
// Memory: the text is the caller's and is rewritten in place only when the
// routine succeeds; all working texts are the routine's own fixed storage.
// Units: formula texts are centimetres; only text is rewritten, no variable
// is ever evaluated.
#pragma once

namespace ftext {

// Working storage of the packing. A text past any of these is refused
// (status 0, text unchanged): the term positions are signed 8-bit values,
// a term is read through a 32-byte scratch text, and the result is built
// in a 150-character working text.
constexpr int kPackMaxTerms = 10;
constexpr int kPackMaxText = 127;
constexpr int kPackMaxTerm = 31;
constexpr int kPackWorkText = 150;

// The bracket packing's own storage: the bracketed part (everything outside
// the bracket-free stretches) and the list of stretches.
constexpr int kBracketMaxBracketed = 79;
constexpr int kBracketMaxStretches = 9;

// qpPackExpression on a text whose buffer holds maxResult characters and its
// NUL. Status 1, -1 (a tiny divisor taken as 1) or 0 (refused: past the
// storage limits, a number too large for the number text, or a result longer
// than maxResult); on 0 the text is unchanged.
short PackExpressionWithin(char* text, int maxResult);

}  // namespace ftext

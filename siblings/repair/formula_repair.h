// Qpkit2's formula repair: splitting the constant off a formula text and
// rewriting point formulas so that they give the points' present positions.
//
// Memory: qpSplitFormulaNumeral writes only into the caller's expression
// buffer; qpAdjustFormula rewrites texts of the piece through the store
// (qpIncreaseString, qpDeleteString) and fetches every record again after
// each store call.
// Units: formula texts and their values in centimetres, coordinates in
// millimetres (10 times larger).
//
// qpSplitFormulaNumeral (text, expression, &rest)
//   The text's top-level terms (split at '+' and '-' outside brackets; a sign
//   right after an operator or '(' belongs to its term) are divided into
//   parametric terms (holding a letter) and constant terms (no letter). The
//   expression is the parametric terms in their order with their signs, less
//   a leading '+'; *rest is the sum of the constant terms' values. So
//   "H/4+2" gives "H/4" and 2, "-3+H" gives "H" and -3, "5" gives "" and 5.
//   A malformed text (formula_parse.h) gives "" and 0, the value it has as a
//   whole. The expression buffer holds kSplitExpressionSize bytes (the
//   callers' buffers); an expression that would not fit is refused: the
//   expression becomes "" and *rest is still the sum of the constant terms.
//   Null pointers are skipped. The split reads no parameter values, so a
//   text whose parametric part divides by ~0 for the present sizes (worth 0
//   as a whole) still reports its constants in *rest.
//
// qpAdjustFormula (pattern, piece, first, last)
//   Every point first .. last (clamped to the piece; first > last is an empty
//   range) whose formulaIndex names a Formula gets its x and y texts
//   rewritten as (parametric terms of the old text) + (a new constant), the
//   constant being the coordinate / 10 minus the value of those terms,
//   written by qpConvertFloat2String (three decimals: within 0.005 mm). A
//   constant that rounds to 0 is left out; an empty result is "0". A text
//   that already has that form is left as it is. A text that would exceed
//   qpformula::kFormulaTextLimit bytes (formula_terms.h) is written as the
//   constant alone (the position is kept, the parametric terms are lost). The old text is removed unless
//   another Formula shares it. Nothing happens when the piece carries no
//   formulas.
#pragma once

namespace qprepair {

constexpr int kSplitExpressionSize = 80;  // bytes, terminating zero included

}  // namespace qprepair

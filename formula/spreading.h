// Bracket spreading: multiplying the bracket groups of a formula text out
// (qpSpreadBracketsExpression), scaling every number of a bracket-free text
// (qpCalcuSubExpression), and the sign inversion they share.
//
// Memory: the text is the caller's, a 100-byte buffer (80 bytes suffice for
// the scaler), rewritten in place only when the routine succeeds; working
// texts are the routine's own, one set per level of nested groups. Units:
// formula texts are centimetres; factors have no unit.
#pragma once

namespace ftext {

// Working storage of the spreading. A text past any of these is refused
// (status 0, text unchanged). A segment is one top-level group's term with
// the bracket-free terms that travel with it; an inside is a group's text
// without its brackets (always shorter than its segment); the after-text is
// what follows the group's term within its segment.
constexpr int kSpreadMaxGroups = 9;
constexpr int kSpreadMaxSegment = 79;
constexpr int kSpreadMaxInside = 79;
constexpr int kSpreadMaxAfter = 39;
// The result must fit the callers' 100-byte texts with their NUL.
constexpr int kSpreadMaxResult = 99;
// Digits and points read for a trailing factor (")*m" or ")/m").
constexpr int kSpreadFactorDigits = 10;

// The scaler's text, also after "1*" was given to its bare names, and its
// result; and the longest single number it reads.
constexpr int kScaleMaxText = 79;
constexpr int kScaleMaxNumber = 9;

// Replaces every '+' by '-' and every '-' by '+', in place; the pair "+-"
// (one minus) becomes a single '+'. Always 1.
short InvertSigns(char* text);

// qpCalcuSubExpression with a factor in double: the spreading scales by the
// factor it computed, not by that factor rounded to float.
short ScaleWithin(char* text, char op, double x);

}  // namespace ftext

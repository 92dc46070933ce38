// Same-point insertion: the twin of an outline point, right after it, so that
// a tool can later open or stretch the outline between the two.
//
// Memory: every record lives in the store; pointers are fetched again after
// each store operation that adds records. Units: millimetres.
#pragma once

#include "frame/records.h"

// Gives `target` its own copies of the x and y formula texts of `source`.
// With `replace` non-zero the target's present texts are removed first.
// `source` may lie in the same piece; it is read before the area moves.
void CopyFormulaTexts(PatternBuffer* pattern, Piece* piece, const Formula* source,
                      Formula* target, short replace);

// SVG pictures of pieces, for a person to look at and to write scripts from.
//
// Each piece is drawn in its own panel in piece coordinates (millimetres, y
// up), the coordinates replay scripts use: the outline, the curves as the
// geometry service draws them, inner lines, notches and marks, every point
// with its number, a 50 mm grid and the panel's corner coordinates, and,
// when asked, the piece as it was before, faintly underneath. One SVG unit is
// one millimetre. A nest draws one piece at several sizes in one panel.
#pragma once

#include <string>
#include <vector>

#include "host/pattern_store.h"

namespace host {

struct SvgOptions {
    std::vector<int> pieces;  // empty: every piece
    std::string title;        // drawn above the panels when not empty
    bool numbers = true;      // point numbers
    // An older state of the pattern: each drawn piece's lines in it are
    // drawn faintly under the piece's own, in the same piece coordinates.
    const PatternDoc* before = nullptr;
    int beforePiece = -1;  // the older piece to draw; -1: the same number
};

std::string renderSvg(const PatternDoc& doc, const SvgOptions& options);

// One size of a nest: its name and the pattern graded to it.
struct NestSize {
    std::string name;
    const PatternDoc* doc = nullptr;
    bool base = false;
};

// The nest of sizes: each asked piece (options.pieces; empty: every piece
// of the first size's pattern) in one panel, every size's outline and inner
// lines over each other in piece coordinates, each size in its own colour,
// the base bold and black, and a legend naming the sizes. One scale for
// every size and panel: one SVG unit is one millimetre. options.before and
// options.numbers are not used.
std::string renderNestSvg(const std::vector<NestSize>& sizes, const SvgOptions& options);

}  // namespace host

// SVG pictures of pieces, for a person to look at and to write scripts from.
//
// Each piece is drawn in its own panel in piece coordinates (millimetres, y
// up), the coordinates replay scripts use: the outline, the curves as the
// geometry service draws them, inner lines, notches and marks, every point
// with its number, a 50 mm grid and the panel's corner coordinates. One SVG
// unit is one millimetre.
#pragma once

#include <string>
#include <vector>

#include "host/pattern_store.h"

namespace host {

struct SvgOptions {
    std::vector<int> pieces;  // empty: every piece
    std::string title;        // drawn above the panels when not empty
    bool numbers = true;      // point numbers
};

std::string renderSvg(const PatternDoc& doc, const SvgOptions& options);

}  // namespace host

// SVG pictures of pieces, for a person to look at and to write scripts from.
//
// Each piece is drawn in its own panel in piece coordinates (millimetres, y
// up), the coordinates replay scripts use: the outline and its cut line
// (the seam allowances, seam_allowance.h), the curves as the curve model
// samples them, inner lines, notches and marks, every point with its
// number, a 50 mm grid and the panel's corner coordinates, and, when asked,
// the piece as it was before, faintly underneath. One SVG unit is one
// millimetre. A nest draws one piece at several sizes in one panel.
//
// Reading: lines are the model's unrounded samples thinned to what stays
// within 0.005 mm of them (a straight stretch is one segment), written to
// 0.001 mm, so a drawn outline is as long as `qpkit info` says. Texts grow
// with the picture (a text unit of 1 up to a page of kTextPage mm, in
// proportion beyond), so that they read the same however large the pieces
// are; point numbers sit beside their points, or out along a leader line
// where points crowd, never over another number or point; titles and
// captions widen their picture or panel to fit.
#pragma once

#include <string>
#include <vector>

#include "host/pattern_store.h"

namespace host {

// A piece of a document, for what a picture must also make room for.
struct PieceRef {
    const PatternDoc* doc = nullptr;
    int piece = -1;
};

struct SvgOptions {
    std::vector<int> pieces;  // empty: every piece
    std::string title;        // drawn above the panels when not empty
    bool numbers = true;      // point numbers
    // An older state of the pattern: each drawn piece's lines in it are
    // drawn faintly under the piece's own, in the same piece coordinates.
    const PatternDoc* before = nullptr;
    // The older piece of each piece (index: the piece's number; -1: none);
    // empty: the piece of the same number.
    std::vector<int> beforePieces;
    // Pieces whose extent the panels also take (all of them to every
    // panel), so that pictures of one run drawn apart (before, after) share
    // one frame and one scale.
    std::vector<PieceRef> alsoFit;
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
// every size and panel: one SVG unit is one millimetre. options.before,
// options.numbers and options.alsoFit are not used.
std::string renderNestSvg(const std::vector<NestSize>& sizes, const SvgOptions& options);

// Up to a page this large (mm, its longer side) the text unit is 1: point
// numbers 9 mm, titles 14 mm.
constexpr double kTextPage = 800.0;
// The width (SVG units) a text takes at a font size, as the pictures
// reckon it: per character, generous for a browser's sans-serif, so that
// texts placed apart stay apart. A point number's box is this wide and one
// font size high, centred 0.35 font sizes above its text's baseline.
double textWidth(const std::string& utf8, double fontSize);

}  // namespace host

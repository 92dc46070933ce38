// DXF files of other systems (and ours) as a pattern: qpkit import
// (docs/exchange.md).
//
// AAMA and ASTM files give a piece per block; a plain file a piece per
// closed polyline, with the open polylines inside it as its internal lines.
// A piece's outline is its sew line (layer 14; a closed polyline on layer 8,
// where some systems put the sew line beside the internal lines), else its
// cut line (layer 1). Point types come from the turn and curve points of
// layers 2 and 3 where the file has them; elsewhere corners are found by
// their angle and each smooth stretch between them gets the fewest curve
// points that our curve model takes within kFitMm of the file's polyline.
// Notches (layer 4 lines or points), drill holes (13), internal lines (8)
// and the piece's name (its "Piece Name:" text) are kept; where both a sew
// line and a cut line are given and the cut line is the sew line offset by
// a width per stretch, those widths become the seam allowances. The file
// carries no formulas: the coordinates are the pattern.
//
// Units: the file's (--units, else its header's $INSUNITS, else
// millimetres), read into millimetres.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/dxf.h"
#include "host/pattern_model.h"

namespace host {

// How far (mm) the curve through the chosen curve points may stray from a
// polyline that comes without them.
constexpr double kFitMm = 0.1;
// A polyline vertex where the line turns by more than this (degrees) is a
// corner.
constexpr double kCornerDegrees = 30.0;

struct ImportResult {
    PatternModel model;
    // One line each: what was read into what, and every kind of thing that
    // was skipped, once, with its count.
    std::vector<std::string> notes;
};

// The drawing as a pattern; `mmPerUnit` scales the file's numbers. A
// drawing that holds no piece is a UserError naming `file` and why.
ImportResult importDrawing(const dxf::Drawing& drawing, double mmPerUnit, const std::string& file);

// qpkit import: `units` is "" (the header's, else mm), "mm", "cm" or "inch".
int cmdImport(const std::string& dxfPath, const std::string& outPath, const std::string& units, std::ostream& out);

}  // namespace host

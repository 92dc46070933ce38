// A pattern as a DXF drawing in the AAMA/ASTM convention, or as plain
// polylines (docs/exchange.md says what is written and what is not).
//
// AAMA (the default): every piece one block, inserted where its placement
// puts it. In the block: the sew line (the outline, through the curve
// model's samples) on layer 14 and the cut line (seam_allowance.h) on layer
// 1 when the piece has seam allowances, else the outline on layer 1 alone;
// every turn point (S, K, and s, k on internal lines) on layer 2 and every
// curve point (C, M, c, m) on layer 3 as POINTs, so that a reader finds our
// curve points among the samples; notches on layer 4 as short lines from
// the notch along its direction, as long as its size (a line says where and
// which way, a point only where); drill holes and the other marks as points
// on layer 13; internal lines as open polylines on layer 8; the grain line on
// layer 7; the texts "Piece Name:", "Size:" and "Quantity:".
// ASTM: the same, and the boundary, internal lines and sew line again on the
// validation layers 84, 85 and 87, as the curves a reader should draw.
// Plain: modelspace polylines only, each piece's outline closed and its
// internal lines open, the pieces set apart in a row.
//
// Units: millimetres, piece coordinates in the blocks.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/dxf.h"
#include "host/pattern_store.h"
#include "host/sizes.h"

namespace host {

enum class DxfForm { kAama, kAstm, kPlain };

// One size of the pattern to write: its name ("" when the pattern is
// written at its own measurements alone) and the pattern at that size.
struct DxfSize {
    std::string name;
    const PatternDoc* doc = nullptr;
};

// The drawing of every piece at every size: blocks named PIECE-SIZE (PIECE
// alone without sizes; a later piece of the same name gets _2, _3, ...).
dxf::Drawing exportDrawing(const std::vector<DxfSize>& sizes, DxfForm form);

// A text as a DXF name: every run of characters other than letters, digits
// and '_' one '_' (so a '-' separates only the size of PIECE-SIZE), none at
// either end; `fallback` when nothing is left.
std::string dxfName(const std::string& text, const char* fallback);

// qpkit export: the pattern (at each size `sizes` gives, or at its own) to
// outPath.
int cmdExport(const std::string& patternPath, const std::string& outPath, DxfForm form, const SizeOptions& sizes,
              std::ostream& out);

}  // namespace host

// The lines of one piece as the curve model sees them (curve_model.h): which
// lines a mode allows, which point pairs are stretches, and the samples of a
// stretch.
//
// Memory: reads the piece's records through the store's getters when built
// and keeps only copies; the piece may change afterwards without harm, but
// the view then describes the old piece.
// Units: millimetres.
#pragma once

#include <vector>

#include "frame/records.h"
#include "siblings/geometry/curve_math.h"

namespace qpgeo {

class PieceLines {
public:
    // mode: qpCurve's mode argument (only its low bits are read).
    PieceLines(Piece* piece, unsigned long mode);

    int pointCount() const { return static_cast<int>(pointPos_.size()); }
    // The position of point i; false when i is out of range or its Coord is
    // missing.
    bool position(int i, Vec& out) const;
    // Searches snap to points only (mode kSnapOutlineVertices).
    bool verticesOnly() const { return verticesOnly_; }
    // The allowed line that holds points k and k + 1, or -1.
    int stretchLine(int k) const;
    // Point i lies on an allowed line.
    bool onAllowedLine(int i) const;
    // First point of line l (l valid).
    int lineFirst(int l) const { return lines_[l].first; }
    // Is line l an outline line (segment code 1 or 3, or unclaimed with an
    // upper-case first point)?
    bool isOutline(int l) const { return lines_[l].outline; }
    int lineCount() const { return static_cast<int>(lines_.size()); }
    int linePointCount(int l) const { return lines_[l].count; }
    bool lineUsable(int l) const { return lines_[l].usable; }

    // Samples of the stretch k, k + 1 (k must be a stretch).
    void samples(int k, int resolution, std::vector<Vec>& out) const;
    // Sampled length of the stretch k, k + 1 (0 when it is not a stretch).
    double stretchLength(int k, int resolution) const;

private:
    struct LineInfo {
        int first = 0;
        int count = 0;
        bool arc = false;
        bool outline = false;
        bool code3 = false;
        bool usable = false;   // in range, every Coord present
        bool allowed = false;  // usable and allowed by the mode
        LineShape shape;
    };
    std::vector<LineInfo> lines_;
    std::vector<Vec> pointPos_;
    std::vector<bool> pointValid_;
    std::vector<int> stretchLine_;  // per k: the allowed line of k, k + 1, or -1
    std::vector<bool> onAllowed_;
    bool verticesOnly_ = false;
};

}  // namespace qpgeo

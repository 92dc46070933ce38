#include "siblings/geometry/piece_lines.h"

#include "frame/siblings.h"
#include "siblings/geometry/curve_model.h"

namespace qpgeo {

namespace {

enum class LineClass { None, Outline, Code3, Inner };

LineClass classOfSegCode(int code) {
    switch (code) {
        case 1: return LineClass::Outline;
        case 3: return LineClass::Code3;
        case 2:
        case 4: return LineClass::Inner;
        default: return LineClass::None;  // marks: firstLine names an SPoint
    }
}

}  // namespace

PieceLines::PieceLines(Piece* piece, unsigned long mode) {
    const unsigned long low = mode & ~qpcurve::kModeWholePiece;
    verticesOnly_ = low == qpcurve::kSnapOutlineVertices;
    if (piece == nullptr) return;

    const int nPoints = piece->pointCount > 0 ? piece->pointCount : 0;
    const int nLines = piece->lineCount > 0 ? piece->lineCount : 0;
    const int nSegs = piece->segCount > 0 ? piece->segCount : 0;
    const int nCoords = piece->coordCount > 0 ? piece->coordCount : 0;

    pointPos_.assign(nPoints, Vec{});
    pointValid_.assign(nPoints, false);
    std::vector<char> upper(nPoints, 0);
    for (int i = 0; i < nPoints; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, static_cast<short>(i), &p);
        if (p == nullptr) continue;
        upper[i] = isOutlineType(p->type) ? 1 : 0;
        if (p->coordIndex < 0 || p->coordIndex >= nCoords) continue;
        Coord* c = nullptr;
        qpGetCoordLptr(piece, p->coordIndex, &c);
        if (c == nullptr) continue;
        pointPos_[i] = {c->x, c->y};
        pointValid_[i] = true;
    }

    // Which segment claims each line: the first line segment that lists it.
    std::vector<LineClass> claim(nLines, LineClass::None);
    bool hasCode3 = false;
    for (int s = 0; s < nSegs; ++s) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, static_cast<short>(s), &seg);
        if (seg == nullptr || seg->markFlag != 0) continue;  // firstLine names an SPoint
        const LineClass cls = classOfSegCode(seg->code);
        if (cls == LineClass::None) continue;
        for (int l = seg->firstLine; l < seg->firstLine + seg->lineCount; ++l) {
            if (l < 0 || l >= nLines || claim[l] != LineClass::None) continue;
            claim[l] = cls;
            if (cls == LineClass::Code3) hasCode3 = true;
        }
    }

    lines_.resize(nLines);
    for (int l = 0; l < nLines; ++l) {
        LineInfo& info = lines_[l];
        Line* line = nullptr;
        qpGetLineLptr(piece, static_cast<short>(l), &line);
        if (line == nullptr) continue;
        info.first = line->firstPoint;
        info.count = line->pointCount;
        info.arc = line->kind == qpcurve::kArcLineKind;
        if (info.count < 2 || info.first < 0 || info.first + info.count > nPoints) continue;
        info.usable = true;
        std::vector<Vec> pts;
        for (int i = info.first; i < info.first + info.count; ++i) {
            if (!pointValid_[i]) {
                info.usable = false;
                break;
            }
            pts.push_back(pointPos_[i]);
        }
        if (!info.usable) continue;
        switch (claim[l]) {
            case LineClass::Outline: info.outline = true; break;
            case LineClass::Code3: info.outline = info.code3 = true; break;
            case LineClass::Inner: break;
            case LineClass::None: info.outline = upper[info.first] != 0; break;
        }
        switch (low) {
            case qpcurve::kSnapOutline:
            case qpcurve::kSnapOutlineVertices: info.allowed = info.outline; break;
            case qpcurve::kSnapCode3: info.allowed = hasCode3 ? info.code3 : info.outline; break;
            default: info.allowed = true; break;
        }
        info.shape = makeLineShape(pts, info.arc);
    }

    stretchLine_.assign(nPoints, -1);
    onAllowed_.assign(nPoints, false);
    for (int l = 0; l < nLines; ++l) {
        const LineInfo& info = lines_[l];
        if (!info.allowed) continue;
        for (int i = info.first; i < info.first + info.count; ++i) {
            onAllowed_[i] = true;
            if (i + 1 < info.first + info.count && stretchLine_[i] < 0) stretchLine_[i] = l;
        }
    }
}

bool PieceLines::position(int i, Vec& out) const {
    if (i < 0 || i >= pointCount() || !pointValid_[i]) return false;
    out = pointPos_[i];
    return true;
}

int PieceLines::stretchLine(int k) const {
    if (k < 0 || k + 1 >= pointCount()) return -1;
    return stretchLine_[k];
}

bool PieceLines::onAllowedLine(int i) const {
    return i >= 0 && i < pointCount() && onAllowed_[i];
}

void PieceLines::samples(int k, int resolution, std::vector<Vec>& out) const {
    out.clear();
    const int l = stretchLine(k);
    if (l < 0) return;
    sampleStretch(lines_[l].shape, k - lines_[l].first, resolution, out);
}

double PieceLines::stretchLength(int k, int resolution) const {
    std::vector<Vec> s;
    samples(k, resolution, s);
    return polylineLength(s);
}

}  // namespace qpgeo

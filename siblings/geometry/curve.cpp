// qpCurve and qpGetPieceClockwise over the curve model of curve_model.h.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "frame/siblings.h"
#include "siblings/geometry/geometry_extras.h"
#include "siblings/geometry/curve_model.h"
#include "siblings/geometry/piece_lines.h"

using qpgeo::PieceLines;
using qpgeo::Vec;

namespace {

// Client pixels are ints; anything beyond this is off every screen and is
// clamped rather than converted out of int's range.
constexpr double kPixelLimit = 1.0e9;

struct Range {
    int lo = 0;
    int hi = -1;  // inclusive; hi < lo is empty
};

// The points a search or drawing covers: first .. first + count - 1 when
// count > 0, else the whole piece.
Range searchRange(const PieceLines& v, int first, int count) {
    Range r;
    if (count > 0) {
        r.lo = std::max(first, 0);
        r.hi = std::min(first + count - 1, v.pointCount() - 1);
    } else {
        r.lo = 0;
        r.hi = v.pointCount() - 1;
    }
    return r;
}

// The points a measure covers: like searchRange, but count <= 0 runs from
// `first` to the last point.
Range measureRange(const PieceLines& v, int first, int count) {
    Range r;
    r.lo = std::max(first, 0);
    r.hi = count > 0 ? std::min(first + count - 1, v.pointCount() - 1) : v.pointCount() - 1;
    return r;
}

// Sum of the stretch lengths k, k + 1 for k in from .. to - 1.
double lengthBetween(const PieceLines& v, int from, int to, int resolution) {
    double total = 0.0;
    for (int k = std::max(from, 0); k < to; ++k) total += v.stretchLength(k, resolution);
    return total;
}

struct Hit {
    bool found = false;
    int index = -1;       // the vertex, or the first point of the stretch
    Vec point;
    double distance = 0.0;
    double along = 0.0;   // within the stretch, for line hits
    bool vertex = false;
};

Hit nearestVertex(const PieceLines& v, const Range& r, Vec p) {
    Hit best;
    for (int i = r.lo; i <= r.hi; ++i) {
        Vec q;
        if (!v.onAllowedLine(i) || !v.position(i, q)) continue;
        const double d = qpgeo::distance(p, q);
        if (!best.found || d < best.distance) {
            best.found = true;
            best.index = i;
            best.point = q;
            best.distance = d;
            best.vertex = true;
        }
    }
    return best;
}

Hit nearestOnLines(const PieceLines& v, const Range& r, Vec p, int resolution) {
    Hit best;
    std::vector<Vec> s;
    for (int k = r.lo; k < r.hi; ++k) {
        if (v.stretchLine(k) < 0) continue;
        v.samples(k, resolution, s);
        const qpgeo::PolylineHit h = qpgeo::nearestOnPolyline(s, p);
        if (!best.found || h.distance < best.distance) {
            best.found = true;
            best.index = k;
            best.point = h.point;
            best.distance = h.distance;
            best.along = h.along;
        }
    }
    return best;
}

// Length along the lines up to a hit: from `first` when the search had a
// count, else from the first point of the line that holds it.
double lengthToHit(const PieceLines& v, const Hit& hit, int first, int count, int resolution) {
    int base;
    int upTo = hit.index;  // stretches base .. upTo - 1 are whole
    if (count > 0) {
        base = std::max(first, 0);
    } else if (hit.vertex) {
        // A vertex that ends a stretch is measured on the line it ends;
        // one that starts its line has length 0.
        const int l = v.stretchLine(hit.index - 1);
        base = l >= 0 ? v.lineFirst(l) : hit.index;
    } else {
        base = v.lineFirst(v.stretchLine(hit.index));
    }
    double total = lengthBetween(v, base, upTo, resolution);
    if (!hit.vertex) total += hit.along;
    return total;
}

void writeFar(short* index, float* length, float* x, float* y) {
    if (index) *index = -1;
    if (length) *length = 0.0f;
    if (x) *x = qpcurve::kFar;
    if (y) *y = qpcurve::kFar;
}

POINT toClient(const float* m, Vec p) {
    double X = p.x * m[0] + p.y * m[3] + m[6];
    double Y = p.x * m[1] + p.y * m[4] + m[7];
    if (!std::isfinite(X)) X = 0.0;
    if (!std::isfinite(Y)) Y = 0.0;
    X = std::clamp(X, -kPixelLimit, kPixelLimit);
    Y = std::clamp(Y, -kPixelLimit, kPixelLimit);
    return POINT{static_cast<LONG>(std::lround(X)), static_cast<LONG>(std::lround(Y))};
}

// The samples of every allowed stretch among the range, stretch by stretch.
template <class Visit>
void forEachSample(const PieceLines& v, int first, int count, int resolution, Visit visit) {
    const Range r = searchRange(v, first, count);
    std::vector<Vec> s;
    for (int k = r.lo; k < r.hi; ++k) {
        if (v.stretchLine(k) < 0) continue;
        v.samples(k, resolution, s);
        for (size_t i = 0; i < s.size(); ++i) visit(i == 0, s[i]);
    }
}

void draw(HDC hdc, const PieceLines& v, int first, int count, short style, short colour,
          int resolution, const float* m) {
    const int width = style == qpcurve::kStyleHighlight ? qpcurve::kHighlightWidth : 1;
    HPEN pen = CreatePen(PS_SOLID, width, qpcurve::paletteColour(colour));
    HGDIOBJ old = SelectObject(hdc, pen);
    if (count == 1) {
        Vec p;
        if (v.position(first, p)) {
            const POINT c = toClient(m, p);
            const int h = qpcurve::kPointCrossHalf;
            MoveToEx(hdc, c.x - h, c.y, nullptr);
            LineTo(hdc, c.x + h + 1, c.y);
            MoveToEx(hdc, c.x, c.y - h, nullptr);
            LineTo(hdc, c.x, c.y + h + 1);
        }
    } else {
        forEachSample(v, first, count, resolution, [&](bool move, Vec p) {
            const POINT c = toClient(m, p);
            if (move) MoveToEx(hdc, c.x, c.y, nullptr);
            else LineTo(hdc, c.x, c.y);
        });
    }
    SelectObject(hdc, old);
    DeleteObject(pen);
}

// The held piece (geometry_extras.h) and its tables, one per mode.
struct Held {
    Piece* piece = nullptr;
    std::map<unsigned long, std::unique_ptr<PieceLines>> tables;
};
Held& held() {
    static Held h;
    return h;
}

// The piece's table for the mode: the held piece's, built once, or one of
// its own in `own`.
const PieceLines* tableOf(Piece* piece, unsigned long mode, std::unique_ptr<PieceLines>& own) {
    if (piece == held().piece) {
        std::unique_ptr<PieceLines>& kept = held().tables[mode];
        if (!kept) kept.reset(new PieceLines(piece, mode));
        return kept.get();
    }
    own.reset(new PieceLines(piece, mode));
    return own.get();
}

}  // namespace

QP_SIBLING_EXPORT void geometryHoldPiece(Piece* piece) {
    held().piece = piece;
    held().tables.clear();
}

QP_SIBLING_EXPORT void geometrySampleLines(Piece* piece, short first, short count, unsigned long mode,
                                           short resolution, GeometrySampleSink sink, void* context) {
    if (piece == nullptr || sink == nullptr) return;
    const int res = resolution <= 0 ? qpcurve::kDefaultResolution
                                    : std::min<int>(resolution, qpcurve::kMaxResolution);
    std::unique_ptr<PieceLines> own;
    const PieceLines* table = tableOf(piece, mode, own);
    forEachSample(*table, first, count, res, [&](bool move, Vec p) { sink(context, move ? 1 : 0, p.x, p.y); });
}

QP_SIBLING_EXPORT void qpCurve(HDC hdc, Piece* piece, short op, long flags, short style,
                               unsigned long mode, short first, short count, short colour,
                               short resolution, short* index, float* length, float* x,
                               float* y, const float* m) {
    using namespace qpcurve;
    const int res = resolution <= 0 ? kDefaultResolution : std::min<int>(resolution, kMaxResolution);
    const long asks = flags & (kFlagNearestPoint | kFlagNearestOnLines | kFlagAtLength | kFlagLength);
    if (m == nullptr) {
        std::fprintf(stderr, "qpCurve: no matrix (op %d, flags 0x%lx): refused\n", op, static_cast<unsigned long>(flags));
        piece = nullptr;  // answered as for no piece: nothing drawn, nothing found
    }
    if (piece == nullptr) {
        if (asks & (kFlagNearestPoint | kFlagNearestOnLines | kFlagAtLength)) writeFar(index, length, x, y);
        else if (asks & kFlagLength && length) *length = 0.0f;
        return;
    }
    std::unique_ptr<PieceLines> own;
    const PieceLines& v = *tableOf(piece, mode, own);

    if (hdc != nullptr && (op == kOpDraw || asks == 0)) {
        draw(hdc, v, first, count, style, colour, res, m);
    }

    if (flags & (kFlagNearestPoint | kFlagNearestOnLines)) {
        if (x == nullptr || y == nullptr) {
            if (index) *index = -1;
            return;
        }
        const Vec p{*x, *y};
        const Range r = searchRange(v, first, count);
        const bool vertices = (flags & kFlagNearestPoint) || v.verticesOnly();
        const Hit hit = vertices ? nearestVertex(v, r, p) : nearestOnLines(v, r, p, res);
        if (!hit.found) {
            writeFar(index, length, x, y);
            return;
        }
        if (index) *index = static_cast<short>(hit.index);
        if (length) *length = static_cast<float>(lengthToHit(v, hit, first, count, res));
        *x = static_cast<float>(hit.point.x);
        *y = static_cast<float>(hit.point.y);
        return;
    }

    if (flags & kFlagAtLength) {
        Vec start;
        if (!v.position(first, start) || !v.onAllowedLine(first)) {
            writeFar(index, length, x, y);
            return;
        }
        const double want = length ? static_cast<double>(*length) : 0.0;
        const Range r = measureRange(v, first, count);
        Vec at = start;
        int atIndex = first;
        double walked = 0.0;
        std::vector<Vec> s;
        if (want > 0.0) {
            for (int k = first; k < r.hi && v.stretchLine(k) >= 0; ++k) {
                v.samples(k, res, s);
                const double len = qpgeo::polylineLength(s);
                atIndex = k;
                if (walked + len >= want) {
                    at = qpgeo::pointAlongPolyline(s, want - walked);
                    walked = want;
                    break;
                }
                walked += len;
                at = s.back();
            }
        }
        if (index) *index = static_cast<short>(atIndex);
        if (length) *length = static_cast<float>(walked);
        if (x) *x = static_cast<float>(at.x);
        if (y) *y = static_cast<float>(at.y);
        return;
    }

    if (flags & kFlagLength) {
        const Range r = measureRange(v, first, count);
        if (length) *length = static_cast<float>(lengthBetween(v, r.lo, r.hi, res));
    }
}

// The turning sense of the first outline chain: the chain starts at the
// first upper-case 'S' point and runs along its stretches; the sign of its
// shoelace area over the vertices decides (negative area = clockwise with y
// up). A piece without such a chain, or one of no area, gives -1.
QP_SIBLING_EXPORT short qpGetPieceClockwise(Piece* piece) {
    if (piece == nullptr) return -1;
    const PieceLines v(piece, qpcurve::kSnapOutline);
    int start = -1;
    for (int i = 0; i < v.pointCount() && start < 0; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, static_cast<short>(i), &p);
        if (p != nullptr && p->type == 'S') start = i;
    }
    if (start < 0) return -1;
    double twiceArea = 0.0;
    Vec a;
    if (!v.position(start, a)) return -1;
    const Vec origin = a;
    for (int k = start; v.stretchLine(k) >= 0; ++k) {
        Vec b;
        v.position(k + 1, b);
        twiceArea += (a.x - origin.x) * (b.y - origin.y) - (b.x - origin.x) * (a.y - origin.y);
        a = b;
    }
    return twiceArea < 0.0 ? 1 : -1;
}

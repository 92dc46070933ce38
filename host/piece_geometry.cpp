// Lengths and shapes of a piece read from the geometry service's own
// drawing (see piece_geometry.h).
#include "host/piece_geometry.h"

#include <cmath>

#include "frame/curve_forms.h"
#include "frame/siblings.h"
#include "siblings/geometry/curve_model.h"
#include "host/host_window.h"
#include "siblings/geometry/geometry_extras.h"

namespace host {

namespace {

bool samePt(const Pt& a, const Pt& b) { return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9; }

}  // namespace

std::vector<short> outlineSegments(Piece* piece) {
    std::vector<short> segs;
    for (short s = 0; s < piece->segCount; ++s) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        if (seg && !seg->markFlag && (seg->code == 1 || seg->code == 3)) segs.push_back(s);
    }
    return segs;
}

namespace {

Piece* heldPiece = nullptr;

}  // namespace

PieceHold::PieceHold(Piece* piece) {
    if (heldPiece != nullptr) return;
    heldPiece = piece;
    geometryHoldPiece(piece);
    mine_ = true;
}

PieceHold::~PieceHold() {
    if (!mine_) return;
    heldPiece = nullptr;
    geometryHoldPiece(nullptr);
}

namespace {

// Draws through the service at kSampleScale and hands every MoveToEx/LineTo
// point to `sink` (in mm).
void drawThroughService(Piece* piece, short first, short count, unsigned long mode,
                        const std::function<void(bool, Pt)>& sink) {
    const float m[9] = {static_cast<float>(kSampleScale), 0, 0, 0, static_cast<float>(kSampleScale), 0, 0, 0, 1};
    traceDrawing(
        [&](HDC hdc) {
            short index = -1;
            float length = 0.0f, x = 0.0f, y = 0.0f;
            qpCurve(hdc, piece, qpcurve::kOpDraw, qpcurve::kDrawOnly, qpcurve::kStylePlain, mode, first, count,
                    qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index, &length, &x, &y, m);
        },
        [&](bool move, int px, int py) { sink(move, Pt{px / kSampleScale, py / kSampleScale}); });
}

}  // namespace

std::vector<Polyline> drawnLines(Piece* piece, short first, short count, unsigned long mode) {
    std::vector<Polyline> joined;
    if (!piece) return joined;
    // Each MoveToEx starts a stretch; a stretch that begins where the last
    // polyline ends continues it, and a stretch of one point is dropped.
    Pt start;
    bool starting = true;  // a LineTo before any MoveToEx starts at (0, 0)
    drawThroughService(piece, first, count, mode, [&](bool move, Pt p) {
        if (move) {
            start = p;
            starting = true;
            return;
        }
        if (starting) {
            if (joined.empty() || !samePt(joined.back().back(), start)) joined.push_back(Polyline{start});
            starting = false;
        }
        joined.back().push_back(p);
    });
    return joined;
}

void visitModelSamples(Piece* piece, short first, short count, const std::function<void(bool, Pt)>& visit) {
    if (!piece) return;
    geometrySampleLines(
        piece, first, count, qpcurve::kSnapAllLinesDefault, qpcurve::kDefaultResolution,
        [](void* context, int move, double x, double y) {
            (*static_cast<const std::function<void(bool, Pt)>*>(context))(move != 0, Pt{x, y});
        },
        const_cast<std::function<void(bool, Pt)>*>(&visit));
}

std::vector<Polyline> modelStretches(Piece* piece, short first, short count) {
    std::vector<Polyline> stretches;
    visitModelSamples(piece, first, count, [&](bool move, Pt p) {
        if (move || stretches.empty()) stretches.emplace_back();
        stretches.back().push_back(p);
    });
    return stretches;
}

std::vector<Polyline> modelLines(Piece* piece, short first, short count) {
    std::vector<Polyline> joined;
    for (Polyline& stretch : modelStretches(piece, first, count)) {
        if (stretch.size() < 2) continue;
        if (!joined.empty() && samePt(joined.back().back(), stretch.front()))
            joined.back().insert(joined.back().end(), stretch.begin() + 1, stretch.end());
        else
            joined.push_back(std::move(stretch));
    }
    return joined;
}

void visitDrawnPoints(Piece* piece, short first, short count, const std::function<void(bool, Pt)>& visit) {
    if (piece) drawThroughService(piece, first, count, 0, visit);
}

double lengthAlong(Piece* piece, short first, short last) {
    if (!piece) return 0.0;
    return frame::curveLength(piece, first, static_cast<short>(last - first + 1), qpcurve::kIdentity);
}

double lineLength(Piece* piece, short line) {
    Line* l = nullptr;
    qpGetLineLptr(piece, line, &l);
    if (!l || l->pointCount < 2) return 0.0;
    return lengthAlong(piece, l->firstPoint, static_cast<short>(l->firstPoint + l->pointCount - 1));
}

bool pointAlongLine(Piece* piece, short line, double fraction, double& x, double& y) {
    Line* l = nullptr;
    if (piece && line >= 0 && line < piece->lineCount) qpGetLineLptr(piece, line, &l);
    if (!l || l->pointCount < 1) return false;
    const frame::CurveHit at = frame::pointAtLength(piece, l->firstPoint,
                                                    static_cast<float>(fraction * lineLength(piece, line)), qpcurve::kIdentity,
                                                    l->pointCount);
    if (at.x == qpcurve::kFar) return false;
    x = at.x;
    y = at.y;
    return true;
}

double outlineLength(Piece* piece) {
    double total = 0.0;
    if (!piece) return total;
    PieceHold hold(piece);
    for (short s : outlineSegments(piece)) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        for (short li = seg->firstLine; li < seg->firstLine + seg->lineCount; ++li) {
            total += lineLength(piece, li);
            qpGetSegLptr(piece, s, &seg);
        }
    }
    return total;
}

double outlineArea(Piece* piece) {
    double total = 0.0;
    if (!piece) return total;
    PieceHold hold(piece);
    // Each outline segment is one closed polygon: its lines' drawings in
    // order, a part that starts where the polygon ends continuing it. The
    // shoelace sum runs over the points as they come, so a piece of 16k
    // straight lines (some 650k samples) is never held whole.
    for (short s : outlineSegments(piece)) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        const short firstLine = seg->firstLine, lineCount = seg->lineCount;
        Pt first, last;
        size_t count = 0;
        double twice = 0.0;
        for (short li = firstLine; li < firstLine + lineCount; ++li) {
            Line* l = nullptr;
            qpGetLineLptr(piece, li, &l);
            if (!l || l->pointCount < 2) continue;
            for (const Polyline& part : drawnLines(piece, l->firstPoint, l->pointCount)) {
                const size_t start = (count > 0 && samePt(last, part.front())) ? 1 : 0;
                for (size_t i = start; i < part.size(); ++i) {
                    if (count == 0) first = part[i];
                    else twice += last.x * part[i].y - part[i].x * last.y;
                    last = part[i];
                    ++count;
                }
            }
        }
        if (count < 3) continue;
        twice += last.x * first.y - first.x * last.y;  // closing the polygon
        total += std::fabs(twice) / 2.0;
    }
    return total;
}

std::vector<short> zeroLengthLines(Piece* piece) {
    std::vector<short> zero;
    if (!piece) return zero;
    PieceHold hold(piece);
    for (short li = 0; li < piece->lineCount; ++li) {
        Line* l = nullptr;
        qpGetLineLptr(piece, li, &l);
        if (l && l->pointCount >= 2 && lineLength(piece, li) < kZeroLineMm) zero.push_back(li);
    }
    return zero;
}

bool pointPosition(Piece* piece, short i, double& x, double& y) {
    Point* p = nullptr;
    qpGetPointLptr(piece, i, &p);
    if (!p) return false;
    Coord* c = nullptr;
    qpGetCoordLptr(piece, p->coordIndex, &c);
    if (!c) return false;
    x = c->x;
    y = c->y;
    return true;
}

Polyline lineSamples(Piece* piece, short line) {
    Line* l = nullptr;
    qpGetLineLptr(piece, line, &l);
    Polyline shape;
    if (!l || l->pointCount < 2) return shape;
    // Stretch by stretch, so that every point of the line is a vertex.
    for (const Polyline& stretch : modelStretches(piece, l->firstPoint, l->pointCount)) {
        const Polyline part = simplified(stretch);
        if (part.empty()) continue;
        shape.insert(shape.end(), part.begin() + (!shape.empty() && samePt(shape.back(), part.front()) ? 1 : 0),
                     part.end());
    }
    return shape;
}

void placeSpecialPoints(Piece* piece) {
    for (short s = 0; s < piece->sPointCount; ++s) {
        SPoint* sp = nullptr;
        Line* line = nullptr;
        double x = 0.0, y = 0.0;
        qpGetSPointLptr(piece, s, &sp);
        if (!sp || sp->lineIndex < 0 || sp->lineIndex >= piece->lineCount || sp->pointIndex < 0 ||
            sp->pointIndex >= piece->pointCount)
            continue;
        qpGetLineLptr(piece, sp->lineIndex, &line);
        if (!line || line->pointCount < 2 || !pointPosition(piece, sp->pointIndex, x, y)) continue;
        // As the point-increase tool measures a notch it places: the
        // length along the line from its first point to the nearest
        // point of the line.
        const frame::CurveHit hit = frame::nearestOnLines(piece, static_cast<float>(x), static_cast<float>(y),
                                                          qpcurve::kIdentity, line->firstPoint, line->pointCount);
        if (hit.index >= 0) sp->position = hit.along;
    }
}

namespace {

double distanceToChord(const Pt& p, const Pt& a, const Pt& b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
    if (len < 1e-12) return std::hypot(p.x - a.x, p.y - a.y);
    return std::fabs((p.x - a.x) * dy - (p.y - a.y) * dx) / len;
}

}  // namespace

// Douglas-Peucker.
Polyline simplified(const Polyline& line) {
    if (line.size() < 3) return line;
    std::vector<bool> keep(line.size(), false);
    keep.front() = keep.back() = true;
    std::vector<std::pair<size_t, size_t>> spans{{0, line.size() - 1}};
    while (!spans.empty()) {
        const auto [a, b] = spans.back();
        spans.pop_back();
        size_t far = a;
        double worst = 0.0;
        for (size_t i = a + 1; i < b; ++i) {
            const double d = distanceToChord(line[i], line[a], line[b]);
            if (d > worst) {
                worst = d;
                far = i;
            }
        }
        if (worst > kLineTolerance) {
            keep[far] = true;
            spans.push_back({a, far});
            spans.push_back({far, b});
        }
    }
    Polyline out;
    for (size_t i = 0; i < line.size(); ++i)
        if (keep[i]) out.push_back(line[i]);
    return out;
}

}  // namespace host

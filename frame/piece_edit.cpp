// Editing steps shared by the tools.
#include "frame/piece_edit.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "frame/exports.h"
#include "frame/handler_frame.h"
#include "frame/siblings.h"

namespace frame {

Point* pointAt(Piece* piece, int i) {
    Point* p = nullptr;
    qpGetPointLptr(piece, static_cast<short>(i), &p);
    return p;
}
Line* lineAt(Piece* piece, int i) {
    Line* l = nullptr;
    qpGetLineLptr(piece, static_cast<short>(i), &l);
    return l;
}
Seg* segAt(Piece* piece, int i) {
    Seg* g = nullptr;
    qpGetSegLptr(piece, static_cast<short>(i), &g);
    return g;
}
SPoint* sPointAt(Piece* piece, int i) {
    SPoint* s = nullptr;
    qpGetSPointLptr(piece, static_cast<short>(i), &s);
    return s;
}

Coord* coordOfPoint(Piece* piece, int i) {
    const Point* p = pointAt(piece, i);
    if (!p) return nullptr;
    Coord* c = nullptr;
    qpGetCoordLptr(piece, p->coordIndex, &c);
    return c;
}

bool positionOf(Piece* piece, short i, float& x, float& y) {
    const Coord* c = coordOfPoint(piece, i);
    if (!c) return false;
    x = c->x;
    y = c->y;
    return true;
}

bool positionOf(Piece* piece, short i, double& x, double& y) {
    const Coord* c = coordOfPoint(piece, i);
    if (!c) return false;
    x = c->x;
    y = c->y;
    return true;
}

std::string formulaText(Piece* piece, int i, bool yText) {
    const Point* p = pointAt(piece, i);
    if (p == nullptr) return "";
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, p->formulaIndex, &f);
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    if (f == nullptr || area == nullptr) return "";
    const short offset = yText ? f->yTextOffset : f->xTextOffset;
    const short length = yText ? f->yTextLength : f->xTextLength;
    if (offset < 0 || length < 1 || offset + length > n) return "";
    return std::string(area + offset, strnlen(area + offset, static_cast<size_t>(length - 1)));
}

namespace {

bool near(float ax, float ay, float bx, float by, float tolerance) {
    return std::fabs(ax - bx) < tolerance && std::fabs(ay - by) < tolerance;
}

template <class R, class Get>
short indexIn(Piece* piece, const R* record, short count, Get get) {
    if (!piece || !record || count <= 0) return -1;
    R* base = nullptr;
    get(piece, 0, &base);
    if (!base) return -1;
    // Byte arithmetic: a pointer from elsewhere is a valid question here.
    const auto from = reinterpret_cast<std::uintptr_t>(base);
    const auto at = reinterpret_cast<std::uintptr_t>(record);
    if (at < from || (at - from) % sizeof(R) != 0) return -1;
    const std::uintptr_t k = (at - from) / sizeof(R);
    return k < static_cast<std::uintptr_t>(count) ? static_cast<short>(k) : -1;
}

}  // namespace

bool resolveLine(Piece* piece, short picked, ResolvedLine& out) {
    out = ResolvedLine{};
    Point* p = nullptr;
    qpGetPointLptr(piece, picked, &p);
    if (!p) return false;
    // A middle point of a line holds it in both lineIn and lineOut; a first
    // point only in lineOut, a last point only in lineIn.
    const short li = p->lineOut >= 0 ? p->lineOut : p->lineIn;
    Line* line = nullptr;
    qpGetLineLptr(piece, li, &line);
    if (!line || line->pointCount < 1 || line->firstPoint < 0 ||
        line->firstPoint + line->pointCount > piece->pointCount)
        return false;
    out.first = line->firstPoint;
    out.pointCount = line->pointCount;
    const short s = line->firstPoint;
    const short e = static_cast<short>(s + line->pointCount - 1);
    float sx = 0, sy = 0, ex = 0, ey = 0;
    if (!positionOf(piece, s, sx, sy) || !positionOf(piece, e, ex, ey)) return false;
    for (short m = 0; m < piece->pointCount; ++m) {
        Point* q = nullptr;
        qpGetPointLptr(piece, m, &q);
        if (!isOutlineType(q->type)) continue;
        float mx = 0, my = 0;
        if (!positionOf(piece, m, mx, my)) continue;
        if (near(mx, my, ex, ey, kOutlineMatchMm)) {
            out.inner = s;
            out.outer = e;
            out.outlineHit = m;
            return true;
        }
        if (near(mx, my, sx, sy, kOutlineMatchMm)) {
            out.inner = e;
            out.outer = s;
            out.outlineHit = m;
            return true;
        }
    }
    return false;
}

namespace {

// The nearest point of line `line` to point `point`: the first point of the
// stretch that holds it and the length along the line up to it.
bool nearestOnLine(Piece* piece, short line, short point, short& part, float& length) {
    const Line* l = lineAt(piece, line);
    float x = 0, y = 0;
    if (!l || l->firstPoint < 0 || l->pointCount < 2 || l->firstPoint + l->pointCount > piece->pointCount ||
        !positionOf(piece, point, x, y))
        return false;
    part = -1;
    length = 0;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, l->firstPoint, l->pointCount, qpcurve::kColourDefault,
            qpcurve::kDefaultResolution, &part, &length, &x, &y, nullptr);
    return part >= 0;
}

}  // namespace

short partHolding(Piece* piece, short line, short point) {
    short part = -1;
    float length = 0;
    return nearestOnLine(piece, line, point, part, length) ? part : static_cast<short>(-1);
}

bool seatNotch(Piece* piece, short point) {
    float x = 0, y = 0, m[9];
    identity(m);
    if (!positionOf(piece, point, x, y)) return false;
    const short part = findPart(piece, x, y, m);
    const Point* p = pointAt(piece, part);
    short holding = -1;
    float length = 0;
    if (!p || !nearestOnLine(piece, p->lineOut, point, holding, length)) return false;
    for (short s = 0; s < piece->sPointCount; ++s) {
        SPoint* sp = sPointAt(piece, s);
        if (!sp || sp->pointIndex != point) continue;
        sp->lineIndex = p->lineOut;
        sp->position = length;
        return true;
    }
    return false;
}

void rotatePoints(Piece* piece, short first, short last, double theta, double cx, double cy) {
    float m[9];
    rotationAbout(theta, cx, cy, m);
    for (short j = first; j <= last; ++j) {
        Point* p = nullptr;
        qpGetPointLptr(piece, j, &p);
        if (!p) continue;
        Coord* c = nullptr;
        qpGetCoordLptr(piece, p->coordIndex, &c);
        if (!c) continue;
        Coord turned = *c;
        qpTransCoord(&turned, m, c);
        c->x = turned.x;
        c->y = turned.y;
    }
}

bool attachCoord(PatternBuffer* pattern, Piece* piece, short index, float x, float y, short a,
                 short b, short flags) {
    const bool formulas = piece->formulaCount != 0;
    Point* p = nullptr;
    qpGetPointLptr(piece, index, &p);
    if (!p) return false;
    const short coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern, piece, &c);
    if (!c) return false;
    c->pointIndex = index;
    c->x = x;
    c->y = y;
    qpGetPointLptr(piece, index, &p);
    p->coordIndex = coordIndex;
    if (!formulas) return true;
    const short formulaIndex = piece->formulaCount;
    Formula* f = nullptr;
    qpIncreaseFormula(pattern, piece, &f);
    if (!f) return true;
    qpGetCoordLptr(piece, coordIndex, &c);
    c->formulaIndex = formulaIndex;
    qpGetPointLptr(piece, index, &p);
    p->formulaIndex = formulaIndex;
    qpGetFormulaLptr(piece, formulaIndex, &f);
    qpCalcuPointFormula(pattern, piece, f, a, b, x, y, flags);
    return true;
}

short lineIndexOf(Piece* piece, const Line* line) {
    return indexIn(piece, line, piece ? piece->lineCount : 0, qpGetLineLptr);
}
short sPointIndexOf(Piece* piece, const SPoint* sPoint) {
    return indexIn(piece, sPoint, piece ? piece->sPointCount : 0, qpGetSPointLptr);
}
short pointIndexOf(Piece* piece, const Point* point) {
    return indexIn(piece, point, piece ? piece->pointCount : 0, qpGetPointLptr);
}

PointIndexMap::PointIndexMap(short pointCount) : now_(pointCount > 0 ? pointCount : 0) {
    for (size_t i = 0; i < now_.size(); ++i) now_[i] = static_cast<short>(i);
}

void PointIndexMap::inserted(short at) {
    unchanged_ = false;
    for (short& k : now_)
        if (k >= at) ++k;
}

void PointIndexMap::deleted(short at) {
    unchanged_ = false;
    for (short& k : now_) {
        if (k == at) k = -1;
        else if (k > at) --k;
    }
}

short PointIndexMap::current(short original) const {
    if (original < 0 || static_cast<size_t>(original) >= now_.size()) return -1;
    return now_[static_cast<size_t>(original)];
}

void remapGradingCodes(Piece* piece, const PointIndexMap& map) {
    if (map.unchanged()) return;
    for (short r = 0; r < piece->ruleCount; ++r) {
        Rule* rule = nullptr;
        qpGetRuleLptr(piece, r, &rule);
        if (!rule) continue;
        for (short k = 0; k < rule->pRuleCount; ++k) {
            PRule* pr = nullptr;
            qpGetPRuleLptr(piece, static_cast<short>(rule->firstPRule + k), &pr);
            if (!pr || pr->code < 100) continue;
            const short now = map.current(static_cast<short>(pr->code / 100));
            if (now < 0 || now >= kMaxGradingReference) continue;
            pr->code = static_cast<int16_t>(pr->code % 100 + 100 * now);
        }
    }
}

}  // namespace frame

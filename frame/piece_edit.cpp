// Editing steps shared by the tools.
#include "frame/piece_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "frame/curve_forms.h"
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
    float m[9];
    identity(m);
    const CurveHit hit = nearestOnLines(piece, x, y, m, l->firstPoint, l->pointCount);
    part = hit.index;
    length = hit.along;
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
    SPoint* sp = nullptr;
    for (short s = 0; s < piece->sPointCount && !sp; ++s)
        if (sPointAt(piece, s) && sPointAt(piece, s)->pointIndex == point) sp = sPointAt(piece, s);
    if (!sp) return false;
    const Point* p = pointAt(piece, findPart(piece, x, y, m));
    short holding = -1, line = p ? p->lineOut : static_cast<short>(-1);
    float length = 0;
    // No line passes that near (an edit reshaped the curve it was on): the
    // line it was on holds it still.
    if (!p || !nearestOnLine(piece, line, point, holding, length)) {
        line = sp->lineIndex;
        if (!nearestOnLine(piece, line, point, holding, length)) return false;
    }
    sp->lineIndex = line;
    sp->position = length;
    return true;
}

bool isOutlineNotch(Piece* piece, short sPoint) {
    const SPoint* sp = sPointAt(piece, sPoint);
    const Point* p = sp ? pointAt(piece, sp->pointIndex) : nullptr;
    const Line* line = sp ? lineAt(piece, sp->lineIndex) : nullptr;
    const Point* first = line ? pointAt(piece, line->firstPoint) : nullptr;
    return p && typeLetter(p->type) == 'V' && !isOutlineType(p->type) && first && isOutlineType(first->type);
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

PointIndexMap::PointIndexMap(Piece* piece) {
    const short count = piece != nullptr ? piece->pointCount : 0;
    now_.resize(static_cast<size_t>(std::max<short>(count, 0)));
    was_.resize(now_.size());
    for (short i = 0; i < count; ++i) {
        now_[static_cast<size_t>(i)] = i;
        const Point* p = pointAt(piece, i);
        Was& w = was_[static_cast<size_t>(i)];
        w.segment = p != nullptr ? p->segIndex : -1;
        w.onLine = p != nullptr && !isMarkType(p->type);
        w.x = w.y = 0;
        positionOf(piece, i, w.x, w.y);
    }
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

short PointIndexMap::heir(short original) const {
    if (original < 0 || static_cast<size_t>(original) >= now_.size()) return -1;
    if (now_[static_cast<size_t>(original)] >= 0) return original;
    const Was& gone = was_[static_cast<size_t>(original)];
    if (!gone.onLine) return -1;
    // A segment's points are consecutive: the nearest survivor each way
    // within it.
    auto survivor = [&](int step) -> short {
        for (int k = original + step; k >= 0 && k < static_cast<int>(now_.size()); k += step) {
            const Was& w = was_[static_cast<size_t>(k)];
            if (w.segment != gone.segment || !w.onLine) return -1;
            if (now_[static_cast<size_t>(k)] >= 0) return static_cast<short>(k);
        }
        return -1;
    };
    const short before = survivor(-1), after = survivor(+1);
    if (before < 0 || after < 0) return -1;
    auto distance = [&](short k) {
        const Was& w = was_[static_cast<size_t>(k)];
        return std::hypot(static_cast<double>(w.x) - gone.x, static_cast<double>(w.y) - gone.y);
    };
    return distance(after) < distance(before) ? after : before;
}

void GradingStepDrop::drop(short step) {
    PRule* pr = nullptr;
    qpGetPRuleLptr(piece_, step, &pr);
    if (pr == nullptr) return;
    if (spare_ < 0) {
        Point* p = nullptr;
        qpInsertPoint(pattern_, piece_, static_cast<short>(piece_->pointCount - 1), &p);
        spare_ = pointIndexOf(piece_, p);
        if (spare_ < 0) return;
        qpGetPRuleLptr(piece_, step, &pr);
    }
    pr->pointIndex = spare_;
    ++dropped_;
}

int GradingStepDrop::finish() {
    if (spare_ >= 0) qpDeletePoint(pattern_, piece_, spare_);
    spare_ = -1;
    return dropped_;
}

int remapGradingCodes(PatternBuffer* pattern, Piece* piece, const PointIndexMap& map) {
    if (map.unchanged()) return 0;
    GradingStepDrop drop(pattern, piece);
    for (short r = 0; r < piece->ruleCount; ++r) {
        Rule* rule = nullptr;
        qpGetRuleLptr(piece, r, &rule);
        if (!rule) continue;
        for (short k = 0; k < rule->pRuleCount; ++k) {
            const short step = static_cast<short>(rule->firstPRule + k);
            PRule* pr = nullptr;
            qpGetPRuleLptr(piece, step, &pr);
            if (!pr || pr->code < 100) continue;
            const short heir = map.heir(static_cast<short>(pr->code / 100));
            const short now = map.current(heir);
            if (now < 0 || now >= kMaxGradingReference) drop.drop(step);
            else pr->code = static_cast<int16_t>(pr->code % 100 + 100 * now);
            qpGetRuleLptr(piece, r, &rule);
        }
    }
    return drop.finish();
}

}  // namespace frame

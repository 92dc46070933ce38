// qpAdjustCurvePoint (hdc, pattern, piece, line, x, y, &first, &last, &index):
// puts a point on line `line` at (x, y) (millimetres).
//
// The stretch k, k + 1 of the line nearest to (x, y) holds it (qpCurve's
// line search over the line's points, curve_model.h). When (x, y) lies
// within kOnPointMm of k or k + 1, that point is the answer and nothing is
// inserted. Otherwise a point is inserted after k (qpInsertPoint: a 'C' of
// the line's case that the line gains), positioned exactly at (x, y) with a
// Coord of its own and, when the piece carries formulas, a Formula of its
// own whose texts are point k's parametric terms plus the constant that
// gives (x, y) (the new point follows the sizes as its neighbour does; a
// text too long for the formula routines is the constant alone). A point
// put on an arc line lies on its circle, so the line stays an arc.
//
// *index = the point at (x, y), or -1 when `line` names no usable line.
// pointCount grows by the number of points inserted (0 or 1). *first and
// *last are point indices the caller keeps (the pleat tool passes its row's
// two ends): each one after k is raised by the growth, so that it still
// names the same point. The library on Windows may read them, so a call
// whose first or last is missing or names no point of the piece is refused
// (one line on stderr, *index = -1, nothing inserted). hdc is not drawn
// into; the caller repaints.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "frame/siblings.h"
#include "siblings/geometry/curve_model.h"
#include "siblings/geometry/formula_terms.h"
#include "siblings/records/store_extras.h"

namespace {

constexpr double kOnPointMm = 0.01;

// Point k's text for one axis (0: x, 1: y), "" when it has none.
std::string pointText(Piece* piece, int k, int axis) {
    Point* p = nullptr;
    qpGetPointLptr(piece, static_cast<short>(k), &p);
    return p == nullptr ? std::string() : storeFormulaText(piece, p->formulaIndex, axis);
}

}  // namespace

QP_SIBLING_EXPORT void qpAdjustCurvePoint(HDC, PatternBuffer* pattern, Piece* piece, short line,
                                          float x, float y, short* first, short* last, short* index) {
    if (index) *index = -1;
    if (pattern == nullptr || piece == nullptr || line < 0 || line >= piece->lineCount) return;
    Line* l = nullptr;
    qpGetLineLptr(piece, line, &l);
    if (l == nullptr || l->pointCount < 2) return;
    const auto names = [piece](const short* i) { return i != nullptr && *i >= 0 && *i < piece->pointCount; };
    if (!names(first) || !names(last)) {
        std::fprintf(stderr, "qpAdjustCurvePoint: the first and last point indices name no points: refused\n");
        return;
    }

    short k = -1;
    float along = 0.0f, sx = x, sy = y;
    qpCurve(nullptr, piece, qpcurve::kOpSearch,
            qpcurve::kFlagMeasureGroup | qpcurve::kFlagNearestOnLines | qpcurve::kFlagLines, 0, 0,
            l->firstPoint, l->pointCount, -1, qpcurve::kDefaultResolution, &k, &along, &sx, &sy,
            qpcurve::kIdentity);
    if (k < 0) return;

    for (int end = k; end <= k + 1; ++end) {
        Point* p = nullptr;
        Coord* c = nullptr;
        qpGetPointLptr(piece, static_cast<short>(end), &p);
        if (p == nullptr) continue;
        qpGetCoordLptr(piece, p->coordIndex, &c);
        if (c != nullptr && std::hypot(c->x - x, c->y - y) <= kOnPointMm) {
            if (index) *index = static_cast<short>(end);
            return;
        }
    }

    const bool formulas = piece->formulaCount > 0;
    const std::string textX = formulas ? pointText(piece, k, 0) : "";
    const std::string textY = formulas ? pointText(piece, k, 1) : "";

    Point* p = nullptr;
    qpInsertPoint(pattern, piece, k, &p);
    const short added = static_cast<short>(k + 1);
    qpGetPointLptr(piece, added, &p);
    if (p == nullptr) return;
    const short coordIndex = piece->coordCount;
    const short formulaIndex = formulas ? piece->formulaCount : static_cast<short>(-1);
    p->coordIndex = coordIndex;
    if (formulas) p->formulaIndex = formulaIndex;

    Coord* c = nullptr;
    qpIncreaseCoord(pattern, piece, &c);
    if (c != nullptr) {
        c->pointIndex = added;
        c->formulaIndex = formulaIndex;
        c->x = x;
        c->y = y;
    }

    if (formulas) {
        Formula* f = nullptr;
        qpIncreaseFormula(pattern, piece, &f);
        const double target[2] = {x / 10.0, y / 10.0};
        const std::string* old[2] = {&textX, &textY};
        for (int axis = 0; axis < 2; ++axis) {
            std::string expression;
            double rest = 0.0;
            qpformula::splitConstantTerms(*old[axis], expression, rest);
            const double value = qpFormulaCalculation(piece, expression.c_str());
            storeWriteFormulaText(pattern, piece, formulaIndex, axis,
                      qpformula::fittedText(expression, value, target[axis]));
        }
    }

    if (first && *first > k) ++*first;
    if (last && *last > k) ++*last;
    if (index) *index = added;
}

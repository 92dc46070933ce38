// qpSplitFormulaNumeral and qpAdjustFormula; their rules are in
// formula_repair.h.
#include "siblings/repair/formula_repair.h"

#include <cmath>
#include <cstring>
#include <string>

#include "frame/siblings.h"
#include "siblings/geometry/formula_terms.h"
#include "siblings/records/store_extras.h"

namespace {

// Does a Formula other than (formula, axis) use the text at offset?
bool textShared(Piece* piece, int formula, int axis, short offset) {
    for (int j = 0; j < piece->formulaCount; ++j) {
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, static_cast<short>(j), &f);
        if (f == nullptr) continue;
        if (!(j == formula && axis == 0) && f->xTextLength > 0 && f->xTextOffset == offset) return true;
        if (!(j == formula && axis == 1) && f->yTextLength > 0 && f->yTextOffset == offset) return true;
    }
    return false;
}

// Rewrites one text (axis 0: x, 1: y) of Formula `fi` so that it gives
// `coordinate` (mm).
void adjustText(PatternBuffer* pattern, Piece* piece, int fi, int axis, double coordinate) {
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, static_cast<short>(fi), &f);
    if (f == nullptr) return;
    const short oldOffset = axis == 0 ? f->xTextOffset : f->yTextOffset;
    const short oldLength = axis == 0 ? f->xTextLength : f->yTextLength;

    // The old text, when its range lies inside the area; a damaged range is
    // neither read nor removed.
    short areaSize = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &areaSize, &area);
    const bool oldValid = area != nullptr && oldOffset >= 0 && oldLength > 0 &&
                          oldOffset + oldLength <= piece->charCount;
    const std::string oldText = storeFormulaText(piece, fi, axis);

    std::string expression;
    double rest = 0.0;
    qpformula::splitConstantTerms(oldText, expression, rest);
    const double value = qpFormulaCalculation(piece, expression.c_str());  // may add records
    const double target = coordinate / 10.0;
    const std::string text = qpformula::fittedText(expression, value, target);
    if (oldValid && text == oldText) return;

    storeWriteFormulaText(pattern, piece, fi, axis, text);
    if (oldValid && !textShared(piece, fi, axis, oldOffset)) {
        short n = 0;
        qpDeleteString(pattern, piece, &n, oldOffset, oldLength);
    }
}

}  // namespace

QP_SIBLING_EXPORT void qpSplitFormulaNumeral(const char* text, char* expression, float* rest) {
    std::string e;
    double r = 0.0;
    if (text != nullptr) qpformula::splitConstantTerms(text, e, r);
    if (e.size() + 1 > static_cast<size_t>(qprepair::kSplitExpressionSize)) e.clear();
    if (expression != nullptr) std::memcpy(expression, e.c_str(), e.size() + 1);
    if (rest != nullptr) *rest = static_cast<float>(r);
}

QP_SIBLING_EXPORT void qpAdjustFormula(PatternBuffer* pattern, Piece* piece, short first, short last) {
    if (pattern == nullptr || piece == nullptr || piece->formulaCount <= 0) return;
    const int lo = first < 0 ? 0 : first;
    for (int i = lo; i <= last && i < piece->pointCount; ++i) {
        for (int axis = 0; axis < 2; ++axis) {
            Point* p = nullptr;
            qpGetPointLptr(piece, static_cast<short>(i), &p);
            if (p == nullptr) break;
            const int fi = p->formulaIndex;
            if (fi < 0 || fi >= piece->formulaCount) break;
            if (p->coordIndex < 0 || p->coordIndex >= piece->coordCount) break;
            Coord* c = nullptr;
            qpGetCoordLptr(piece, p->coordIndex, &c);
            if (c == nullptr) break;
            adjustText(pattern, piece, fi, axis, axis == 0 ? c->x : c->y);
        }
    }
}

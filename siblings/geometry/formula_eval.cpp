// qpFormulaCalculation: the value of a formula text, grammar and defined
// results in formula_parse.h. Parameter values come from the store's
// measurement table (qpGetParaNameLptr); the store answers an unknown name
// with a record of value 0, so an unknown name is worth 0.
#include <cfloat>
#include <cmath>
#include <string>

#include "frame/siblings.h"
#include "siblings/geometry/formula_parse.h"

namespace {

struct StoreParameters {
    Piece* piece;
    double operator()(char first, char second) const {
        if (piece == nullptr) return 0.0;
        ParaName* p = nullptr;
        qpGetParaNameLptr(piece, first, second, &p);
        return p != nullptr ? static_cast<double>(p->value) : 0.0;
    }
};

}  // namespace

// A null piece evaluates every name as 0. The text is copied first: looking
// a name up may add a parameter record to the piece and so move a text that
// lies in the piece's own text area.
QP_SIBLING_EXPORT float qpFormulaCalculation(Piece* piece, const char* text) {
    if (text == nullptr) return 0.0f;
    const std::string copy(text);
    StoreParameters params{piece};
    const double v = qpformula::evaluate(copy.c_str(), params);
    if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) return 0.0f;
    return static_cast<float>(v);
}

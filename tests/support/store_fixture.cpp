// Test patterns built through the store (see store_fixture.h).
#include "tests/support/store_fixture.h"

#include <cstdio>

::testing::AssertionResult PieceConsistent(const Piece* piece) {
    std::string reason = storeCheckPieceText(piece);
    if (reason.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "checker: " << reason;
}

::testing::AssertionResult PatternConsistent(const PatternBuffer* pattern) {
    std::string reason = storeCheckPatternText(pattern);
    if (reason.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "checker: " << reason;
}

ShapePoint P(char type, float x, float y, const char* xFormula, const char* yFormula) {
    ShapePoint p;
    p.type = type;
    p.x = x;
    p.y = y;
    p.xFormula = xFormula;
    p.yFormula = yFormula;
    return p;
}

ShapeChain Chain(std::initializer_list<ShapePoint> points, bool close) {
    ShapeChain c;
    c.points = points;
    c.close = close;
    return c;
}

ShapeMark Mark(char type, float x, float y, int16_t lineIn, int16_t lineOut, int16_t segCode, int16_t segValue) {
    ShapeMark m;
    m.point = P(type, x, y);
    m.lineIn = lineIn;
    m.lineOut = lineOut;
    m.segCode = segCode;
    m.segValue = segValue;
    return m;
}

PieceShape RectangleShape(float w, float h) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', w, 0), P('K', w, h), P('K', 0, h)}, true));
    return shape;
}

PieceShape CurvedShape() {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 200, 0), P('K', 200, 100), P('C', 150, 120),
                                 P('C', 50, 120), P('K', 0, 100), P('K', 0, 0)}));
    return shape;
}

PieceShape CurvedWithInnerShape() {
    PieceShape shape = CurvedShape();
    shape.chains.push_back(Chain({P('s', 50, 50), P('c', 100, 60), P('k', 150, 50)}));
    return shape;
}

PieceShape CurvedWithFormulasShape() {
    PieceShape shape = CurvedWithInnerShape();
    for (ShapeChain& c : shape.chains)
        for (ShapePoint& p : c.points) {
            char x[32], y[32];
            std::snprintf(x, sizeof x, "0*H+%g", p.x / 10.0);
            std::snprintf(y, sizeof y, "0*BL+%g", p.y / 10.0);
            p.xFormula = x;
            p.yFormula = y;
        }
    return shape;
}

TestPattern::TestPattern(long capacity, short kind) : pattern_(storeNewPattern(capacity, kind)) {}

TestPattern::~TestPattern() { storeFreePattern(pattern_); }

Piece* TestPattern::add(const PieceShape& shape) {
    std::string error;
    Piece* piece = storeAppendPiece(&pattern_, shape, &error);
    if (piece == nullptr) ADD_FAILURE() << "the builder refused the piece: " << error;
    return piece;
}

Piece* TestPattern::piece(int i) const {
    Piece* p = nullptr;
    qpGetPieceLptr(pattern_, static_cast<short>(i), &p);
    return p;
}

// One getter for every record kind reached by index.
template <class T>
static T* get(void (*getter)(Piece*, short, T**), Piece* piece, int i) {
    T* record = nullptr;
    getter(piece, static_cast<short>(i), &record);
    return record;
}

Point* PointAt(Piece* piece, int i) { return get(qpGetPointLptr, piece, i); }
Line* LineAt(Piece* piece, int i) { return get(qpGetLineLptr, piece, i); }
Seg* SegAt(Piece* piece, int i) { return get(qpGetSegLptr, piece, i); }

Coord* CoordOf(Piece* piece, int point) {
    Point* p = PointAt(piece, point);
    return p == nullptr ? nullptr : get(qpGetCoordLptr, piece, p->coordIndex);
}

SPoint* SPointAt(Piece* piece, int i) { return get(qpGetSPointLptr, piece, i); }
Rule* RuleAt(Piece* piece, int i) { return get(qpGetRuleLptr, piece, i); }
PRule* PRuleAt(Piece* piece, int i) { return get(qpGetPRuleLptr, piece, i); }
Extwid* ExtwidAt(Piece* piece, int i) { return get(qpGetExtwidLptr, piece, i); }
Cutangl* CutanglAt(Piece* piece, int i) { return get(qpGetCutanglLptr, piece, i); }

Formula* FormulaOf(Piece* piece, int point) {
    Point* p = PointAt(piece, point);
    if (p == nullptr || piece->formulaCount == 0) return nullptr;
    return get(qpGetFormulaLptr, piece, p->formulaIndex);
}

static std::string textOf(Piece* piece, int point, bool x) {
    Point* p = PointAt(piece, point);
    return p == nullptr ? std::string() : storeFormulaText(piece, p->formulaIndex, x ? 0 : 1);
}

std::string FormulaX(Piece* piece, int point) { return textOf(piece, point, true); }
std::string FormulaY(Piece* piece, int point) { return textOf(piece, point, false); }

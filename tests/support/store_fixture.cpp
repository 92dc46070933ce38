// Test patterns built through the store (see store_fixture.h).
#include "tests/support/store_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tests/support/scene.h"

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

ShapeChain Chain(std::vector<ShapePoint> points, bool close, int16_t segCode, int16_t lineKind) {
    ShapeChain c;
    c.points = std::move(points);
    c.close = close;
    c.segCode = segCode;
    c.lineKind = lineKind;
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

void GiveFormulas(ShapeChain& chain, const char* xFormat, double xPer, const char* yFormat, double yPer) {
    for (ShapePoint& p : chain.points) {
        char x[48], y[48];
        std::snprintf(x, sizeof x, xFormat, p.x / xPer);
        std::snprintf(y, sizeof y, yFormat, p.y / yPer);
        p.xFormula = x;
        p.yFormula = y;
    }
}

PieceShape CurvedWithFormulasShape() {
    PieceShape shape = CurvedWithInnerShape();
    for (ShapeChain& c : shape.chains) GiveFormulas(c, "0*H+%g", 10.0, "0*BL+%g", 10.0);
    return shape;
}

namespace {

// A text worth `cm` of exactly `length` characters: zero terms ("0+", and
// "0/10+" for an odd padding) before the number.
std::string paddedText(double cm, size_t length) {
    char number[32];
    std::snprintf(number, sizeof number, "%g", cm);
    std::string text = number;
    size_t pad = length > text.size() ? length - text.size() : 0;
    if (pad % 2 == 1 && pad >= 5) {
        text = "0/10+" + text;
        pad -= 5;
    }
    while (pad >= 2) {
        text = "0+" + text;
        pad -= 2;
    }
    return text;
}

long builtTextBytes(const PieceShape& shape) {
    TestPattern scratch(1 << 16);
    const Piece* piece = scratch.add(shape);
    return piece ? piece->charCount : 0;
}

}  // namespace

PieceShape WithTextAreaFilled(PieceShape shape, long freeBytes, float x, float y) {
    shape.formulas = true;
    // Each filler point takes its two texts and their zeros: at most 78
    // characters each (the builder takes texts below 80 bytes).
    const long fill = 32767 - freeBytes - builtTextBytes(shape);
    const long n = std::max(2L, (fill + 149) / 150);
    ShapeChain line;
    for (long k = 0; k < n; ++k) {
        const long bytes = fill / n + (k < fill % n ? 1 : 0);
        const float px = x + 0.5f * static_cast<float>(k);
        ShapePoint p = P(k == 0 ? 's' : k + 1 == n ? 'k' : 'c', px, y);
        p.xFormula = paddedText(px / 10.0, static_cast<size_t>((bytes - 2) / 2));
        p.yFormula = paddedText(y / 10.0, static_cast<size_t>(bytes - 2 - (bytes - 2) / 2));
        line.points.push_back(p);
    }
    shape.chains.push_back(line);
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

void OutlineRange(Piece* piece, int& a, int& e) {
    // The outline is the first segment of code 1, not always segment 0: a
    // piece may store an inner line first.
    Seg* g = SegAt(piece, 0);
    for (int k = 0; g->code != 1 && k + 1 < piece->segCount; ++k) g = SegAt(piece, k + 1);
    a = LineAt(piece, g->firstLine)->firstPoint;
    Line* last = LineAt(piece, g->firstLine + g->lineCount - 1);
    e = last->firstPoint + last->pointCount - 1;
}

double PolygonArea(Piece* piece) {
    int a = 0, e = 0;
    OutlineRange(piece, a, e);
    double sum = 0;
    for (int i = a; i < e; ++i)
        sum += CoordOf(piece, i)->x * CoordOf(piece, i + 1)->y - CoordOf(piece, i + 1)->x * CoordOf(piece, i)->y;
    return std::fabs(sum) / 2;
}

PieceShape SquareShape() {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 100, 0), P('K', 100, 100), P('K', 0, 100)}, true));
    shape.chains.push_back(Chain({P('s', 20, 50), P('k', 80, 50)}));
    ShapeMark mark;
    mark.point = P('o', 50, 20);
    shape.marks.push_back(mark);
    return shape;
}

std::string PieceDump(Piece* piece) {
    if (!piece) return "(no piece)";
    std::string out;
    for (short i = 0; i < piece->pointCount; ++i) out += PointAt(piece, i)->type;
    out += "|";
    for (short i = 0; i < piece->lineCount; ++i) {
        const Line* l = LineAt(piece, i);
        out += (i ? " " : "") + std::to_string(l->firstPoint) + "+" + std::to_string(l->pointCount);
    }
    out += "|";
    for (short i = 0; i < piece->segCount; ++i) {
        const Seg* s = SegAt(piece, i);
        out += (i ? " " : "") + std::to_string(s->code) + (s->markFlag ? "m" : "") + ":" +
               std::to_string(s->firstLine) + "+" + std::to_string(s->lineCount);
    }
    return out;
}

std::string BytesOf(const Piece* piece) {
    return std::string(reinterpret_cast<const char*>(piece), static_cast<size_t>(piece->byteSize));
}

std::string BytesOf(const PatternBuffer* pattern) {
    return std::string(reinterpret_cast<const char*>(pattern), static_cast<size_t>(pattern->totalSize));
}

void PatternFixture::SetUp() {
#if QP_HAVE_DESKTOP
    deskReset();
#endif
    pattern_ = storeNewPattern(400000, kWorkBufferKind);
    ASSERT_NE(pattern_, nullptr);
}

void PatternFixture::TearDown() { storeFreePattern(pattern_); }

Piece* PatternFixture::build(const PieceShape& shape) {
    std::string error;
    Piece* piece = storeAppendPiece(&pattern_, shape, &error);
    EXPECT_NE(piece, nullptr) << error;
    return piece;
}

CurveResult curve(Piece* piece, short op, long flags, short style, unsigned long mode, short first, short count,
                  short colour, short resolution, float x, float y, float length, const float* m, HDC hdc) {
    CurveResult r;
    r.x = x;
    r.y = y;
    r.length = length;
    qpCurve(hdc, piece, op, flags, style, mode, first, count, colour, resolution, &r.index, &r.length, &r.x, &r.y,
            m);
    return r;
}

CurveResult nearestIn(Piece* piece, short first, short count, float x, float y) {
    using namespace qpcurve;
    return curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, first, count, kColourDefault,
                 kDefaultResolution, x, y);
}

float lengthOf(Piece* piece, short first, short count) {
    using namespace qpcurve;
    return curve(piece, kOpSearch, kMeasureLength, kStylePlain, kSnapAllLinesDefault, first, count, kColourDefault,
                 kDefaultResolution)
        .length;
}

CurveResult atLength(Piece* piece, short first, float length, short count) {
    using namespace qpcurve;
    return curve(piece, kOpSearch, kPointAtLength, kStylePlain, kSnapAllLinesDefault, first, count, kColourDefault,
                 kDefaultResolution, 0.0f, 0.0f, length);
}

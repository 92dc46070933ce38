// Reshaping lines at a point (corner, arc), putting a point on a curve, and
// rewriting point formulas to their coordinates. Every test that edits a
// piece ends with the store's checker.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "siblings/repair/formula_repair.h"
#include "tests/support/store_fixture.h"

namespace {

using namespace qpcurve;  // qpCurve's own words

Point pointOf(Piece* piece, int i) {
    Point* p = nullptr;
    qpGetPointLptr(piece, static_cast<short>(i), &p);
    EXPECT_NE(p, nullptr) << "point " << i;
    return p ? *p : Point{};
}

Line lineOf(Piece* piece, int l) {
    Line* p = nullptr;
    qpGetLineLptr(piece, static_cast<short>(l), &p);
    EXPECT_NE(p, nullptr) << "line " << l;
    return p ? *p : Line{};
}

Coord coordOf(Piece* piece, int i) {
    Coord* c = nullptr;
    qpGetCoordLptr(piece, pointOf(piece, i).coordIndex, &c);
    EXPECT_NE(c, nullptr) << "coord of point " << i;
    return c ? *c : Coord{};
}

// The x (axis 0) or y (axis 1) formula text of point i.
std::string textOf(Piece* piece, int i, int axis) {
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, pointOf(piece, i).formulaIndex, &f);
    if (f == nullptr) return "<no formula>";
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    return std::string(area + (axis == 0 ? f->xTextOffset : f->yTextOffset));
}

std::vector<char> bytesOf(const Piece* piece) {
    const char* b = reinterpret_cast<const char*>(piece);
    return std::vector<char>(b, b + piece->byteSize);
}

// A closed outline whose first line is a curve of five points, an inner
// curve line, and a notch on the outline curve.
//   points: 0 S(0,0) 1 C(40,30) 2 C(80,35) 3 C(120,20) 4 K(160,0) 5 K(160,-80) 6 K(0,0)
//           7 s(20,-40) 8 c(80,-30) 9 k(140,-40) 10 v (notch)
//   lines:  0: 0-4  1: 4-5  2: 5-6  3: 7-9
PieceShape curvedShape(float notchPosition) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('C', 40, 30), P('C', 80, 35), P('C', 120, 20), P('K', 160, 0),
                                 P('K', 160, -80)},
                                true));
    shape.chains.push_back(Chain({P('s', 20, -40), P('c', 80, -30), P('k', 140, -40)}));
    ShapeMark notch;
    notch.point = P('v', 0, 0);
    notch.segCode = 16;
    notch.segValue = 0;
    notch.lineIndex = 0;
    notch.position = notchPosition;
    shape.marks.push_back(notch);
    return shape;
}

SPoint notchOf(Piece* piece) {
    SPoint* s = nullptr;
    qpGetSPointLptr(piece, 0, &s);
    EXPECT_NE(s, nullptr);
    return s ? *s : SPoint{};
}

class Reshape : public PatternFixture {};

TEST_F(Reshape, TurnPointSplitsItsLine) {
    Piece* piece = build(curvedShape(10.0f));
    const short lines = piece->lineCount;
    const Coord before = coordOf(piece, 2);
    qpModifyCurve2Turnp(pattern_, piece, 2);

    EXPECT_EQ(piece->lineCount, lines + 1);
    EXPECT_EQ(pointOf(piece, 2).type, 'K');
    EXPECT_EQ(pointOf(piece, 2).lineIn, 0);
    EXPECT_EQ(pointOf(piece, 2).lineOut, 1);
    EXPECT_EQ(lineOf(piece, 0).firstPoint, 0);
    EXPECT_EQ(lineOf(piece, 0).pointCount, 3);
    EXPECT_EQ(lineOf(piece, 1).firstPoint, 2);
    EXPECT_EQ(lineOf(piece, 1).pointCount, 3);
    EXPECT_EQ(pointOf(piece, 3).lineIn, 1);
    EXPECT_EQ(pointOf(piece, 3).lineOut, 1);
    EXPECT_EQ(pointOf(piece, 4).lineIn, 1);
    EXPECT_EQ(pointOf(piece, 4).lineOut, 2);
    // The lines after it keep their points, one index further on.
    EXPECT_EQ(lineOf(piece, 2).firstPoint, 4);
    EXPECT_EQ(lineOf(piece, 2).pointCount, 2);
    EXPECT_EQ(lineOf(piece, 4).firstPoint, 7);
    EXPECT_EQ(pointOf(piece, 8).lineIn, 4);
    // Nothing moves.
    EXPECT_EQ(coordOf(piece, 2).x, before.x);
    EXPECT_EQ(coordOf(piece, 2).y, before.y);
    // The notch lies before the corner and stays on line 0.
    EXPECT_EQ(notchOf(piece).lineIndex, 0);
    EXPECT_FLOAT_EQ(notchOf(piece).position, 10.0f);
    expectConsistent(piece);
}

TEST_F(Reshape, TurnPointCarriesNotchesBeyondItToTheNewLine) {
    Piece* piece = build(curvedShape(130.0f));
    qpModifyCurve2Turnp(pattern_, piece, 2);
    const float head = lengthOf(piece, 0, 3);
    ASSERT_LT(head, 130.0f);
    EXPECT_EQ(notchOf(piece).lineIndex, 1);
    EXPECT_NEAR(notchOf(piece).position, 130.0f - head, kExact);
    expectConsistent(piece);
}

TEST_F(Reshape, TurnPointKeepsTheCaseOfInnerLines) {
    Piece* piece = build(curvedShape(10.0f));
    qpModifyCurve2Turnp(pattern_, piece, 8);
    EXPECT_EQ(pointOf(piece, 8).type, 'k');
    EXPECT_EQ(lineOf(piece, 3).pointCount, 2);
    EXPECT_EQ(lineOf(piece, 3).kind, 1) << "a part of two points is a chord";
    EXPECT_EQ(lineOf(piece, 4).firstPoint, 8);
    EXPECT_EQ(pointOf(piece, 9).lineIn, 4);
    expectConsistent(piece);
}

// A line still being drawn ends on a curve point (the point-increase tool's
// open line): split, that end goes with the second part, both ways.
TEST_F(Reshape, TurnPointInALineThatEndsOnACurvePoint) {
    Piece* piece = build(curvedShape(10.0f));
    Point* end = nullptr;
    qpGetPointLptr(piece, 9, &end);
    end->type = 'c';
    end->lineOut = end->lineIn;
    expectConsistent(piece);
    qpModifyCurve2Turnp(pattern_, piece, 8);
    EXPECT_EQ(pointOf(piece, 9).lineIn, 4);
    EXPECT_EQ(pointOf(piece, 9).lineOut, 4);
    expectConsistent(piece);
}

// A chain end, a turning point, a mark and an index out of range hold no
// line to split: the piece stays as it was, byte for byte.
TEST_F(Reshape, TurnPointLeavesNonInteriorPointsAlone) {
    Piece* piece = build(curvedShape(10.0f));
    const std::vector<char> before = bytesOf(piece);
    for (short i : {short(0), short(4), short(6), short(10), short(-1), short(99)}) {
        qpModifyCurve2Turnp(pattern_, piece, i);
        qpModifyCurve2Arcp(pattern_, piece, i);
        EXPECT_EQ(bytesOf(piece), before) << "point " << i;
    }
    qpModifyCurve2Turnp(pattern_, nullptr, 2);
    qpModifyCurve2Turnp(nullptr, piece, 2);
    EXPECT_EQ(bytesOf(piece), before);
    expectConsistent(piece);
}

// The point-increase tool's turn point: insert after a stretch, give the new
// point its coordinate, then make it a corner.
TEST_F(Reshape, InsertedPointBecomesACorner) {
    Piece* piece = build(SquareShape());
    Point* p = nullptr;
    qpInsertPoint(pattern_, piece, 1, &p);
    qpGetPointLptr(piece, 2, &p);
    ASSERT_EQ(p->type, 'C');
    p->coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern_, piece, &c);
    c->pointIndex = 2;
    c->x = 100.0f;
    c->y = 40.0f;
    qpModifyCurve2Turnp(pattern_, piece, 2);

    EXPECT_EQ(pointOf(piece, 2).type, 'K');
    EXPECT_EQ(lineOf(piece, 1).firstPoint, 1);
    EXPECT_EQ(lineOf(piece, 1).pointCount, 2);
    EXPECT_EQ(lineOf(piece, 2).firstPoint, 2);
    EXPECT_EQ(lineOf(piece, 2).pointCount, 2);
    EXPECT_EQ(lineOf(piece, 3).firstPoint, 3);
    EXPECT_NEAR(lengthOf(piece, 0, 6), 400.0f, kExact);
    expectConsistent(piece);
}

// The point-increase tool's arc point on a straight side: the side becomes
// the arc through its ends and the new point.
TEST_F(Reshape, InsertedPointOnAStraightSideMakesAnArc) {
    Piece* piece = build(SquareShape());
    Point* p = nullptr;
    qpInsertPoint(pattern_, piece, 0, &p);
    qpGetPointLptr(piece, 1, &p);
    p->coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern_, piece, &c);
    c->pointIndex = 1;
    c->x = 50.0f;
    c->y = -50.0f;  // (0,0), (50,-50), (100,0): a half circle about (50, 0)
    qpModifyCurve2Arcp(pattern_, piece, 1);

    EXPECT_EQ(lineOf(piece, 0).kind, qpcurve::kArcLineKind);
    EXPECT_EQ(lineOf(piece, 0).pointCount, 3);
    EXPECT_EQ(piece->lineCount, 5);
    const float arc = lengthOf(piece, 0, 3);
    EXPECT_NEAR(arc, 3.14159265f * 50.0f, 0.02f);  // the samples' chords are a little shorter
    const CurveResult quarter = atLength(piece, 0, arc / 4);
    EXPECT_NEAR(std::hypot(quarter.x - 50.0f, quarter.y), 50.0, 0.01);
    EXPECT_LT(quarter.y, 0.0f);
    expectConsistent(piece);
}

// Inside a longer curve the arc needs a line of its own: the neighbours turn
// into corners.
TEST_F(Reshape, ArcInsideACurveSplitsAroundIt) {
    Piece* piece = build(curvedShape(10.0f));
    qpModifyCurve2Arcp(pattern_, piece, 2);
    // line 0: 0-1, line 1: 1-3 (the arc), line 2: 3-4
    EXPECT_EQ(piece->lineCount, 6);
    EXPECT_EQ(pointOf(piece, 1).type, 'K');
    EXPECT_EQ(pointOf(piece, 2).type, 'C');
    EXPECT_EQ(pointOf(piece, 3).type, 'K');
    EXPECT_EQ(lineOf(piece, 0).pointCount, 2);
    EXPECT_EQ(lineOf(piece, 1).firstPoint, 1);
    EXPECT_EQ(lineOf(piece, 1).pointCount, 3);
    EXPECT_EQ(lineOf(piece, 1).kind, qpcurve::kArcLineKind);
    EXPECT_EQ(lineOf(piece, 2).firstPoint, 3);
    EXPECT_EQ(lineOf(piece, 2).pointCount, 2);
    EXPECT_EQ(pointOf(piece, 2).lineIn, 1);
    expectConsistent(piece);
}

// A point just inside a curve's end: only the far side needs a split.
TEST_F(Reshape, ArcAtTheStartOfACurve) {
    Piece* piece = build(curvedShape(10.0f));
    qpModifyCurve2Arcp(pattern_, piece, 1);
    EXPECT_EQ(lineOf(piece, 0).firstPoint, 0);
    EXPECT_EQ(lineOf(piece, 0).pointCount, 3);
    EXPECT_EQ(lineOf(piece, 0).kind, qpcurve::kArcLineKind);
    EXPECT_EQ(pointOf(piece, 2).type, 'K');
    EXPECT_EQ(lineOf(piece, 1).firstPoint, 2);
    EXPECT_EQ(lineOf(piece, 1).pointCount, 3);
    expectConsistent(piece);
}

TEST_F(Reshape, PointPutOnACurve) {
    Piece* piece = build(curvedShape(10.0f));
    const short points = piece->pointCount;
    const CurveResult on = atLength(piece, 0, 100.0f, 5);
    ASSERT_EQ(on.index, 2);
    short first = 0, last = 4, index = -9;
    qpAdjustCurvePoint(nullptr, pattern_, piece, 0, on.x, on.y, &first, &last, &index);

    EXPECT_EQ(index, 3);
    EXPECT_EQ(piece->pointCount, points + 1);
    EXPECT_EQ(first, 0) << "before the insertion: unchanged";
    EXPECT_EQ(last, 5) << "after the insertion: follows its point";
    EXPECT_EQ(pointOf(piece, 3).type, 'C');
    EXPECT_EQ(coordOf(piece, 3).x, on.x);
    EXPECT_EQ(coordOf(piece, 3).y, on.y);
    EXPECT_EQ(lineOf(piece, 0).pointCount, 6);
    // It lies on the line: the nearest point of the line is itself.
    const CurveResult found = nearestIn(piece, 0, 6, on.x, on.y);
    EXPECT_NEAR(found.x, on.x, kExact);
    EXPECT_NEAR(found.y, on.y, kExact);
    expectConsistent(piece);
}

// (x, y) on an existing point of the line: that point, nothing inserted.
TEST_F(Reshape, PointPutOnAnExistingPoint) {
    Piece* piece = build(curvedShape(10.0f));
    const std::vector<char> before = bytesOf(piece);
    short first = 0, last = 4, index = -9;
    qpAdjustCurvePoint(nullptr, pattern_, piece, 0, 80.0f, 35.0f, &first, &last, &index);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(last, 4);
    EXPECT_EQ(bytesOf(piece), before);
    qpAdjustCurvePoint(nullptr, pattern_, piece, 3, 20.0f, -40.0f, &first, &last, &index);
    EXPECT_EQ(index, 7);
    EXPECT_EQ(bytesOf(piece), before);
    expectConsistent(piece);
}

TEST_F(Reshape, PointPutOnNoLine) {
    Piece* piece = build(curvedShape(10.0f));
    const std::vector<char> before = bytesOf(piece);
    short first = 0, last = 0, index = 5;
    qpAdjustCurvePoint(nullptr, pattern_, piece, 17, 1.0f, 1.0f, &first, &last, &index);
    EXPECT_EQ(index, -1);
    qpAdjustCurvePoint(nullptr, pattern_, piece, -1, 1.0f, 1.0f, nullptr, nullptr, &index);
    EXPECT_EQ(index, -1);
    // A usable line, but ends that name no points: refused as well.
    const CurveResult on = atLength(piece, 0, 100.0f, 5);
    first = -1;
    last = -1;
    qpAdjustCurvePoint(nullptr, pattern_, piece, 0, on.x, on.y, &first, &last, &index);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(bytesOf(piece), before);
    expectConsistent(piece);
}

// A point put on an arc lies on its circle, and the line stays that arc.
TEST_F(Reshape, PointPutOnAnArc) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 100, 0), P('C', 70.710678f, 70.710678f), P('K', 0, 100)}, false, 0,
                                qpcurve::kArcLineKind));
    Piece* piece = build(shape);
    const CurveResult on = atLength(piece, 0, 40.0f);
    short first = 0, last = 2, index = -1;
    qpAdjustCurvePoint(nullptr, pattern_, piece, 0, on.x, on.y, &first, &last, &index);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(lineOf(piece, 0).kind, qpcurve::kArcLineKind);
    EXPECT_NEAR(lengthOf(piece, 0, 4), 3.14159265f * 50.0f, 0.02f);
    for (float len : {20.0f, 60.0f, 100.0f, 150.0f}) {
        const CurveResult p = atLength(piece, 0, len);
        EXPECT_NEAR(std::hypot(p.x, p.y), 100.0, kOnCurve) << len;
    }
    // A twin of it (the pleat tool doubles such a point) is a zero-length
    // stretch, not a whole turn of the circle.
    Point* twin = nullptr;
    qpInsertPoint(pattern_, piece, 1, &twin);
    qpGetPointLptr(piece, 2, &twin);
    twin->coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern_, piece, &c);
    c->pointIndex = 2;
    c->x = on.x;
    c->y = on.y;
    EXPECT_NEAR(lengthOf(piece, 1, 2), 0.0f, kExact);
    EXPECT_NEAR(lengthOf(piece, 0, 5), 3.14159265f * 50.0f, 0.02f);
    expectConsistent(piece);
    expectConsistent(piece);
}

class FormulaAdjust : public PatternFixture {
protected:
    void SetUp() override {
        PatternFixture::SetUp();
        storeClearParameters();
        ASSERT_TRUE(storeSetParameter("H", 40.0f));
        ASSERT_TRUE(storeSetParameter("BL", 20.0f));
    }
    void TearDown() override {
        storeClearParameters();
        PatternFixture::TearDown();
    }
    // A square with formulas: point 1 at x = H/4+6 (16 cm), y = 0;
    // point 2 at x = 2*(H/4)-4 = 16 cm, y = BL/2 = 10 cm.
    Piece* formulaSquare() {
        PieceShape shape;
        ShapePoint p0 = P('S', 0, 0), p1 = P('K', 160, 0), p2 = P('K', 160, 100), p3 = P('K', 0, 100);
        p1.xFormula = "H/4+6";
        p1.yFormula = "0";
        p2.xFormula = "2*(H/4)-4";
        p2.yFormula = "BL/2";
        p3.xFormula = "0";
        p3.yFormula = "BL/2";
        shape.chains.push_back(Chain({p0, p1, p2, p3}, true));
        shape.formulas = true;
        return build(shape);
    }
    static void moveTo(Piece* piece, int i, float x, float y) {
        Coord* c = nullptr;
        qpGetCoordLptr(piece, pointOf(piece, i).coordIndex, &c);
        c->x = x;
        c->y = y;
    }
    // The formulas give the coordinates within 0.1 mm.
    static void expectMatches(Piece* piece, int i) {
        const Coord c = coordOf(piece, i);
        EXPECT_NEAR(qpFormulaCalculation(piece, textOf(piece, i, 0).c_str()) * 10.0, c.x, 0.1) << "x of " << i;
        EXPECT_NEAR(qpFormulaCalculation(piece, textOf(piece, i, 1).c_str()) * 10.0, c.y, 0.1) << "y of " << i;
    }
};

struct AdjustCase {
    float x, y;
    const char* xText;
    const char* yText;
    const char* why;
};

// Point 2 moved to (x, y): its texts keep their parametric terms and get the
// constant that reaches the new coordinate.
TEST_F(FormulaAdjust, RewritesTheConstant) {
    const AdjustCase cases[] = {
        {160.0f, 100.0f, "2*(H/4)-4", "BL/2", "already matching: unchanged"},
        {172.5f, 100.0f, "2*(H/4)-2.75", "BL/2", "x moved 12.5 mm"},
        {200.0f, 85.0f, "2*(H/4)", "BL/2-1.5", "a constant of 0 is left out"},
        {123.456f, 100.0f, "2*(H/4)-7.654", "BL/2", "three decimals"},
        {200.0f, 100.0f, "2*(H/4)", "BL/2", "back to the terms alone"},
    };
    Piece* piece = formulaSquare();
    for (const AdjustCase& c : cases) {
        SCOPED_TRACE(c.why);
        moveTo(piece, 2, c.x, c.y);
        qpAdjustFormula(pattern_, piece, 2, 2);
        EXPECT_EQ(textOf(piece, 2, 0), c.xText);
        EXPECT_EQ(textOf(piece, 2, 1), c.yText);
        expectMatches(piece, 2);
        expectConsistent(piece);
    }
}

// The round trip: move points, adjust, and the formulas give the points back
// exactly; the old texts are removed, so the text area does not grow; the
// parametric terms still follow the sizes.
TEST_F(FormulaAdjust, RoundTrip) {
    Piece* piece = formulaSquare();
    const short before = piece->charCount;
    moveTo(piece, 1, 151.3f, -2.0f);
    moveTo(piece, 2, 170.0f, 104.44f);
    moveTo(piece, 3, -3.0f, 99.0f);
    qpAdjustFormula(pattern_, piece, 0, piece->pointCount - 1);
    for (int i = 0; i < piece->pointCount; ++i) expectMatches(piece, i);
    EXPECT_EQ(textOf(piece, 1, 0), "H/4+5.13");
    EXPECT_EQ(textOf(piece, 1, 1), "-0.2");
    EXPECT_EQ(textOf(piece, 3, 1), "BL/2-0.1");
    int texts = 0;
    for (int i = 0; i < piece->pointCount; ++i) {
        texts += static_cast<int>(textOf(piece, i, 0).size() + textOf(piece, i, 1).size() + 2);
    }
    EXPECT_EQ(piece->charCount, texts) << "the replaced texts are gone";
    EXPECT_GT(piece->charCount, before);
    expectConsistent(piece);

    // A bigger size moves the points through their parametric terms.
    ASSERT_TRUE(storeSetParameter("H", 44.0f));
    EXPECT_NEAR(qpFormulaCalculation(piece, textOf(piece, 1, 0).c_str()) * 10.0, 151.3 + 10.0, 0.01);
}

TEST_F(FormulaAdjust, RangeIsClampedAndOrdered) {
    Piece* piece = formulaSquare();
    moveTo(piece, 1, 150.0f, 0.0f);
    const std::vector<char> before = bytesOf(piece);
    qpAdjustFormula(pattern_, piece, 3, 1);  // empty range
    EXPECT_EQ(bytesOf(piece), before);
    qpAdjustFormula(pattern_, piece, -5, 1);
    EXPECT_EQ(textOf(piece, 1, 0), "H/4+5");
    qpAdjustFormula(pattern_, piece, 3, 500);
    expectMatches(piece, 4);
    expectConsistent(piece);
}

TEST_F(FormulaAdjust, PieceWithoutFormulasIsLeftAlone) {
    Piece* piece = build(SquareShape());
    Coord* c = nullptr;
    qpGetCoordLptr(piece, 1, &c);
    c->x = 123.0f;
    const std::vector<char> before = bytesOf(piece);
    qpAdjustFormula(pattern_, piece, 0, piece->pointCount - 1);
    EXPECT_EQ(bytesOf(piece), before);
    expectConsistent(piece);
}

// Replaces the x text of point i through the store, as another tool would.
void setXText(PatternBuffer* pattern, Piece* piece, int i, const std::string& text) {
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, pointOf(piece, i).formulaIndex, &f);
    const short oldOffset = f->xTextOffset, oldLength = f->xTextLength;
    short offset = 0;
    char* dst = nullptr;
    qpIncreaseString(pattern, piece, static_cast<short>(text.size() + 1), &offset, &dst);
    std::memcpy(dst, text.c_str(), text.size() + 1);
    qpGetFormulaLptr(piece, pointOf(piece, i).formulaIndex, &f);
    f->xTextOffset = offset;
    f->xTextLength = static_cast<short>(text.size() + 1);
    short n = 0;
    qpDeleteString(pattern, piece, &n, oldOffset, oldLength);
}

// A text that would grow past the formula routines' 100-byte buffers with
// its new constant is written as the constant alone: the position is what
// counts. Without a constant it still fits and keeps its terms.
TEST_F(FormulaAdjust, OverlongTextKeepsThePosition) {
    Piece* piece = formulaSquare();
    std::string longText = "H";
    while (longText.size() < 97) longText += "+H-H";
    ASSERT_EQ(longText.size(), 97u);  // worth H = 40 cm
    setXText(pattern_, piece, 1, longText);
    expectConsistent(piece);

    moveTo(piece, 1, 400.0f, 0.0f);
    qpAdjustFormula(pattern_, piece, 1, 1);
    EXPECT_EQ(textOf(piece, 1, 0), longText);
    moveTo(piece, 1, 1000.0f, 0.0f);
    qpAdjustFormula(pattern_, piece, 1, 1);
    EXPECT_EQ(textOf(piece, 1, 0), "100");
    expectMatches(piece, 1);
    expectConsistent(piece);
}

// A point put on a curve of a piece with formulas gets its own formula:
// its neighbour's terms and the constant that gives its position.
TEST_F(FormulaAdjust, PointPutOnALineGetsAFormula) {
    Piece* piece = formulaSquare();
    const short formulas = piece->formulaCount;
    short first = 1, last = 2, index = -1;
    qpAdjustCurvePoint(nullptr, pattern_, piece, 1, 160.0f, 30.0f, &first, &last, &index);
    ASSERT_EQ(index, 2);
    EXPECT_EQ(piece->formulaCount, formulas + 1);
    EXPECT_EQ(pointOf(piece, 2).formulaIndex, formulas);
    EXPECT_EQ(coordOf(piece, 2).formulaIndex, formulas);
    EXPECT_EQ(textOf(piece, 2, 0), "H/4+6");
    EXPECT_EQ(textOf(piece, 2, 1), "3");
    EXPECT_EQ(last, 3);
    expectMatches(piece, 2);
    expectConsistent(piece);
}

}  // namespace

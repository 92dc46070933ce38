// qpInsertSamePoint and CopyFormulaTexts: the twin of a turning or curve
// point, its line, coordinate and formula texts.
#include <gtest/gtest.h>

#include <string>

#include "frame/exports.h"
#include "frame/same_point.h"
#include "frame/siblings.h"
#include "tests/support/store_fixture.h"

namespace {

// Open outline S(0,0) K(100,0) C(150,50) K(200,0) K(300,0): line 0 = 0..1,
// line 1 = 1..3 (a curve), line 2 = 3..4; point 4 ends the chain.
PieceShape OpenShape(bool lowerCase = false) {
    PieceShape shape;
    const char s = lowerCase ? 's' : 'S', k = lowerCase ? 'k' : 'K', c = lowerCase ? 'c' : 'C';
    shape.chains.push_back(Chain({P(s, 0, 0), P(k, 100, 0), P(c, 150, 50), P(k, 200, 0),
                                 P(k, 300, 0)}));
    return shape;
}

PieceShape WithFormulas(PieceShape shape) {
    for (ShapeChain& chain : shape.chains)
        for (ShapePoint& p : chain.points) {
            p.xFormula = "H/4+" + std::to_string(static_cast<int>(p.x / 10));
            p.yFormula = std::to_string(static_cast<int>(p.y / 10));
        }
    return shape;
}

class SamePoint : public ::testing::Test {
protected:
    void SetUp() override { storeSetParameter("H", 0.0f); }
    TestPattern pattern{16384};
};

TEST_F(SamePoint, CurvePointTwinLiesOnTheSameLineWithoutANewLine) {
    Piece* piece = pattern.add(OpenShape());
    const short lines = piece->lineCount, coords = piece->coordCount;
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 2, &twin), 3);
    EXPECT_EQ(twin, PointAt(piece, 3));
    EXPECT_EQ(piece->lineCount, lines);
    EXPECT_EQ(piece->coordCount, coords + 1);
    EXPECT_EQ(twin->type, 'C');
    EXPECT_EQ(twin->lineIn, 1);
    EXPECT_EQ(twin->lineOut, 1);
    EXPECT_EQ(LineAt(piece, 1)->pointCount, 4);
    EXPECT_EQ(CoordOf(piece, 3)->x, 150.0f);
    EXPECT_EQ(CoordOf(piece, 3)->y, 50.0f);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, TurningPointWithOutgoingLineGetsATwoPointLine) {
    Piece* piece = pattern.add(OpenShape());
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 3, &twin), 4);
    // Line 1 ends at 3, new line 2 joins 3 and its twin 4, the old line 2 is
    // now line 3 and starts at the twin.
    EXPECT_EQ(PointAt(piece, 3)->lineOut, 2);
    EXPECT_EQ(twin->lineIn, 2);
    EXPECT_EQ(twin->lineOut, 3);
    EXPECT_EQ(LineAt(piece, 2)->firstPoint, 3);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 2);
    EXPECT_EQ(LineAt(piece, 3)->firstPoint, 4);
    EXPECT_EQ(LineAt(piece, 3)->pointCount, 2);
    EXPECT_EQ(LineAt(piece, 2)->joinPoint, 4);
    EXPECT_EQ(LineAt(piece, 2)->joinKind, LineAt(piece, 3)->kind);
    EXPECT_EQ(CoordOf(piece, 4)->x, 200.0f);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, TurningPointAtAnOpenEndGetsALineToItsTwin) {
    Piece* piece = pattern.add(OpenShape());
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 4, &twin), 5);
    EXPECT_EQ(PointAt(piece, 4)->lineOut, 3);
    EXPECT_EQ(twin->lineIn, 3);
    EXPECT_EQ(twin->lineOut, -1);
    EXPECT_EQ(LineAt(piece, 3)->firstPoint, 4);
    EXPECT_EQ(LineAt(piece, 3)->pointCount, 2);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, LowerCaseTurningPointKeepsItsCase) {
    Piece* piece = pattern.add(OpenShape(true));
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 1, &twin), 2);
    EXPECT_EQ(twin->type, 'k');
    EXPECT_EQ(twin->lineIn, 1);
    EXPECT_EQ(twin->lineOut, 2);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, RefusesOtherTypesNullsAndIndicesOutsideThePiece) {
    Piece* piece = pattern.add(OpenShape());
    const short points = piece->pointCount;
    Point* twin = nullptr;
    EXPECT_EQ(qpInsertSamePoint(pattern.get(), piece, 0, &twin), 0);  // 'S'
    EXPECT_EQ(qpInsertSamePoint(nullptr, piece, 1, &twin), 0);
    EXPECT_EQ(qpInsertSamePoint(pattern.get(), nullptr, 1, &twin), 0);
    EXPECT_EQ(qpInsertSamePoint(pattern.get(), piece, -1, &twin), 0);
    EXPECT_EQ(qpInsertSamePoint(pattern.get(), piece, points, &twin), 0);
    EXPECT_EQ(piece->pointCount, points);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, WithoutFormulasNoFormulaIsAdded) {
    Piece* piece = pattern.add(OpenShape());
    ASSERT_EQ(piece->formulaCount, 0);
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 3, &twin), 4);
    EXPECT_EQ(piece->formulaCount, 0);
    EXPECT_EQ(piece->charCount, 0);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, TwinGetsItsOwnCopiesOfTheFormulaTexts) {
    Piece* piece = pattern.add(WithFormulas(OpenShape()));
    const short formulas = piece->formulaCount;
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 3, &twin), 4);
    EXPECT_EQ(piece->formulaCount, formulas + 1);
    EXPECT_EQ(PointAt(piece, 4)->formulaIndex, formulas);
    EXPECT_EQ(FormulaX(piece, 4), "H/4+20");
    EXPECT_EQ(FormulaY(piece, 4), "0");
    Formula* a = nullptr;
    Formula* b = nullptr;
    qpGetFormulaLptr(piece, PointAt(piece, 3)->formulaIndex, &a);
    qpGetFormulaLptr(piece, PointAt(piece, 4)->formulaIndex, &b);
    EXPECT_NE(a->xTextOffset, b->xTextOffset);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, CopiesAFormulaTextLongerThanAHundredBytesWhole) {
    // A stored text of any length is copied whole; nothing is cut or overrun.
    std::string longText = "H";
    while (longText.size() < 150)
        longText += "+H";
    Piece* piece = pattern.add(WithFormulas(OpenShape()));
    Formula* source = nullptr;
    qpGetFormulaLptr(piece, PointAt(piece, 1)->formulaIndex, &source);
    short offset = 0;
    char* text = nullptr;
    qpIncreaseString(pattern.get(), piece, static_cast<short>(longText.size() + 1), &offset, &text);
    std::copy(longText.c_str(), longText.c_str() + longText.size() + 1, text);
    qpGetFormulaLptr(piece, PointAt(piece, 1)->formulaIndex, &source);
    source->xTextOffset = offset;
    source->xTextLength = static_cast<short>(longText.size() + 1);

    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 1, &twin), 2);
    EXPECT_EQ(FormulaX(piece, 2), longText);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, CopyWithReplaceRemovesTheTargetsOldTexts) {
    Piece* piece = pattern.add(WithFormulas(OpenShape()));
    const short chars = piece->charCount;
    Formula* source = nullptr;
    Formula* target = nullptr;
    qpGetFormulaLptr(piece, PointAt(piece, 3)->formulaIndex, &source);
    qpGetFormulaLptr(piece, PointAt(piece, 4)->formulaIndex, &target);
    const short oldLength = target->xTextLength + target->yTextLength;
    CopyFormulaTexts(pattern.get(), piece, source, target, 1);
    EXPECT_EQ(FormulaX(piece, 4), "H/4+20");
    EXPECT_EQ(FormulaY(piece, 4), "0");
    EXPECT_EQ(piece->charCount, chars - oldLength + source->xTextLength + source->yTextLength);
    EXPECT_EQ(FormulaX(piece, 0), "H/4+0");  // texts before and after stay intact
    EXPECT_EQ(FormulaX(piece, 3), "H/4+20");
    EXPECT_TRUE(PieceConsistent(piece));
}

}  // namespace

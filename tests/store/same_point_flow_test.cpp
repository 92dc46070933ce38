// The store as same-point insertion uses it: a twin of point i is made with
// qpInsertPoint, a K twin gets a two-point line with qpInsertLine, and the
// library writes the fields it names. Whatever the kind of point, the
// piece must come out consistent, and a line that left point i must leave
// from the twin afterwards.
#include <cstring>

#include "frame/exports.h"
#include "tests/support/store_fixture.h"

namespace {

// The twin through the library's own same-point insertion, which makes it
// from exactly these store operations.
int MakeTwin(PatternBuffer* pattern, Piece* piece, int i) {
    Point* twin = nullptr;
    return qpInsertSamePoint(pattern, piece, static_cast<short>(i), &twin);
}

TEST(SamePoint, TurningPointWithAnOutgoingLine) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedShape());
    LineAt(piece, 1)->joinCount = 3;  // the line c = 1 that ends at point 2
    ASSERT_EQ(MakeTwin(pattern.get(), piece, 2), 3);
    // Line 2 (2..3) is the new two-point line; the curve that left point 2
    // is now line 3 and leaves from the twin.
    EXPECT_EQ(LineAt(piece, 2)->firstPoint, 2);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 2);
    EXPECT_EQ(LineAt(piece, 2)->joinCount, 2);  // arrived as line 1's, lowered by one
    EXPECT_EQ(LineAt(piece, 2)->joinKind, 2);   // the kind of the curve
    EXPECT_EQ(LineAt(piece, 2)->joinPoint, 3);
    EXPECT_EQ(LineAt(piece, 3)->firstPoint, 3);
    EXPECT_EQ(LineAt(piece, 3)->pointCount, 4);
    EXPECT_EQ(PointAt(piece, 3)->type, 'K');
    EXPECT_EQ(PointAt(piece, 3)->lineIn, 2);
    EXPECT_EQ(PointAt(piece, 3)->lineOut, 3);
    EXPECT_EQ(PointAt(piece, 4)->lineIn, 3);
    EXPECT_EQ(SegAt(piece, 0)->lineCount, 5);
    EXPECT_FLOAT_EQ(CoordOf(piece, 3)->x, 200.0f);
    EXPECT_FLOAT_EQ(CoordOf(piece, 3)->y, 100.0f);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(SamePoint, TurningPointBetweenStraightLines) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(200, 100));
    ASSERT_EQ(MakeTwin(pattern.get(), piece, 1), 2);
    EXPECT_EQ(piece->lineCount, 5);
    EXPECT_EQ(LineAt(piece, 2)->firstPoint, 2);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 2);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(SamePoint, TurningPointAtAnOpenChainEnd) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    ASSERT_EQ(MakeTwin(pattern.get(), piece, 6), 7);
    EXPECT_EQ(LineAt(piece, 4)->firstPoint, 6);
    EXPECT_EQ(LineAt(piece, 4)->pointCount, 2);
    EXPECT_EQ(PointAt(piece, 7)->lineIn, 4);
    EXPECT_EQ(PointAt(piece, 7)->lineOut, -1);
    EXPECT_EQ(PointAt(piece, 6)->lineOut, 4);
    EXPECT_EQ(LineAt(piece, 5)->firstPoint, 8);  // the inner line moved along
    EXPECT_EQ(SegAt(piece, 1)->firstLine, 5);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(SamePoint, CurvePointTwinStaysOnItsLine) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedShape());
    ASSERT_EQ(MakeTwin(pattern.get(), piece, 3), 4);
    EXPECT_EQ(piece->lineCount, 4);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 5);
    EXPECT_EQ(PointAt(piece, 4)->type, 'C');
    EXPECT_EQ(PointAt(piece, 4)->lineIn, 2);
    EXPECT_EQ(PointAt(piece, 4)->lineOut, 2);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(SamePoint, LowerCaseTurningPointKeepsItsCase) {
    TestPattern pattern;
    PieceShape shape = RectangleShape(200, 100);
    shape.chains.push_back(Chain({P('s', 20, 20), P('k', 60, 20), P('k', 60, 60)}));
    Piece* piece = pattern.add(shape);
    ASSERT_EQ(MakeTwin(pattern.get(), piece, 6), 7);
    EXPECT_EQ(PointAt(piece, 7)->type, 'k');
    EXPECT_EQ(SegAt(piece, 1)->lineCount, 3);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(SamePoint, WithFormulasTheTwinGetsCopiesOfTheTexts) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    ASSERT_EQ(MakeTwin(pattern.get(), piece, 2), 3);
    EXPECT_EQ(FormulaX(piece, 3), "0*H+20");
    EXPECT_EQ(FormulaY(piece, 3), "0*BL+10");
    EXPECT_NE(PointAt(piece, 3)->formulaIndex, PointAt(piece, 2)->formulaIndex);
    EXPECT_TRUE(PieceConsistent(piece));
    ASSERT_EQ(MakeTwin(pattern.get(), piece, 5), 6);  // a curve point, after that
    EXPECT_EQ(FormulaX(piece, 6), "0*H+5");
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(SamePoint, TwinsInAPatternOfSeveralPieces) {
    TestPattern pattern(3000);
    pattern.add(RectangleShape(10, 10));
    pattern.add(CurvedWithFormulasShape());
    pattern.add(RectangleShape(30, 30));
    Piece* piece = pattern.piece(1);
    for (int k = 0; k < 10; ++k) ASSERT_EQ(MakeTwin(pattern.get(), piece, 1), 2);
    EXPECT_EQ(piece->pointCount, 20);
    EXPECT_TRUE(PieceConsistent(piece));
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

}  // namespace

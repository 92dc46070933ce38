// The editing steps that the tools share, and the rule for typed numbers.
#include <gtest/gtest.h>

#include <cmath>

#include "frame/handler_frame.h"
#include "frame/piece_edit.h"
#include "frame/siblings.h"
#include "tests/support/store_fixture.h"

namespace {

TEST(TypedNumber, AcceptsExactlySignDigitsAndOnePoint) {
    struct Row {
        const char* text;
        bool accepted;
        double cm;
    };
    const Row rows[] = {
        {"3", true, 3},           {"-1", true, -1},      {"+2.5", true, 2.5},
        {".5", true, 0.5},        {"7.", true, 7},       {"1000", true, 1000},
        {"-1000.0", true, -1000},
        {"1000.01", false, 0},    // beyond 10 m
        {"", false, 0},           {"-", false, 0},       {".", false, 0},
        {"1.2.3", false, 0},      {"1e3", false, 0},     {"inf", false, 0},
        {"nan", false, 0},        {" 3", false, 0},      {"3 ", false, 0},
        {"--3", false, 0},        {"3-", false, 0},      {"0x10", false, 0},
        {"1e30", false, 0},
    };
    for (const Row& r : rows) {
        double cm = -99;
        EXPECT_EQ(frame::readTypedNumber(r.text, cm), r.accepted) << r.text;
        EXPECT_EQ(cm, r.accepted ? r.cm : -99) << r.text;
    }
    double cm = 0;
    EXPECT_FALSE(frame::readTypedNumber(nullptr, cm));
}

// A piece with a curve and an inner line whose end lies on outline point 5.
PieceShape WithDartLine() {
    PieceShape shape = CurvedShape();
    shape.chains.push_back(Chain({P('s', 60, 50), P('k', 0, 100.5f)}));
    return shape;
}

// A pick of either point of the two-point line from `first` resolves it,
// its far end on outline point `hit`.
void ExpectResolvesToLine(Piece* piece, short first, short hit) {
    for (short picked : {first, static_cast<short>(first + 1)}) {
        frame::ResolvedLine line;
        ASSERT_TRUE(frame::resolveLine(piece, picked, line)) << picked;
        EXPECT_EQ(line.first, first);
        EXPECT_EQ(line.pointCount, 2);
        EXPECT_EQ(line.inner, first);
        EXPECT_EQ(line.outer, first + 1);
        EXPECT_EQ(line.outlineHit, hit);
    }
}

TEST(PieceEdit, ResolveLineFindsTheOutlineEndFromAnyPickedPoint) {
    TestPattern pattern;
    Piece* piece = pattern.add(WithDartLine());
    ExpectResolvesToLine(piece, 7, 5);
    // The inner line of CurvedWithInnerShape touches no outline point.
    TestPattern other;
    Piece* inner = other.add(CurvedWithInnerShape());
    frame::ResolvedLine line;
    EXPECT_FALSE(frame::resolveLine(inner, 8, line));
    EXPECT_EQ(line.outlineHit, -1);
    EXPECT_FALSE(frame::resolveLine(inner, 99, line));
}

// An inner chain s-k-k of two lines (7-8 and 8-9) ending on outline point 5:
// the middle point starts the second line, so a pick of its part resolves
// that line from its own first point; the first line meets no outline point.
TEST(PieceEdit, ResolveLineOnAChainTakesTheLineThatLeavesThePoint) {
    TestPattern pattern;
    PieceShape shape = CurvedShape();
    shape.chains.push_back(Chain({P('s', 60, 50), P('k', 30, 75), P('k', 0, 100.5f)}));
    Piece* piece = pattern.add(shape);
    ASSERT_NE(piece, nullptr);
    ASSERT_EQ(piece->lineCount, 6);
    ExpectResolvesToLine(piece, 8, 5);
    frame::ResolvedLine line;
    EXPECT_FALSE(frame::resolveLine(piece, 7, line));
    EXPECT_EQ(line.first, 7);
    EXPECT_EQ(line.outlineHit, -1);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(PieceEdit, RotatePointsKeepsDistancesFromTheCentre) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedShape());
    const float cx = 100, cy = 50;
    double before[7];
    for (int i = 0; i < 7; ++i) before[i] = std::hypot(CoordOf(piece, i)->x - cx, CoordOf(piece, i)->y - cy);
    frame::rotatePoints(piece, 2, 4, 0.3, cx, cy);
    for (int i = 0; i < 7; ++i)
        EXPECT_NEAR(std::hypot(CoordOf(piece, i)->x - cx, CoordOf(piece, i)->y - cy), before[i], 1e-3);
    EXPECT_FLOAT_EQ(CoordOf(piece, 1)->x, 200);  // outside the range: untouched
    EXPECT_FLOAT_EQ(CoordOf(piece, 5)->y, 100);
    const double turned = std::atan2(CoordOf(piece, 2)->y - cy, CoordOf(piece, 2)->x - cx) -
                          std::atan2(100 - cy, 200 - cx);
    EXPECT_NEAR(turned, 0.3, 1e-5);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(PieceEdit, AttachCoordGivesAnInsertedPointItsOwnCoordAndFormula) {
    TestPattern pattern(16384);
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    Point* added = nullptr;
    qpInsertPoint(pattern.get(), piece, 0, &added);  // new point 1 on the bottom line
    ASSERT_TRUE(frame::attachCoord(pattern.get(), piece, 1, 100, 0, 0, 2, 1));
    EXPECT_FLOAT_EQ(CoordOf(piece, 1)->x, 100);
    EXPECT_EQ(CoordOf(piece, 1)->pointIndex, 1);
    ASSERT_NE(FormulaOf(piece, 1), nullptr);
    EXPECT_NEAR(qpFormulaCalculation(piece, FormulaX(piece, 1).c_str()) * 10, 100, 0.1);
    EXPECT_NEAR(qpFormulaCalculation(piece, FormulaY(piece, 1).c_str()) * 10, 0, 0.1);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(PieceEdit, RecordIndicesComeFromThePointerTheStoreHandsBack) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    EXPECT_EQ(frame::lineIndexOf(piece, LineAt(piece, 3)), 3);
    EXPECT_EQ(frame::pointIndexOf(piece, PointAt(piece, 8)), 8);
    EXPECT_EQ(frame::lineIndexOf(piece, nullptr), -1);
    const Line outside{};
    EXPECT_EQ(frame::lineIndexOf(piece, &outside), -1);
}

TEST(PieceEdit, GradingCodesFollowTheirPointsThroughInsertsAndDeletes) {
    PieceShape shape = CurvedShape();
    // Reference points 1, 3 and 5 (kinds 6, 10, 14); a plain code 7 stays.
    shape.rules.push_back(ShapeRule{0, 0, {{106, 2, 1, 0}, {310, 2, 0, 1}, {514, 4, 1, 1}, {7, 4, 0, 0}}});
    TestPattern pattern;
    Piece* piece = pattern.add(shape);
    frame::PointIndexMap map(piece->pointCount);
    qpInsertPoint(pattern.get(), piece, 1, nullptr);  // new 2: old 2.. move up
    map.inserted(2);
    qpDeletePoint(pattern.get(), piece, 4);  // old 3 is gone
    map.deleted(4);
    frame::remapGradingCodes(piece, map);
    const int first = RuleAt(piece, 0)->firstPRule;
    EXPECT_EQ(PRuleAt(piece, first)->code, 106);      // point 1 did not move
    EXPECT_EQ(PRuleAt(piece, first + 1)->code, 310);  // deleted: kept
    EXPECT_EQ(PRuleAt(piece, first + 2)->code, 514);  // old 5: +1 -1
    EXPECT_EQ(PRuleAt(piece, first + 3)->code, 7);
    EXPECT_EQ(map.current(2), 3);
    EXPECT_EQ(map.current(3), -1);
    EXPECT_EQ(map.current(99), -1);

    frame::PointIndexMap far(400);
    far.inserted(0);
    EXPECT_EQ(far.current(327), 328);  // would overflow a code: kept by the remap
}

}  // namespace

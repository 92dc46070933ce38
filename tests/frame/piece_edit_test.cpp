// The editing steps that the tools share, and the rule for typed numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

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

// The steps of each rule, as code@point.
std::string Steps(Piece* piece) {
    std::string out;
    for (int r = 0; r < piece->ruleCount; ++r) {
        out += r ? " |" : "|";
        for (int k = 0; k < RuleAt(piece, r)->pRuleCount; ++k) {
            const PRule* pr = PRuleAt(piece, RuleAt(piece, r)->firstPRule + k);
            out += " " + std::to_string(pr->code) + "@" + std::to_string(pr->pointIndex);
        }
    }
    return out;
}

// A reference follows its point. One to a deleted point passes to the
// nearer of the two surviving points of its segment it lay between (old 3 to
// 2, old 4 to 5); one whose point has no heir (the end of an inner line, a
// mark) is dropped, never left naming another point.
//   0 S(0,0) 1 K(200,0) 2 K(200,100) 3 C(150,120) 4 C(50,120) 5 K(0,100)
//   6 K(0,0) | 7 s(50,50) 8 c(100,60) 9 k(150,50) | 10 o(100,20)
TEST(PieceEdit, GradingReferencesPassToTheNearerSurvivorOrGo) {
    PieceShape shape = CurvedWithInnerShape();
    shape.marks.push_back(Mark('o', 100, 20, 0, 0));
    shape.rules.push_back(ShapeRule{0, 0, {{106, 0, 1, 0}, {310, 1, 0, 1}, {414, 1, 1, 1}, {906, 2, 2, 2}, {7, 2, 0, 0}}});
    shape.rules.push_back(ShapeRule{0, 0, {{510, 0, 3, 3}, {1014, 1, 1, 1}}});
    TestPattern pattern;
    Piece* piece = pattern.add(shape);
    frame::PointIndexMap map(piece);
    for (short gone : {10, 9, 4, 3}) {
        qpDeletePoint(pattern.get(), piece, gone);
        map.deleted(gone);
    }
    EXPECT_EQ(map.heir(3), 2);
    EXPECT_EQ(map.heir(4), 5);
    EXPECT_EQ(map.heir(9), -1);
    EXPECT_EQ(map.current(5), 3);
    EXPECT_EQ(frame::remapGradingCodes(pattern.get(), piece, map), 2);
    EXPECT_EQ(Steps(piece), "| 106@0 210@1 314@1 7@2 | 310@0");
    EXPECT_EQ(piece->pointCount, 7);
    EXPECT_TRUE(PieceConsistent(piece));
}

// A reference whose new index a code cannot hold (328 or more) is dropped.
TEST(PieceEdit, AGradingReferencePastACodesReachIsDropped) {
    std::vector<ShapePoint> ring;
    for (int i = 0; i < 330; ++i) {
        const double t = 6.283185307 * i / 330;
        ring.push_back(P(i == 0 ? 'S' : 'K', static_cast<float>(500 * std::cos(t)), static_cast<float>(500 * std::sin(t))));
    }
    PieceShape shape;
    shape.chains.push_back(Chain(ring, true));
    shape.rules.push_back(ShapeRule{0, 0, {{32706, 0, 1, 1}, {10010, 2, 1, 1}}});
    TestPattern pattern;
    Piece* piece = pattern.add(shape);
    frame::PointIndexMap map(piece);
    qpInsertPoint(pattern.get(), piece, 0, nullptr);
    ASSERT_TRUE(frame::attachCoord(pattern.get(), piece, 1, 500, 5, 0, 0));
    map.inserted(1);
    EXPECT_EQ(frame::remapGradingCodes(pattern.get(), piece, map), 1);
    EXPECT_EQ(Steps(piece), "| 10110@3");
    EXPECT_TRUE(PieceConsistent(piece));
}

}  // namespace

// The piece builder: chains, inner lines and marks become points, coords,
// lines, segments and formulas that pass the checker; refused descriptions
// leave the pattern as it was.
#include <cstring>

#include "siblings/records/store_internals.h"
#include "tests/support/store_fixture.h"

namespace {

TEST(Builder, RectangleMakesFourLinesOverFivePoints) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(200, 100));
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->pointCount, 5);
    EXPECT_EQ(piece->coordCount, 5);
    EXPECT_EQ(piece->lineCount, 4);
    EXPECT_EQ(piece->segCount, 1);
    EXPECT_EQ(piece->formulaCount, 0);
    EXPECT_EQ(piece->charCount, 0);
    EXPECT_EQ(piece->byteSize, 800 + 5 * 12 + 5 * 12 + 4 * 20 + 12);
    const char types[] = "SKKKK";
    for (int i = 0; i < 5; ++i) EXPECT_EQ(PointAt(piece, i)->type, types[i]) << "point " << i;
    for (int L = 0; L < 4; ++L) {
        EXPECT_EQ(LineAt(piece, L)->firstPoint, L);
        EXPECT_EQ(LineAt(piece, L)->pointCount, 2);
        EXPECT_EQ(LineAt(piece, L)->kind, 1);
    }
    EXPECT_EQ(PointAt(piece, 0)->lineIn, -1);
    EXPECT_EQ(PointAt(piece, 0)->lineOut, 0);
    EXPECT_EQ(PointAt(piece, 4)->lineIn, 3);
    EXPECT_EQ(PointAt(piece, 4)->lineOut, -1);
    EXPECT_FLOAT_EQ(CoordOf(piece, 4)->x, 0.0f);  // the closing K lies on the start
    EXPECT_EQ(SegAt(piece, 0)->code, 1);
    EXPECT_EQ(SegAt(piece, 0)->lineCount, 4);
    EXPECT_TRUE(PieceConsistent(piece));
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(Builder, CurveAndInnerLine) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->pointCount, 10);
    EXPECT_EQ(piece->lineCount, 5);
    EXPECT_EQ(piece->segCount, 2);
    EXPECT_EQ(LineAt(piece, 2)->firstPoint, 2);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 4);
    EXPECT_EQ(LineAt(piece, 2)->kind, 2);  // a curve line
    EXPECT_EQ(PointAt(piece, 3)->lineIn, 2);
    EXPECT_EQ(PointAt(piece, 3)->lineOut, 2);
    EXPECT_EQ(SegAt(piece, 1)->code, 2);
    EXPECT_EQ(SegAt(piece, 1)->value, 14);
    EXPECT_EQ(SegAt(piece, 1)->firstLine, 4);
    EXPECT_EQ(PointAt(piece, 7)->type, 's');
    EXPECT_EQ(PointAt(piece, 7)->segIndex, 1);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Builder, FormulasGiveEveryPointItsTexts) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->formulaCount, piece->pointCount);
    EXPECT_EQ(FormulaX(piece, 1), "0*H+20");
    EXPECT_EQ(FormulaY(piece, 2), "0*BL+10");
    EXPECT_EQ(CoordOf(piece, 1)->formulaIndex, PointAt(piece, 1)->formulaIndex);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Builder, PointsWithoutTextsGetTheirCoordinatesAsConstants) {
    TestPattern pattern;
    PieceShape shape = RectangleShape(123.4f, 50);
    shape.chains[0].points[0].xFormula = "W/2";
    Piece* piece = pattern.add(shape);
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(FormulaX(piece, 0), "W/2");
    EXPECT_EQ(FormulaY(piece, 0), "0");
    EXPECT_EQ(FormulaX(piece, 1), "12.34");
    EXPECT_EQ(FormulaY(piece, 2), "5");
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Builder, MarksWithSPointsAndOtherRecords) {
    TestPattern pattern;
    PieceShape shape = RectangleShape(200, 100);
    ShapeMark notch = Mark('v', 100, 0, 0, 1571, 16, 0);
    notch.lineIndex = 0;
    notch.position = 100;
    shape.marks.push_back(notch);
    shape.marks.push_back(Mark('o', 50, 50, 0, 0));
    shape.marks.push_back(Mark('o', 60, 50, 0, 0));
    ShapeRule rule;
    rule.pRules.push_back(PRule{5, 1, 2.0f, 1.0f});
    rule.pRules.push_back(PRule{506, 2, 0.0f, 3.0f});
    shape.rules.push_back(rule);
    shape.extwids.push_back(Extwid{0, 2, 10.0f, 12.0f});
    shape.cutangls.push_back(Cutangl{1, 1, 3.0f, 5.0f});
    shape.fRules.push_back(FRule{7, 9});
    Piece* piece = pattern.add(shape);
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->pointCount, 8);
    EXPECT_EQ(piece->sPointCount, 3);
    EXPECT_EQ(piece->segCount, 3);  // outline, notch segment, one segment for both 'o'
    Seg* marks = SegAt(piece, 2);
    EXPECT_EQ(marks->markFlag, 1);
    EXPECT_EQ(marks->firstLine, 1);
    EXPECT_EQ(marks->lineCount, 2);
    SPoint* sp = nullptr;
    qpGetSPointLptr(piece, 0, &sp);
    EXPECT_EQ(sp->pointIndex, 5);
    EXPECT_EQ(sp->lineIndex, 0);
    EXPECT_FLOAT_EQ(sp->position, 100.0f);
    EXPECT_EQ(PointAt(piece, 5)->lineOut, 1571);
    Rule* r = nullptr;
    qpGetRuleLptr(piece, 0, &r);
    EXPECT_EQ(r->firstPRule, 0);
    EXPECT_EQ(r->pRuleCount, 2);
    PRule* pr = nullptr;
    qpGetPRuleLptr(piece, 1, &pr);
    EXPECT_EQ(pr->code, 506);
    FRule* fr = nullptr;
    qpGetFRuleLptr(piece, 0, &fr);
    EXPECT_EQ(fr->field2, 9);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Builder, SeveralPiecesBackToBackAndTheBlockGrows) {
    TestPattern pattern(100);  // too small for even one piece: the builder moves it
    for (int i = 0; i < 5; ++i) ASSERT_NE(pattern.add(CurvedWithFormulasShape()), nullptr);
    EXPECT_EQ(pattern.get()->pieceCount, 5);
    EXPECT_EQ(pattern.get()->headerSize, 40);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(Builder, AppendsAfterAPieceBeingEditedButNotToABrokenFrame) {
    TestPattern pattern;
    pattern.add(RectangleShape(10, 10));
    LineAt(pattern.piece(0), 0)->pointCount = 1;  // a piece in the middle of an edit
    EXPECT_NE(pattern.add(RectangleShape(20, 20)), nullptr);
    EXPECT_EQ(pattern.get()->pieceCount, 2);
    pattern.get()->totalSize += 4;  // the frame itself is wrong now
    std::string error;
    EXPECT_EQ(storeAppendPiece(pattern.cell(), RectangleShape(30, 30), &error), nullptr);
    EXPECT_EQ(error.rfind("storeAppendPiece: the pattern is damaged: pattern: totalSize", 0), 0u) << error;
    pattern.get()->totalSize -= 4;
    LineAt(pattern.piece(0), 0)->pointCount = 2;
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(Builder, PlacementAndGroupFlag) {
    TestPattern pattern;
    PieceShape shape = RectangleShape(10, 10);
    shape.groupFlag = 1;
    shape.placement[6] = 500;
    Piece* piece = pattern.add(shape);
    ASSERT_NE(piece, nullptr);
    EXPECT_EQ(piece->groupFlag, 1);
    EXPECT_FLOAT_EQ(piece->placement[6], 500.0f);
    EXPECT_FLOAT_EQ(piece->placement[0], 1.0f);
    EXPECT_TRUE(PieceConsistent(piece));
}

// Coordinates become formula texts in centimetres, as the formula routines
// would write a constant: three decimals at most, no trailing zeros.
TEST(Builder, CoordinateTexts) {
    struct Row {
        float millimetres;
        const char* text;
    };
    const std::vector<Row> rows = {
        {0.0f, "0"},      {-0.0f, "0"},        {100.0f, "10"},     {123.4f, "12.34"},
        {-50.0f, "-5"},   {0.004f, "0"},       {-0.004f, "0"},     // rounds to zero, no "-0"
        {1.2345f, "0.123"}, {99999.0f, "9999.9"},
    };
    for (const Row& r : rows) {
        char text[32];
        storeCoordinateText(r.millimetres, text, sizeof text);
        EXPECT_STREQ(text, r.text) << r.millimetres;
    }
    char small[4];
    EXPECT_EQ(storeCoordinateText(123.4f, small, sizeof small), 0);  // "12.34" does not fit
    EXPECT_STREQ(small, "");
}

struct Refused {
    const char* why;
    PieceShape shape;
    const char* reasonPart;
};

std::vector<Refused> refusedShapes() {
    std::vector<Refused> rows;
    PieceShape one;
    one.chains.push_back(Chain({P('S', 0, 0)}));
    rows.push_back({"a chain of one point", one, "at least 2"});
    PieceShape startK;
    startK.chains.push_back(Chain({P('K', 0, 0), P('K', 1, 0)}));
    rows.push_back({"a chain that does not start with S", startK, "starts with an S"});
    PieceShape endC;
    endC.chains.push_back(Chain({P('S', 0, 0), P('C', 1, 0)}));
    rows.push_back({"a chain that ends on a curve point", endC, "ends with a K"});
    PieceShape mixed;
    mixed.chains.push_back(Chain({P('S', 0, 0), P('k', 1, 0)}));
    rows.push_back({"mixed case in one chain", mixed, "case"});
    PieceShape markInChain;
    markInChain.chains.push_back(Chain({P('S', 0, 0), P('V', 1, 0), P('K', 2, 0)}));
    rows.push_back({"a mark inside a chain", markInChain, "inside a chain"});
    PieceShape longText = RectangleShape(10, 10);
    longText.chains[0].points[1].xFormula = std::string(80, 'H');
    rows.push_back({"a formula text of 80 characters", longText, "more than 79"});
    PieceShape badMark = RectangleShape(10, 10);
    badMark.marks.push_back(Mark('k', 1, 1, 0, 0));
    rows.push_back({"a mark of a line type", badMark, "not a mark"});
    PieceShape badRule = RectangleShape(10, 10);
    badRule.rules.push_back(ShapeRule{0, 0, {PRule{1, 5, 0, 0}}});
    rows.push_back({"a PRule past the last point", badRule, "out of range"});
    PieceShape badExtwid = RectangleShape(10, 10);
    badExtwid.extwids.push_back(Extwid{0, -1, 1, 1});
    rows.push_back({"an Extwid without an end", badExtwid, "out of range"});
    PieceShape badNotch = RectangleShape(10, 10);
    ShapeMark notch = Mark('v', 1, 0, 0, 0);
    notch.lineIndex = 4;
    badNotch.marks.push_back(notch);
    rows.push_back({"a notch on a line that does not exist", badNotch, "lineIndex"});
    PieceShape manyFRules = RectangleShape(10, 10);
    manyFRules.fRules.assign(32768, FRule{0, 0});
    rows.push_back({"a record count past 16 bits", manyFRules, "piece: 32768 frule records, more than the store's 32767"});
    return rows;
}

TEST(Builder, RefusesBadDescriptionsAndKeepsThePattern) {
    for (const Refused& row : refusedShapes()) {
        TestPattern pattern;
        ASSERT_NE(pattern.add(RectangleShape(20, 20)), nullptr);
        int32_t before = pattern.get()->totalSize;
        std::string error;
        PatternBuffer** cell = pattern.cell();
        EXPECT_EQ(storeAppendPiece(cell, row.shape, &error), nullptr) << row.why;
        EXPECT_NE(error.find(row.reasonPart), std::string::npos) << row.why << ": " << error;
        EXPECT_EQ(pattern.get()->pieceCount, 1) << row.why;
        EXPECT_EQ(pattern.get()->totalSize, before) << row.why;
        EXPECT_TRUE(PatternConsistent(pattern.get())) << row.why;
    }
}

}  // namespace

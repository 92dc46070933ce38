// Room: the store's limits, what an edit adds, and the check against the
// block that holds the pattern.
#include <gtest/gtest.h>

#include <string>

#include "frame/exports.h"
#include "frame/room.h"
#include "frame/siblings.h"
#include "tests/support/store_fixture.h"

namespace {

// The room check's figures: every kind and the text area are taken up to
// the store's 32767 and refused one past it.
TEST(PieceRoom, EveryKindAndTheTextAreaStopAtTheStoresLimit) {
    long frame::PieceGrowth::*kinds[] = {
        &frame::PieceGrowth::points,  &frame::PieceGrowth::coords, &frame::PieceGrowth::lines,
        &frame::PieceGrowth::segs,    &frame::PieceGrowth::sPoints, &frame::PieceGrowth::formulas,
        &frame::PieceGrowth::textBytes, &frame::PieceGrowth::rules, &frame::PieceGrowth::pRules,
        &frame::PieceGrowth::extwids, &frame::PieceGrowth::cutangls};
    TestPattern pattern(16384);
    Piece* piece = pattern.add(CurvedWithFormulasShape());  // 10 points, each with its records
    for (auto kind : kinds) {
        frame::PieceGrowth growth;
        growth.*kind = 32767;
        EXPECT_TRUE(frame::pieceTakes(nullptr, growth));
        growth.*kind = 32768;
        EXPECT_FALSE(frame::pieceTakes(nullptr, growth));
    }
    frame::PieceGrowth growth;
    growth.points = 32767 - piece->pointCount;
    growth.textBytes = 32767 - piece->charCount;
    EXPECT_TRUE(frame::pieceTakes(piece, growth));
    growth.textBytes += 1;
    EXPECT_FALSE(frame::pieceTakes(piece, growth));
}

// The bound the room checks count with: a formula text rewritten by
// qpAdjustFormula, however far its point moves within 100 m of the origin
// and however often, grows by at most kMaxRewriteGrowthBytes, and keeps
// its point.
TEST(PieceRoom, ARewrittenTextGrowsWithinTheBound) {
    storeSetParameter("H", 88.0f);
    const char* texts[] = {"H", "H/4+2", "0*H+12.345", "H*1000-87912", "-(H)+3", "5"};
    const float moves[][2] = {{-99999.94f, 0}, {99999.94f, 0}, {0.0005f, 0}, {-70710.67f, 70710.67f}};
    for (const char* text : texts) {
        TestPattern pattern(65536);
        PieceShape shape = RectangleShape(10, 10);
        shape.chains[0].points[1].xFormula = text;
        Piece* piece = pattern.add(shape);
        ASSERT_NE(piece, nullptr) << text;
        CoordOf(piece, 1)->x = qpFormulaCalculation(piece, text) * 10;  // the formula gives its point
        const long original = static_cast<long>(FormulaX(piece, 1).size());
        for (const auto& to : moves) {
            SCOPED_TRACE(std::string(text) + " to " + std::to_string(to[0]));
            CoordOf(piece, 1)->x = to[0];
            qpAdjustFormula(pattern.get(), piece, 1, 1);
            const std::string now = FormulaX(piece, 1);
            EXPECT_LE(static_cast<long>(now.size()) - original, frame::kMaxRewriteGrowthBytes) << now;
            EXPECT_NEAR(qpFormulaCalculation(piece, now.c_str()) * 10, to[0], 0.1) << now;
        }
        EXPECT_TRUE(PieceConsistent(piece));
    }
}

// A growth takes what the store adds, to the text area's rounding (here a
// twin with copies of its point's texts, and the line at a turning point),
// and the block is held against it to the byte: one byte short, the twin is
// refused and the pattern stays as it was.
TEST(PieceRoom, AGrowthTakesWhatTheStoreAddsAndTheBlockIsHeldToTheByte) {
    constexpr short kTurn = 1;  // a turning point of the outline
    frame::PieceGrowth twin;
    long pieceBytes = 0;
    {
        TestPattern scratch(65536);
        Piece* piece = scratch.add(CurvedWithFormulasShape());
        pieceBytes = piece->byteSize;
        twin.copyPoints(piece, kTurn, kTurn);
        twin.lines = 1;
    }
    for (const long spare : {twin.bytes() - 1, twin.bytes()}) {
        SCOPED_TRACE(spare);
        TestPattern pattern(kPatternHeaderFixed + 4 + pieceBytes + spare);
        Piece* piece = pattern.add(CurvedWithFormulasShape());
        ASSERT_EQ(frame::blockRoom(pattern.get()), spare);
        const bool fits = spare == twin.bytes();
        EXPECT_EQ(frame::patternTakes(pattern.get(), piece, twin), fits);
        const std::string before = BytesOf(pattern.get());
        Point* made = nullptr;
        EXPECT_EQ(qpInsertSamePoint(pattern.get(), piece, kTurn, &made), fits ? kTurn + 1 : 0);
        const long added = static_cast<long>(BytesOf(pattern.get()).size() - before.size());
        if (fits) {
            EXPECT_LE(added, twin.bytes());
            EXPECT_GT(added, twin.bytes() - 4);
        } else {
            EXPECT_EQ(BytesOf(pattern.get()), before);
        }
        EXPECT_TRUE(PatternConsistent(pattern.get()));
    }
}

}  // namespace

// qpInsertSamePoint and CopyFormulaTexts: the twin of a turning or curve
// point, its line, coordinate and formula texts, made from the store's
// qpInsertPoint and (for a K) qpInsertLine.
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

PieceShape OpenUpperShape() { return OpenShape(false); }
PieceShape OpenLowerShape() { return OpenShape(true); }
// RectangleShape(200, 100) with an inner line s(20,20) k(60,20) k(60,60).
PieceShape RectangleWithInnerShape() {
    PieceShape shape = RectangleShape(200, 100);
    shape.chains.push_back(Chain({P('s', 20, 20), P('k', 60, 20), P('k', 60, 60)}));
    return shape;
}
PieceShape Rectangle200x100() { return RectangleShape(200, 100); }

// Before / operation / after: the piece (PieceDump) before, the point
// twinned, the index handed back, the piece after, and the twin's lines.
// Whatever the kind of point, the twin sits at the point's place, the piece
// stays consistent, and a line that left the point leaves from the twin.
struct TwinRow {
    const char* what;
    PieceShape (*shape)();
    const char* before;
    short point;
    short twin;
    const char* after;
    short twinIn, twinOut;
};

const TwinRow kTwins[] = {
    {"a curve point's twin lies on its line, no new line", OpenUpperShape,
     "SKCKK|0+2 1+3 3+2|1:0+3", 2, 3,
     "SKCCKK|0+2 1+4 4+2|1:0+3", 1, 1},
    {"a turning point with an outgoing line gets a two-point line to its twin", OpenUpperShape,
     "SKCKK|0+2 1+3 3+2|1:0+3", 3, 4,
     "SKCKKK|0+2 1+3 3+2 4+2|1:0+4", 2, 3},
    {"a turning point at an open end gets a line to its twin", OpenUpperShape,
     "SKCKK|0+2 1+3 3+2|1:0+3", 4, 5,
     "SKCKKK|0+2 1+3 3+2 4+2|1:0+4", 3, -1},
    {"a lower-case turning point's twin keeps the case", OpenLowerShape,
     "skckk|0+2 1+3 3+2|2:0+3", 1, 2,
     "skkckk|0+2 1+2 2+3 4+2|2:0+4", 1, 2},
    {"a turning point before a curve: the curve leaves from the twin", CurvedShape,
     "SKKCCKK|0+2 1+2 2+4 5+2|1:0+4", 2, 3,
     "SKKKCCKK|0+2 1+2 2+2 3+4 6+2|1:0+5", 2, 3},
    {"a turning point between straight lines", Rectangle200x100,
     "SKKKK|0+2 1+2 2+2 3+2|1:0+4", 1, 2,
     "SKKKKK|0+2 1+2 2+2 3+2 4+2|1:0+5", 1, 2},
    {"the end of an open outline; the inner line moves along", CurvedWithInnerShape,
     "SKKCCKKsck|0+2 1+2 2+4 5+2 7+3|1:0+4 2:4+1", 6, 7,
     "SKKCCKKKsck|0+2 1+2 2+4 5+2 6+2 8+3|1:0+5 2:5+1", 4, -1},
    {"a curve point of a four-point curve", CurvedShape,
     "SKKCCKK|0+2 1+2 2+4 5+2|1:0+4", 3, 4,
     "SKKCCCKK|0+2 1+2 2+5 6+2|1:0+4", 2, 2},
    {"a lower-case turning point of an inner line", RectangleWithInnerShape,
     "SKKKKskk|0+2 1+2 2+2 3+2 5+2 6+2|1:0+4 2:4+2", 6, 7,
     "SKKKKskkk|0+2 1+2 2+2 3+2 5+2 6+2 7+2|1:0+4 2:4+3", 5, 6},
};

TEST_F(SamePoint, TwinOfEachKindOfPoint) {
    for (const TwinRow& row : kTwins) {
        SCOPED_TRACE(row.what);
        TestPattern own{16384};
        Piece* piece = own.add(row.shape());
        ASSERT_NE(piece, nullptr);
        EXPECT_EQ(PieceDump(piece), row.before);
        const Coord at = *CoordOf(piece, row.point);
        const short coords = piece->coordCount;
        Point* twin = nullptr;
        ASSERT_EQ(qpInsertSamePoint(own.get(), piece, row.point, &twin), row.twin);
        EXPECT_EQ(twin, PointAt(piece, row.twin));
        EXPECT_EQ(PieceDump(piece), row.after);
        EXPECT_EQ(twin->lineIn, row.twinIn);
        EXPECT_EQ(twin->lineOut, row.twinOut);
        EXPECT_EQ(piece->coordCount, coords + 1);  // the twin's own Coord
        EXPECT_EQ(CoordOf(piece, row.twin)->x, at.x);
        EXPECT_EQ(CoordOf(piece, row.twin)->y, at.y);
        EXPECT_TRUE(PieceConsistent(piece));
    }
}

// The new line between a turning point and its twin takes over the join
// fields of the line it splits off: join count lowered by one, the kind of
// the line that now leaves from the twin, the twin as join point.
TEST_F(SamePoint, TheNewLineTakesTheJoin) {
    Piece* piece = pattern.add(CurvedShape());
    LineAt(piece, 1)->joinCount = 3;  // the line c = 1 that ends at point 2
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 2, &twin), 3);
    EXPECT_EQ(LineAt(piece, 2)->joinCount, 2);
    EXPECT_EQ(LineAt(piece, 2)->joinKind, 2);
    EXPECT_EQ(LineAt(piece, 2)->joinPoint, 3);
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

// The twin needs room for its records and copies of its point's texts:
// the text area's last bytes are enough, one fewer is refused; and so is a
// block without room. A refused call changes nothing.
TEST_F(SamePoint, APieceOrBlockWithoutRoomForTheTwinIsRefused) {
    for (const long freeBytes : {9L, 8L}) {  // point 1's texts: "H/4+10" and "0" with their zeros
        SCOPED_TRACE(freeBytes);
        TestPattern full(65536);
        Piece* piece = full.add(WithTextAreaFilled(WithFormulas(OpenShape()), freeBytes, 0, 200));
        ASSERT_EQ(piece->charCount, 32767 - freeBytes);
        const std::string was = BytesOf(piece);
        Point* twin = nullptr;
        EXPECT_EQ(qpInsertSamePoint(full.get(), piece, 1, &twin), freeBytes == 9 ? 2 : 0);
        if (freeBytes == 9) EXPECT_EQ(piece->charCount, 32767);
        else EXPECT_EQ(BytesOf(piece), was);
        EXPECT_TRUE(PieceConsistent(piece));
    }
    pattern.add(RectangleShape(20, 20));
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(pattern.get()->totalSize));
    auto* tight = static_cast<PatternBuffer*>(GlobalLock(h));
    qpMemcpy(tight, pattern.get(), pattern.get()->totalSize);
    Piece* piece = nullptr;
    qpGetPieceLptr(tight, 0, &piece);
    Point* twin = nullptr;
    EXPECT_EQ(qpInsertSamePoint(tight, piece, 1, &twin), 0);
    EXPECT_EQ(piece->pointCount, 5);
    EXPECT_TRUE(PatternConsistent(tight));
    GlobalUnlock(h);
    GlobalFree(h);
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

TEST_F(SamePoint, WithFormulasTheTwinsOfATurningAndACurvePointGetCopies) {
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    Point* twin = nullptr;
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 2, &twin), 3);
    EXPECT_EQ(FormulaX(piece, 3), "0*H+20");
    EXPECT_EQ(FormulaY(piece, 3), "0*BL+10");
    EXPECT_NE(PointAt(piece, 3)->formulaIndex, PointAt(piece, 2)->formulaIndex);
    EXPECT_TRUE(PieceConsistent(piece));
    ASSERT_EQ(qpInsertSamePoint(pattern.get(), piece, 5, &twin), 6);  // a curve point, after that
    EXPECT_EQ(FormulaX(piece, 6), "0*H+5");
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(SamePoint, TwinsInAPatternOfSeveralPieces) {
    TestPattern several(3000);
    several.add(RectangleShape(10, 10));
    several.add(CurvedWithFormulasShape());
    several.add(RectangleShape(30, 30));
    Piece* piece = several.piece(1);
    Point* twin = nullptr;
    for (int k = 0; k < 10; ++k) ASSERT_EQ(qpInsertSamePoint(several.get(), piece, 1, &twin), 2);
    EXPECT_EQ(piece->pointCount, 20);
    EXPECT_TRUE(PieceConsistent(piece));
    EXPECT_TRUE(PatternConsistent(several.get()));
}

}  // namespace

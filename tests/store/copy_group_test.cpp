// qpCopyGroupPoint: copies in the order given, each with its own coordinate
// and formula; appended copies form new chains, inserted ones enter as
// qpInsertPoint puts a point.
#include <string>
#include <vector>

#include "tests/support/store_fixture.h"

namespace {

std::string Types(Piece* piece, int from = 0, int to = -1) {
    if (to < 0) to = piece->pointCount - 1;
    std::string t;
    for (int i = from; i <= to; ++i) t += PointAt(piece, i)->type;
    return t;
}

Piece* NewPiece(TestPattern& pattern) {
    Piece* p = nullptr;
    qpIncreasePiece(pattern.get(), &p);
    return p;
}

TEST(CopyGroup, AppendingAnOutlineSpanMakesAChainWithItsLines) {
    TestPattern pattern(8000);
    pattern.add(CurvedShape());
    Piece* fold = NewPiece(pattern);
    Piece* source = pattern.piece(0);
    qpCopyGroupPoint(pattern.get(), source, 1, 5, pattern.get(), fold, -1, 0x11);
    ASSERT_EQ(fold->pointCount, 5);
    EXPECT_EQ(Types(fold), "SKCCK");
    EXPECT_EQ(fold->lineCount, 2);
    EXPECT_EQ(LineAt(fold, 0)->firstPoint, 0);
    EXPECT_EQ(LineAt(fold, 0)->pointCount, 2);
    EXPECT_EQ(LineAt(fold, 0)->kind, 1);
    EXPECT_EQ(LineAt(fold, 1)->firstPoint, 1);
    EXPECT_EQ(LineAt(fold, 1)->pointCount, 4);
    EXPECT_EQ(LineAt(fold, 1)->kind, 2);
    EXPECT_EQ(SegAt(fold, 0)->code, 1);
    for (int j = 0; j < 5; ++j) {
        EXPECT_FLOAT_EQ(CoordOf(fold, j)->x, CoordOf(source, j + 1)->x) << j;
        EXPECT_FLOAT_EQ(CoordOf(fold, j)->y, CoordOf(source, j + 1)->y) << j;
    }
    EXPECT_EQ(fold->formulaCount, 0);
    EXPECT_TRUE(PieceConsistent(fold));
    EXPECT_TRUE(PieceConsistent(pattern.piece(0)));
}

TEST(CopyGroup, ThreeAppendsAsTheDartFoldDoes) {
    TestPattern pattern(8000);
    pattern.add(CurvedWithFormulasShape());
    Piece* fold = NewPiece(pattern);
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 0, 3, pattern.get(), fold, -1, 0x11);
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 8, 9, pattern.get(), fold, -1, 1);  // c..k of the inner line
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 7, 8, pattern.get(), fold, -1, 1);
    ASSERT_EQ(fold->pointCount, 8);
    EXPECT_EQ(Types(fold), "SKKKsksk");  // the copied curve point ends its chain
    EXPECT_EQ(fold->segCount, 3);
    EXPECT_EQ(SegAt(fold, 1)->code, 2);
    EXPECT_EQ(SegAt(fold, 1)->value, 14);
    EXPECT_EQ(LineAt(fold, 3)->firstPoint, 4);
    EXPECT_EQ(LineAt(fold, 4)->firstPoint, 6);
    // The fold piece was empty and the source carries formulas: so do the copies.
    EXPECT_EQ(fold->formulaCount, 8);
    EXPECT_EQ(FormulaX(fold, 1), "0*H+20");
    EXPECT_EQ(FormulaY(fold, 5), "0*BL+5");
    EXPECT_TRUE(PieceConsistent(fold));
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(CopyGroup, DescendingOrder) {
    TestPattern pattern(8000);
    pattern.add(CurvedShape());
    Piece* fold = NewPiece(pattern);
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 5, 1, pattern.get(), fold, -1, 0x11);
    ASSERT_EQ(fold->pointCount, 5);
    EXPECT_EQ(Types(fold), "SCCKK");
    EXPECT_FLOAT_EQ(CoordOf(fold, 0)->x, 0.0f);    // source point 5
    EXPECT_FLOAT_EQ(CoordOf(fold, 4)->x, 200.0f);  // source point 1
    EXPECT_FLOAT_EQ(CoordOf(fold, 4)->y, 0.0f);
    EXPECT_EQ(LineAt(fold, 0)->pointCount, 4);
    EXPECT_TRUE(PieceConsistent(fold));
}

TEST(CopyGroup, PointsOfDifferentLinesThatAreNotNeighboursStayApart) {
    TestPattern pattern(8000);
    pattern.add(CurvedWithInnerShape());
    Piece* fold = NewPiece(pattern);
    // 6 (end of the outline) and 7 (start of the inner line) are neighbours
    // in index order but on no common line.
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 5, 8, pattern.get(), fold, -1, 1);
    EXPECT_EQ(Types(fold), "SKsk");
    EXPECT_EQ(fold->segCount, 2);
    EXPECT_EQ(fold->lineCount, 2);
    EXPECT_TRUE(PieceConsistent(fold));
}

TEST(CopyGroup, AppendingIntoAPieceWithoutFormulasKeepsItWithout) {
    TestPattern pattern(8000);
    pattern.add(CurvedWithFormulasShape());
    pattern.add(RectangleShape(50, 50));
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 7, 9, pattern.get(), pattern.piece(1), 4, 1);
    Piece* target = pattern.piece(1);
    EXPECT_EQ(target->pointCount, 8);
    EXPECT_EQ(target->formulaCount, 0);
    EXPECT_EQ(Types(target, 5), "sck");
    EXPECT_TRUE(PieceConsistent(target));
}

TEST(CopyGroup, CopiesWithoutFormulasIntoAPieceWithFormulasGetConstants) {
    TestPattern pattern(8000);
    pattern.add(CurvedWithFormulasShape());
    pattern.add(RectangleShape(50, 25));
    qpCopyGroupPoint(pattern.get(), pattern.piece(1), 1, 2, pattern.get(), pattern.piece(0), 9, 1);
    Piece* target = pattern.piece(0);
    EXPECT_EQ(target->formulaCount, 12);
    EXPECT_EQ(FormulaX(target, 10), "5");
    EXPECT_EQ(FormulaY(target, 11), "2.5");
    EXPECT_TRUE(PieceConsistent(target));
}

TEST(CopyGroup, MarksComeWithTheirSPoints) {
    TestPattern pattern(8000);
    PieceShape shape = RectangleShape(200, 100);
    ShapeMark notch = Mark('v', 100, 0, 0, 1571, 16, 0);
    notch.lineIndex = 0;
    notch.position = 100;
    shape.marks.push_back(notch);
    shape.marks.push_back(Mark('o', 50, 50, 0, 0, 15, 12));
    pattern.add(shape);
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 5, 6, pattern.get(), pattern.piece(0), 6, 1);
    Piece* piece = pattern.piece(0);
    EXPECT_EQ(Types(piece, 7), "vo");
    EXPECT_EQ(piece->sPointCount, 4);
    EXPECT_EQ(piece->segCount, 5);
    EXPECT_EQ(PointAt(piece, 7)->lineOut, 1571);
    SPoint* sp = nullptr;
    qpGetSPointLptr(piece, 2, &sp);
    EXPECT_EQ(sp->pointIndex, 7);
    EXPECT_FLOAT_EQ(sp->position, 100.0f);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(CopyGroup, CopyingIntoTheSamePieceReadsTheSourceFirst) {
    TestPattern pattern(8000);
    pattern.add(CurvedWithFormulasShape());
    Piece* piece = pattern.piece(0);
    qpCopyGroupPoint(pattern.get(), piece, 0, 9, pattern.get(), piece, 9, 1);
    EXPECT_EQ(piece->pointCount, 20);
    EXPECT_EQ(Types(piece, 10), "SKKCCKKsck");
    for (int j = 0; j < 10; ++j) EXPECT_FLOAT_EQ(CoordOf(piece, 10 + j)->x, CoordOf(piece, j)->x) << j;
    EXPECT_EQ(FormulaX(piece, 13), FormulaX(piece, 3));
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(CopyGroup, TheSourceMayMoveWhileTheCopiesAreMade) {
    TestPattern pattern(8000);
    pattern.add(RectangleShape(10, 10));
    pattern.add(CurvedWithFormulasShape());
    // The destination lies before the source: every copy moves the source.
    qpCopyGroupPoint(pattern.get(), pattern.piece(1), 0, 6, pattern.get(), pattern.piece(0), 4, 0x11);
    EXPECT_EQ(Types(pattern.piece(0), 5), "SKKCCKK");
    EXPECT_FLOAT_EQ(CoordOf(pattern.piece(0), 8)->y, 120.0f);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

// Modes 48 and 16: copies that were neighbours on one source line share one
// line of its kind, run ends turn, and a line that held the insertion place
// ends at the first copy (the tie) while its rest follows the last copy.
TEST(CopyGroup, InsertingIntoALineTiesTheCopiesIn) {
    TestPattern pattern(8000);
    pattern.add(CurvedWithFormulasShape());
    pattern.add(CurvedWithFormulasShape());
    // Points 3 and 4 (inside the curve line 2) of the second piece go
    // between points 0 and 1 of the first.
    qpCopyGroupPoint(pattern.get(), pattern.piece(1), 3, 4, pattern.get(), pattern.piece(0), 0, 16);
    Piece* piece = pattern.piece(0);
    EXPECT_EQ(Types(piece, 0, 4), "SKKKK");
    const int firsts[] = {0, 1, 2, 3}, counts[] = {2, 2, 2, 2}, kinds[] = {1, 2, 1, 1};
    for (int L = 0; L < 4; ++L) {
        EXPECT_EQ(LineAt(piece, L)->firstPoint, firsts[L]) << L;
        EXPECT_EQ(LineAt(piece, L)->pointCount, counts[L]) << L;
        EXPECT_EQ(LineAt(piece, L)->kind, kinds[L]) << L;
    }
    EXPECT_FLOAT_EQ(CoordOf(piece, 1)->x, 150.0f);
    EXPECT_EQ(FormulaX(piece, 2), "0*H+5");
    EXPECT_TRUE(PieceConsistent(piece));

    // The tie, emptied and deleted, joins the first copied line to point 0.
    PointAt(piece, 1)->type = 'C';
    PointAt(piece, 0)->lineOut = 1;
    PointAt(piece, 1)->lineIn = PointAt(piece, 1)->lineOut = 1;
    LineAt(piece, 0)->pointCount = 0;
    qpDeleteLine(pattern.get(), piece, 0);
    EXPECT_EQ(Types(piece, 0, 2), "SCK");
    EXPECT_EQ(LineAt(piece, 0)->firstPoint, 0);
    EXPECT_EQ(LineAt(piece, 0)->pointCount, 3);
    EXPECT_EQ(LineAt(piece, 0)->kind, 2);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

// The symmetry tool's scratch piece: a first run at the start of an empty
// piece, then a second run after its last point, tied to it.
TEST(CopyGroup, TwoRunsIntoAnEmptyPieceAreTied) {
    TestPattern pattern(8000);
    pattern.add(CurvedShape());
    Piece* scratch = NewPiece(pattern);
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 2, 0, pattern.get(), scratch, -1, 48);
    ASSERT_EQ(scratch->pointCount, 3);
    EXPECT_EQ(Types(scratch), "SKK");  // lines 1 and 0 of the source, ends turned
    EXPECT_EQ(scratch->segCount, 1);
    EXPECT_EQ(SegAt(scratch, 0)->code, 1);
    EXPECT_FLOAT_EQ(CoordOf(scratch, 0)->y, 100.0f);  // source point 2 first
    EXPECT_TRUE(PieceConsistent(scratch));
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 5, 3, pattern.get(), scratch, 2, 48);
    EXPECT_EQ(Types(scratch), "SKKKCK");  // 5 tied in, 4 inside the copied curve, 3 its end
    ASSERT_EQ(scratch->lineCount, 4);
    EXPECT_EQ(LineAt(scratch, 2)->firstPoint, 2);  // the tie
    EXPECT_EQ(LineAt(scratch, 2)->pointCount, 2);
    EXPECT_EQ(LineAt(scratch, 3)->firstPoint, 3);
    EXPECT_EQ(LineAt(scratch, 3)->pointCount, 3);
    EXPECT_EQ(LineAt(scratch, 3)->kind, 2);
    EXPECT_TRUE(PieceConsistent(scratch));
}

// An emptied line whose next line is in another segment is simply removed.
TEST(CopyGroup, AnEmptiedLineJoinsOnlyWithinItsSegment) {
    TestPattern pattern(8000);
    Piece* piece = pattern.add(CurvedWithInnerShape());
    LineAt(piece, 3)->pointCount = 0;  // 5..6, the outline's last line
    qpDeleteLine(pattern.get(), piece, 3);
    EXPECT_EQ(LineAt(piece, 3)->firstPoint, 7);  // the inner line is untouched
    EXPECT_EQ(LineAt(piece, 3)->pointCount, 3);
    EXPECT_EQ(PointAt(piece, 5)->lineOut, -1);
    EXPECT_EQ(PointAt(piece, 6)->lineIn, -1);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(CopyGroup, RefusedCallsChangeNothing) {
    TestPattern pattern(8000);
    PieceShape shape = RectangleShape(200, 100);
    shape.marks.push_back(Mark('o', 50, 50, 0, 0));
    pattern.add(shape);
    Piece* target = NewPiece(pattern);
    Piece* source = pattern.piece(0);
    qpCopyGroupPoint(pattern.get(), source, 0, 2, pattern.get(), target, -1, 2);     // no such mode
    qpCopyGroupPoint(pattern.get(), source, 0, 6, pattern.get(), target, -1, 1);     // no point 6
    qpCopyGroupPoint(pattern.get(), source, 4, 5, pattern.get(), target, -1, 16);    // a mark cannot be inserted
    qpCopyGroupPoint(pattern.get(), source, 0, 1, pattern.get(), target, 3, 16);     // no point 3 to follow
    qpCopyGroupPoint(pattern.get(), nullptr, 0, 1, pattern.get(), target, -1, 1);
    SegAt(source, 0)->markFlag = 1;  // damaged: the outline's points in a segment of SPoints
    qpCopyGroupPoint(pattern.get(), source, 0, 3, pattern.get(), target, -1, 0x11);
    SegAt(source, 0)->markFlag = 0;
    EXPECT_EQ(pattern.piece(1)->pointCount, 0);
    EXPECT_EQ(pattern.piece(1)->byteSize, 800);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

}  // namespace

// Getters and the append operations: defaults of new records, counts and
// block sizes, and later pieces moving when a piece grows.
#include <cstring>
#include <vector>

#include "tests/support/store_fixture.h"

namespace {

long OffsetIn(const Piece* piece, const void* record) {
    return static_cast<const char*>(record) - reinterpret_cast<const char*>(piece);
}

TEST(Getters, OutOfRangeGivesNullAndIndexZeroOfAnEmptyArrayItsBase) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(100, 50));
    Point* point = nullptr;
    qpGetPointLptr(piece, 5, &point);
    EXPECT_EQ(point, nullptr);
    qpGetPointLptr(piece, -1, &point);
    EXPECT_EQ(point, nullptr);
    Line* line = nullptr;
    qpGetLineLptr(piece, 4, &line);
    EXPECT_EQ(line, nullptr);
    Piece* none = nullptr;
    qpGetPieceLptr(pattern.get(), 1, &none);
    EXPECT_EQ(none, nullptr);
    qpGetPieceLptr(pattern.get(), -1, &none);
    EXPECT_EQ(none, nullptr);

    // No Extwid yet: index 0 is where the first one will be.
    Extwid* base = nullptr;
    qpGetExtwidLptr(piece, 0, &base);
    ASSERT_NE(base, nullptr);
    long where = OffsetIn(piece, base);
    Extwid* made = nullptr;
    qpIncreaseExtwid(pattern.get(), piece, &made);
    EXPECT_EQ(OffsetIn(piece, made), where);
    Extwid* second = nullptr;
    qpGetExtwidLptr(piece, 1, &second);
    EXPECT_EQ(second, nullptr);
    made->fromPoint = 0;
    made->toPoint = 2;
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Getters, PointsCoordsAndFormulasAreContiguousArrays) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    Point* base = PointAt(piece, 0);
    Coord* coords = nullptr;
    qpGetCoordLptr(piece, 0, &coords);
    Formula* formulas = nullptr;
    qpGetFormulaLptr(piece, 0, &formulas);
    for (int i = 0; i < piece->pointCount; ++i) {
        EXPECT_EQ(PointAt(piece, i), base + i);
        Coord* c = nullptr;
        qpGetCoordLptr(piece, static_cast<short>(i), &c);
        EXPECT_EQ(c, coords + i);
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, static_cast<short>(i), &f);
        EXPECT_EQ(f, formulas + i);
    }
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    EXPECT_EQ(n, piece->charCount);
    EXPECT_STREQ(area + formulas[1].xTextOffset, "0*H+20");
}

TEST(Append, NewRecordsCarryTheirDefaults) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(100, 50));
    long size = piece->byteSize;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern.get(), piece, &c);
    EXPECT_EQ(c->pointIndex, -1);
    EXPECT_EQ(c->formulaIndex, -1);
    Cutangl* a = nullptr;
    qpIncreaseCutangl(pattern.get(), piece, &a);
    EXPECT_EQ(a->pointIndex, -1);
    EXPECT_EQ(a->side, 0);
    Formula* f = nullptr;
    qpIncreaseFormula(pattern.get(), piece, &f);
    EXPECT_EQ(f->xTextLength, 0);
    Rule* r = nullptr;
    storeIncreaseRule(pattern.get(), piece, &r);
    EXPECT_EQ(r->firstPRule, 0);
    EXPECT_EQ(r->pRuleCount, 0);
    FRule* fr = nullptr;
    storeIncreaseFRule(pattern.get(), piece, &fr);
    EXPECT_EQ(fr->field0, 0);
    EXPECT_EQ(piece->byteSize, size + 12 + 12 + 40 + 12 + 4);
    EXPECT_EQ(piece->coordCount, 6);
    EXPECT_EQ(piece->cutanglCount, 1);
    EXPECT_EQ(piece->formulaCount, 1);
    EXPECT_EQ(piece->ruleCount, 1);
    EXPECT_EQ(piece->fRuleCount, 1);
    // One formula makes the piece carry formulas, which its points do not
    // have yet; the checker says so.
    EXPECT_EQ(storeCheckPieceText(piece), "point 0: formulaIndex -1 out of range 0..0");
}

TEST(Append, SegmentLineAndPointsMakeAnInnerLineAsTheDartToolDoes) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(200, 100));
    Seg* seg = nullptr;
    qpIncreaseSegment(pattern.get(), piece, &seg);
    EXPECT_EQ(seg->code, 1);
    EXPECT_EQ(seg->value, 0);
    EXPECT_EQ(seg->markFlag, 0);
    EXPECT_EQ(seg->lineCount, 0);
    EXPECT_EQ(seg->firstLine, 4);
    seg->code = 2;
    seg->value = 14;
    Line* line = nullptr;
    qpIncreaseLine(pattern.get(), piece, seg, &line);
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(piece->lineCount, 5);
    EXPECT_EQ(line->kind, 1);
    EXPECT_EQ(line->pointCount, 0);
    qpGetSegLptr(piece, 1, &seg);
    EXPECT_EQ(seg->lineCount, 1);
    EXPECT_EQ(seg->firstLine, 4);
    for (int k = 0; k < 2; ++k) {
        Point* p = nullptr;
        qpGetSegLptr(piece, 1, &seg);
        qpIncreasePoint(pattern.get(), piece, seg, static_cast<short>(piece->lineCount - 1), 0, &p);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->segIndex, 1);
        EXPECT_EQ(p->lineIn, -1);
        EXPECT_EQ(p->lineOut, -1);
        EXPECT_EQ(p->coordIndex, -1);
        EXPECT_EQ(p->type, k == 0 ? 's' : 'k');  // lower case: not an outline segment
        if (k == 0) p->lineOut = static_cast<int16_t>(piece->lineCount - 1);
        else p->lineIn = static_cast<int16_t>(piece->lineCount - 1);
        p->coordIndex = piece->coordCount;
        Coord* c = nullptr;
        qpIncreaseCoord(pattern.get(), piece, &c);
        c->pointIndex = static_cast<int16_t>(piece->pointCount - 1);
        c->x = 50.0f + 100 * k;
        c->y = 50.0f;
    }
    EXPECT_EQ(LineAt(piece, 4)->firstPoint, 5);
    EXPECT_EQ(LineAt(piece, 4)->pointCount, 2);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Append, OutlinePointsAreUpperCaseAndAFirstPointStartsItsLine) {
    TestPattern pattern;
    Piece* piece = nullptr;
    qpIncreasePiece(pattern.get(), &piece);
    Seg* seg = nullptr;
    qpIncreaseSegment(pattern.get(), piece, &seg);  // code 1: outline
    Line* line = nullptr;
    qpIncreaseLine(pattern.get(), piece, seg, &line);
    Point* p = nullptr;
    qpGetSegLptr(piece, 0, &seg);
    qpIncreasePoint(pattern.get(), piece, seg, 0, 0, &p);
    EXPECT_EQ(p->type, 'S');
    qpGetSegLptr(piece, 0, &seg);
    qpIncreasePoint(pattern.get(), piece, seg, 0, 0, &p);
    EXPECT_EQ(p->type, 'K');
    qpGetSegLptr(piece, 0, &seg);
    qpIncreasePoint(pattern.get(), piece, seg, -1, 0, &p);  // a point of no line
    EXPECT_EQ(p->type, 'K');
    EXPECT_EQ(LineAt(piece, 0)->pointCount, 2);
    EXPECT_EQ(LineAt(piece, 0)->firstPoint, 0);
    PointAt(piece, 0)->lineOut = 0;
    PointAt(piece, 1)->lineIn = 0;
    for (int i = 0; i < 3; ++i) {
        PointAt(piece, i)->coordIndex = static_cast<int16_t>(i);
        Coord* c = nullptr;
        qpIncreaseCoord(pattern.get(), piece, &c);
        c->pointIndex = static_cast<int16_t>(i);
        c->x = 10.0f * i;
    }
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Append, ALineOfAnEarlierSegmentGoesAfterItsLastLine) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    Seg* outline = SegAt(piece, 0);
    Line* line = nullptr;
    qpIncreaseLine(pattern.get(), piece, outline, &line);
    EXPECT_EQ(line, LineAt(piece, 4));
    EXPECT_EQ(SegAt(piece, 0)->lineCount, 5);
    EXPECT_EQ(SegAt(piece, 1)->firstLine, 5);
    for (int p = 7; p <= 9; ++p) {
        EXPECT_EQ(PointAt(piece, p)->lineIn, p == 7 ? -1 : 5) << p;
        EXPECT_EQ(PointAt(piece, p)->lineOut, p == 9 ? -1 : 5) << p;
    }
    qpDeleteLine(pattern.get(), piece, 4);
    EXPECT_EQ(SegAt(piece, 1)->firstLine, 4);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Append, MarksGetSPointsInTheirOwnSegmentKeptContiguous) {
    TestPattern pattern;
    PieceShape shape = RectangleShape(200, 100);
    shape.marks.push_back(Mark('o', 10, 10, 0, 0, 15, 12));
    shape.marks.push_back(Mark('g', 20, 10, 1, 0, 17, 0));
    Piece* piece = pattern.add(shape);
    ASSERT_NE(piece, nullptr);
    // Another mark in the first mark segment goes after its SPoint, before
    // the second segment's.
    SPoint* sp = nullptr;
    qpIncreaseSPoint(pattern.get(), piece, SegAt(piece, 1), &sp);
    ASSERT_NE(sp, nullptr);
    EXPECT_FLOAT_EQ(sp->size, 5.0f);
    EXPECT_EQ(sp->pointIndex, -1);
    EXPECT_EQ(sp->lineIndex, -1);
    EXPECT_EQ(SegAt(piece, 1)->lineCount, 2);
    EXPECT_EQ(SegAt(piece, 2)->firstLine, 2);
    Point* p = nullptr;
    qpIncreasePoint(pattern.get(), piece, SegAt(piece, 1), 1, 1, &p);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->type, 'o');
    p->lineIn = 0;
    p->coordIndex = piece->coordCount;
    SPoint* owner = nullptr;
    qpGetSPointLptr(piece, 1, &owner);
    EXPECT_EQ(owner->pointIndex, 7);
    Coord* c = nullptr;
    qpIncreaseCoord(pattern.get(), piece, &c);
    c->pointIndex = 7;
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Append, ANewMarkSegmentAsThePointToolMakesIt) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(200, 100));
    Seg* seg = nullptr;
    qpIncreaseSegment(pattern.get(), piece, &seg);
    seg->code = 16;
    seg->markFlag = 1;
    seg->firstLine = piece->sPointCount;
    SPoint* sp = nullptr;
    qpIncreaseSPoint(pattern.get(), piece, SegAt(piece, 1), &sp);
    sp->lineIndex = 0;
    sp->position = 100;
    Point* p = nullptr;
    qpIncreasePoint(pattern.get(), piece, SegAt(piece, 1), static_cast<short>(piece->sPointCount - 1), 1, &p);
    p->type = 'v';
    p->lineIn = 0;
    p->lineOut = -1571;  // an angle, not a line
    p->coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern.get(), piece, &c);
    c->pointIndex = 5;
    EXPECT_EQ(SegAt(piece, 1)->lineCount, 1);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Append, RefusedCallsChangeNothing) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    std::vector<char> before(reinterpret_cast<char*>(piece), reinterpret_cast<char*>(piece) + piece->byteSize);
    Line* l = reinterpret_cast<Line*>(1);
    Seg foreign{};
    qpIncreaseLine(pattern.get(), piece, &foreign, &l);  // not a segment of the piece
    EXPECT_EQ(l, nullptr);
    Point* p = reinterpret_cast<Point*>(1);
    qpIncreasePoint(pattern.get(), piece, SegAt(piece, 0), 9, 0, &p);  // no line 9
    EXPECT_EQ(p, nullptr);
    qpIncreasePoint(pattern.get(), piece, SegAt(piece, 0), 0, 2, &p);  // no owner kind 2
    EXPECT_EQ(p, nullptr);
    SPoint* sp = reinterpret_cast<SPoint*>(1);
    qpIncreaseSPoint(pattern.get(), piece, SegAt(piece, 0), &sp);  // a segment of lines
    EXPECT_EQ(sp, nullptr);
    short offset = 7;
    char* text = reinterpret_cast<char*>(1);
    qpIncreaseString(pattern.get(), piece, -1, &offset, &text);
    EXPECT_EQ(offset, -1);
    EXPECT_EQ(text, nullptr);
    EXPECT_EQ(std::vector<char>(reinterpret_cast<char*>(piece), reinterpret_cast<char*>(piece) + piece->byteSize),
              before);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Append, GrowingAPieceMovesTheLaterPiecesAndTotalSize) {
    TestPattern pattern(20000);
    pattern.add(RectangleShape(10, 10));
    pattern.add(CurvedWithFormulasShape());
    pattern.add(CurvedWithInnerShape());
    PatternBuffer* p = pattern.get();
    std::vector<int32_t> before(pieceOffsets(p), pieceOffsets(p) + 3);
    int32_t total = p->totalSize;
    std::vector<char> last(reinterpret_cast<char*>(pattern.piece(2)),
                           reinterpret_cast<char*>(pattern.piece(2)) + pattern.piece(2)->byteSize);
    Piece* first = pattern.piece(0);
    Cutangl* c = nullptr;
    qpIncreaseCutangl(p, first, &c);
    c->pointIndex = 1;
    EXPECT_EQ(pieceOffsets(p)[0], before[0]);
    EXPECT_EQ(pieceOffsets(p)[1], before[1] + 12);
    EXPECT_EQ(pieceOffsets(p)[2], before[2] + 12);
    EXPECT_EQ(p->totalSize, total + 12);
    EXPECT_EQ(std::vector<char>(reinterpret_cast<char*>(pattern.piece(2)),
                                reinterpret_cast<char*>(pattern.piece(2)) + pattern.piece(2)->byteSize),
              last);
    short offset = 0;
    char* text = nullptr;
    qpIncreaseString(p, pattern.piece(1), 40, &offset, &text);
    EXPECT_EQ(pieceOffsets(p)[2], before[2] + 52);
    EXPECT_TRUE(PatternConsistent(p));
}

TEST(Strings, IncreaseReservesAtTheEndOfTheArea) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    short offset = 0;
    char* text = nullptr;
    long size = piece->byteSize;
    qpIncreaseString(pattern.get(), piece, 6, &offset, &text);
    EXPECT_EQ(offset, n);
    EXPECT_EQ(piece->charCount, n + 6);
    // The area takes its byte count rounded up to a multiple of 4.
    auto span = [](long chars) { return (chars + 3) / 4 * 4; };
    EXPECT_EQ(piece->byteSize, size - span(n) + span(n + 6));
    qpGetCharLptr(piece, &n, &area);
    EXPECT_EQ(text, area + offset);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(text[k], 0);
    EXPECT_TRUE(PieceConsistent(piece));  // unused text bytes are allowed
}

TEST(Strings, TextsOfAnyLengthKeepEveryPieceAndArrayAligned) {
    TestPattern pattern(20000);
    PieceShape shape = CurvedWithFormulasShape();
    shape.extwids = {Extwid{0, 2, 1, 1}};
    pattern.add(shape);
    pattern.add(shape);
    for (short length : {1, 2, 3, 5, 7}) {
        short offset = 0;
        char* text = nullptr;
        qpIncreaseString(pattern.get(), pattern.piece(0), length, &offset, &text);
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(pieceOffsets(pattern.get())[k] % 4, 0) << length;
            EXPECT_EQ(pattern.piece(k)->byteSize % 4, 0) << length;
            Extwid* e = nullptr;
            qpGetExtwidLptr(pattern.piece(k), 0, &e);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(e) % 4, 0u) << length;
            EXPECT_EQ(e->toPoint, 2);
        }
    }
    short n = 0;  // the last 5 reserved bytes, which no formula uses
    qpDeleteString(pattern.get(), pattern.piece(0), &n, static_cast<short>(pattern.piece(0)->charCount - 5), 5);
    EXPECT_EQ(pattern.piece(0)->byteSize % 4, 0);
    EXPECT_EQ(pieceOffsets(pattern.get())[1] % 4, 0);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(Strings, DeleteLowersTheOffsetsPastTheRemovedBytes) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, 3, &f);
    short xOffset = f->xTextOffset, xLength = f->xTextLength;
    std::vector<short> offsets;
    for (int k = 0; k < piece->formulaCount; ++k) {
        qpGetFormulaLptr(piece, static_cast<short>(k), &f);
        offsets.push_back(f->xTextOffset);
        offsets.push_back(f->yTextOffset);
    }
    short n = 0;
    short chars = piece->charCount;
    qpDeleteString(pattern.get(), piece, &n, xOffset, xLength);
    EXPECT_EQ(n, chars - xLength);
    EXPECT_EQ(piece->charCount, n);
    for (int k = 0; k < piece->formulaCount; ++k) {
        qpGetFormulaLptr(piece, static_cast<short>(k), &f);
        short oldX = offsets[2 * k], oldY = offsets[2 * k + 1];
        if (k != 3) {
            EXPECT_EQ(f->xTextOffset, oldX > xOffset ? oldX - xLength : oldX) << k;
        }
        EXPECT_EQ(f->yTextOffset, oldY > xOffset ? oldY - xLength : oldY) << k;
    }
    EXPECT_EQ(FormulaY(piece, 3), "0*BL+12");
    EXPECT_EQ(FormulaX(piece, 4), "0*H+5");
    // Give point 3 a new x text, as CopyFormulaTexts does.
    short offset = 0;
    char* text = nullptr;
    qpIncreaseString(pattern.get(), piece, 5, &offset, &text);
    std::memcpy(text, "H/2+", 5);
    text[4] = 0;
    qpGetFormulaLptr(piece, 3, &f);
    f->xTextOffset = offset;
    f->xTextLength = 5;
    EXPECT_EQ(FormulaX(piece, 3), "H/2+");
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(Strings, DeleteRefusesBytesOutsideTheArea) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    short chars = piece->charCount;
    short n = 0;
    qpDeleteString(pattern.get(), piece, &n, static_cast<short>(chars - 2), 5);
    EXPECT_EQ(n, chars);
    qpDeleteString(pattern.get(), piece, &n, -1, 2);
    EXPECT_EQ(n, chars);
    qpDeleteString(pattern.get(), piece, &n, 0, 0);
    EXPECT_EQ(n, chars);
    EXPECT_EQ(piece->charCount, chars);
    EXPECT_TRUE(PieceConsistent(piece));
}

}  // namespace

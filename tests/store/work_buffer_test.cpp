// One-piece work buffers and the replacement of a pattern's piece by a block
// of another size.
#include <cstring>
#include <utility>
#include <vector>

#include "frame/work_buffer.h"
#include "siblings/records/store_internals.h"
#include "tests/support/store_fixture.h"
#include "win/win32.h"

namespace {

long BlockSize(const void* locked) { return static_cast<long>(GlobalSize(GlobalHandle(locked))); }

std::vector<char> Bytes(const void* from, long n) {
    const char* p = static_cast<const char*>(from);
    return std::vector<char>(p, p + n);
}

TEST(WorkBuffer, EmptyPieceGivesTotalSize824InA20800ByteBlock) {
    TestPattern pattern;
    Piece* empty = nullptr;
    qpIncreasePiece(pattern.get(), &empty);
    ASSERT_NE(empty, nullptr);
    PatternBuffer* work = MakeWorkBuffer(empty);
    ASSERT_NE(work, nullptr);
    EXPECT_EQ(BlockSize(work), 20800);
    EXPECT_EQ(work->kind, 20);
    EXPECT_EQ(work->headerSize, 24);
    for (int w = 0; w < 4; ++w) EXPECT_EQ(work->reserved[w], 0);
    EXPECT_EQ(work->pieceCount, 1);
    EXPECT_EQ(work->reserved2, 0);
    EXPECT_EQ(work->totalSize, 824);
    EXPECT_EQ(pieceOffsets(work)[0], 24);
    EXPECT_TRUE(PatternConsistent(work));
    FreeGlobalBlock(work);
}

TEST(WorkBuffer, CopiesThePieceWholeAndTheStoreGrowsItInTheSpareBytes) {
    TestPattern pattern;
    Piece* source = pattern.add(CurvedWithFormulasShape());
    ASSERT_NE(source, nullptr);
    PatternBuffer* work = MakeWorkBuffer(source);
    ASSERT_NE(work, nullptr);
    EXPECT_GE(BlockSize(work), source->byteSize + 20000);  // Windows may round a size up
    EXPECT_EQ(work->totalSize, source->byteSize + 24);
    Piece* piece = nullptr;
    qpGetPieceLptr(work, 0, &piece);
    EXPECT_EQ(std::memcmp(piece, source, static_cast<size_t>(source->byteSize)), 0);
    Point* twin = nullptr;
    qpInsertPoint(work, piece, 3, &twin);  // a curve point inside line 2
    twin->coordIndex = piece->coordCount;
    twin->formulaIndex = piece->formulaCount;
    Coord* c = nullptr;
    qpIncreaseCoord(work, piece, &c);
    c->pointIndex = 4;
    Formula* f = nullptr;
    qpIncreaseFormula(work, piece, &f);
    short offset = 0;
    char* text = nullptr;
    qpIncreaseString(work, piece, 2, &offset, &text);
    std::memcpy(text, "1", 2);
    qpGetFormulaLptr(piece, piece->formulaCount - 1, &f);
    f->xTextOffset = f->yTextOffset = offset;
    f->xTextLength = f->yTextLength = 2;
    EXPECT_EQ(work->totalSize, piece->byteSize + 24);
    EXPECT_TRUE(PieceConsistent(piece));
    EXPECT_TRUE(PatternConsistent(work));
    FreeGlobalBlock(work);
}

TEST(WorkBuffer, AToolMayAskForMoreSpareBytesButNeverForFewer) {
    TestPattern pattern;
    Piece* empty = nullptr;
    qpIncreasePiece(pattern.get(), &empty);
    ASSERT_NE(empty, nullptr);
    for (const auto& [spare, size] : std::vector<std::pair<long, long>>{{50000, 50800}, {100, 20800}}) {
        PatternBuffer* work = MakeWorkBuffer(empty, spare);
        ASSERT_NE(work, nullptr);
        EXPECT_GE(BlockSize(work), size);
        EXPECT_EQ(work->totalSize, 824);
        FreeGlobalBlock(work);
    }
}

TEST(WorkBuffer, RefusesNoPieceAndAPieceShorterThanItsHeader) {
    EXPECT_EQ(MakeWorkBuffer(nullptr), nullptr);
    Piece broken{};
    broken.byteSize = 100;
    EXPECT_EQ(MakeWorkBuffer(&broken), nullptr);
}

// A pattern of three pieces, and a copy of piece n that is 100 bytes longer
// (100 more bytes of formula text), in a work buffer.
struct ThreePieces {
    TestPattern pattern{200000};
    PatternBuffer* work = nullptr;
    Piece* longer = nullptr;

    explicit ThreePieces(int n) {
        pattern.add(CurvedWithFormulasShape());
        pattern.add(CurvedWithFormulasShape());
        pattern.add(CurvedWithFormulasShape());
        work = MakeWorkBuffer(pattern.piece(n));
        qpGetPieceLptr(work, 0, &longer);
        short offset = 0;
        char* text = nullptr;
        qpIncreaseString(work, longer, 100, &offset, &text);
    }
    ~ThreePieces() { FreeGlobalBlock(work); }
};

TEST(WorkBuffer, ReplacingPieceNByALongerBlockMovesTheLaterPieces) {
    for (int n = 0; n < 3; ++n) {
        ThreePieces t(n);
        PatternBuffer* p = t.pattern.get();
        std::vector<int32_t> before(pieceOffsets(p), pieceOffsets(p) + 3);
        int32_t total = p->totalSize;
        std::vector<char> later;
        if (n < 2) later = Bytes(reinterpret_cast<char*>(p) + before[n + 1], total - before[n + 1]);
        ASSERT_EQ(ReplacePatternPiece(p, static_cast<short>(n), t.longer), 1) << "piece " << n;
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(pieceOffsets(p)[k], before[k] + (k > n ? 100 : 0)) << "piece " << n << " offset " << k;
        EXPECT_EQ(p->totalSize, total + 100) << "piece " << n;
        if (n < 2) {
            EXPECT_EQ(Bytes(reinterpret_cast<char*>(p) + before[n + 1] + 100, total - before[n + 1]), later)
                << "the later pieces move whole";
        }
        EXPECT_EQ(std::memcmp(t.pattern.piece(n), t.longer, static_cast<size_t>(t.longer->byteSize)), 0);
        EXPECT_TRUE(PatternConsistent(p)) << "piece " << n;
    }
}

TEST(WorkBuffer, ReplacingByAShorterBlockMovesTheLaterPiecesDown) {
    TestPattern pattern(100000);
    pattern.add(RectangleShape(10, 10));
    pattern.add(CurvedWithFormulasShape());
    pattern.add(CurvedShape());
    TestPattern other;
    Piece* small = other.add(RectangleShape(30, 30));
    long delta = small->byteSize - pattern.piece(1)->byteSize;
    int32_t total = pattern.get()->totalSize;
    int32_t third = pieceOffsets(pattern.get())[2];
    ASSERT_EQ(ReplacePatternPiece(pattern.get(), 1, small), 1);
    EXPECT_EQ(pieceOffsets(pattern.get())[2], third + delta);
    EXPECT_EQ(pattern.get()->totalSize, total + delta);
    EXPECT_EQ(pattern.piece(2)->pointCount, 7);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(WorkBuffer, ReplacingIsRefusedWhenTheBlockCannotHoldTheResult) {
    TestPattern built;
    built.add(RectangleShape(10, 10));
    built.add(RectangleShape(20, 20));
    // The same pattern in a block with no byte to spare.
    PatternBuffer* tight = storeNewPattern(built.get()->totalSize, 20);
    std::memcpy(tight, built.get(), static_cast<size_t>(built.get()->totalSize));
    std::vector<char> before = Bytes(tight, tight->totalSize);
    TestPattern other;
    Piece* bigger = other.add(CurvedWithFormulasShape());
    EXPECT_EQ(ReplacePatternPiece(tight, 0, bigger), 0);
    EXPECT_EQ(Bytes(tight, static_cast<long>(before.size())), before);
    EXPECT_EQ(ReplacePatternPiece(tight, 2, bigger), 0);   // no piece 2
    EXPECT_EQ(ReplacePatternPiece(tight, -1, bigger), 0);
    EXPECT_EQ(ReplacePatternPiece(nullptr, 0, bigger), 0);
    EXPECT_EQ(Bytes(tight, static_cast<long>(before.size())), before);
    EXPECT_TRUE(PatternConsistent(tight));
    storeFreePattern(tight);
}

TEST(WorkBuffer, APieceOfTheSamePatternCanTakeAnotherPlace) {
    TestPattern pattern(100000);
    pattern.add(CurvedWithFormulasShape());
    pattern.add(RectangleShape(10, 10));
    pattern.add(RectangleShape(20, 20));
    std::vector<char> first = Bytes(pattern.piece(0), pattern.piece(0)->byteSize);
    ASSERT_EQ(ReplacePatternPiece(pattern.get(), 2, pattern.piece(0)), 1);
    EXPECT_EQ(Bytes(pattern.piece(2), static_cast<long>(first.size())), first);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

// A difference of more than 32767 bytes is a plain 32-bit quantity here.
TEST(WorkBuffer, AGrowthBeyondSixteenBitsIsNotWrapped) {
    TestPattern pattern(200000);
    pattern.add(RectangleShape(10, 10));
    pattern.add(RectangleShape(20, 20));
    TestPattern big(100000);
    Piece* piece = storeAppendPieceCopy(big.cell(), pattern.piece(0));
    for (int k = 0; k < 3000; ++k) {  // 36000 bytes of empty segments
        Seg* g = nullptr;
        qpIncreaseSegment(big.get(), piece, &g);
    }
    long grown = piece->byteSize - pattern.piece(0)->byteSize;
    ASSERT_GT(grown, 32767);
    int32_t second = pieceOffsets(pattern.get())[1];
    ASSERT_EQ(ReplacePatternPiece(pattern.get(), 0, piece), 1);
    EXPECT_EQ(pieceOffsets(pattern.get())[1], second + grown);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

// A scratch piece: the work piece's 800-byte header with the point,
// coordinate, line, segment, SPoint, formula and text counts zeroed and
// byteSize 800, its other counts left as they were; emptied again after use.
TEST(WorkBuffer, AScratchPieceMadeFromAPiecesHeaderTakesCopies) {
    TestPattern pattern;
    PieceShape shape = CurvedWithFormulasShape();
    shape.rules.push_back(ShapeRule{0, 0, {PRule{5, 3, 1, 2}}});
    shape.extwids = {Extwid{1, 5, 10, 12}};
    Piece* source = pattern.add(shape);
    PatternBuffer* work = MakeWorkBuffer(source);
    Piece* workPiece = nullptr;
    qpGetPieceLptr(work, 0, &workPiece);
    PatternBuffer* scratch = MakeScratchBuffer(workPiece, 20000);
    ASSERT_NE(scratch, nullptr);
    EXPECT_EQ(scratch->totalSize, 824);
    Piece* scratchPiece = nullptr;
    qpGetPieceLptr(scratch, 0, &scratchPiece);
    EXPECT_EQ(std::memcmp(scratchPiece, workPiece, 602), 0);  // the header up to the counts
    EXPECT_EQ(scratchPiece->byteSize, 800);
    EXPECT_EQ(scratchPiece->pointCount + scratchPiece->lineCount + scratchPiece->charCount, 0);
    EXPECT_EQ(scratchPiece->ruleCount, workPiece->ruleCount);

    qpCopyGroupPoint(work, workPiece, 4, 3, scratch, scratchPiece, -1, 48);
    ASSERT_EQ(scratchPiece->pointCount, 2);
    EXPECT_FLOAT_EQ(CoordOf(scratchPiece, 0)->x, 50.0f);
    EXPECT_EQ(FormulaX(scratchPiece, 1), "0*H+15");
    // Its leftover rule and seam-allowance counts describe nothing the store
    // will touch.
    Rule* rule = reinterpret_cast<Rule*>(1);
    qpGetRuleLptr(scratchPiece, 0, &rule);
    EXPECT_EQ(rule, nullptr);
    PRule* pr = reinterpret_cast<PRule*>(1);
    qpInsertPRule(scratch, scratchPiece, 0, &pr);
    EXPECT_EQ(pr, nullptr);
    long size = scratchPiece->byteSize;
    qpDeleteExtwid(scratch, scratchPiece, 0);
    EXPECT_EQ(scratchPiece->byteSize, size);

    // Back into the work piece, between points 0 and 1.
    qpCopyGroupPoint(scratch, scratchPiece, 0, 1, work, workPiece, 0, 16);
    EXPECT_EQ(workPiece->pointCount, 12);
    EXPECT_FLOAT_EQ(CoordOf(workPiece, 1)->x, 50.0f);
    EXPECT_EQ(PointAt(workPiece, 1)->lineIn, 0);
    EXPECT_TRUE(PieceConsistent(workPiece));
    EmptyScratchPiece(scratch);
    EXPECT_EQ(scratch->totalSize, 824);
    EXPECT_EQ(scratchPiece->byteSize, 800);
    EXPECT_EQ(scratchPiece->pointCount + scratchPiece->coordCount + scratchPiece->formulaCount, 0);
    FreeGlobalBlock(scratch);
    FreeGlobalBlock(work);
}

// A work buffer sized for one piece may receive a larger one (the symmetry
// tool's group mode copies every flagged piece into the same buffer); its
// header's totalSize then lags, and growing the piece must still move all
// of its bytes.
TEST(WorkBuffer, AHeaderWhoseTotalSizeLagsLosesNothing) {
    TestPattern pattern;
    pattern.add(RectangleShape(10, 10));
    pattern.add(CurvedWithFormulasShape());  // may move the pattern: fetch both again
    Piece* small = pattern.piece(0);
    Piece* large = pattern.piece(1);
    PatternBuffer* work = MakeWorkBuffer(small);
    Piece* piece = nullptr;
    qpGetPieceLptr(work, 0, &piece);
    std::memcpy(piece, large, static_cast<size_t>(large->byteSize));
    ASSERT_LT(work->totalSize, 24 + piece->byteSize);
    Point* p = nullptr;
    qpInsertPoint(work, piece, 3, &p);
    p->coordIndex = piece->coordCount;
    p->formulaIndex = piece->formulaCount;
    Coord* c = nullptr;
    qpIncreaseCoord(work, piece, &c);
    c->pointIndex = 4;
    Formula* f = nullptr;
    qpIncreaseFormula(work, piece, &f);
    short offset = 0;
    char* text = nullptr;
    qpIncreaseString(work, piece, 2, &offset, &text);
    text[0] = '7';
    qpGetFormulaLptr(piece, piece->formulaCount - 1, &f);
    f->xTextOffset = f->yTextOffset = offset;
    f->xTextLength = f->yTextLength = 2;
    EXPECT_EQ(FormulaY(piece, 9 + 1), "0*BL+5");  // the texts at the end of the piece survived
    EXPECT_TRUE(PieceConsistent(piece));
    FreeGlobalBlock(work);
}

}  // namespace

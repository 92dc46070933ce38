// Whole pieces and pattern buffers: appending and deleting pieces, handing a
// rebuilt piece back with qpAddPiece2Buffer, byte copies; and the store
// stopping with a message instead of writing past a block.
#include <cstring>
#include <string>
#include <vector>

#include "frame/work_buffer.h"
#include "tests/support/store_fixture.h"

namespace {

TEST(Buffers, IncreasePieceAppendsAnEmptyPieceAndMovesEveryPiece) {
    TestPattern pattern(6000);
    pattern.add(RectangleShape(10, 10));
    pattern.add(CurvedWithFormulasShape());
    std::string first = BytesOf(pattern.piece(0));
    std::string second = BytesOf(pattern.piece(1));
    std::vector<int32_t> before(pieceOffsets(pattern.get()), pieceOffsets(pattern.get()) + 2);
    int32_t total = pattern.get()->totalSize;
    Piece* made = nullptr;
    qpIncreasePiece(pattern.get(), &made);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(pattern.get()->pieceCount, 3);
    EXPECT_EQ(pattern.get()->headerSize, 32);
    EXPECT_EQ(pieceOffsets(pattern.get())[0], before[0] + 4);
    EXPECT_EQ(pieceOffsets(pattern.get())[1], before[1] + 4);
    EXPECT_EQ(pieceOffsets(pattern.get())[2], total + 4);
    EXPECT_EQ(pattern.get()->totalSize, total + 804);
    EXPECT_EQ(made, pattern.piece(2));
    EXPECT_EQ(made->byteSize, 800);
    EXPECT_EQ(made->pointCount, 0);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(std::memcmp(made->placement, identity, sizeof identity), 0);
    EXPECT_EQ(BytesOf(pattern.piece(0)), first);
    EXPECT_EQ(BytesOf(pattern.piece(1)), second);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(Buffers, DeletePieceIsTheReverse) {
    for (int gone = 0; gone < 3; ++gone) {
        TestPattern pattern(8000);
        pattern.add(RectangleShape(10, 10));
        pattern.add(CurvedWithFormulasShape());
        pattern.add(CurvedWithInnerShape());
        std::vector<std::string> kept;
        for (int k = 0; k < 3; ++k)
            if (k != gone) kept.push_back(BytesOf(pattern.piece(k)));
        qpDeletePiece(pattern.get(), pattern.piece(gone));
        EXPECT_EQ(pattern.get()->pieceCount, 2) << gone;
        EXPECT_EQ(pattern.get()->headerSize, 28) << gone;
        EXPECT_EQ(BytesOf(pattern.piece(0)), kept[0]) << gone;
        EXPECT_EQ(BytesOf(pattern.piece(1)), kept[1]) << gone;
        EXPECT_TRUE(PatternConsistent(pattern.get())) << gone;
    }
}

TEST(Buffers, AFoldPieceComesAndGoes) {
    TestPattern pattern(6000);
    pattern.add(CurvedShape());
    std::vector<char> before(reinterpret_cast<char*>(pattern.get()),
                             reinterpret_cast<char*>(pattern.get()) + pattern.get()->totalSize);
    Piece* fold = nullptr;
    qpIncreasePiece(pattern.get(), &fold);
    qpCopyGroupPoint(pattern.get(), pattern.piece(0), 1, 5, pattern.get(), fold, -1, 0x11);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
    qpDeletePiece(pattern.get(), pattern.piece(1));
    EXPECT_EQ(std::vector<char>(reinterpret_cast<char*>(pattern.get()),
                                reinterpret_cast<char*>(pattern.get()) + pattern.get()->totalSize),
              before);
}

TEST(Buffers, DeletingAPieceOfAnotherPatternChangesNothing) {
    TestPattern pattern;
    pattern.add(RectangleShape(10, 10));
    TestPattern other;
    other.add(RectangleShape(10, 10));
    int32_t total = pattern.get()->totalSize;
    qpDeletePiece(pattern.get(), other.piece(0));
    EXPECT_EQ(pattern.get()->pieceCount, 1);
    EXPECT_EQ(pattern.get()->totalSize, total);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
    EXPECT_TRUE(PatternConsistent(other.get()));
}

TEST(Buffers, AddPieceHandsARebuiltPieceBackAsThePleatToolDoes) {
    TestPattern pattern(4000);
    pattern.add(RectangleShape(10, 10));
    pattern.add(CurvedWithFormulasShape());
    pattern.add(RectangleShape(30, 30));
    PatternBuffer* work = MakeWorkBuffer(pattern.piece(1));
    Piece* workPiece = nullptr;
    qpGetPieceLptr(work, 0, &workPiece);
    Seg* seg = nullptr;
    qpIncreaseSegment(work, workPiece, &seg);  // some growth in the work buffer
    std::string rebuilt = BytesOf(workPiece);

    PatternBuffer* patternCell = pattern.get();
    Piece* pieceCell = pattern.piece(1);
    qpDeletePiece(patternCell, pieceCell);
    qpAddPiece2Buffer(&work, &workPiece, &patternCell, &pieceCell, 0);
    *pattern.cell() = patternCell;  // the fixture frees whatever block it is now
    EXPECT_EQ(patternCell->pieceCount, 3);
    EXPECT_EQ(pieceCell, pattern.piece(2));
    EXPECT_EQ(BytesOf(pieceCell), rebuilt);
    EXPECT_EQ(pattern.piece(1)->pointCount, 5);  // the third piece moved up
    EXPECT_TRUE(PatternConsistent(patternCell));
    // The work buffer stays its owner's.
    EXPECT_EQ(BytesOf(workPiece), rebuilt);
    FreeGlobalBlock(work);
}

TEST(Buffers, AddPieceMovesThePatternToALargerBlockWhenFull) {
    TestPattern built;
    built.add(RectangleShape(10, 10));
    PatternBuffer* tight = storeNewPattern(built.get()->totalSize, 20);
    std::memcpy(tight, built.get(), static_cast<size_t>(built.get()->totalSize));
    TestPattern source;
    Piece* piece = source.add(CurvedWithFormulasShape());
    PatternBuffer* cell = tight;
    Piece* pieceCell = nullptr;
    qpAddPiece2Buffer(source.cell(), &piece, &cell, &pieceCell, 0);
    EXPECT_NE(cell, tight);  // moved; the old block was freed
    EXPECT_GE(storeBlockSize(cell), cell->totalSize);
    EXPECT_EQ(cell->pieceCount, 2);
    Piece* second = nullptr;
    qpGetPieceLptr(cell, 1, &second);
    EXPECT_EQ(pieceCell, second);
    EXPECT_EQ(BytesOf(second), BytesOf(piece));
    EXPECT_TRUE(PatternConsistent(cell));
    storeFreePattern(cell);
}

TEST(Buffers, MemcpyCopiesAPattern) {
    TestPattern pattern;
    pattern.add(CurvedWithFormulasShape());
    PatternBuffer* copy = storeNewPattern(pattern.get()->totalSize + 100000, 20);
    qpMemcpy(copy, pattern.get(), pattern.get()->totalSize);
    EXPECT_EQ(std::memcmp(copy, pattern.get(), static_cast<size_t>(pattern.get()->totalSize)), 0);
    EXPECT_TRUE(PatternConsistent(copy));
    qpMemcpy(copy, nullptr, 10);  // refused
    qpMemcpy(copy, pattern.get(), 0);
    EXPECT_TRUE(PatternConsistent(copy));
    storeFreePattern(copy);
}

// ---- never past a block ------------------------------------------------------------

using BuffersDeathTest = ::testing::Test;

TEST(BuffersDeathTest, GrowingPastTheBlockStopsWithAMessage) {
    EXPECT_DEATH(
        {
            TestPattern built;
            built.add(RectangleShape(10, 10));
            // Fewer than the 12 bytes a Coord needs, in whole 8-byte units
            // (Windows may round a block's size up to those).
            PatternBuffer* tight = storeNewPattern((built.get()->totalSize + 11) / 8 * 8, 20);
            std::memcpy(tight, built.get(), static_cast<size_t>(built.get()->totalSize));
            Piece* piece = nullptr;
            qpGetPieceLptr(tight, 0, &piece);
            Coord* c = nullptr;
            qpIncreaseCoord(tight, piece, &c);
        },
        "store: pattern buffer full: need .+ bytes, block holds .+");
}

TEST(BuffersDeathTest, AWorkBufferRunsOutAfterItsSpareBytes) {
    EXPECT_DEATH(
        {
            TestPattern pattern;
            PatternBuffer* work = MakeWorkBuffer(pattern.add(RectangleShape(10, 10)));
            Piece* piece = nullptr;
            qpGetPieceLptr(work, 0, &piece);
            short offset = 0;
            char* text = nullptr;
            qpIncreaseString(work, piece, 20001, &offset, &text);
        },
        "store: pattern buffer full: need 21.+ bytes, block holds 21.+");
}

TEST(BuffersDeathTest, IncreasePieceInAFullBlock) {
    EXPECT_DEATH(
        {
            PatternBuffer* tight = storeNewPattern(816, 20);
            Piece* p = nullptr;
            qpIncreasePiece(tight, &p);
        },
        "store: pattern buffer full: need 824 bytes, block holds 816");
}

TEST(BuffersDeathTest, MemcpyPastTheDestinationBlock) {
    EXPECT_DEATH(
        {
            PatternBuffer* small = storeNewPattern(100, 20);
            PatternBuffer* big = storeNewPattern(200, 20);
            qpMemcpy(small, big, 200);
        },
        "store: qpMemcpy: 200 bytes do not fit the block of 100 bytes");
}

TEST(BuffersDeathTest, APieceOutsideItsPatternIsRefused) {
    EXPECT_DEATH(
        {
            TestPattern one;
            TestPattern two;
            Piece* piece = two.add(RectangleShape(10, 10));
            one.add(RectangleShape(10, 10));
            Coord* c = nullptr;
            qpIncreaseCoord(one.get(), piece, &c);
        },
        "store: piece .* is not a piece of pattern");
}

TEST(BuffersDeathTest, APieceWhosePatternIsNoGlobalBlock) {
    EXPECT_DEATH(
        {
            std::vector<char> plain(2000);
            auto* pattern = reinterpret_cast<PatternBuffer*>(plain.data());
            pattern->headerSize = 24;
            pattern->pieceCount = 1;
            pattern->totalSize = 824;
            pieceOffsets(pattern)[0] = 24;
            auto* piece = reinterpret_cast<Piece*>(plain.data() + 24);
            piece->byteSize = 800;
            Coord* c = nullptr;
            qpIncreaseCoord(pattern, piece, &c);
        },
        "store: pattern .* is not a global memory block");
}

}  // namespace

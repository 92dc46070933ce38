// Movable global memory as the store's work buffers and pattern copies use
// it: sizes known, handles found from addresses, overruns caught.
#include <gtest/gtest.h>

#include <cstring>

#include "win/desktop.h"

namespace {

class GlobalMemory : public ::testing::Test {
protected:
    void SetUp() override { deskReset(); }
    void TearDown() override { deskReset(); }
};

bool hasFaultContaining(const std::string& part) {
    for (const auto& f : deskFaults()) {
        if (f.find(part) != std::string::npos) return true;
    }
    return false;
}

TEST_F(GlobalMemory, AMovableBlockKnowsItsSizeAndItsHandle) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 1000);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalSize(h), 1000u);
    auto* p = static_cast<unsigned char*>(GlobalLock(h));
    ASSERT_NE(p, nullptr);
    EXPECT_NE(static_cast<void*>(p), static_cast<void*>(h));
    std::memset(p, 1, 1000);
    EXPECT_EQ(GlobalHandle(p), h);
    EXPECT_EQ(GlobalHandle(p + 1), nullptr);  // only the block's start names it
    ASSERT_EQ(deskLiveBlocks().size(), 1u);
    EXPECT_EQ(deskLiveBlocks()[0].locks, 1);
    EXPECT_EQ(deskLiveBlocks()[0].size, 1000u);
    EXPECT_FALSE(GlobalUnlock(GlobalHandle(p)));  // FALSE: no lock left
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_TRUE(deskLiveBlocks().empty());
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(GlobalMemory, LocksAreCounted) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 8);
    void* a = GlobalLock(h);
    void* b = GlobalLock(h);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(GlobalUnlock(h));   // one lock left
    EXPECT_FALSE(GlobalUnlock(h));  // none left
    EXPECT_TRUE(deskFaults().empty());
    EXPECT_FALSE(GlobalUnlock(h));  // unlocking an unlocked block
    EXPECT_TRUE(hasFaultContaining("not locked"));
    GlobalFree(h);
}

TEST_F(GlobalMemory, ZeroInitialisedBlocksAreZeroAndOthersAreNot) {
    HGLOBAL zeroed = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
    HGLOBAL fresh = GlobalAlloc(GMEM_MOVEABLE, 64);
    auto* z = static_cast<unsigned char*>(GlobalLock(zeroed));
    auto* f = static_cast<unsigned char*>(GlobalLock(fresh));
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(z[i], 0);
        EXPECT_NE(f[i], 0);  // code that assumes zeroed memory must ask for it
    }
    GlobalUnlock(zeroed);
    GlobalUnlock(fresh);
    GlobalFree(zeroed);
    GlobalFree(fresh);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(GlobalMemory, ALockedBlockCanBeFreedAsOnWindows) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
    GlobalLock(h);
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_TRUE(deskLiveBlocks().empty());
    EXPECT_TRUE(deskFaults().empty());
}

TEST_F(GlobalMemory, FreeingTwiceFailsWithTheHandleAndIsAFault) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 16);
    GlobalFree(h);
    EXPECT_EQ(GlobalFree(h), h);
    EXPECT_TRUE(hasFaultContaining("freed twice"));
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_TRUE(hasFaultContaining("GlobalLock: freed block"));
}

TEST_F(GlobalMemory, UnknownHandlesAndPointersAreRefused) {
    int local = 0;
    EXPECT_EQ(GlobalHandle(&local), nullptr);
    EXPECT_EQ(GlobalSize(reinterpret_cast<HGLOBAL>(0x7777)), 0u);
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(0x7777)), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    EXPECT_TRUE(hasFaultContaining("unknown block"));
}

TEST_F(GlobalMemory, AnOverrunIsCaughtWhenTheBlockIsFreed) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 10);
    auto* p = static_cast<char*>(GlobalLock(h));
    p[10] = 'x';  // one past the end
    GlobalUnlock(h);
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_TRUE(hasFaultContaining("written outside its bounds"));
}

TEST_F(GlobalMemory, AnUnderrunIsCaughtByTheHeapCheck) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 10);
    auto* p = static_cast<char*>(GlobalLock(h));
    EXPECT_EQ(deskCheckHeap(), "");
    p[-1] = 'x';
    EXPECT_NE(deskCheckHeap(), "");
    EXPECT_NE(deskCheckDiscipline(), "");
    p[-1] = static_cast<char>(0xFD);  // mended, the block frees without a new fault
    GlobalUnlock(h);
    GlobalFree(h);
}

TEST_F(GlobalMemory, WritingUpToTheLastByteIsNoFault) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 10);
    auto* p = static_cast<char*>(GlobalLock(h));
    std::memset(p, 'y', 10);
    GlobalUnlock(h);
    GlobalFree(h);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(GlobalMemory, AnEmptyMovableBlockIsDiscardedAndLocksToNull) {
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GlobalLock(h), nullptr);
    EXPECT_EQ(GlobalSize(h), 0u);
    EXPECT_EQ(GlobalFree(h), nullptr);
    EXPECT_TRUE(deskFaults().empty());
}

TEST_F(GlobalMemory, AFixedBlockIsItsOwnHandle) {
    HGLOBAL h = GlobalAlloc(GMEM_FIXED, 12);
    EXPECT_EQ(GlobalLock(h), static_cast<void*>(h));
    EXPECT_EQ(GlobalHandle(h), h);
    EXPECT_EQ(GlobalSize(h), 12u);
    EXPECT_EQ(GlobalFree(h), nullptr);
}

TEST_F(GlobalMemory, AnImpossibleSizeIsRefused) {
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(-1) / 2), nullptr);
    EXPECT_TRUE(deskLiveBlocks().empty());
}

TEST_F(GlobalMemory, ResetFreesWhatIsLeftAndHandlesStayUnique) {
    HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 4);
    GlobalAlloc(GMEM_MOVEABLE, 4);
    EXPECT_EQ(deskLiveBlocks().size(), 2u);
    deskReset();
    EXPECT_TRUE(deskLiveBlocks().empty());
    HGLOBAL next = GlobalAlloc(GMEM_MOVEABLE, 4);
    EXPECT_NE(next, first);
    EXPECT_EQ(GlobalLock(first), nullptr);  // the old handle is not taken for the new block
    GlobalFree(next);
}

}  // namespace

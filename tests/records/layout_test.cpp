// The binary layouts shared with the host and the sibling libraries, where a
// run can tell: the public header (include/qpkit6/records.h) pins every
// offset and size with static_assert (HostDoc's in the 32-bit build, its real
// home); here are HostDoc's offsets in this word size, the piece offsets
// after the header, and the type-letter helpers.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "frame/records.h"

namespace {

struct FieldRow {
    const char* name;
    size_t actual;
    size_t expected;
};

#define ROW(Type, field, offset) {#Type "." #field, offsetof(Type, field), offset}

// HostDoc holds pointers: its offsets are binding in the 32-bit build, the
// record's real home; the 64-bit build keeps the order, each field 4 bytes
// further per pointer before it.
TEST(Layout, HostDocOffsetsForThisWordSize) {
    const size_t extra = sizeof(void*) - 4;
    const std::vector<FieldRow> rows = {
        ROW(HostDoc, pattern, 8),
        {"HostDoc.patternView", offsetof(HostDoc, patternView), 12 + extra},
        {"HostDoc.patternCopy", offsetof(HostDoc, patternCopy), 32 + 2 * extra},
        {"HostDoc.currentPiece", offsetof(HostDoc, currentPiece), 60 + 3 * extra},
        {"HostDoc.lengthUnit", offsetof(HostDoc, lengthUnit), 72 + 3 * extra},
        {"HostDoc.fRuleLock", offsetof(HostDoc, fRuleLock), 88 + 3 * extra},
        {"HostDoc.notice", offsetof(HostDoc, notice), 96 + 3 * extra},
        {"HostDoc.viewMatrixB", offsetof(HostDoc, viewMatrixB), 128 + 3 * extra},
        {"HostDoc.viewMatrixA", offsetof(HostDoc, viewMatrixA), 164 + 3 * extra},
    };
    for (const FieldRow& r : rows) EXPECT_EQ(r.actual, r.expected) << r.name;
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof(HostDoc), 1072u);
    }
}

TEST(Layout, PieceOffsetsFollowTheTwentyByteHeader) {
    alignas(4) char bytes[32] = {};
    auto* b = reinterpret_cast<PatternBuffer*>(bytes);
    pieceOffsets(b)[0] = 24;
    pieceOffsets(b)[1] = 824;
    EXPECT_EQ(bytes[20], 24);
    EXPECT_EQ(static_cast<unsigned char>(bytes[24]), 824 & 0xFF);
    EXPECT_EQ(bytes[25], 824 >> 8);
}

// Point types compare case-blind and keep their case when rewritten.
struct TypeRow {
    char type;
    char letter;
    bool outline;
    char rewrittenAsK;
};

TEST(Layout, PointTypeLetters) {
    const std::vector<TypeRow> rows = {
        {'K', 'K', true, 'K'},  {'k', 'K', false, 'k'}, {'S', 'S', true, 'K'}, {'s', 'S', false, 'k'},
        {'C', 'C', true, 'K'},  {'c', 'C', false, 'k'}, {'M', 'M', true, 'K'}, {'m', 'M', false, 'k'},
        {'v', 'V', false, 'k'}, {'o', 'O', false, 'k'},
    };
    for (const TypeRow& r : rows) {
        EXPECT_EQ(typeLetter(r.type), r.letter) << r.type;
        EXPECT_EQ(isOutlineType(r.type), r.outline) << r.type;
        EXPECT_EQ(withCaseOf(r.type, 'K'), r.rewrittenAsK) << r.type;
    }
}

}  // namespace

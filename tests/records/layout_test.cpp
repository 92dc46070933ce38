// The binary layouts shared with the host and the sibling libraries: every
// field at its offset, every record at its size, in both word sizes (the
// host records' pointers make HostDoc differ; its 32-bit offsets are the
// binding ones and are checked in the -m32 build).
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

TEST(Layout, StoreRecordFieldsSitAtTheirOffsets) {
    const std::vector<FieldRow> rows = {
        ROW(PatternBuffer, kind, 0), ROW(PatternBuffer, headerSize, 2), ROW(PatternBuffer, reserved, 4),
        ROW(PatternBuffer, pieceCount, 12), ROW(PatternBuffer, reserved2, 14), ROW(PatternBuffer, totalSize, 16),
        ROW(Piece, groupFlag, 602), ROW(Piece, segCount, 604), ROW(Piece, lineCount, 606),
        ROW(Piece, sPointCount, 608), ROW(Piece, pointCount, 610), ROW(Piece, coordCount, 612),
        ROW(Piece, extwidCount, 614), ROW(Piece, cutanglCount, 616), ROW(Piece, ruleCount, 618),
        ROW(Piece, pRuleCount, 620), ROW(Piece, fRuleCount, 622), ROW(Piece, formulaCount, 624),
        ROW(Piece, charCount, 626), ROW(Piece, byteSize, 632), ROW(Piece, foldAngleLow, 756),
        ROW(Piece, foldAngleHigh, 760), ROW(Piece, placement, 764),
        ROW(Point, type, 0), ROW(Point, coordIndex, 2), ROW(Point, lineIn, 4), ROW(Point, lineOut, 6),
        ROW(Point, segIndex, 8), ROW(Point, formulaIndex, 10),
        ROW(Coord, pointIndex, 0), ROW(Coord, formulaIndex, 2), ROW(Coord, x, 4), ROW(Coord, y, 8),
        ROW(Line, kind, 0), ROW(Line, flags, 2), ROW(Line, pointCount, 4), ROW(Line, firstPoint, 6),
        ROW(Line, joinKind, 12), ROW(Line, joinCount, 16), ROW(Line, joinPoint, 18),
        ROW(Formula, xTextLength, 8), ROW(Formula, xTextOffset, 10), ROW(Formula, yTextLength, 12),
        ROW(Formula, yTextOffset, 14),
        ROW(Seg, code, 0), ROW(Seg, markFlag, 2), ROW(Seg, value, 4), ROW(Seg, lineCount, 6), ROW(Seg, firstLine, 8),
        ROW(SPoint, lineIndex, 0), ROW(SPoint, pointIndex, 2), ROW(SPoint, size, 4), ROW(SPoint, position, 8),
        ROW(Rule, pRuleCount, 4), ROW(Rule, firstPRule, 6),
        ROW(PRule, code, 0), ROW(PRule, pointIndex, 2), ROW(PRule, dx, 4), ROW(PRule, dy, 8),
        ROW(Extwid, fromPoint, 0), ROW(Extwid, toPoint, 2), ROW(Extwid, fromWidth, 4), ROW(Extwid, toWidth, 8),
        ROW(Cutangl, side, 0), ROW(Cutangl, pointIndex, 2), ROW(Cutangl, first, 4), ROW(Cutangl, second, 8),
        ROW(FRule, field0, 0), ROW(FRule, field2, 2),
        ROW(ParaName, value, 8),
    };
    for (const FieldRow& r : rows) EXPECT_EQ(r.actual, r.expected) << r.name;
}

TEST(Layout, HostRecordFieldsSitAtTheirOffsets) {
    const std::vector<FieldRow> rows = {
        ROW(HostView, pickState, 2), ROW(HostView, increaseMode, 8), ROW(HostView, symmetryStep, 46),
        ROW(HostView, gapMoveStep, 48), ROW(HostView, gapFoldStep, 50), ROW(HostView, pieceFoldStep, 52),
        ROW(HostView, italyStep, 54),
        ROW(GapFoldRecord, foldPhase, 20), ROW(GapFoldRecord, sourcePiece, 22), ROW(GapFoldRecord, foldPiece, 24),
        ROW(GapFoldRecord, spanFirst, 26), ROW(GapFoldRecord, spanLast, 28), ROW(GapFoldRecord, spanMiddle, 30),
        ROW(GapFoldRecord, legEndLow, 32), ROW(GapFoldRecord, centreEnd, 34), ROW(GapFoldRecord, legEndHigh, 36),
        ROW(GapFoldRecord, lowTurnLast, 38), ROW(GapFoldRecord, highTurnFirst, 40),
    };
    for (const FieldRow& r : rows) EXPECT_EQ(r.actual, r.expected) << r.name;
}

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

TEST(Layout, RecordSizes) {
    const std::vector<FieldRow> rows = {
        {"PatternBuffer header", sizeof(PatternBuffer), 20}, {"Piece", sizeof(Piece), 800},
        {"Point", sizeof(Point), 12}, {"Coord", sizeof(Coord), 12}, {"Line", sizeof(Line), 20},
        {"Formula", sizeof(Formula), 40}, {"Seg", sizeof(Seg), 12}, {"SPoint", sizeof(SPoint), 12},
        {"Rule", sizeof(Rule), 12}, {"PRule", sizeof(PRule), 12}, {"Extwid", sizeof(Extwid), 12},
        {"Cutangl", sizeof(Cutangl), 12}, {"FRule", sizeof(FRule), 4}, {"ParaName", sizeof(ParaName), 12},
        {"HostView", sizeof(HostView), 56}, {"GapFoldRecord", sizeof(GapFoldRecord), 42},
    };
    for (const FieldRow& r : rows) EXPECT_EQ(r.actual, r.expected) << r.name;
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

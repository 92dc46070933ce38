/* Qpkit6: the records a host, the library and the pattern store hand to each
 * other as raw memory. Public: a host includes qpkit6.h, which includes this.
 *
 * Ownership: the host owns HostView, HostDoc, GapFoldRecord and the pattern
 * buffer; the store (sibling libraries) owns the records inside the buffer
 * and may move them on any operation that adds or removes records, so a
 * record pointer is fetched again after each such operation.
 * Units: coordinates and lengths in millimetres (f32, x right, y up); formula
 * texts in centimetres; angles in radians. All integers are little-endian;
 * record indices are i16 counted from 0 within a piece, negative = none.
 *
 * Every offset below is binding and pinned with static_assert. Bytes marked
 * "store" belong to the pattern store, bytes marked "host" to the host; how
 * the store arranges the record arrays inside a piece is its own. This is the
 * one definition of these layouts: the library compiles against it. Plain C
 * (C11) or C++.
 */
#ifndef QPKIT6_RECORDS_H
#define QPKIT6_RECORDS_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#  include <assert.h> /* static_assert */
#endif

#pragma pack(push, 4)

// PatternBuffer header (a movable global block, used locked).
//   off  width  field
//     0  i16    kind          20 for buffers this library builds
//     2  i16    headerSize    20 + 4 * pieceCount
//     4  i16x4  reserved      0
//    12  i16    pieceCount
//    14  i16    reserved2     0
//    16  i32    totalSize     bytes in use, header included
//    20  i32xN  pieceOffset   one per piece, from the start of the buffer
typedef struct PatternBuffer {
    int16_t kind;
    int16_t headerSize;
    int16_t reserved[4];
    int16_t pieceCount;
    int16_t reserved2;
    int32_t totalSize;
    // i32 pieceOffset[pieceCount] follows at byte 20.
} PatternBuffer;
static_assert(sizeof(PatternBuffer) == 20, "PatternBuffer header is 20 bytes");
static_assert(offsetof(PatternBuffer, kind) == 0, "");
static_assert(offsetof(PatternBuffer, headerSize) == 2, "");
static_assert(offsetof(PatternBuffer, reserved) == 4, "");
static_assert(offsetof(PatternBuffer, pieceCount) == 12, "");
static_assert(offsetof(PatternBuffer, reserved2) == 14, "");
static_assert(offsetof(PatternBuffer, totalSize) == 16, "");

// Piece: an 800-byte header followed by the record arrays (their arrangement
// is the store's).
//   off  width     field
//     0  602 B     (store)
//   602  i16       groupFlag     low byte set: mirrored along in group mode
//   604  i16       segCount
//   606  i16       lineCount
//   608  i16       sPointCount
//   610  i16       pointCount
//   612  i16       coordCount
//   614  i16       extwidCount
//   616  i16       cutanglCount
//   618  i16       ruleCount
//   620  i16       (store: PRule count)
//   622  i16       fRuleCount
//   624  i16       formulaCount  0: the piece carries no formulas
//   626  i16       charCount     bytes in the formula-text area
//   628  4 B       (store)
//   632  i32       byteSize      whole block, header included (empty: 800)
//   636  120 B     (store)
//   756  f32       foldAngleLow  fold pieces only (radians)
//   760  f32       foldAngleHigh fold pieces only (radians)
//   764  f32x9     placement     piece -> pattern, row-vector convention
typedef struct Piece {
    char store0[602];
    int16_t groupFlag;
    int16_t segCount;
    int16_t lineCount;
    int16_t sPointCount;
    int16_t pointCount;
    int16_t coordCount;
    int16_t extwidCount;
    int16_t cutanglCount;
    int16_t ruleCount;
    int16_t pRuleCount;  // store's field; this library does not read it
    int16_t fRuleCount;
    int16_t formulaCount;
    int16_t charCount;
    char store628[4];
    int32_t byteSize;
    char store636[120];
    float foldAngleLow;
    float foldAngleHigh;
    float placement[9];
} Piece;
static_assert(sizeof(Piece) == 800, "Piece header is 800 bytes");
static_assert(offsetof(Piece, groupFlag) == 602, "");
static_assert(offsetof(Piece, segCount) == 604, "");
static_assert(offsetof(Piece, lineCount) == 606, "");
static_assert(offsetof(Piece, sPointCount) == 608, "");
static_assert(offsetof(Piece, pointCount) == 610, "");
static_assert(offsetof(Piece, coordCount) == 612, "");
static_assert(offsetof(Piece, extwidCount) == 614, "");
static_assert(offsetof(Piece, cutanglCount) == 616, "");
static_assert(offsetof(Piece, ruleCount) == 618, "");
static_assert(offsetof(Piece, pRuleCount) == 620, "");
static_assert(offsetof(Piece, fRuleCount) == 622, "");
static_assert(offsetof(Piece, formulaCount) == 624, "");
static_assert(offsetof(Piece, charCount) == 626, "");
static_assert(offsetof(Piece, byteSize) == 632, "");
static_assert(offsetof(Piece, foldAngleLow) == 756, "");
static_assert(offsetof(Piece, foldAngleHigh) == 760, "");
static_assert(offsetof(Piece, placement) == 764, "");

// Point (12 bytes).
//   0 char type  1 (store)  2 i16 coordIndex  4 i16 lineIn  6 i16 lineOut
//   8 i16 segIndex  10 i16 formulaIndex
// Type letters: upper case = outline, lower case = inner lines and marks;
// compared case-blind (type & 0x5F), so that both cases match. A `v` notch keeps
// its direction in lineOut, in thousandths of a radian.
typedef struct Point {
    char type;
    char store1;
    int16_t coordIndex;
    int16_t lineIn;
    int16_t lineOut;
    int16_t segIndex;
    int16_t formulaIndex;
} Point;
static_assert(sizeof(Point) == 12, "");
static_assert(offsetof(Point, type) == 0, "");
static_assert(offsetof(Point, coordIndex) == 2, "");
static_assert(offsetof(Point, lineIn) == 4, "");
static_assert(offsetof(Point, lineOut) == 6, "");
static_assert(offsetof(Point, segIndex) == 8, "");
static_assert(offsetof(Point, formulaIndex) == 10, "");

// Coord (12 bytes): 0 i16 pointIndex  2 i16 formulaIndex  4 f32 x  8 f32 y (mm)
typedef struct Coord {
    int16_t pointIndex;
    int16_t formulaIndex;
    float x;
    float y;
} Coord;
static_assert(sizeof(Coord) == 12, "");
static_assert(offsetof(Coord, pointIndex) == 0, "");
static_assert(offsetof(Coord, formulaIndex) == 2, "");
static_assert(offsetof(Coord, x) == 4, "");
static_assert(offsetof(Coord, y) == 8, "");

// Line (20 bytes; the size is the store's).
//   0 i16 kind  2 i16 flags (0x20: a notch lies on it)  4 i16 pointCount
//   6 i16 firstPoint  8 (store)  12 i16 joinKind  14 (store)
//   16 i16 joinCount  18 i16 joinPoint
// A line that starts at point i ends at point i + pointCount - 1.
typedef struct Line {
    int16_t kind;
    int16_t flags;
    int16_t pointCount;
    int16_t firstPoint;
    int16_t store8[2];
    int16_t joinKind;
    int16_t store14;
    int16_t joinCount;
    int16_t joinPoint;
} Line;
static_assert(sizeof(Line) == 20, "");
static_assert(offsetof(Line, kind) == 0, "");
static_assert(offsetof(Line, flags) == 2, "");
static_assert(offsetof(Line, pointCount) == 4, "");
static_assert(offsetof(Line, firstPoint) == 6, "");
static_assert(offsetof(Line, joinKind) == 12, "");
static_assert(offsetof(Line, joinCount) == 16, "");
static_assert(offsetof(Line, joinPoint) == 18, "");

// Formula (40 bytes): the x and y texts that position one point.
//   0 (store)  8 i16 xTextLength  10 i16 xTextOffset  12 i16 yTextLength
//   14 i16 yTextOffset  16 (store)
// Lengths include the terminating zero; offsets are from the start of the
// piece's formula-text area (qpGetCharLptr).
typedef struct Formula {
    char store0[8];
    int16_t xTextLength;
    int16_t xTextOffset;
    int16_t yTextLength;
    int16_t yTextOffset;
    char store16[24];
} Formula;
static_assert(sizeof(Formula) == 40, "");
static_assert(offsetof(Formula, xTextLength) == 8, "");
static_assert(offsetof(Formula, xTextOffset) == 10, "");
static_assert(offsetof(Formula, yTextLength) == 12, "");
static_assert(offsetof(Formula, yTextOffset) == 14, "");

// Seg (12 bytes; the size is the store's): a group of lines with one meaning.
//   0 i16 code (1, 3 outline; 3 wins)  2 i16 markFlag  4 i16 value
//   6 i16 lineCount  8 i16 firstLine (a mark segment: its first SPoint)
typedef struct Seg {
    int16_t code;
    int16_t markFlag;
    int16_t value;
    int16_t lineCount;
    int16_t firstLine;
    int16_t store10;
} Seg;
static_assert(sizeof(Seg) == 12, "");
static_assert(offsetof(Seg, code) == 0, "");
static_assert(offsetof(Seg, markFlag) == 2, "");
static_assert(offsetof(Seg, value) == 4, "");
static_assert(offsetof(Seg, lineCount) == 6, "");
static_assert(offsetof(Seg, firstLine) == 8, "");

// SPoint (12 bytes): a notch or mark.
//   0 i16 lineIndex  2 i16 pointIndex  4 f32 size (mm)  8 f32 position (mm
//   along lineIndex from its first point)
typedef struct SPoint {
    int16_t lineIndex;
    int16_t pointIndex;
    float size;
    float position;
} SPoint;
static_assert(sizeof(SPoint) == 12, "");
static_assert(offsetof(SPoint, lineIndex) == 0, "");
static_assert(offsetof(SPoint, pointIndex) == 2, "");
static_assert(offsetof(SPoint, size) == 4, "");
static_assert(offsetof(SPoint, position) == 8, "");

// Rule (12 bytes): a grading rule; its PRules are contiguous.
//   0 (store)  4 i16 pRuleCount  6 i16 firstPRule  8 (store)
typedef struct Rule {
    int16_t store0[2];
    int16_t pRuleCount;
    int16_t firstPRule;
    int16_t store8[2];
} Rule;
static_assert(sizeof(Rule) == 12, "");
static_assert(offsetof(Rule, pRuleCount) == 4, "");
static_assert(offsetof(Rule, firstPRule) == 6, "");

// PRule (12 bytes): one point's grading step.
//   0 i16 code (>= 100: code/100 a reference point, code%100 the kind)
//   2 i16 pointIndex  4 f32 dx  8 f32 dy (mm)
typedef struct PRule {
    int16_t code;
    int16_t pointIndex;
    float dx;
    float dy;
} PRule;
static_assert(sizeof(PRule) == 12, "");
static_assert(offsetof(PRule, code) == 0, "");
static_assert(offsetof(PRule, pointIndex) == 2, "");
static_assert(offsetof(PRule, dx) == 4, "");
static_assert(offsetof(PRule, dy) == 8, "");

// Extwid (12 bytes): a seam-allowance width stretch.
//   0 i16 fromPoint  2 i16 toPoint  4 f32 fromWidth  8 f32 toWidth (mm)
typedef struct Extwid {
    int16_t fromPoint;
    int16_t toPoint;
    float fromWidth;
    float toWidth;
} Extwid;
static_assert(sizeof(Extwid) == 12, "");
static_assert(offsetof(Extwid, fromPoint) == 0, "");
static_assert(offsetof(Extwid, toPoint) == 2, "");
static_assert(offsetof(Extwid, fromWidth) == 4, "");
static_assert(offsetof(Extwid, toWidth) == 8, "");

// Cutangl (12 bytes): a corner cut.
//   0 i16 side (1 or 2)  2 i16 pointIndex  4 f32 first  8 f32 second
typedef struct Cutangl {
    int16_t side;
    int16_t pointIndex;
    float first;
    float second;
} Cutangl;
static_assert(sizeof(Cutangl) == 12, "");
static_assert(offsetof(Cutangl, side) == 0, "");
static_assert(offsetof(Cutangl, pointIndex) == 2, "");
static_assert(offsetof(Cutangl, first) == 4, "");
static_assert(offsetof(Cutangl, second) == 8, "");

// FRule (4 bytes; the size is the store's): two store words at 0 and 2,
// copied unchanged by the tools.
typedef struct FRule {
    int16_t field0;
    int16_t field2;
} FRule;
static_assert(sizeof(FRule) == 4, "");
static_assert(offsetof(FRule, field0) == 0, "");
static_assert(offsetof(FRule, field2) == 2, "");

// ParaName (12 bytes): a pattern parameter (a body measurement).
//   0 (store: the one- or two-letter name)  8 f32 value (cm, current size)
typedef struct ParaName {
    char name[2];
    char store2[6];
    float value;
} ParaName;
static_assert(sizeof(ParaName) == 12, "");
static_assert(offsetof(ParaName, value) == 8, "");

// HostView: the host's tool-state record; only these words are ours.
//   2 i16 pickState  8 i16 increaseMode  46 symmetryStep  48 gapMoveStep
//   50 gapFoldStep  52 pieceFoldStep  54 italyStep
typedef struct HostView {
    int16_t host0;
    int16_t pickState;
    int16_t host4[2];
    int16_t increaseMode;
    int16_t host10[18];
    int16_t symmetryStep;
    int16_t gapMoveStep;
    int16_t gapFoldStep;
    int16_t pieceFoldStep;
    int16_t italyStep;
} HostView;
static_assert(sizeof(HostView) == 56, "");
static_assert(offsetof(HostView, pickState) == 2, "");
static_assert(offsetof(HostView, increaseMode) == 8, "");
static_assert(offsetof(HostView, symmetryStep) == 46, "");
static_assert(offsetof(HostView, gapMoveStep) == 48, "");
static_assert(offsetof(HostView, gapFoldStep) == 50, "");
static_assert(offsetof(HostView, pieceFoldStep) == 52, "");
static_assert(offsetof(HostView, italyStep) == 54, "");

// HostDoc: the host's document record, 1072 bytes in 32-bit builds.
//   off  width    field
//     8  pointer  pattern       current PatternBuffer
//    12  pointer  patternView   second cell holding the same pointer
//    32  pointer  patternCopy   locked copy of the whole pattern
//    60  i16      currentPiece
//    72  i32      lengthUnit    1 inch, 2 (x 33.33), else centimetre
//    88  i32      fRuleLock
//    96  i32      notice        108 after the symmetry tool replaced the pattern
//   128  f32x9    viewMatrixB
//   164  f32x9    viewMatrixA   view = viewMatrixA x viewMatrixB
// The offsets hold in 32-bit builds, the record's real home. A 64-bit build
// keeps the same fields in the same order with 8-byte pointers, so every field
// after a pointer sits 4 bytes further per pointer before it.
typedef struct HostDoc {
    char host0[8];
    PatternBuffer* pattern;
    PatternBuffer* patternView;
    char host16[16];
    PatternBuffer* patternCopy;
    char host36[24];
    int16_t currentPiece;
    char host62[10];
    int32_t lengthUnit;
    char host76[12];
    int32_t fRuleLock;
    char host92[4];
    int32_t notice;
    char host100[28];
    float viewMatrixB[9];
    float viewMatrixA[9];
    char host200[872];
} HostDoc;
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(HostDoc) == 1072, "HostDoc is 1072 bytes");
static_assert(offsetof(HostDoc, pattern) == 8, "");
static_assert(offsetof(HostDoc, patternView) == 12, "");
static_assert(offsetof(HostDoc, patternCopy) == 32, "");
static_assert(offsetof(HostDoc, currentPiece) == 60, "");
static_assert(offsetof(HostDoc, lengthUnit) == 72, "");
static_assert(offsetof(HostDoc, fRuleLock) == 88, "");
static_assert(offsetof(HostDoc, notice) == 96, "");
static_assert(offsetof(HostDoc, viewMatrixB) == 128, "");
static_assert(offsetof(HostDoc, viewMatrixA) == 164, "");
#else
static_assert(offsetof(HostDoc, pattern) == 8, "");
static_assert(offsetof(HostDoc, patternView) == 16, "");
static_assert(offsetof(HostDoc, patternCopy) == 40, "");
static_assert(offsetof(HostDoc, currentPiece) == 72, "");
static_assert(offsetof(HostDoc, viewMatrixA) == 176, "");
#endif

// GapFoldRecord: host-owned, survives between the dart fold's two phases.
//   20 foldPhase  22 sourcePiece  24 foldPiece  26 spanFirst  28 spanLast
//   30 spanMiddle  32 legEndLow  34 centreEnd  36 legEndHigh
//   38 lowTurnLast  40 highTurnFirst   (all i16)
typedef struct GapFoldRecord {
    int16_t host0[10];
    int16_t foldPhase;
    int16_t sourcePiece;
    int16_t foldPiece;
    int16_t spanFirst;
    int16_t spanLast;
    int16_t spanMiddle;
    int16_t legEndLow;
    int16_t centreEnd;
    int16_t legEndHigh;
    int16_t lowTurnLast;
    int16_t highTurnFirst;
} GapFoldRecord;
static_assert(sizeof(GapFoldRecord) == 42, "");
static_assert(offsetof(GapFoldRecord, foldPhase) == 20, "");
static_assert(offsetof(GapFoldRecord, sourcePiece) == 22, "");
static_assert(offsetof(GapFoldRecord, foldPiece) == 24, "");
static_assert(offsetof(GapFoldRecord, spanFirst) == 26, "");
static_assert(offsetof(GapFoldRecord, spanLast) == 28, "");
static_assert(offsetof(GapFoldRecord, spanMiddle) == 30, "");
static_assert(offsetof(GapFoldRecord, legEndLow) == 32, "");
static_assert(offsetof(GapFoldRecord, centreEnd) == 34, "");
static_assert(offsetof(GapFoldRecord, legEndHigh) == 36, "");
static_assert(offsetof(GapFoldRecord, lowTurnLast) == 38, "");
static_assert(offsetof(GapFoldRecord, highTurnFirst) == 40, "");

#pragma pack(pop)

#endif /* QPKIT6_RECORDS_H */

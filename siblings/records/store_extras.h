// The pattern store stand-in (Qpkit1, with Qpkit3 and Qpkit4): its public
// extras, what tests, fixtures and the qpkit host need beyond the sibling
// operations of frame/siblings.h. The library itself never includes this
// header. What the stand-ins share among themselves is in store_internals.h.
//
// Memory: patterns are movable global blocks (GlobalAlloc, used locked); the
// store knows each block's size through GlobalSize(GlobalHandle(pattern)) and
// never writes past it. Record pointers die at every operation that adds or
// removes records of their piece or moves the piece.
// Units: millimetres in records, centimetres in formula texts and parameter
// values. Indices are 16-bit; -1 means none.
//
// ---- The store's rules -------------------------------------------------------
// Block: the 800-byte header, then points, coords, lines, segs, spoints,
//   formulas, the text area, rules, prules, extwids, cutangls, frules.
// byteSize = 800 + sum(count x size) + charCount rounded up to a multiple of
//   4 (zero padding), so that pieces and arrays stay 4-byte aligned; sizes
//   12 12 20 12 12 40, 1 per text byte, 12 12 12 12 4; counts are the next
//   index.
// The arrays after the text area come last so that a copied header whose
//   first seven counts are zeroed (byteSize 800) is an empty, usable piece;
//   arrays its leftover counts place past byteSize are never touched.
// The PRule count lives in Piece.pRuleCount (offset 620, the store's field).
// Getters: an index out of range gives null; index 0 of an empty array gives
//   the array's base (where the next appended record will be); pieces: null.
// A piece that grows or shrinks moves the later pieces of its buffer; their
//   pieceOffset entries and totalSize follow; the piece header stays put.
// The buffer is the pattern argument; the piece is found by its address
//   among pieceOffset[]; a piece outside its pattern is refused (stderr).
// Out of room: "store: pattern buffer full: need N bytes, block holds M" on
//   stderr, then abort(); nothing is ever written past the block. The same
//   for a piece full (a count past 32767), a text area full and a damaged
//   piece. A host may install a failure hook instead (storeSetFailureHook).
// Bad indices: one line on stderr, nothing changes, pointer results are null.
// Lines have 2 points or more, but for an open line being drawn: 1 point,
//   a chain start (S or s, lineIn -1, lineOut the line), as the last line of
//   its segment.
// Point types: S chain start, K turning point, C and M curve points (upper
//   case outline, lower case inner lines); v o g p marks belong to no line.
// Marks keep codes in lineIn/lineOut (a v notch its angle): never renumbered.
// A mark segment is a Seg with markFlag != 0: firstLine names its first SPoint
//   and lineCount counts its SPoints.
// Inserting or deleting a point renumbers Line.firstPoint, Coord.pointIndex,
//   SPoint.pointIndex, PRule.pointIndex, Extwid ends and Cutangl.pointIndex.
// Inserting or deleting a line renumbers Point.lineIn/lineOut (not marks),
//   Seg.firstLine (not mark segments) and SPoint.lineIndex.
// Never renumbered (the tools' own codes): PRule.code, Line.joinKind,
//   Line.joinCount, Line.joinPoint.
// qpInsertPoint(i): new point i+1; inside the line holding i..i+1 it is a C
//   (c if point i is lower case) with lineIn = lineOut = that line, which
//   gains a point; elsewhere it takes point i's type with lineIn = lineOut =
//   -1. segIndex is point i's; coordIndex and formulaIndex are -1.
// qpInsertLine(c): new line c+1, a copy of line c, in c's segment. When the
//   old line c+1 starts at c's last point it hands its first stretch to the
//   new line (new = last point of c, 2 points; old starts one later, one
//   point fewer); otherwise the new line is (last point of c, 2 points).
// qpDeletePoint(i): removes the point, its Coord, its Formula and texts, its
//   SPoints, PRules (Rule counts follow) and Cutangls; Extwid ends naming i
//   keep i, clamped into range. An interior point shrinks its line; a point
//   where two lines meet merges them (the first absorbs the second, its end,
//   join fields and SPoints; it keeps its own kind, except that a two-point
//   line absorbing an arc (kind 3) becomes kind 3); a chain
//   end shrinks its line and the new end turns K (an S start stays S), same
//   case; a line left with fewer than 2 points is deleted.
// qpDeleteLine(L): references to L become -1; later lines move down; L's
//   segment loses a line.
// qpDeleteLine(L) of a line its caller emptied (pointCount 0) joins it into
//   the next line of its segment: that line starts at L's first point, and
//   points up to its old first point that still name L name it.
// storeInsertLine(seg, at): a new line at index `at` inside seg's range of
//   lines (at its front, its end or between); kind 1, no points.
// qpIncreaseSegment: code 1, value 0, markFlag 0, firstLine = lineCount,
//   lineCount 0. qpIncreaseLine(seg): kind 1, right after seg's last line;
//   seg.lineCount + 1 (firstLine set when it had none).
// qpIncreasePoint(seg, owner, kind): appended with segIndex = seg, lineIn =
//   lineOut = -1; kind 0: owner line gains it (firstPoint when it had none),
//   type S as a line's first point, else K; kind 1: owner SPoint's
//   pointIndex = the new point, type o; owner -1: no line, no SPoint.
//   Lower case unless the segment's code is 1 or 3.
// qpIncreaseSPoint(seg): after seg's last SPoint (seg becomes a mark segment
//   if it had none); size 5.0 mm, lineIndex = pointIndex = -1.
// New records are zeroed but for these defaults; index fields meaning none
//   are -1 (Coord, Extwid and Cutangl point fields, Point.coordIndex and
//   formulaIndex, Coord.formulaIndex, Line.firstPoint and joinPoint).
// qpIncreaseString(n): n zeroed bytes at the end of the text area.
// qpDeleteString lowers every Formula text offset past the removed bytes.
// qpInsertPRule(i): new PRule i+1; Rule counts are the caller's.
// qpIncreasePiece: an empty piece (800 bytes, identity placement) last; the
//   header grows by 4 bytes, so every piece moves. qpDeletePiece: reverse.
// qpAddPiece2Buffer: appends a copy of *newPieceCell to *patternCell, moving
//   the pattern to a larger block (old one freed) when it does not fit; the
//   block holding the new piece stays its owner's.
// qpMemcpy: a byte copy; one that starts at a block's first byte and runs
//   past the block stops like an out-of-room growth.
// qpCopyGroupPoint: the copies come in the order given, each with its own
//   Coord and (where formulas are kept) Formula and texts. Modes 1 and 0x11
//   append new chains in new segments, joining copies that were neighbours
//   on one source line. Details in siblings/groups/copy_group_point.cpp.
// qpCopyGroupPoint modes 48 and 16 insert copy k at after + 1 + k, in the
//   segment of point `after` (a new one like the source's when there is
//   none), with these line records:
//   - copies that were neighbours on one source line share one line of that
//     line's kind, in the destination's line order;
//   - run ends become turning points: a copy without an incoming line is S
//     when a line leaves it, else K; one where two lines meet is K; one
//     inside a copied line keeps C or M; the source's case is kept;
//   - the tie: a line from point `after` to the first copy (not after -1 or
//     a mark). When a line X held after..after + 1, X ends at the first copy
//     (kind 1 when it now has two points) and a new line from the last copy
//     to X's old end follows the copied lines (X's kind, 1 for two points);
//     otherwise the tie is a new line of kind 1;
//   - so a tie emptied and deleted by the caller (qpDeleteLine above) joins
//     the first copied line to point `after`.
// Parameters: one global table, names of one or two letters (case-sensitive),
//   values in cm; an unknown name is added with value 0 on first lookup.
// -----------------------------------------------------------------------------
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/records.h"
#include "frame/siblings.h"

#if defined(_WIN32)
#  define QP_STORE_CXX_EXPORT __declspec(dllexport)
#else
#  define QP_STORE_CXX_EXPORT __attribute__((visibility("default")))
#endif

// ---- Patterns ----------------------------------------------------------------

// A locked movable global block of capacityBytes holding an empty pattern:
// header of 20 bytes, no pieces, totalSize 20. Null when capacityBytes < 20.
QP_SIBLING_EXPORT PatternBuffer* storeNewPattern(long capacityBytes, short kind = kWorkBufferKind);
// Unlocks and frees a pattern made by storeNewPattern or grown by the store.
QP_SIBLING_EXPORT void storeFreePattern(PatternBuffer* pattern);
// Size of the global block that holds `locked` (GlobalSize), -1 if unknown.
QP_SIBLING_EXPORT long storeBlockSize(const void* locked);

// ---- Piece blocks --------------------------------------------------------------

// Bytes the block of a piece with the counts in its header takes, as the
// store lays it out (800 + records + text area); -1 when a count is
// negative. A piece built in one pass (the host's pattern loader) is a
// zeroed, 4-byte aligned block of that size whose header holds the counts
// and that byteSize: the getters then place every array (the one of index
// 0 is its base; a kind's records lie back to back), and qpAddPiece2Buffer
// takes the finished piece.
QP_SIBLING_EXPORT long storePieceSize(const Piece* piece);

// ---- Failures ------------------------------------------------------------------

// Called with the store's one-line reason (no newline) when an operation
// runs out of room or meets a damaged piece, before anything is written.
// The hook may unwind (throw): the store holds no state of its own across
// the call, and its callers are built with unwind tables (GCC's default for
// C++). A hook that returns lets the store print the line and abort(), as
// it does without one. The library never installs one; a host does.
typedef void (*StoreFailureHook)(const char* reason);
// Installs `hook` (null: none); returns the one it replaces.
QP_SIBLING_EXPORT StoreFailureHook storeSetFailureHook(StoreFailureHook hook);
// For tests only: the text area takes at most `bytes` (1 .. 32767; any
// other value restores 32767). A program reads QP_STORE_TEXT_AREA_LIMIT
// from its environment at the first text growth instead. Tools plan with
// the real limit, so a lowered one reaches the store's own refusal.
QP_SIBLING_EXPORT void storeSetTextAreaLimit(long bytes);

// ---- Edits a host may follow -----------------------------------------------------

// What the store did to which records a pattern holds, told as it happens,
// so that a host can follow its points through the store's renumbering: a
// point it knew as i is i + n after n points are opened at or before i, is
// gone when it is closed, and the points of an appended copy are its
// source's. Pieces are named by their pattern block and their place in its
// table (piece -1: a piece no pattern's table names).
enum StoreEditKind {
    kStorePointsOpened = 1,  // `count` points at index `at` of the piece
    kStorePointsClosed = 2,  // `count` points from index `at` of the piece
    kStorePieceAppended = 3,  // a copy of sourcePiece of sourcePattern (-1: a new, or unnamed, piece)
    kStorePieceDeleted = 4,   // told before the piece goes
    kStoreBytesCopied = 5,    // qpMemcpy: `bytes` bytes from `source` to `destination`
    kStorePatternMoved = 6,   // the pattern grew into a new block: `source` was its old block
};
struct StoreEdit {
    int kind;
    const PatternBuffer* pattern;
    int piece;
    int at;
    int count;
    const PatternBuffer* sourcePattern;
    int sourcePiece;
    const void* source;
    const void* destination;
    long bytes;
};
// Called after each such edit (a deletion: before), with the host's
// context. The library never installs one; a host does, for a report of
// what a run did. Installs `observer` (null: none); returns the one it
// replaces, with its context in *previousContext when given.
typedef void (*StoreEditObserver)(const StoreEdit* edit, void* context);
QP_SIBLING_EXPORT StoreEditObserver storeSetEditObserver(StoreEditObserver observer, void* context,
                                                         void** previousContext);

// ---- Consistency -------------------------------------------------------------

// 1 when the piece is consistent; 0 with a one-line reason (record kind,
// index, what is wrong) in message, never more than size bytes with its zero.
QP_SIBLING_EXPORT int storeCheckPiece(const Piece* piece, char* message, int size);
// Header, offsets ascending and back to back, totalSize, and every piece.
QP_SIBLING_EXPORT int storeCheckPattern(const PatternBuffer* pattern, char* message,
                                        int size);

// ---- Parameters (the measurement table the host fills) -------------------------

// The one rule for a parameter name, shared by the store and the host: one
// letter, or two letters of the same case ("H", "BL", "ab"). A formula text
// reads a letter followed by a letter of its own case as one two-letter name.
// storeParameterNameAt: the length (0, 1 or 2) of the name at text[i].
QP_STORE_CXX_EXPORT size_t storeParameterNameAt(const std::string& text, size_t i);
QP_STORE_CXX_EXPORT bool storeIsParameterName(const std::string& name);
// name: a parameter name, case-sensitive; value in centimetres. 0: refused.
QP_SIBLING_EXPORT int storeSetParameter(const char* name, float value);
QP_SIBLING_EXPORT void storeClearParameters(void);
QP_SIBLING_EXPORT int storeParameterCount(void);
// Parameter i in table order: name (zero-terminated, 3 bytes) and value.
// 0 when i is out of range.
QP_SIBLING_EXPORT int storeGetParameter(int i, char name[3], float* value);

// ---- Record kinds without a sibling append operation --------------------------

QP_SIBLING_EXPORT void storeIncreaseRule(PatternBuffer* pattern, Piece* piece, Rule** p);
QP_SIBLING_EXPORT void storeIncreaseFRule(PatternBuffer* pattern, Piece* piece, FRule** p);
// A line at index `at` of segment s's range (its front .. one past its end;
// any index when s has no lines yet); kind 1, no points. Later lines move up.
QP_SIBLING_EXPORT void storeInsertLine(PatternBuffer* pattern, Piece* piece, short s, short at, Line** p);

// ---- Formula texts (for the sibling libraries, tests and the host) -----------

// The text of one axis (0: x, 1: y) of Formula `formula`; "" when the formula
// does not exist or its text does not lie inside the text area.
QP_STORE_CXX_EXPORT std::string storeFormulaText(Piece* piece, int formula, int axis);
// Writes `text` as a new text at the end of the area (qpIncreaseString) and
// points that axis of Formula `formula` at it. The old text stays where it
// is; removing it is the caller's. Nothing happens for a missing formula.
QP_STORE_CXX_EXPORT void storeWriteFormulaText(PatternBuffer* pattern, Piece* piece, int formula,
                                               int axis, const std::string& text);

// ---- Building pieces (tests, fixtures, the host's pattern loader) --------------

// One point of a chain or a mark. x and y in millimetres; the formula texts
// in centimetres (empty: the coordinate written as a constant, when the piece
// carries formulas). Texts must stay below 80 bytes with their zero.
struct ShapePoint {
    char type = 'K';
    float x = 0.0f;
    float y = 0.0f;
    std::string xFormula;
    std::string yFormula;
};

// An outline chain (upper-case types) or an inner line (lower case): an S,
// then C, M and K points, ending with a K. Lines run between turning points.
// A closed outline ends with a K on the chain's first point (`close` appends
// it). Each chain gets a segment of its own.
struct ShapeChain {
    std::vector<ShapePoint> points;
    bool close = false;
    int16_t segCode = 0;    // 0: 1 for an outline chain, 2 for an inner line
    int16_t segValue = -1;  // -1: 0 for an outline chain, 14 for an inner line
    int16_t lineKind = 0;   // 0: 1 for two-point lines, 2 for longer ones
};

// A mark ('v', 'o', 'g' or 'p'): a point in a mark segment with its SPoint.
// lineIn and lineOut are the mark's own codes (a 'v' keeps its angle in
// thousandths of a radian in lineOut). Consecutive marks with equal segment
// code and value share one segment.
struct ShapeMark {
    ShapePoint point;
    int16_t lineIn = 0;
    int16_t lineOut = 0;
    int16_t segCode = 15;
    int16_t segValue = 12;
    int16_t lineIndex = -1;  // SPoint.lineIndex: the line the mark lies on
    float size = 5.0f;       // SPoint.size, mm
    float position = 0.0f;   // SPoint.position, mm along lineIndex
};

// A grading rule: its two store words and its point steps (point indices are
// those of the built piece; PRule codes are kept as given).
struct ShapeRule {
    int16_t word0 = 0;
    int16_t word2 = 0;
    std::vector<PRule> pRules;
};

struct PieceShape {
    std::vector<ShapeChain> chains;  // points numbered in chain order
    std::vector<ShapeMark> marks;    // follow the chains' points
    std::vector<ShapeRule> rules;
    std::vector<Extwid> extwids;
    std::vector<Cutangl> cutangls;
    std::vector<FRule> fRules;
    // Give every point a Formula. Implied when any point has a formula text.
    bool formulas = false;
    int16_t groupFlag = 0;
    float placement[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // piece -> pattern
    float foldAngleLow = 0.0f;
    float foldAngleHigh = 0.0f;
};

// Builds the piece through the store operations (qpIncrease*) and appends it
// as the last piece of *cell, moving the pattern to a larger block when
// needed (*cell follows). Returns the piece, or null with a one-line reason
// in *error (when given) for a description it refuses; the pattern is then
// unchanged.
QP_STORE_CXX_EXPORT Piece* storeAppendPiece(PatternBuffer** cell, const PieceShape& shape,
                                            std::string* error = nullptr);
// The checker's verdict as text: empty when consistent, else the reason.
QP_STORE_CXX_EXPORT std::string storeCheckPieceText(const Piece* piece);
QP_STORE_CXX_EXPORT std::string storeCheckPatternText(const PatternBuffer* pattern);
// The pattern's frame only: header, offsets back to back, piece sizes inside
// the block (what appending a piece relies on); the pieces' records unread.
QP_STORE_CXX_EXPORT std::string storeCheckPatternFrame(const PatternBuffer* pattern);

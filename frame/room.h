// Room: will an edit fit the piece, and the block that holds its pattern?
// One description of what an edit adds (PieceGrowth), the store's limits,
// and one check against the block (patternTakes), for every tool.
//
// A tool checks on the untouched piece, before its first store call: the
// store's record counts and the text area's charCount are 16-bit, and a
// store operation that would pass them, or the end of the pattern's block,
// stops the program. A tool that gets the pattern by value refuses the edit
// with its message when it does not fit; one that owns or replaces a block
// (a work buffer, a new pattern) sizes it from PieceGrowth::bytes().
//
// Memory: reads a piece's header and formula records; owns nothing.
// Units: bytes, and records of one kind.
#pragma once

#include <cstdint>

#include "frame/records.h"

namespace frame {

// ---- the store's limits --------------------------------------------------------

constexpr long kMaxPieceRecords = 32767;   // records of one kind in a piece
constexpr long kMaxTextAreaBytes = 32767;  // bytes of formula text in a piece
// The most one new formula text takes, its zero included: the formula
// routines and the store's formula repair write within 100 bytes.
constexpr long kMaxFormulaTextBytes = 100;
// The most one text grows when qpAdjustFormula rewrites it, however often,
// and the most a text derived from a point's text (its parametric terms and
// a constant for another position) exceeds it. The rewrite keeps the
// parametric terms and writes one constant: the old constant plus the
// point's move. A formula gives its point, and points lie within 100 m of
// the origin (the store's checker), so the move is below 20,000 cm: at most
// five more integer digits, three decimals with their point, a sign and a
// '+' before it, 11 bytes; 16 leaves a margin. (A formula that misses its
// point may grow by more: the house keeps none, and the store then stops.)
constexpr long kMaxRewriteGrowthBytes = 16;
// A piece's entry in the pattern header's pieceOffset[].
constexpr long kPieceOffsetBytes = static_cast<long>(sizeof(int32_t));
// What a new piece takes in a pattern block besides its records: its header
// and its entry.
constexpr long kNewPieceBytes = kEmptyPieceSize + kPieceOffsetBytes;

// ---- what an edit adds -----------------------------------------------------------

// What an edit may add to one piece, counted high: records per kind, and
// the most the text area holds beyond its present bytes at any moment.
struct PieceGrowth {
    long points = 0, coords = 0, lines = 0, segs = 0, sPoints = 0, formulas = 0;
    long textBytes = 0;
    long rules = 0, pRules = 0, extwids = 0, cutangls = 0;

    // n new points, each with its Coord and, on a piece with formulas, its
    // Formula and two new texts of at most textBytesEach (zero included).
    void addPoints(long n, bool formulas, long textBytesEach = kMaxFormulaTextBytes);
    // Copies of points first..last of `source` (none when first > last),
    // each with its Coord and, where `source` carries formulas, its Formula
    // and copies of the point's two texts (a text copied empty still takes
    // its zero).
    void copyPoints(Piece* source, short first, short last);
    // Both texts of n points rewritten by qpAdjustFormula (on a piece with
    // formulas); the new text is written before the old one goes, so one
    // text more is held for a moment.
    void rewrite(long n, bool formulas);
    // Grading references remapped after the edit (remapGradingCodes): a
    // step that must go takes a spare point for a moment (GradingStepDrop).
    void dropsGradingSteps() { points += 1; }
    // Bytes the added records and texts take in a pattern block, the text
    // area's rounding to 4 bytes included.
    long bytes() const;
};

// The most a text copied from one of the piece's texts, or derived from one
// (CopyFormulaTexts, qpAdjustCurvePoint, qpCopyGroupPoint, and any of them
// rewritten), takes: its longest text, zero included, with
// kMaxRewriteGrowthBytes, within kMaxFormulaTextBytes.
long derivedTextBytes(Piece* piece);

// ---- the checks ------------------------------------------------------------------

// Whether `piece` (null: a new, empty piece) can take `growth`: every
// record count and the text area stay within the store's 16-bit limits.
bool pieceTakes(const Piece* piece, const PieceGrowth& growth);
// Bytes free in the global block that holds `pattern`, past its totalSize;
// -1 when `pattern` is no locked global block (nothing may grow it then).
long blockRoom(PatternBuffer* pattern);
// pieceTakes, and the block that holds `pattern` has room for
// growth.bytes() + extraBytes more. extraBytes is what the edit adds to the
// block besides the piece's records (kNewPieceBytes for a new piece), less
// what it frees before it grows (a piece it removes first).
bool patternTakes(PatternBuffer* pattern, const Piece* piece, const PieceGrowth& growth,
                  long extraBytes = 0);

}  // namespace frame

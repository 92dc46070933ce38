// Editing steps that several tools share: resolving a picked line against
// the outline, turning a range of points, giving a new point its own
// coordinate (and formula), naming the record the store handed back, and
// keeping grading references on their points across inserts and deletes.
//
// Memory: every record lives in the store. A pointer passed in is read before
// any store call; the helpers that add records fetch again after each call.
// Units: millimetres, radians.
#pragma once

#include <string>
#include <vector>

#include "frame/records.h"

namespace frame {

constexpr float kOutlineMatchMm = 1.0f;  // a line end on an outline point, per axis

// A picked line resolved against the outline.
struct ResolvedLine {
    short first = -1;       // the line's first point
    short pointCount = 0;   // its points
    short inner = -1;       // the end away from the outline
    short outer = -1;       // the end that lies on the outline
    short outlineHit = -1;  // the outline point that `outer` lies on
};

// Resolves the line that holds point `picked` (any point of it) from its own
// first point: its two ends, and the lowest outline point (type code below
// 0x60) within kOutlineMatchMm of an end in x and in y. At one outline point
// the line's far end is preferred. Returns false, with `out.outlineHit` -1,
// when `picked` names no point of a line or no outline point matches.
bool resolveLine(Piece* piece, short picked, ResolvedLine& out);

// Record i of the piece, or null for an index out of range. Indices are
// ints so that loop counters pass without casts; records are i16-indexed.
Point* pointAt(Piece* piece, int i);
Line* lineAt(Piece* piece, int i);
Seg* segAt(Piece* piece, int i);
SPoint* sPointAt(Piece* piece, int i);

// The Coord of point i; null when i or its coordIndex names no record.
Coord* coordOfPoint(Piece* piece, int i);
// The position of point i (mm); false, outputs untouched, when it has none.
bool positionOf(Piece* piece, short i, float& x, float& y);
bool positionOf(Piece* piece, short i, double& x, double& y);

// The x formula text of point i (without its terminating zero); empty when
// the point has no Formula or its text does not lie inside the text area.
std::string xFormulaText(Piece* piece, int i);

// Turns the positions of points first..last (inclusive, in index order) by
// theta about (cx, cy) through qpTransCoord, writing each back to its Coord.
void rotatePoints(Piece* piece, short first, short last, double theta, double cx, double cy);

// Gives point `index`, just added by the store, a Coord of its own at (x, y)
// and, when the piece carries formulas, a Formula of its own computed by
// qpCalcuPointFormula (pattern, piece, formula, a, b, x, y, flags). Point
// `index` must have no coordinate yet. Returns false when the store added
// nothing (the point keeps no coordinate then).
bool attachCoord(PatternBuffer* pattern, Piece* piece, short index, float x, float y, short a,
                 short b, short flags = 0);

// The index of a record that the store handed back: the store may place an
// appended line or special point inside its segment, so the count before
// the call does not name it. -1 for a null record.
short lineIndexOf(Piece* piece, const Line* line);
short sPointIndexOf(Piece* piece, const SPoint* sPoint);
short pointIndexOf(Piece* piece, const Point* point);

// Where the points of a piece went through a run of inserts and deletes.
// The store renumbers every record that names a point, except grading
// references (PRule.code from 100 up, code / 100 a point index): a tool
// records each insert and delete here and remaps those codes once at the end.
class PointIndexMap {
public:
    explicit PointIndexMap(short pointCount);
    // A point now sits at `at` (points from `at` up moved up by one).
    void inserted(short at);
    // Point `at` is gone (points after it moved down by one).
    void deleted(short at);
    // The present index of the point that had index `original`; -1 when it
    // was deleted or never existed.
    short current(short original) const;
    bool unchanged() const { return unchanged_; }

private:
    std::vector<short> now_;
    bool unchanged_ = true;
};

// Grading codes index points in 16 bits: code / 100 must stay below this.
constexpr short kMaxGradingReference = 328;

// Rewrites every PRule code from 100 up so that code / 100 names the same
// physical point as before the edits that `map` recorded. A code whose point
// was deleted, or whose new index would be kMaxGradingReference or more, is
// kept as it is.
void remapGradingCodes(Piece* piece, const PointIndexMap& map);

// ---- Room: will an edit fit the piece? ---------------------------------------
// Checked on the untouched piece before the first store call: the store's
// counts and the text area's charCount are 16-bit, and a store operation
// that would pass them, or the pattern's block, stops the program.

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

// What an edit may add to one piece, counted high: records per kind, and
// the most the text area holds beyond its present bytes at any moment.
struct PieceGrowth {
    long points = 0, coords = 0, lines = 0, segs = 0, sPoints = 0, formulas = 0;
    long textBytes = 0;
    long rules = 0, pRules = 0, extwids = 0, cutangls = 0;

    // n new points, each with its Coord and, on a piece with formulas, its
    // Formula and two new texts of at most textBytesEach (zero included).
    void addPoints(long n, bool formulas, long textBytesEach = kMaxFormulaTextBytes);
    // Both texts of n points rewritten by qpAdjustFormula (on a piece with
    // formulas); the new text is written before the old one goes, so one
    // text more is held for a moment.
    void rewrite(long n, bool formulas);
    // Bytes the added records and texts take in a pattern block, the text
    // area's rounding to 4 bytes included.
    long bytes() const;
};

// The most a text copied from one of the piece's texts, or derived from one
// (CopyFormulaTexts, qpAdjustCurvePoint, qpCopyGroupPoint, and any of them
// rewritten), takes: its longest text, zero included, with
// kMaxRewriteGrowthBytes, within kMaxFormulaTextBytes.
long derivedTextBytes(Piece* piece);

// Whether `piece` (null: a new, empty piece) can take `growth`: every
// record count and the text area stay within the store's 16-bit limits.
bool pieceTakes(const Piece* piece, const PieceGrowth& growth);
// pieceTakes, and the block that holds `pattern` (a locked global block)
// has room for growth.bytes() + extraBytes more.
bool patternTakes(PatternBuffer* pattern, const Piece* piece, const PieceGrowth& growth,
                  long extraBytes = 0);

}  // namespace frame

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

// The x (or y) formula text of point i (without its terminating zero);
// empty when the point has no Formula or its text does not lie inside the
// text area.
std::string formulaText(Piece* piece, int i, bool yText = false);

// The first point of the stretch of line `line` that holds the point of the
// line nearest to point `point` (the part the point lies on); -1 when `line`
// names no line of the piece or `point` has no position.
short partHolding(Piece* piece, short line, short point);
// Seats the notch of point `point` on the line that holds it: the line
// leaving the first part (findPart) that passes within kPartMatchMm of the
// point on both axes, and as its position the length along that line, from
// the line's first point, to the point of the line nearest the notch (as
// the geometry service measures it). False, changing nothing, when the
// point has no special point or no line holds it.
bool seatNotch(Piece* piece, short point);

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

}  // namespace frame

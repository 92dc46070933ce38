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
// the geometry service measures it). When no line passes that near (an
// edit reshaped the curve it lay on), the line its special point names
// holds it, at the length to that line's point nearest it. False, changing
// nothing, when the point has no special point or no line holds it.
bool seatNotch(Piece* piece, short point);
// Whether special point `sPoint` is a notch (a 'v' mark) on an outline line.
bool isOutlineNotch(Piece* piece, short sPoint);

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
// makes the map on the piece before its first edit, records each insert and
// delete here and remaps those codes once at the end.
class PointIndexMap {
public:
    // Takes each point's segment and position from `piece` as it is now.
    explicit PointIndexMap(Piece* piece);
    // A point now sits at `at` (points from `at` up moved up by one).
    void inserted(short at);
    // Point `at` (a present index) is gone (points after it moved down by one).
    void deleted(short at);
    // The present index of the point that had index `original`; -1 when it
    // was deleted or never existed.
    short current(short original) const;
    // The original point that stands for `original` now: itself while it
    // survives; for a deleted point on a line, the nearer (by their places
    // before the edits; the earlier on a tie) of the two surviving points
    // of its segment that it lay between. -1 when it never existed, was a
    // mark, or lacks a surviving point of its segment on either side.
    short heir(short original) const;
    bool unchanged() const { return unchanged_; }

private:
    struct Was {
        short segment;
        bool onLine;  // a point of a line, not a mark
        float x, y;
    };
    std::vector<short> now_;
    std::vector<Was> was_;
    bool unchanged_ = true;
};

// Grading codes index points in 16 bits: code / 100 must stay below this.
constexpr short kMaxGradingReference = 328;

// Grading steps taken out of their rules. The store has no call that drops
// one step, but qpDeletePoint drops the steps of the point it deletes, the
// rules' counts following: a step to go is handed to a spare point, added
// after the last point at the first drop, and deleted with it by finish()
// (or at the end of the object's life). Between the first drop and finish()
// no point may be inserted or deleted; the spare point needs the room of one
// Point record (PieceGrowth::dropsGradingSteps).
class GradingStepDrop {
public:
    GradingStepDrop(PatternBuffer* pattern, Piece* piece) : pattern_(pattern), piece_(piece) {}
    ~GradingStepDrop() { finish(); }
    GradingStepDrop(const GradingStepDrop&) = delete;
    GradingStepDrop& operator=(const GradingStepDrop&) = delete;

    // PRule `step` is to go.
    void drop(short step);
    // Deletes the spare point and the steps handed to it; returns how many
    // steps went since the object was made.
    int finish();

private:
    PatternBuffer* pattern_;
    Piece* piece_;
    short spare_ = -1;
    int dropped_ = 0;
};

// Rewrites every PRule code from 100 up so that code / 100 names the same
// point as before the edits that `map` recorded, or, for a deleted point,
// its heir. A step must never name another point: one whose point has no
// heir, or whose new index would be kMaxGradingReference or more, is
// dropped. Returns the number of steps dropped.
int remapGradingCodes(PatternBuffer* pattern, Piece* piece, const PointIndexMap& map);

}  // namespace frame

// Piece symmetry, inside the library: what the handler (symmetry.cpp) hands
// to the record mirroring (symmetry_records.cpp) for one rebuilt piece, and
// the figures of the last run, which the tests read.
//
// Memory: the work buffer is the handler's; every record pointer is fetched
// again after each store call. Units: millimetres in records, centimetres in
// formula texts, radians.
#pragma once

#include <string>
#include <vector>

#include "frame/graded_edit.h"
#include "frame/records.h"

namespace symmetry {

// origin[] marks a mirrored copy by adding this to the earlier index.
constexpr int kMirrored = 10000;
// Symmetry's graded plan: outputs 0 and 1 are the axis's ends, output
// kFirstMirrorOutput + k the mirror of the untouched piece's point k.
constexpr size_t kFirstMirrorOutput = 2;
// A formula text buffer of the text routines, terminating zero included.
constexpr int kTextBuffer = 100;
// A formula farther than this from its point is corrected (mm).
constexpr double kFormulaToleranceMm = 0.1;

// What a run did with the formulas of the mirrored points.
struct Figures {
    int piecesMirrored = 0;
    int piecesLeftAlone = 0;  // refused: no outline axis, too large, ...
    int composed = 0;         // x texts composed as 2*(axis x) - x and right
    int corrected = 0;        // composed, then given a correcting constant
    int graded = 0;           // copies whose texts GradedPlan wrote
    int fallback = 0;         // texts fitted by qpAdjustFormula instead
    int stepsDropped = 0;     // grading steps whose reference could name no point
    int twinsUnwritten = 0;   // twins not made: their reference's index passes a code
    std::vector<int> origin;  // the current piece's origin[] after its rebuild
};
const Figures& lastRunFigures();

// How the copies of a piece with formulas get their texts. An axis upright
// at every size (its ends' x texts grade alike) mirrors x exactly as a
// linear map of the texts, 2 * (axis x) - x, and leaves y: those texts are
// composed. Any other axis is slanted at some size, and its direction may
// turn with the size: the mirror is graded (frame::GradedPlan), the copies'
// x and y texts following the axis as it turns.
enum class Texts { None, Composed, Graded };

// One rebuilt piece, as the record mirroring sees it.
struct PieceRun {
    PatternBuffer* work = nullptr;  // one-piece buffer; piece 0 is being rebuilt
    const Piece* hostPiece = nullptr;  // the untouched piece n of the host pattern
    PatternBuffer* newPattern = nullptr;
    short n = 0;          // the piece's position in the pattern
    bool group = false;   // group mode: no grading, seam or corner twins
    int fRuleLock = 0;
    short s0 = 0;         // the axis's first point (present = earlier index)
    short sEnd = 0;       // the axis's end point, earlier index
    short a = 0, e = 0;   // the outline segment's first and last point, earlier
                          // indices (a closed outline ends on its first point)
    short m = 0;          // mirrored points s0 + 1 .. s0 + m
    short q = 0;          // first appended inner-line copy
    std::vector<int> origin;  // per work point: earlier index, + kMirrored for a copy
    float reflect[9] = {};
    double theta = 0;         // the axis's direction, from s0 to its end (radians)
    Texts texts = Texts::None;
    // With Texts::Graded: the texts of the copy of the untouched piece's
    // point k, composed on it before the edit.
    const std::vector<frame::GradedTexts>* graded = nullptr;
    std::string f2;           // twice the axis's x position, as formula text
    std::vector<int> axisNotches;  // earlier indices of the notches on the axis
    Figures* figures = nullptr;

    Piece* piece() const;
    bool mirrored(int i) const { return (i > s0 && i <= s0 + m) || i >= q; }
    // First / last work point whose origin is `value`, -1 when none. Read
    // from a table built on first use and again whenever origin's size
    // changes (entries are only added or erased, never rewritten).
    int firstWithOrigin(int value) const;
    int lastWithOrigin(int value) const;
    // Whether the point with earlier index `earlier` lies on the axis: its
    // ends, its inner points (deleted) and the notches on it.
    bool onAxis(int earlier) const;
    // The present index of the mirror of the point with earlier index
    // `earlier`: a point on the axis is its own mirror, the segment's last
    // point (where the outline closes) mirrors as its first. -1 when none.
    int mirrorOf(int earlier) const;

private:
    void indexOrigins() const;
    mutable std::vector<int> firstAt_, lastAt_;  // by origin value
    mutable size_t indexed_ = static_cast<size_t>(-1);
};

// Carries the rebuilt piece's other records over to its mirrored points, in
// this order: notches on the axis (kept once), formulas, notches, grading
// rules, seam allowances, corners, duplicated marks and the FRules of piece 0.
void mirrorRecords(PieceRun& run);

}  // namespace symmetry

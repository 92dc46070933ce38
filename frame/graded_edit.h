// Graded edits: formula texts that make a tool's construction hold at every
// size, not only at the one it was run at.
//
// A tool plans its edit on the untouched piece. The plan has a discrete
// part (indices, sides, which rule applies), settled once, and a geometry:
// a function from the positions of the piece's points to the positions of
// the points the edit makes or moves, its outputs. GradedPlan runs that
// geometry again at other sizes: for each measurement the formulas of the
// piece name, it sets the measurement kGradeStepCm up and then down for the
// moment (restored before it goes on), evaluates every point's formulas into
// a scratch copy of the piece (a point without formulas keeps its
// coordinates), runs the same geometry there with the same discrete part,
// and takes the central difference: each output's grade, in millimetres per
// centimetre of each measurement. Pivots, angles, intersections and lengths
// that change with the size are followed as the geometry follows them.
//
// Texts: a point's new text is its base value plus one term per
// measurement. It starts from the parametric terms of a source point (the
// point itself when it moved; the point it was made from when it is new),
// adds only the difference between the output's grade and those terms' own
// as "c*NAME" terms (left out where the difference moves the point less
// than kNegligibleGradeMm over kGradeReachCm), packs the sum with
// qpPackExpression and fits a constant so that the text gives the point at
// the base within kFormulaResidualMm, in the three-decimal number text of
// the formula routines. A point that a construction carries by a constant
// amount thus keeps its terms with a new constant, as a refit gives it. The
// tool composes the texts on the untouched piece (compose), counts their
// bytes in its room check, and stores them once its edit has put the point
// there (storeGraded).
//
// Fallback: a text that cannot be composed (longer than the 80-byte working
// texts, refused by a routine, evaluating to something else) is left to the
// store's refit, qpAdjustFormula, as before grading existed; so is every
// text of a plan that could not be graded (its geometry failed at a nudged
// size, or no scratch block could be had). Each such text is counted
// (gradedFallbackCount).
//
// Memory: the scratch copies are global blocks of this module, freed before
// the constructor returns; a GradedPlan keeps the base outputs and their
// grades. Units: millimetres in records, centimetres in formula texts and
// measurements.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frame/records.h"

namespace frame {

// The nudge of a measurement: a central difference is exact for the
// quadratic part of a smooth plan, so the step need only keep the float
// positions the geometry works in (about 1e-4 mm) out of the difference,
// and stay small enough that the plan's intersections and choices still
// stand at either side. A quarter of a size step.
constexpr double kGradeStepCm = 1.0;
// How far grading reaches: two sizes of 4 cm either way. A difference term
// that moves its point less than kNegligibleGradeMm over that is left out.
constexpr double kGradeReachCm = 8.0;
constexpr double kNegligibleGradeMm = 0.05;
// A text that misses its point by no more than this needs no constant (the
// formula routines' residual).
constexpr double kFormulaResidualMm = 0.0999;
// The 80-byte working texts: a graded text and its zero fit them.
constexpr size_t kMaxGradedTextBytes = 80;
// Two grades are the same when no coefficient differs by more than the
// three-decimal rounding of a text and of its turned twin (cm per cm).
constexpr double kSameGradePerCm = 0.001;

struct PlanPoint {
    double x = 0.0, y = 0.0;
};

// The geometry of a plan: the positions of its outputs (mm) from the
// positions of `pieces`, given in the order GradedPlan got them (the pieces
// themselves at the base, scratch copies at the nudged sizes). False when
// the plan does not hold for those positions.
using PlanGeometry = std::function<bool(const std::vector<Piece*>& pieces, std::vector<PlanPoint>& outputs)>;

// The texts composed for one point; an empty one is left to the refit.
struct GradedTexts {
    std::string x, y;
    // The most storing them adds to the text area: each text and its zero,
    // or the refit's growth for an empty one.
    long bytes() const;
};

class GradedPlan {
public:
    // A plan that grades nothing: every text it composes is left to the
    // refit.
    GradedPlan() = default;
    // Runs `geometry` on `pieces` (the base), then grades it over the
    // measurements that the formula texts of `pieces` name: 1 + 2 x
    // (measurements) runs.
    GradedPlan(const std::vector<Piece*>& pieces, const PlanGeometry& geometry);

    bool graded() const { return graded_; }
    // Output j at the base (mm), and its grade along measurement k, mm per
    // cm (k in the order of measurementNames()).
    const PlanPoint& base(size_t j) const { return base_[j]; }
    double gradeX(size_t j, size_t k) const { return grades_[(j * names_.size() + k) * 2]; }
    double gradeY(size_t j, size_t k) const { return grades_[(j * names_.size() + k) * 2 + 1]; }
    const std::vector<std::string>& measurementNames() const { return names_; }

    // Whether the formulas of `point` already have output j's grade (within
    // kSameGradePerCm on every coefficient). False when ungraded.
    bool sameGrade(Piece* piece, short point, size_t output) const;

    // The texts of a point that output j places, as described above, from
    // the parametric terms of point `source` of `piece` (its present texts),
    // fitted to output j's base position. Composed on the untouched piece,
    // before the edit, so that its room check counts them; stored by
    // storeGraded once the point stands there.
    GradedTexts compose(Piece* piece, short source, size_t output) const;

private:
    std::vector<std::string> names_;
    std::vector<PlanPoint> base_;
    std::vector<double> grades_;  // [output][measurement][x, y]
    bool graded_ = false;
};

// Gives `point` the composed texts, each new text stored before the old one
// goes (unless another formula reads it); an empty text is refit by
// qpAdjustFormula and counted. Nothing happens to a point without a
// Formula. Record pointers die here.
void storeGraded(PatternBuffer* pattern, Piece* piece, short point, const GradedTexts& texts);

// Texts left to the refit since the library was loaded.
long gradedFallbackCount();

}  // namespace frame

// Graded edits: a plan's outputs written by GradedPlan follow the plan's
// construction at other sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "frame/graded_edit.h"
#include "frame/handler_frame.h"
#include "frame/piece_edit.h"
#include "frame/siblings.h"
#include "tests/support/store_fixture.h"

namespace {

constexpr float kBust = 88, kBackLength = 38;

// A panel whose points grade with the bust (B) and the back length (BL):
//   0 S(0,0) 1 K(200,0) 2 K(220,300) 3 C(150,330) 4 C(50,330) 5 K(0,300) 6 K(0,0)
//   7 s(100,150) 8 k(150,250); mark 9 o(60,60)
// lines: 0: 0-1, 1: 1-2, 2: 2-5 (a curve), 3: 5-6, 4: 7-8. The side seam
// 1-2 leans out more for a larger bust. From the pivot 7, the legs to 3 and
// 4 open by about 31 degrees, a little less for a larger bust (3 rises with
// it).
PieceShape GradedPanel() {
    PieceShape shape;
    shape.formulas = true;
    shape.chains.push_back(Chain({P('S', 0, 0, "0", "0"), P('K', 200, 0, "B/4-2", "0"),
                                  P('K', 220, 300, "0.275*B-2.2", "BL-8"), P('C', 150, 330, "B/8+4", "BL+B/20-9.4"),
                                  P('C', 50, 330, "B/8-6", "BL-5"), P('K', 0, 300, "0", "BL-8")},
                                 true));
    shape.chains.push_back(Chain({P('s', 100, 150, "B/8-1", "BL/2-4"), P('k', 150, 250, "B/8+4", "BL/2+6")}));
    ShapeMark mark = Mark('o', 60, 60, 0, 0);
    mark.point.xFormula = "B/16+0.5";
    mark.point.yFormula = "BL/19+4";
    shape.marks.push_back(mark);
    return shape;
}

frame::PlanPoint at(Piece* piece, short i) {
    frame::PlanPoint p;
    frame::positionOf(piece, i, p.x, p.y);
    return p;
}

// Where the formulas of point i put it at the present sizes (mm).
frame::PlanPoint byFormulas(Piece* piece, short i) {
    return {qpFormulaCalculation(piece, FormulaX(piece, i).c_str()) * 10.0,
            qpFormulaCalculation(piece, FormulaY(piece, i).c_str()) * 10.0};
}

// Sets the sizes and moves every point but `except` to its formulas.
void gradeTo(Piece* piece, float bust, float backLength, short except) {
    storeSetParameter("B", bust);
    storeSetParameter("BL", backLength);
    for (short i = 0; i < piece->pointCount; ++i) {
        if (i == except) continue;
        const frame::PlanPoint p = byFormulas(piece, i);
        CoordOf(piece, i)->x = static_cast<float>(p.x);
        CoordOf(piece, i)->y = static_cast<float>(p.y);
    }
}

double dist(frame::PlanPoint a, frame::PlanPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

// One and two sizes either way: 4 cm of bust a size.
const int kSteps[] = {-2, -1, 1, 2};

class GradedEdit : public ::testing::Test {
protected:
    void SetUp() override {
        storeSetParameter("B", kBust);
        storeSetParameter("BL", kBackLength);
        piece = pattern.add(GradedPanel());
        ASSERT_NE(piece, nullptr);
    }
    // Runs `geometry` on the piece, moves `point` to its one output and
    // writes the point's formulas from `source`.
    void writeOne(short point, short source, const frame::PlanGeometry& geometry) {
        const frame::GradedPlan plan({piece}, geometry);
        ASSERT_TRUE(plan.graded());
        // The sizes the plan nudged are as they were.
        EXPECT_EQ(qpFormulaCalculation(piece, "B"), kBust);
        EXPECT_EQ(qpFormulaCalculation(piece, "BL"), kBackLength);
        const frame::GradedTexts texts = plan.compose(piece, source, 0);
        CoordOf(piece, point)->x = static_cast<float>(plan.base(0).x);
        CoordOf(piece, point)->y = static_cast<float>(plan.base(0).y);
        frame::storeGraded(pattern.get(), piece, point, texts);
        piece = pattern.piece(0);
    }
    // At every size, the point's formulas against the construction there.
    void expectFollows(short point, const frame::PlanGeometry& geometry, double withinMm) {
        for (int step : kSteps) {
            SCOPED_TRACE(step);
            gradeTo(piece, kBust + 4.0f * step, kBackLength, point);
            std::vector<frame::PlanPoint> out;
            ASSERT_TRUE(geometry({piece}, out));
            EXPECT_LT(dist(byFormulas(piece, point), out[0]), withinMm);
        }
        gradeTo(piece, kBust, kBackLength, point);
        // The base: the texts give the point; the sizes are back.
        EXPECT_LT(dist(byFormulas(piece, point), at(piece, point)), 0.1);
        EXPECT_TRUE(PieceConsistent(piece));
    }

    TestPattern pattern{16384};
    Piece* piece = nullptr;
};

// Point 8 turned about the pivot 7 by the angle that brings leg 7-3 onto
// leg 7-4: pivot, angle and point all change with the size.
bool turnAboutGradedPivot(const std::vector<Piece*>& pieces, std::vector<frame::PlanPoint>& out) {
    Piece* p = pieces[0];
    const frame::PlanPoint pivot = at(p, 7), a = at(p, 3), b = at(p, 4), x = at(p, 8);
    const double theta = std::atan2(b.y - pivot.y, b.x - pivot.x) - std::atan2(a.y - pivot.y, a.x - pivot.x);
    const double dx = x.x - pivot.x, dy = x.y - pivot.y;
    out = {{pivot.x + dx * std::cos(theta) - dy * std::sin(theta), pivot.y + dx * std::sin(theta) + dy * std::cos(theta)}};
    return true;
}

TEST_F(GradedEdit, ATurnAboutAGradedPivotByAGradedAngleGrades) {
    writeOne(9, 8, turnAboutGradedPivot);  // into the mark, from point 8's terms
    expectFollows(9, turnAboutGradedPivot, 0.05);
}

// The point 15 cm up the side seam (line 1, from point 1), as the geometry
// service walks it; written into the mark from point 1's terms.
bool upTheSideSeam(const std::vector<Piece*>& pieces, std::vector<frame::PlanPoint>& out) {
    const CurveResult r = atLength(pieces[0], 1, 150.0f, 2);
    out = {{r.x, r.y}};
    return r.index >= 0;
}

TEST_F(GradedEdit, APointAtATypedDistanceAlongAGradedSeamGrades) {
    writeOne(9, 1, upTheSideSeam);
    expectFollows(9, upTheSideSeam, 0.05);
}

// Texts: a constant move keeps the terms with a new constant; a move that
// grows with the size adds its terms, packed with the point's own.
TEST_F(GradedEdit, TextsKeepTheSourceTermsAndAddOnlyTheDifference) {
    // Up by a tenth of the side seam 1-2 (whose length is BL-8).
    auto raised = [](const std::vector<Piece*>& pieces, std::vector<frame::PlanPoint>& out) {
        const frame::PlanPoint p = at(pieces[0], 8), a = at(pieces[0], 1), b = at(pieces[0], 2);
        out = {{p.x, p.y + (b.y - a.y) / 10}};
        return true;
    };
    writeOne(8, 8, raised);
    EXPECT_EQ(FormulaX(piece, 8), "B/8+4");
    EXPECT_EQ(FormulaY(piece, 8), "0.6*BL+5.2");
    auto shifted = [](const std::vector<Piece*>& pieces, std::vector<frame::PlanPoint>& out) {
        const frame::PlanPoint p = at(pieces[0], 1);
        out = {{p.x + 20, p.y + 10}};
        return true;
    };
    writeOne(1, 1, shifted);
    EXPECT_EQ(FormulaX(piece, 1), "B/4");
    EXPECT_EQ(FormulaY(piece, 1), "1");
    EXPECT_TRUE(PieceConsistent(piece));
}

// A text that would not fit the 80-byte working texts is refit as before,
// and counted; its value is still the point's.
TEST_F(GradedEdit, ATextTooLongFallsBackToTheRefitAndIsCounted) {
    // Point 8's x text, 74 characters of terms the turn keeps.
    const std::string longText = "B/8+0.001*W+0.001*H+0.001*AH+0.001*SL+0.001*SK+0.001*S+0.001*HL+0.001*ST+4";
    ASSERT_LE(longText.size(), 79u);
    Formula* f = FormulaOf(piece, 8);
    short offset = 0;
    char* space = nullptr;
    qpIncreaseString(pattern.get(), piece, static_cast<short>(longText.size() + 1), &offset, &space);
    std::memcpy(space, longText.c_str(), longText.size() + 1);
    f = FormulaOf(piece, 8);
    f->xTextOffset = offset;
    f->xTextLength = static_cast<short>(longText.size() + 1);
    CoordOf(piece, 8)->x = static_cast<float>(byFormulas(piece, 8).x);

    const long before = frame::gradedFallbackCount();
    writeOne(8, 8, turnAboutGradedPivot);
    EXPECT_EQ(frame::gradedFallbackCount(), before + 1);  // x only: the y text had room
    const frame::PlanPoint now = byFormulas(piece, 8);
    EXPECT_NEAR(now.x, CoordOf(piece, 8)->x, 0.1);
    EXPECT_NEAR(now.y, CoordOf(piece, 8)->y, 0.1);
    EXPECT_EQ(FormulaX(piece, 8).rfind("B/8+0.001*W", 0), 0u);  // the refit keeps its terms
    EXPECT_TRUE(PieceConsistent(piece));
}

// A plan whose geometry fails at a nudged size grades nothing: every text
// is refit and counted.
TEST_F(GradedEdit, AGeometryThatFailsAtAnotherSizeFallsBack) {
    auto onlyAtTheBase = [](const std::vector<Piece*>& pieces, std::vector<frame::PlanPoint>& out) {
        out = {at(pieces[0], 1)};
        return at(pieces[0], 1).x == 200.0;
    };
    const frame::GradedPlan plan({piece}, onlyAtTheBase);
    EXPECT_FALSE(plan.graded());
    const frame::GradedTexts texts = plan.compose(piece, 1, 0);
    EXPECT_TRUE(texts.x.empty() && texts.y.empty());
    const long before = frame::gradedFallbackCount();
    CoordOf(piece, 1)->x += 5;
    frame::storeGraded(pattern.get(), piece, 1, texts);
    EXPECT_EQ(frame::gradedFallbackCount(), before + 2);
    EXPECT_EQ(FormulaX(pattern.piece(0), 1), "B/4-1.5");
}

}  // namespace

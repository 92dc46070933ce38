// qpCalcuPointFormula and BlendFormulas on pieces with measurement formulas.
// Every written text must evaluate to its target coordinate within 0.1 mm,
// and its exact wording is checked too.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "formula/point_formula.h"
#include "frame/exports.h"
#include "frame/siblings.h"
#include "tests/support/store_fixture.h"

namespace {

constexpr double kWithinMm = 0.1;

class PointFormula : public ::testing::Test {
protected:
    void SetUp() override {
        storeClearParameters();
        storeSetParameter("H", 90.0f);   // hip, cm
        storeSetParameter("BL", 40.0f);  // back length, cm
        storeSetParameter("W", 0.0f);    // a measure not set for this size
        scratch = pattern.add(RectangleShape(10, 10));
    }
    void TearDown() override { storeClearParameters(); }

    // A closed outline whose first two points carry the given formulas:
    // point 0 = a, point 1 = b, point 2 is the point whose formula is
    // rewritten (its old texts stay in the area, as the store keeps them).
    Piece* build(const std::string& ax, const std::string& ay, const std::string& bx,
                 const std::string& by) {
        PieceShape shape;
        const float axMm = qpFormulaCalculation(scratch, ax.c_str()) * 10;
        const float ayMm = qpFormulaCalculation(scratch, ay.c_str()) * 10;
        const float bxMm = qpFormulaCalculation(scratch, bx.c_str()) * 10;
        const float byMm = qpFormulaCalculation(scratch, by.c_str()) * 10;
        shape.chains.push_back(Chain({P('S', axMm, ayMm, ax.c_str(), ay.c_str()),
                                     P('K', bxMm, byMm, bx.c_str(), by.c_str()),
                                     P('K', bxMm, 0), P('K', axMm, 0)},
                                    true));
        shape.formulas = true;
        return pattern.add(shape);
    }

    // Rewrites point 2's formula for the target (x, y) in mm.
    void recalc(Piece* piece, short flags, float x, float y, short a = 0, short b = 1) {
        Point* target = PointAt(piece, 2);
        Formula* formula = nullptr;
        qpGetFormulaLptr(piece, target->formulaIndex, &formula);
        ASSERT_EQ(qpCalcuPointFormula(pattern.get(), piece, formula, a, b, x, y, flags), 1);
    }

    static double mm(Piece* piece, const std::string& text) {
        return qpFormulaCalculation(piece, text.c_str()) * 10.0;
    }

    TestPattern pattern{16384};
    Piece* scratch = nullptr;  // a piece to evaluate texts with
};

struct Case {
    const char* name;
    const char *ax, *ay, *bx, *by;
    short flags;
    float x, y;                      // target, mm
    const char *wantX, *wantY;       // exact texts
};

// One row per case. a = (ax, ay), b = (bx, by) are the neighbours' texts;
// with H = 90, BL = 40, W = 0 (cm).
const Case kCases[] = {
    // flags 0: a's expression plus the constant that reaches the target
    {"from a, new constants", "H/4+2", "BL-1.5", "H/2-10", "BL", 0, 250, 390, "H/4+2.5", "BL-1"},
    {"from a, expression alone", "H/4+2", "BL-1.5", "H/2-10", "BL", 0, 225, 400, "H/4", "BL"},
    {"residual of 0.09 mm adds nothing", "H/4+2", "BL-1.5", "H/2", "BL", 0, 225.09f, 399.91f,
     "H/4", "BL"},
    {"residual of 0.11 mm adds 0.011 cm", "H/4", "BL", "H/2", "BL", 0, 225.11f, 400, "H/4+0.011",
     "BL"},
    {"constant only, matched: 0", "12", "3", "1", "1", 0, 0.05f, -0.05f, "0", "0"},
    {"constant only, new number", "12", "3", "1", "1", 0, 120, -35, "12", "-3.5"},
    // flags 1: blended by distance
    {"halfway between a and b", "H/4+2", "BL", "H/2-10", "BL", 1, 297.5f, 400, "0.375*H-4", "BL"},
    // a fifth of the way from a (dA 21 mm, dB 84 mm): a weighs 0.8, b 0.2,
    // so H gets 0.8/4 + 0.2/2; weights the other way round would give 0.45
    {"nearer to a, a weighs more", "H/4+2", "BL", "H/2-10", "BL", 1, 266, 400, "0.3*H-0.4", "BL"},
    {"coefficient 1.0005 is the bare name", "H", "BL", "1.001*H", "BL", 1, 900.45f, 400,
     "H+0.045", "BL"},
    {"coefficient 1.002 is written out", "H", "BL", "1.004*H", "BL", 1, 901.8f, 400, "1.002*H",
     "BL"},
    {"coefficient 0.998 is written out", "H", "BL", "0.996*H", "BL", 1, 898.2f, 400, "0.998*H",
     "BL"},
    {"coefficient -1 is minus the name", "-H+100", "BL", "-H+100", "BL", 1, 100, 400, "-H+100",
     "BL"},
    {"zero-valued parameter keeps its coefficient", "2*W+10", "BL", "4*W+20", "BL", 1, 150, 400,
     "3*W+15", "BL"},
    {"B's terms folded and appended", "H/4", "BL", "H/4+BL/2", "BL", 1, 325, 400,
     "0.25*H+0.25*BL", "BL"},
    {"a name of B only is appended", "H/4+1", "BL", "BL", "BL/2", 1, 317.5f, 300,
     "0.125*H+0.5*BL+0.5", "0.75*BL"},
};

TEST_F(PointFormula, ExactTextsEvaluateToTheTarget) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Piece* piece = build(c.ax, c.ay, c.bx, c.by);
        ASSERT_NE(piece, nullptr);
        recalc(piece, c.flags, c.x, c.y);
        const std::string x = FormulaX(piece, 2), y = FormulaY(piece, 2);
        EXPECT_EQ(x, c.wantX);
        EXPECT_EQ(y, c.wantY);
        EXPECT_NEAR(mm(piece, x), c.x, kWithinMm);
        EXPECT_NEAR(mm(piece, y), c.y, kWithinMm);
        EXPECT_TRUE(PieceConsistent(piece));
    }
}

TEST_F(PointFormula, ZeroParameterIsRestored) {
    Piece* piece = build("2*W+10", "BL", "4*W+20", "BL");
    recalc(piece, 1, 150, 400);
    char name[3];
    float value = -1;
    bool found = false;
    for (int i = 0; storeGetParameter(i, name, &value); ++i) {
        if (std::string(name) == "W") {
            found = true;
            EXPECT_EQ(value, 0.0f);
        }
    }
    EXPECT_TRUE(found);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(PointFormula, TargetOnBothNeighboursTakesHalfOfEach) {
    // a and b coincide, so the distances are 0 and 0: equal weights.
    Piece* piece = build("H/4", "BL", "H/2-22.5", "BL");
    recalc(piece, 1, 225, 400);
    EXPECT_EQ(FormulaX(piece, 2), "0.375*H-11.25");
    EXPECT_NEAR(mm(piece, FormulaX(piece, 2)), 225, kWithinMm);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(PointFormula, OldTextsStayAndTheTargetGetsNewOnes) {
    Piece* piece = build("H/4+2", "BL-1.5", "H/2", "BL");
    Formula* f = nullptr;
    qpGetFormulaLptr(piece, PointAt(piece, 2)->formulaIndex, &f);
    const short oldX = f->xTextOffset;
    const short chars = piece->charCount;
    recalc(piece, 0, 250, 390);
    qpGetFormulaLptr(piece, PointAt(piece, 2)->formulaIndex, &f);
    EXPECT_NE(f->xTextOffset, oldX);
    EXPECT_EQ(piece->charCount, chars + static_cast<short>(sizeof "H/4+2.5") + sizeof "BL-1");
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(PointFormula, BlendTooLongForAFormulaTextFallsBackToPointA) {
    storeSetParameter("AB", 10.0f);
    storeSetParameter("CD", 20.0f);
    // Each neighbour's text fits (under 80 bytes) but their blend of twelve
    // names with long coefficients would not.
    const std::string ax = "0.123*a+0.234*b+0.345*c+0.456*d+0.567*e+0.678*f+AB";
    const std::string bx = "0.111*g+0.222*h+0.333*i+0.444*j+0.555*k+0.666*l+CD";
    for (const char* n : {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"})
        storeSetParameter(n, 3.0f);
    Piece* piece = build(ax, "BL", bx, "BL");
    recalc(piece, 1, 123.4f, 400);
    const std::string x = FormulaX(piece, 2);
    EXPECT_LE(x.size(), formula::kMaxPointFormula);
    EXPECT_EQ(x.rfind("0.123*a+0.234*b", 0), 0u) << x;  // point a's expression, new constant
    EXPECT_NEAR(mm(piece, x), 123.4, kWithinMm);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(PointFormula, SharedNamesFoldOnceAndNamesMatchWhole) {
    storeSetParameter("HL", 20.0f);
    std::string out;
    std::string b = "H/2+HL-H";
    // A names H in two terms: it is summed once over all of A. HL is a name
    // of its own, not a term of H, so it stays in B and follows at the end.
    BlendFormulas(scratch, out, "H/4+H/4", b, 0.5f, 0.5f);
    // H: (22.5 + 22.5) x 0.5 + (45 - 90) x 0.5 = 0, dropped; HL: 20 x 0.5 / 20.
    EXPECT_EQ(out, "0.5*HL");
    EXPECT_EQ(b, "+HL");
}

}  // namespace

// The dart transfer as the host drives it: three clicks through the desktop
// on a half bodice front whose 15-degree bust dart sits in the shoulder; and
// IntersectLines by its properties.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "darts/intersect_lines.h"
#include "frame/exports.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "siblings/geometry/curve_model.h"
#include "tests/support/scene.h"
#include "tests/support/store_fixture.h"

namespace {

constexpr double kDartDegrees = 15.0;
constexpr double kPi = 3.14159265358979;
constexpr float kSameMm = 0.05f;     // float steps through turns and intersections
constexpr float kFormulaMm = 0.1f;   // a formula keeps its point's value
constexpr double kAngleDeg = 0.01;

struct Xy {
    float x, y;
};
float dist(Xy a, Xy b) { return std::hypot(a.x - b.x, a.y - b.y); }
Xy at(Piece* piece, int i) { return Xy{CoordOf(piece, i)->x, CoordOf(piece, i)->y}; }
double degreesBetween(Xy apex, Xy a, Xy b) {
    const double d = std::atan2(b.y - apex.y, b.x - apex.x) - std::atan2(a.y - apex.y, a.x - apex.x);
    return std::fabs(std::remainder(d, 2 * kPi)) * 180 / kPi;
}

// A half bodice front in mm, y up, centre front on the left. Bust point B;
// the dart's legs run from B to the shoulder, 15 degrees apart; three more
// lines run from B to the side seam, the waist and the centre front.
const Xy kBust{100, 250};
const Xy kLegA{115, 390};
Xy legB() {
    const double a = -kDartDegrees * kPi / 180, dx = kLegA.x - kBust.x, dy = kLegA.y - kBust.y;
    return Xy{static_cast<float>(kBust.x + dx * std::cos(a) - dy * std::sin(a)),
              static_cast<float>(kBust.y + dx * std::sin(a) + dy * std::cos(a))};
}
const Xy kSide{228, 130}, kWaist{100, 0}, kFront{0, 200};

// Outline points.
enum : short {
    kFrontPt = 1, kSideNeck = 5, kLegAPt = 6, kLegBPt = 7, kShoulderTip = 8, kUnderarm = 12,
    kSidePt = 13, kSideWaist = 14, kWaistPt = 15, kClose = 16, kOutline = 17
};
// Inner lines: first points (start at B, end on the outline).
enum : short { kLegALine = 17, kLegBLine = 19, kSideLine = 21, kWaistLine = 23, kFrontLine = 25 };

// A point's formulas: parameters B (88 cm) and BL (38 cm) with a constant.
ShapePoint F(char type, Xy p, bool formulas) {
    ShapePoint s = P(type, p.x, p.y);
    if (!formulas) return s;
    char x[40], y[40];
    std::snprintf(x, sizeof x, "B/10%+.3f", p.x / 10.0 - 8.8);
    std::snprintf(y, sizeof y, "BL/10%+.3f", p.y / 10.0 - 3.8);
    s.xFormula = x;
    s.yFormula = y;
    return s;
}

PieceShape Bodice(bool formulas) {
    PieceShape shape;
    const Xy b = legB();
    const std::vector<std::pair<char, Xy>> outline = {
        {'S', {0, 0}},       {'K', kFront},      {'K', {0, 320}},    {'C', {40, 328}},
        {'C', {63, 352}},    {'K', {70, 400}},   {'K', kLegA},       {'K', b},
        {'K', {200, 360}},   {'C', {192, 300}},  {'C', {200, 245}},  {'C', {218, 212}},
        {'K', {235, 200}},   {'K', kSide},       {'K', {215, 0}},    {'K', kWaist}};
    ShapeChain chain;
    for (const auto& [t, p] : outline) chain.points.push_back(F(t, p, formulas));
    chain.close = true;
    shape.chains.push_back(chain);
    for (Xy end : {kLegA, b, kSide, kWaist, kFront}) {
        ShapeChain line;
        line.points = {F('s', kBust, formulas), F('k', end, formulas)};
        shape.chains.push_back(line);
    }
    shape.formulas = formulas;
    // A grading step of the side waist measured from the side seam point
    // (code / 100 names the reference point).
    ShapeRule rule;
    PRule step{};
    step.code = static_cast<int16_t>(kSidePt * 100 + 2);
    step.pointIndex = kSideWaist;
    rule.pRules.push_back(step);
    shape.rules.push_back(rule);
    return shape;
}

// Every DC released, every pen and brush deleted (the GDI log exists only
// in the desktop stand-in).
void expectDrawingDiscipline() {
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskCheckDiscipline(), "");
    EXPECT_EQ(deskOpenDCs(), 0);
    EXPECT_EQ(deskLivePens(), 0);
#endif
}

// The host's view: 1 pixel per mm, shifted by (100, 50); client 1024 x 768.
const float kView[9] = {1, 0, 0, 0, 1, 0, 100, 50, 1};

class GapMove : public ::testing::Test {
protected:
    void SetUp() override {
        holder.reset();
        deskReset();
        deskSetClientRect(1024, 768);
        storeSetParameter("B", 88.0f);
        storeSetParameter("BL", 38.0f);
        holder = std::make_unique<TestPattern>(65536);
    }
    void build(bool formulas = true) {
        piece = holder->add(Bodice(formulas));
        ASSERT_NE(piece, nullptr);
        pattern = holder->get();
        view = HostView{};
        view.gapMoveStep = 1;
    }
    short send(UINT message) {
        return qpHandleGapMove(deskWindow(), message, 0, 0, pattern, 0, &view, kView);
    }
    // Clicks the middle of the two-point line that starts at `first`.
    short clickLine(short first) {
        const Xy a = at(piece, first), b = at(piece, first + 1);
        deskSetCursorClient(static_cast<int>(std::lround((a.x + b.x) / 2 + 100)),
                            static_cast<int>(std::lround(718 - (a.y + b.y) / 2)));
        return send(WM_LBUTTONDOWN);
    }
    void transfer(short legFirst, short legSecond, short target) {
        for (short line : {legFirst, legSecond, target}) ASSERT_EQ(clickLine(line), 1);
    }
    void expectFormulasKept() {
        for (short i = 0; i < piece->pointCount; ++i) {
            EXPECT_NEAR(qpFormulaCalculation(piece, FormulaX(piece, i).c_str()) * 10, CoordOf(piece, i)->x, kFormulaMm)
                << "point " << i << " x " << FormulaX(piece, i);
            EXPECT_NEAR(qpFormulaCalculation(piece, FormulaY(piece, i).c_str()) * 10, CoordOf(piece, i)->y, kFormulaMm)
                << "point " << i << " y " << FormulaY(piece, i);
        }
    }

    std::unique_ptr<TestPattern> holder;
    Piece* piece = nullptr;
    PatternBuffer* pattern = nullptr;
    HostView view{};
};

// Each new place, with the outline point it lies on and whether it follows
// the shoulder in outline order.
struct Target {
    const char* name;
    short line;
    short outlinePoint;
    bool forward;
};
class GapMoveTo : public GapMove, public ::testing::WithParamInterface<Target> {};

TEST_P(GapMoveTo, ClosesTheShoulderDartAndOpensItAtTheLine) {
    const Target& target = GetParam();
    build();
    std::vector<Xy> before;
    std::vector<std::string> texts;
    for (short i = 0; i < kOutline; ++i) {
        before.push_back(at(piece, i));
        texts.push_back(FormulaX(piece, i) + "|" + FormulaY(piece, i));
    }
    const float newLength = dist(kBust, before[static_cast<size_t>(target.outlinePoint)]);
    transfer(kLegALine, kLegBLine, target.line);

    ASSERT_TRUE(deskMessageBoxes().empty()) << deskMessageBoxes()[0].text;
    EXPECT_EQ(view.pickState, 0);
    EXPECT_EQ(view.gapMoveStep, 0);
#if QP_HAVE_DESKTOP
    ASSERT_FALSE(deskInvalidations().empty());
#endif
    expectDrawingDiscipline();
    EXPECT_TRUE(PieceConsistent(piece));
    // Leg B's outline end goes; a twin and a middle point come; the centre
    // line adds two points.
    ASSERT_EQ(piece->pointCount, kOutline + 10 + 1 + 2);

    // Where each original outline point went, and whether it turned. Leg 0
    // is the leg whose outline point is not between the others: the other
    // leg's outline end goes.
    const short h2 = target.outlinePoint;
    const short gone = target.forward ? kLegBPt : kLegAPt;
    auto after = [&](short i) -> short {
        if (target.forward) return i < gone ? i : i <= h2 ? i - 1 : i + 1;
        return i <= h2 ? i : i < gone ? i + 2 : i + 1;
    };
    auto turns = [&](short i) { return target.forward ? i > gone && i <= h2 : i > h2 && i < gone; };
    for (short i = 0; i < kOutline; ++i) {
        if (i == gone) continue;
        const Xy now = at(piece, after(i)), was = before[static_cast<size_t>(i)];
        if (turns(i)) {
            EXPECT_NEAR(dist(now, kBust), dist(was, kBust), kSameMm) << "turned point " << i;
            EXPECT_GT(dist(now, was), 1.0f) << "point " << i << " should turn";
        } else {
            // Neither moved nor rewritten.
            EXPECT_EQ(now.x, was.x) << "point " << i;
            EXPECT_EQ(now.y, was.y) << "point " << i;
            EXPECT_EQ(FormulaX(piece, after(i)) + "|" + FormulaY(piece, after(i)), texts[static_cast<size_t>(i)]);
        }
    }
    // The new mouth: the copy left in place, the turned copy, the middle.
    const short kept = target.forward ? static_cast<short>(h2 + 1) : h2;
    const short turned = target.forward ? static_cast<short>(h2 - 1) : static_cast<short>(h2 + 2);
    const short middle = target.forward ? h2 : static_cast<short>(h2 + 1);
    EXPECT_EQ(at(piece, kept).x, before[static_cast<size_t>(h2)].x);
    EXPECT_NEAR(degreesBetween(kBust, at(piece, kept), at(piece, turned)), kDartDegrees, kAngleDeg);

    // The legs: the picked line and the old leg whose end went, both from
    // the apex T (here the bust point, as the lines meet there) and of the
    // picked line's length. The other old leg stays as it was.
    const short shift = static_cast<short>(piece->pointCount - kOutline - 10 - 2);  // outline growth
    const short newLine = static_cast<short>(target.line + shift);
    const short movedLeg = static_cast<short>((target.forward ? kLegBLine : kLegALine) + shift);
    const short keptLeg = static_cast<short>((target.forward ? kLegALine : kLegBLine) + shift);
    const Xy apex = at(piece, newLine);
    EXPECT_NEAR(dist(apex, kBust), 0.0f, kSameMm);
    EXPECT_NEAR(dist(apex, at(piece, newLine + 1)), newLength, kSameMm);
    EXPECT_NEAR(dist(at(piece, movedLeg), apex), 0.0f, kSameMm);
    EXPECT_NEAR(dist(at(piece, movedLeg + 1), apex), newLength, kSameMm);
    EXPECT_NEAR(dist(at(piece, movedLeg + 1), at(piece, turned)), 0.0f, kSameMm);
    EXPECT_EQ(at(piece, newLine + 1).x, at(piece, kept).x);
    EXPECT_EQ(at(piece, keptLeg).x, kBust.x);
    EXPECT_EQ(at(piece, keptLeg + 1).x, before[static_cast<size_t>(target.forward ? kLegAPt : kLegBPt)].x);
    // The centre line: from T to the middle point, in a segment of code 2, value 14.
    const short centre = static_cast<short>(piece->pointCount - 2);
    EXPECT_EQ(PointAt(piece, centre)->type, 's');
    EXPECT_EQ(PointAt(piece, centre + 1)->type, 'k');
    EXPECT_NEAR(dist(at(piece, centre), apex), 0.0f, kSameMm);
    EXPECT_EQ(at(piece, centre + 1).x, at(piece, middle).x);
    const Seg* seg = SegAt(piece, PointAt(piece, centre)->segIndex);
    EXPECT_EQ(seg->code, 2);
    EXPECT_EQ(seg->value, 14);
    // The middle point lies on the bisector, beyond the mouth's chord.
    const Xy k = at(piece, kept), t = at(piece, turned), m = at(piece, middle);
    EXPECT_NEAR(dist(m, k), dist(m, t), kSameMm);
    EXPECT_GT(dist(m, kBust), dist(Xy{(k.x + t.x) / 2, (k.y + t.y) / 2}, kBust));

    // The grading step still measures from the side seam point.
    EXPECT_EQ(PRuleAt(piece, 0)->code, after(kSidePt) * 100 + 2);
    EXPECT_EQ(PRuleAt(piece, 0)->pointIndex, after(kSideWaist));
    expectFormulasKept();
}

INSTANTIATE_TEST_SUITE_P(Places, GapMoveTo,
                         ::testing::Values(Target{"SideSeam", kSideLine, kSidePt, true},
                                           Target{"Waist", kWaistLine, kWaistPt, true},
                                           Target{"CentreFront", kFrontLine, kFrontPt, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(GapMove, LegsPickedInEitherOrderGiveTheSamePiece) {
    build();
    transfer(kLegALine, kLegBLine, kSideLine);
    const std::string first = BytesOf(pattern);
    SetUp();
    build();
    transfer(kLegBLine, kLegALine, kSideLine);
    EXPECT_EQ(BytesOf(pattern), first);
    EXPECT_TRUE(PatternConsistent(pattern));
}

TEST_F(GapMove, WithoutFormulasNoFormulaIsMade) {
    build(false);
    transfer(kLegALine, kLegBLine, kSideLine);
    EXPECT_TRUE(deskMessageBoxes().empty());
    EXPECT_EQ(piece->formulaCount, 0);
    EXPECT_EQ(piece->charCount, 0);
    EXPECT_EQ(piece->pointCount, kOutline + 10 + 3);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(GapMove, PicksOnlyNewLinePartsNearTheCursor) {
    build();
    EXPECT_EQ(send(WM_MOUSEMOVE), 0);
    view.gapMoveStep = 0;
    EXPECT_EQ(clickLine(kLegALine), 1);  // the tool is not active
    EXPECT_EQ(view.pickState, 0);
    view.gapMoveStep = 1;
    deskSetCursorClient(100 + 600, 718 - 600);  // far from every line
    EXPECT_EQ(send(WM_LBUTTONDOWN), 1);
    EXPECT_EQ(view.pickState, 0);
    EXPECT_EQ(clickLine(kLegALine), 1);
    EXPECT_EQ(clickLine(kLegALine), 1);  // the same line again
    EXPECT_EQ(view.pickState, 1);
    EXPECT_EQ(clickLine(kLegBLine), 1);
    EXPECT_EQ(view.pickState, 2);
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskCalls("ReleaseDC").size(), 2u);  // one highlight per accepted pick
#endif
    EXPECT_EQ(clickLine(kSideLine), 1);
#if QP_HAVE_DESKTOP
    // Highlighted in colour 3, then 8, then 2.
    const auto pens = deskCalls("CreatePen");
    ASSERT_GE(pens.size(), 3u);
    EXPECT_EQ(pens[0].colour, qpcurve::paletteColour(3));
    EXPECT_EQ(pens[1].colour, qpcurve::paletteColour(8));
    EXPECT_EQ(pens[2].colour, qpcurve::paletteColour(2));
#endif
    expectDrawingDiscipline();
    EXPECT_TRUE(PieceConsistent(piece));
}

// A dart whose mouth has a middle point with a notch on it, with or without
// a centre line ending there: the centre line and the notch go with the
// mouth; whatever point precedes it stays.
TEST_F(GapMove, ClearingTheOldMouthTakesItsCentreLineAndItsNotch) {
    for (const bool centreLine : {true, false}) {
        SCOPED_TRACE(centreLine ? "with a centre line" : "with a notch only");
        SetUp();
        PieceShape shape = Bodice(true);
        const Xy b = legB(), mouth{(kLegA.x + b.x) / 2, (kLegA.y + b.y) / 2};
        auto& outline = shape.chains[0].points;
        outline.insert(outline.begin() + kLegBPt, F('K', mouth, true));
        if (centreLine) shape.chains.push_back(Chain({F('s', kBust, true), F('k', mouth, true)}));
        ShapeMark notch = Mark('v', mouth.x, mouth.y, 0, 1571, 16, 0);
        notch.lineIndex = 4;  // the mouth's first half, from leg A's end
        notch.position = dist(kLegA, mouth);
        shape.marks.push_back(notch);
        shape.rules.clear();
        piece = holder->add(shape);
        ASSERT_NE(piece, nullptr);
        pattern = holder->get();
        view = HostView{};
        view.gapMoveStep = 1;
        const short count = piece->pointCount;
        transfer(kLegALine + 1, kLegBLine + 1, kSideLine + 1);
        ASSERT_TRUE(deskMessageBoxes().empty());
        EXPECT_EQ(view.gapMoveStep, 0);
        // Minus the mouth's point, leg B's end and the notch (and the centre
        // line's two points); plus the twin, the middle point and the new
        // centre line.
        EXPECT_EQ(piece->pointCount, count + (centreLine ? -1 : 1));
        int notches = 0, linesFromTheMouth = 0;
        for (short i = 0; i < piece->pointCount; ++i) {
            const Xy p = at(piece, i);
            if (PointAt(piece, i)->type == 'v') ++notches;
            if (PointAt(piece, i)->type == 'k' && dist(p, mouth) < 0.1f) ++linesFromTheMouth;
        }
        EXPECT_EQ(notches, 0);
        EXPECT_EQ(piece->sPointCount, 0);
        EXPECT_EQ(linesFromTheMouth, 0);
        EXPECT_EQ(piece->lineCount, 18);  // as many either way: the old centre line is gone
        EXPECT_TRUE(PieceConsistent(piece));
        expectFormulasKept();
    }
}

// Two points on the old mouth, a line between them and the old centre line
// to the second: every two-point inner line with an end on a cleared point
// goes, also when an earlier cleared point already took one of them.
TEST_F(GapMove, ClearingTheOldMouthLeavesNoLineDangling) {
    PieceShape shape = Bodice(true);
    const Xy b = legB();
    const Xy m1{kLegA.x + (b.x - kLegA.x) / 3, kLegA.y + (b.y - kLegA.y) / 3};
    const Xy m2{kLegA.x + 2 * (b.x - kLegA.x) / 3, kLegA.y + 2 * (b.y - kLegA.y) / 3};
    auto& outline = shape.chains[0].points;
    outline.insert(outline.begin() + kLegBPt, {F('K', m1, true), F('K', m2, true)});
    shape.chains.push_back(Chain({F('s', m1, true), F('k', m2, true)}));
    shape.chains.push_back(Chain({F('s', kBust, true), F('k', m2, true)}));
    shape.rules.clear();
    piece = holder->add(shape);
    ASSERT_NE(piece, nullptr);
    pattern = holder->get();
    view.gapMoveStep = 1;
    const short lines = piece->lineCount;
    transfer(kLegALine + 2, kLegBLine + 2, kSideLine + 2);
    ASSERT_TRUE(deskMessageBoxes().empty());
    EXPECT_EQ(view.gapMoveStep, 0);
    for (short i = 0; i < piece->pointCount; ++i)
        EXPECT_TRUE(dist(at(piece, i), m1) > 0.1f && dist(at(piece, i), m2) > 0.1f) << "point " << i << " is left there";
    // Both lines go; the mouth's three lines and the line beyond leg B's
    // end become one; the twin and the middle point split the new mouth off,
    // and the centre line comes.
    EXPECT_EQ(piece->lineCount, lines - 2 - 3 + 3);
    EXPECT_TRUE(PieceConsistent(piece));
    expectFormulasKept();
}

// Notches on the armhole, which turns when the dart moves to the side seam,
// turn with it and stay on their line at their length along it; a notch on
// the side seam below the new dart stays where it is, measured from the new
// dart's lower corner.
TEST_F(GapMove, NotchesOnTheTurnedStretchTurnWithIt) {
    PieceShape shape = Bodice(true);
    constexpr short kArmhole = 6, kSideSeam = 8;  // lines 8-12 and 13-14
    const Xy armholePoint{200, 245}, below{224, 90};  // on point 10; on the side seam
    for (const Xy n : {armholePoint, below}) {
        ShapeMark notch = Mark('v', n.x, n.y, 0, 1571, 16, 0);
        notch.point = F('v', n, true);  // with formulas, as every point of the piece
        notch.lineIndex = n.x == armholePoint.x ? kArmhole : kSideSeam;
        shape.marks.push_back(notch);
    }
    piece = holder->add(shape);
    ASSERT_NE(piece, nullptr);
    pattern = holder->get();
    view.gapMoveStep = 1;
    const short notchA = static_cast<short>(piece->pointCount - 2), notchB = static_cast<short>(notchA + 1);
    SPointAt(piece, 0)->position = lengthOf(piece, 8, 3);  // up to point 10
    SPointAt(piece, 1)->position = dist(kSide, below);
    const Xy tenBefore = at(piece, 10);
    const float positionBefore = SPointAt(piece, 0)->position;
    const short angleBefore = PointAt(piece, notchA)->lineOut;
    transfer(kLegALine, kLegBLine, kSideLine);
    ASSERT_TRUE(deskMessageBoxes().empty());
    // Leg B's end went, the twin came after the side point: the armhole
    // point 10 is now 9, the notches moved up by one (the middle point).
    const short ten = 9, a = static_cast<short>(notchA + 1), b2 = static_cast<short>(notchB + 1);
    ASSERT_EQ(PointAt(piece, a)->type, 'v');
    EXPECT_GT(dist(at(piece, ten), tenBefore), 1.0f);
    EXPECT_EQ(at(piece, a).x, at(piece, ten).x);
    EXPECT_EQ(at(piece, a).y, at(piece, ten).y);
    EXPECT_EQ(PointAt(piece, a)->lineOut, angleBefore);  // a quarter turn from its line, as before
    const SPoint* sa = SPointAt(piece, 0);
    const Line* la = LineAt(piece, sa->lineIndex);
    EXPECT_TRUE(la->firstPoint < ten && ten < la->firstPoint + la->pointCount - 1);
    EXPECT_NEAR(sa->position, positionBefore, kSameMm);
    // Below the new dart: the side seam now starts at the twin, on the
    // side point's old place.
    EXPECT_EQ(at(piece, b2).x, below.x);
    const SPoint* sb = SPointAt(piece, 1);
    const Line* lb = LineAt(piece, sb->lineIndex);
    EXPECT_EQ(at(piece, lb->firstPoint).x, kSide.x);
    EXPECT_EQ(at(piece, lb->firstPoint).y, kSide.y);
    EXPECT_NEAR(sb->position, dist(kSide, below), kSameMm);
    EXPECT_TRUE(PieceConsistent(piece));
    expectFormulasKept();
}

// A skirt panel with a waist dart and a slash from its apex straight down
// the old centre line to the hem: the new line runs on the line from the
// mouth through the apex, and the pivot is the apex. Closing the waist dart
// opens the hem by the same angle (an A-line).
TEST_F(GapMove, ASlashAlongTheOldCentreLineTurnsAboutTheApex) {
    const Xy apex{100, 380}, hem{100, 0};
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', hem.x, hem.y), P('K', 250, 0), P('K', 250, 500),
                                  P('K', 115, 500), P('K', 85, 500), P('K', 0, 500)},
                                 true));
    for (const Xy end : {Xy{115, 500}, Xy{85, 500}, hem})
        shape.chains.push_back(Chain({P('s', apex.x, apex.y), P('k', end.x, end.y)}));
    piece = holder->add(shape);
    ASSERT_NE(piece, nullptr);
    pattern = holder->get();
    view.gapMoveStep = 1;
    const float side = dist(at(piece, 2), at(piece, 3));
    transfer(8, 10, 12);
    ASSERT_TRUE(deskMessageBoxes().empty());
    EXPECT_EQ(view.gapMoveStep, 0);
    // The hem point stays; its turned copy, two points on, opens the hem by
    // the dart's angle about the apex; the side seam turned whole.
    ASSERT_EQ(piece->pointCount, 8 + 6 - 1 + 2 + 2);
    const double dart = degreesBetween(apex, Xy{115, 500}, Xy{85, 500});
    EXPECT_EQ(at(piece, 1).x, hem.x);
    EXPECT_NEAR(degreesBetween(apex, at(piece, 1), at(piece, 3)), dart, kAngleDeg);
    EXPECT_NEAR(dist(apex, at(piece, 3)), dist(apex, hem), kSameMm);
    EXPECT_NEAR(dist(at(piece, 4), at(piece, 5)), side, kSameMm);
    EXPECT_TRUE(PieceConsistent(piece));
}

// Each refusal: its message box or its prompt, the pattern byte for byte as
// it was, the picks' highlights cleared, and a next click that starts a new
// run.
TEST_F(GapMove, RefusalsLeaveThePieceAsItWas) {
    struct Case {
        const char* name;
        std::function<void(PieceShape&)> shape;
        short picks[3];
        const char* message;
        bool runEnds;
        const char* prompt = nullptr;
    };
    const Xy b = legB();
    const std::vector<Case> cases = {
        {"a line off the outline",
         [](PieceShape& s) { s.chains.push_back(Chain({P('s', 150, 150), P('k', 150, 60)})); },
         {kLegALine, kLegBLine, 27}, kGapMoveNoOutlinePoint, false},
        {"a new line of three points",
         [](PieceShape& s) {
             auto& line = s.chains[3].points;
             line.insert(line.begin() + 1, P('c', (kBust.x + kSide.x) / 2 + 3, (kBust.y + kSide.y) / 2));
         },
         {kLegALine, kLegBLine, kSideLine + 1}, kGapMoveNoOutlinePoint, false},
        {"an outline line as the new place", [](PieceShape&) {}, {kLegALine, kLegBLine, kSidePt}, kGapMoveNoOutlinePoint,
         false},
        {"parallel legs",
         [b](PieceShape& s) {
             s.chains[1].points[0] = P('s', kLegA.x, kLegA.y - 100);
             s.chains[2].points[0] = P('s', b.x, b.y - 100);
         },
         {kLegALine, kLegBLine, kSideLine}, kGapMoveNoLegsCross, false},
        {"a new place inside the old opening",
         [](PieceShape& s) {
             // A middle point on the old mouth, with its own line to B.
             auto& o = s.chains[0].points;
             const Xy b2 = legB();
             o.insert(o.begin() + kLegBPt, P('K', (kLegA.x + b2.x) / 2, (kLegA.y + b2.y) / 2));
             s.chains.push_back(Chain({P('s', kBust.x, kBust.y), P('k', (kLegA.x + b2.x) / 2, (kLegA.y + b2.y) / 2)}));
         },
         {kLegALine + 1, kLegBLine + 1, 28}, kGapMoveNoNewOldCross, true},
        {"a new place on leg A's own outline point",
         [](PieceShape& s) { s.chains.push_back(Chain({P('s', 160, 250), P('k', kLegA.x, kLegA.y)})); },
         {kLegALine, kLegBLine, 27}, kGapMoveNoNewOldCross, true},
        {"a new place on leg B's own outline point",
         [](PieceShape& s) {
             const Xy b2 = legB();
             s.chains.push_back(Chain({P('s', 160, 250), P('k', b2.x, b2.y)}));
         },
         {kLegALine, kLegBLine, 27}, kGapMoveNoNewOldCross, true},
        {"a new line shorter than the mouth's half",
         [](PieceShape& s) { s.chains[3].points[0] = P('s', kSide.x - 4, kSide.y + 2); },
         {kLegALine, kLegBLine, kSideLine}, nullptr, false, kGapMoveTooShort},
        {"a seam beside the new place that runs into the pivot",
         [](PieceShape& s) {
             // The underarm moved onto the new line: the turned seam meets
             // the mouth's bisector at the pivot, where no middle point is.
             s.chains[0].points[kUnderarm] = P('K', kBust.x + 0.8f * (kSide.x - kBust.x),
                                               kBust.y + 0.8f * (kSide.y - kBust.y));
         },
         {kLegALine, kLegBLine, kSideLine}, nullptr, true, kGapMoveNoMiddle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        PieceShape shape = Bodice(true);
        c.shape(shape);
        piece = holder->add(shape);
        ASSERT_NE(piece, nullptr);
        pattern = holder->get();
        view = HostView{};
        view.gapMoveStep = 1;
        const std::string was = BytesOf(pattern);
        transfer(c.picks[0], c.picks[1], c.picks[2]);
        EXPECT_EQ(BytesOf(pattern), was);
        if (c.message) {
            ASSERT_EQ(deskMessageBoxes().size(), 1u);
            EXPECT_EQ(deskMessageBoxes()[0].text, c.message);
            EXPECT_EQ(deskMessageBoxes()[0].caption, kCaption);
            EXPECT_EQ(deskMessageBoxes()[0].type, static_cast<UINT>(MB_ICONERROR));
        } else {
            EXPECT_TRUE(deskMessageBoxes().empty());
        }
#if QP_HAVE_DESKTOP
        // The window is repainted without the highlights, below the prompt
        // that says why.
        ASSERT_FALSE(deskInvalidations().empty());
        if (c.prompt) {
            EXPECT_NE(deskTextOut().find(c.prompt), std::string::npos);
            EXPECT_EQ(deskInvalidations().back().rect.top, 30);
        }
#endif
        EXPECT_EQ(view.pickState, 0);
        EXPECT_EQ(view.gapMoveStep, c.runEnds ? 0 : 1);
        if (!c.runEnds) {
            EXPECT_EQ(clickLine(kLegALine), 1);  // a new run, its first pick
            EXPECT_EQ(view.pickState, 1);
        }
        expectDrawingDiscipline();
        EXPECT_TRUE(PieceConsistent(piece));
    }
}

// A new line that ends short of the old apex: the pivot is where its line
// meets the old mouth's line to the apex, and the new apex T is set back
// from it on the way to the new mouth's middle, where both new legs keep
// the new line's length.
TEST_F(GapMove, ANewLineShortOfTheApexSetsTheNewApexBack) {
    PieceShape shape = Bodice(true);
    const Xy start{kBust.x + 0.15f * (kSide.x - kBust.x), kBust.y + 0.15f * (kSide.y - kBust.y)};
    shape.chains[3].points[0] = F('s', start, true);
    piece = holder->add(shape);
    ASSERT_NE(piece, nullptr);
    pattern = holder->get();
    view = HostView{};
    view.gapMoveStep = 1;
    const float length = dist(start, kSide);
    transfer(kLegALine, kLegBLine, kSideLine);
    ASSERT_TRUE(deskMessageBoxes().empty());
    ASSERT_EQ(view.gapMoveStep, 0);
    ASSERT_EQ(piece->pointCount, kOutline + 10 + 1 + 2);
    // Forward to the side seam: outline 0 .. 18 (leg B's end gone, twin and
    // middle in), the side line and moved leg B two on, the centre line last.
    const short shift = 1, newLine = kSideLine + shift, movedLeg = kLegBLine + shift;
    const short middle = kSidePt, turned = kSidePt - 1, centre = static_cast<short>(piece->pointCount - 2);
    const Xy apex = at(piece, newLine);
    EXPECT_GT(dist(apex, kBust), 5.0f);  // set back from the pivot
    EXPECT_NEAR(dist(apex, at(piece, newLine + 1)), length, kSameMm);
    EXPECT_NEAR(dist(at(piece, movedLeg), apex), 0.0f, kSameMm);
    EXPECT_NEAR(dist(at(piece, movedLeg + 1), apex), length, kSameMm);
    EXPECT_NEAR(dist(at(piece, movedLeg + 1), at(piece, turned)), 0.0f, kSameMm);
    // T lies on the line from the middle point to the pivot (the bust).
    const Xy m = at(piece, middle);
    const double cross = (kBust.x - m.x) * (apex.y - m.y) - (kBust.y - m.y) * (apex.x - m.x);
    EXPECT_NEAR(cross / dist(kBust, m), 0.0, kSameMm);
    EXPECT_NEAR(dist(at(piece, centre), apex), 0.0f, kSameMm);
    EXPECT_EQ(at(piece, centre + 1).x, m.x);
    EXPECT_TRUE(PieceConsistent(piece));
    expectFormulasKept();
}

TEST_F(GapMove, RefusesWhenThePatternBlockHasNoRoom) {
    build();
    // The host's block holds the pattern exactly: nothing can be added.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(holder->get()->totalSize));
    pattern = static_cast<PatternBuffer*>(GlobalLock(block));
    qpMemcpy(pattern, holder->get(), holder->get()->totalSize);
    qpGetPieceLptr(pattern, 0, &piece);
    const std::string was = BytesOf(pattern);
    transfer(kLegALine, kLegBLine, kSideLine);
    EXPECT_EQ(BytesOf(pattern), was);
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].text, kGapMoveNoRoom);
    EXPECT_EQ(view.pickState, 0);
    EXPECT_TRUE(PatternConsistent(pattern));
    GlobalUnlock(block);
    GlobalFree(block);
}

// IntersectLines: the result lies on both lines; near-parallel lines give 0
// and leave the outputs alone.
TEST(IntersectLines, ResultLiesOnBothLinesAndParallelGivesNothing) {
    auto offLine = [](const float* xs, const float* ys, int j, float x, float y) {
        const double dx = xs[j + 1] - xs[j], dy = ys[j + 1] - ys[j];
        return std::fabs((x - xs[j]) * dy - (y - ys[j]) * dx) / std::hypot(dx, dy);
    };
    const float rows[][8] = {
        {-10, 0, 10, 0, 0, -10, 0, 10},          // the axes
        {100, 250, 115, 390, 100, 250, 151, 381},  // two dart legs
        {3, 7, -2, 5, 1, 9, 4, -6},
        {0, 0, 100, 1, 0, 1, 100, -0.5f},        // a narrow crossing
        {-50, 40, 20, 20, 10, 10, -30, 90},       // vertical and diagonal
    };
    for (const auto& r : rows) {
        const float xs[4] = {r[0], r[2], r[4], r[6]}, ys[4] = {r[1], r[3], r[5], r[7]};
        float x = 0, y = 0;
        ASSERT_EQ(IntersectLines(xs, ys, &x, &y), 1);
        EXPECT_LT(offLine(xs, ys, 0, x, y), 1e-3);
        EXPECT_LT(offLine(xs, ys, 2, x, y), 1e-3);
    }
    // Parallel, and crossing at 0.02 degrees (|det| = 0.0004 < 0.001).
    const float parallel[][8] = {{0, 0, 100, 50, 0, 1, 100, 51}, {0, 0, 1, 1, 5, 0, 6, 1.0004f}};
    for (const auto& r : parallel) {
        const float xs[4] = {r[0], r[2], r[4], r[6]}, ys[4] = {r[1], r[3], r[5], r[7]};
        float x = 7, y = 8;
        EXPECT_EQ(IntersectLines(xs, ys, &x, &y), 0);
        EXPECT_EQ(x, 7);
        EXPECT_EQ(y, 8);
    }
}

// Room in the piece itself: its new points' texts and the turned stretch's
// rewritten ones must fit the 16-bit text area. Without that room the
// transfer is refused before any store call; with it the dart moves and
// every formula keeps its point.
TEST_F(GapMove, ATextAreaWithoutRoomForTheTransferIsRefusedFirst) {
    for (const long freeBytes : {500L, 4000L}) {
        SCOPED_TRACE(freeBytes);
        SetUp();
        piece = holder->add(WithTextAreaFilled(Bodice(true), freeBytes, 300, 300));
        ASSERT_NE(piece, nullptr);
        ASSERT_EQ(piece->charCount, 32767 - freeBytes);
        pattern = holder->get();
        view = HostView{};
        view.gapMoveStep = 1;
        const std::string was = BytesOf(pattern);
        const short points = piece->pointCount;
        transfer(kLegALine, kLegBLine, kSideLine);
        const bool refused = freeBytes == 500;
        if (refused) {
            EXPECT_EQ(BytesOf(pattern), was);
        } else {
            EXPECT_EQ(piece->pointCount, points + 3);  // a twin, a middle point, the centre line; leg B's end goes
            expectFormulasKept();
        }
        ExpectMessageBoxes(refused ? kGapMoveNoRoom : nullptr);
        expectDrawingDiscipline();
        EXPECT_TRUE(PatternConsistent(pattern));
    }
}

}  // namespace

// A notch on the shoulder just past the old mouth lies on the stretch that
// turns: it turns with it, once, and stays on the shoulder, which now runs
// from leg A's end.
TEST_F(GapMove, ANotchBesideTheOldMouthTurnsWithItsSeam) {
    PieceShape shape = Bodice(true);
    constexpr short kShoulder = 5;  // line 7-8
    const Xy tip{200, 360}, b = legB(), n{(b.x + tip.x) / 2, (b.y + tip.y) / 2};
    ShapeMark notch = Mark('v', n.x, n.y, 0, 1571, 16, 0);
    notch.point = F('v', n, true);
    notch.lineIndex = kShoulder;
    notch.position = dist(b, n);
    shape.marks.push_back(notch);
    piece = holder->add(shape);
    ASSERT_NE(piece, nullptr);
    pattern = holder->get();
    view.gapMoveStep = 1;
    transfer(kLegALine, kLegBLine, kSideLine);
    ASSERT_TRUE(deskMessageBoxes().empty());
    ASSERT_EQ(piece->sPointCount, 1);
    short v = -1;
    for (short i = 0; i < piece->pointCount; ++i)
        if (PointAt(piece, i)->type == 'v') v = i;
    ASSERT_GE(v, 0);
    // Leg B's end went: the shoulder runs from leg A's end (6) to the turned tip (7).
    const Xy a = at(piece, kLegAPt), t = at(piece, kLegAPt + 1), m = at(piece, v);
    EXPECT_NEAR(dist(m, kBust), dist(n, kBust), kSameMm);
    EXPECT_NEAR(dist(a, m) + dist(m, t), dist(a, t), kSameMm);
    EXPECT_NEAR(SPointAt(piece, 0)->position, dist(a, m), kSameMm);
    EXPECT_TRUE(PieceConsistent(piece));
    expectFormulasKept();
}

// A new line that starts below the apex, off the line from the old mouth
// through it: the pivot is where that line meets the new one, and the new
// mouth opens about it (its copies at one distance from the pivot, the
// old dart's angle between them).
TEST_F(GapMove, ANewLineOffTheApexTurnsAboutWhereItMeetsTheCentreLine) {
    PieceShape shape = Bodice(true);
    const Xy start{kBust.x, kBust.y - 20};
    shape.chains[3].points[0] = F('s', start, true);
    piece = holder->add(shape);
    ASSERT_NE(piece, nullptr);
    pattern = holder->get();
    view.gapMoveStep = 1;
    const Xy b = legB(), mouth{(kLegA.x + b.x) / 2, (kLegA.y + b.y) / 2};
    const float xs[4] = {mouth.x, kBust.x, start.x, kSide.x}, ys[4] = {mouth.y, kBust.y, start.y, kSide.y};
    Xy pivot{};
    ASSERT_NE(IntersectLines(xs, ys, &pivot.x, &pivot.y), 0);
    ASSERT_GT(dist(pivot, kBust), 5.0f);
    const double dart = degreesBetween(pivot, kLegA, b);
    transfer(kLegALine, kLegBLine, kSideLine);
    ASSERT_TRUE(deskMessageBoxes().empty());
    ASSERT_EQ(piece->pointCount, kOutline + 10 + 1 + 2);
    // Forward to the side seam: the turned copy before the middle point,
    // the copy left in place after it.
    const Xy turned = at(piece, kSidePt - 1), kept = at(piece, kSidePt + 1);
    EXPECT_EQ(kept.x, kSide.x);
    EXPECT_NEAR(dist(turned, pivot), dist(kSide, pivot), kSameMm);
    EXPECT_NEAR(degreesBetween(pivot, kept, turned), dart, kAngleDeg);
    EXPECT_TRUE(PieceConsistent(piece));
    expectFormulasKept();
}

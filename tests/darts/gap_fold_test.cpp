// The dart fold as the host drives it: message sequences through the desktop
// on a bodice front with a waist dart (legs with a centre line between them)
// and a shoulder dart (neighbouring legs, the apex given by a click).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "darts/intersect_lines.h"
#include "frame/exports.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "tests/support/scene.h"
#include "tests/support/store_fixture.h"

namespace {

constexpr float kSpanTolerance = 0.001f;   // mm: a fold and unfold give the span back
constexpr float kTurnTolerance = 0.001f;   // mm: a turned point against its turned original
constexpr double kFormulaTolerance = 0.1;  // mm: formulas keep their points' values

// "B/8+1.2" style texts that give v cm for B = 88 (B/8 = 11) or BL = 38.
std::string formulaText(const char* term, float base, float cm) {
    char text[40];
    std::snprintf(text, sizeof text, "%s%+.3f", term, cm - base);
    return text;
}

// A half bodice front in mm, y up, closed outline:
//   0 S CF waist, 1 CF neck, 2-3 neck curve, 4 neck point, 5 and 6 the
//   shoulder dart's outline points, 7 shoulder point, 8-10 armhole, 11 side
//   top, 12 side waist, 13 waist dart leg, 14 waist dart middle, 15 waist
//   dart leg, 16 closing K.
// Inner lines: 17-18 and 19-20 the shoulder dart's legs to (118, 240);
//   21-22 and 23-24 the waist dart's legs, 25-26 its centre line, all to
//   (120, 150); 27-28 a free line; 29-31 a three-point line; 32-33 a line
//   ending on the waist leg's outline point 13.
// A grading rule moves point 12 with reference point 12 (code 1203).
PieceShape BodiceShape(bool formulas) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 0, 320), P('C', 40, 328), P('C', 63, 352),
                                 P('K', 75, 400), P('K', 120, 385), P('K', 150, 385), P('K', 195, 362),
                                 P('C', 190, 300), P('C', 200, 245), P('C', 218, 212), P('K', 235, 200),
                                 P('K', 215, 0), P('K', 140, 0), P('K', 120, -5), P('K', 100, 0)},
                                true));
    const float lines[][4] = {{120, 385, 118, 240}, {150, 385, 118, 240}, {140, 0, 120, 150},
                              {100, 0, 120, 150},   {120, -5, 120, 150},  {30, 100, 70, 100}};
    for (const auto& l : lines) shape.chains.push_back(Chain({P('s', l[0], l[1]), P('k', l[2], l[3])}));
    shape.chains.push_back(Chain({P('s', 30, 200), P('c', 50, 220), P('k', 70, 200)}));
    shape.chains.push_back(Chain({P('s', 140, 0), P('k', 160, 60)}));
    if (formulas)
        for (ShapeChain& c : shape.chains)
            for (ShapePoint& p : c.points) {
                p.xFormula = formulaText("B/8", 11, p.x / 10);
                p.yFormula = formulaText("BL", 38, p.y / 10);
            }
    shape.rules.push_back(ShapeRule{0, 0, {PRule{1203, 12, 1.0f, 2.0f}}});
    return shape;
}

// A notch at (x, y) that grades as the bodice's points do, `position` mm
// along line `line`.
ShapeMark GradedNotch(float x, float y, short line, float position) {
    ShapeMark notch = Mark('v', x, y, 0, 1571, 16, 0);
    notch.point.xFormula = formulaText("B/8", 11, x / 10);
    notch.point.yFormula = formulaText("BL", 38, y / 10);
    notch.lineIndex = line;
    notch.position = position;
    return notch;
}

// The host's view: piece (x, y) is client (x + 100, 718 - y).
const float kView[9] = {1, 0, 0, 0, 1, 0, 100, 50, 1};

struct Pick {
    float x, y;
};
// How a dart is picked: both legs, then the centre line (or the apex).
struct Dart {
    const char* name;
    Pick leg0, leg1;
    Pick centreOrApex;
    bool byPoint;  // neighbouring legs: the apex is clicked
    float apexX, apexY;
    bool leg0Low;  // leg 0's outline point comes first in outline order
};
const Dart kWaist{"waist", {134, 45}, {106, 45}, {120, 45}, false, 120, 150, true};
const Dart kWaistReversed{"waistReversed", {106, 45}, {134, 45}, {120, 45}, false, 120, 150, false};
const Dart kShoulder{"shoulder", {119, 342}, {140, 342}, {118, 240}, true, 118, 240, true};
const Dart kShoulderReversed{"shoulderReversed", {140, 342}, {119, 342}, {118, 240}, true, 118, 240, false};

class GapFold : public ::testing::Test {
protected:
    void SetUp() override { reset(65536); }
    void reset(long capacity) {
        holder.reset();
        deskReset();
        deskSetClientRect(1024, 768);
        storeSetParameter("B", 88);
        storeSetParameter("BL", 38);
        holder = std::make_unique<TestPattern>(capacity);
    }
    void build(bool formulas = false) { start(BodiceShape(formulas)); }
    // Adds the shape as piece 0 and starts a fold run on it.
    void start(const PieceShape& shape) {
        ASSERT_NE(holder->add(shape), nullptr);
        pieceIndex = 0;
        record = GapFoldRecord{};
        record.foldPhase = 1;
        view = HostView{};
        view.pickState = 1;
        view.gapFoldStep = 1;
    }
    Piece* piece(int i = 0) { return holder->piece(i); }
    short send(UINT message) {
        return qpHandleGapFold(deskWindow(), message, 0, 0, holder->get(), &pieceIndex, &record, &view, kView);
    }
    short moveTo(float x, float y) {
        deskSetCursorClient(static_cast<int>(std::lround(x + 100)), static_cast<int>(std::lround(718 - y)));
        return send(WM_MOUSEMOVE);
    }
    short clickAt(Pick p) {
        moveTo(p.x, p.y);
        return send(WM_LBUTTONDOWN);
    }
    // Picks the legs and the centre (or the apex); the direction is next.
    void pickDart(const Dart& d) {
        ASSERT_EQ(moveTo(0, 0), 1);
        ASSERT_EQ(view.pickState, 2);
        clickAt(d.leg0);
        ASSERT_EQ(view.pickState, 3);
        clickAt(d.leg1);
        ASSERT_EQ(view.pickState, d.byPoint ? 5 : 4);
        clickAt(d.centreOrApex);
        ASSERT_EQ(view.pickState, 7);
    }
    void fold(const Dart& d, Pick direction) {
        pickDart(d);
        clickAt(direction);
    }
    short unfold() {
        record.foldPhase = 2;
        return send(WM_LBUTTONDOWN);
    }

    static std::vector<Coord> coords(Piece* p) {
        std::vector<Coord> all;
        for (short i = 0; i < p->pointCount; ++i) all.push_back(*CoordOf(p, i));
        return all;
    }
    // The piece's points lie where `expected` says they do.
    static void expectCoords(Piece* p, const std::vector<Coord>& expected) {
        const std::vector<Coord> after = coords(p);
        ASSERT_EQ(after.size(), expected.size());
        for (size_t i = 0; i < after.size(); ++i) {
            EXPECT_NEAR(after[i].x, expected[i].x, kSpanTolerance) << i;
            EXPECT_NEAR(after[i].y, expected[i].y, kSpanTolerance) << i;
        }
    }
    static void expectFormulasKeepValues(Piece* p) {
        if (p->formulaCount == 0) return;
        for (short i = 0; i < p->pointCount; ++i) {
            EXPECT_NEAR(qpFormulaCalculation(p, FormulaX(p, i).c_str()) * 10, CoordOf(p, i)->x, kFormulaTolerance)
                << i << " " << FormulaX(p, i);
            EXPECT_NEAR(qpFormulaCalculation(p, FormulaY(p, i).c_str()) * 10, CoordOf(p, i)->y, kFormulaTolerance)
                << i << " " << FormulaY(p, i);
        }
    }

    std::unique_ptr<TestPattern> holder;
    short pieceIndex = 0;
    GapFoldRecord record{};
    HostView view{};
};

void turn(float angle, float cx, float cy, float& x, float& y) {
    const double c = std::cos(angle), s = std::sin(angle), dx = x - cx, dy = y - cy;
    x = static_cast<float>(cx + dx * c - dy * s);
    y = static_cast<float>(cy + dx * s + dy * c);
}

// The bodice before any fold, with the shoulder dart's middle point where the
// fold puts it (between points 5 and 6) when the dart is picked by point.
std::vector<Coord> expectedSource(const std::vector<Coord>& before, bool withMiddle) {
    if (!withMiddle) return before;
    std::vector<Coord> out(before.begin(), before.begin() + 6);
    Coord middle = before[5];
    middle.x = (before[5].x + before[6].x) / 2;
    middle.y = (before[5].y + before[6].y) / 2;
    out.push_back(middle);
    out.insert(out.end(), before.begin() + 6, before.end());
    return out;
}

struct RoundTrip {
    const Dart* dart;
    Pick direction;
    bool nearLeg1;  // the direction click is nearer leg 1 (ties count so)
    bool formulas;
};

class GapFoldRoundTrip : public GapFold, public ::testing::WithParamInterface<RoundTrip> {};

// Fold, check the fold piece, unfold with nothing changed: the source piece
// is back as it was (plus the shoulder dart's middle point), the fold piece
// gone, the source current; the checker and the formulas hold after each
// phase; every device context and drawing object is given back.
TEST_P(GapFoldRoundTrip, FoldsTurningBothHalvesRigidlyAndUnfoldsToTheSameSpan) {
    const RoundTrip& t = GetParam();
    const Dart& d = *t.dart;
    build(t.formulas);
    const std::vector<Coord> expected = expectedSource(coords(piece()), d.byPoint);
    fold(d, t.direction);

    ASSERT_EQ(holder->get()->pieceCount, 2);
    EXPECT_EQ(pieceIndex, 1);
    EXPECT_EQ(view.pickState, 0);
    EXPECT_EQ(view.gapFoldStep, 0);
    EXPECT_TRUE(PatternConsistent(holder->get()));
    Piece* source = piece(0);
    Piece* folded = piece(1);
    ASSERT_EQ(coords(source).size(), expected.size());
    const short s = record.spanFirst, e = record.spanLast, h2 = record.spanMiddle;
    const short n = static_cast<short>(e - s), r = static_cast<short>(h2 - s);
    EXPECT_EQ(record.sourcePiece, 0);
    EXPECT_EQ(record.foldPiece, 1);
    EXPECT_EQ(record.centreEnd, d.byPoint ? -1 : 25);
    // The legs' outline ends by outline order, whichever was picked first
    // (the shoulder's past the middle point).
    EXPECT_EQ(record.legEndLow, d.byPoint ? 18 : 21);
    EXPECT_EQ(record.legEndHigh, d.byPoint ? 20 : 23);
    ASSERT_EQ(folded->pointCount, n + 5);
    EXPECT_EQ(folded->formulaCount != 0, t.formulas);
    // The middle point goes with leg 0's side when the click is nearer leg 1.
    EXPECT_EQ(record.lowTurnLast, (t.nearLeg1 == d.leg0Low) ? r : r - 1);
    EXPECT_EQ(record.highTurnFirst, record.lowTurnLast + 1);

    // Each half is its source stretch turned rigidly about the apex.
    for (short j = 0; j <= n; ++j) {
        const bool low = j <= record.lowTurnLast;
        float x = CoordOf(source, s + j)->x, y = CoordOf(source, s + j)->y;
        turn(low ? folded->foldAngleLow : folded->foldAngleHigh, d.apexX, d.apexY, x, y);
        EXPECT_NEAR(CoordOf(folded, j)->x, x, kTurnTolerance) << j;
        EXPECT_NEAR(CoordOf(folded, j)->y, y, kTurnTolerance) << j;
    }
    // The turned legs' outline points lie on the ray from the apex through
    // the middle point, each at its own distance.
    const Coord* m = CoordOf(source, h2);
    const double ux = m->x - d.apexX, uy = m->y - d.apexY, ul = std::hypot(ux, uy);
    for (const short h : {static_cast<short>(r - 1), static_cast<short>(r + 1)}) {
        const Coord* turned = CoordOf(folded, h);
        const Coord* was = CoordOf(source, s + h);
        const double vx = turned->x - d.apexX, vy = turned->y - d.apexY;
        EXPECT_NEAR((ux * vy - uy * vx) / ul, 0.0, kTurnTolerance) << h;
        EXPECT_GT(ux * vx + uy * vy, 0.0) << h;
        EXPECT_NEAR(std::hypot(vx, vy), std::hypot(was->x - d.apexX, was->y - d.apexY), kTurnTolerance) << h;
    }
    // The copied lines (picked from their outline ends): the centre line ends
    // on the turned middle point, leg 0 on its turned outline point, and
    // with a clicked apex both start there.
    EXPECT_EQ(PointAt(folded, n + 1)->type, 's');
    EXPECT_EQ(PointAt(folded, n + 4)->type, 'k');
    EXPECT_EQ(CoordOf(folded, n + 1)->x, CoordOf(folded, r)->x);
    EXPECT_EQ(CoordOf(folded, n + 1)->y, CoordOf(folded, r)->y);
    const short leg0Point = d.leg0Low ? r - 1 : r + 1;
    EXPECT_EQ(CoordOf(folded, n + 3)->x, CoordOf(folded, leg0Point)->x);
    EXPECT_EQ(CoordOf(folded, n + 3)->y, CoordOf(folded, leg0Point)->y);
    if (d.byPoint)
        for (const short inner : {n + 2, n + 4}) {
            EXPECT_EQ(CoordOf(folded, inner)->x, d.apexX);
            EXPECT_EQ(CoordOf(folded, inner)->y, d.apexY);
        }
    expectFormulasKeepValues(source);
    expectFormulasKeepValues(folded);
    const std::string sourceBytes = BytesOf(source);

    ASSERT_EQ(unfold(), 1);
    EXPECT_EQ(record.foldPhase, 0);
    EXPECT_EQ(pieceIndex, 0);
    ASSERT_EQ(holder->get()->pieceCount, 1);
    expectCoords(piece(0), expected);
    // Nothing changed on the fold piece, nothing moved: the source piece is
    // byte for byte as the fold left it, texts and all.
    EXPECT_EQ(BytesOf(piece(0)), sourceBytes);
    EXPECT_TRUE(PatternConsistent(holder->get()));
    expectFormulasKeepValues(piece(0));
    // The grading reference to point 12 follows it past the middle point.
    EXPECT_EQ(PRuleAt(piece(0), 0)->code, d.byPoint ? 1303 : 1203);
    EXPECT_TRUE(deskMessageBoxes().empty());
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskCheckDiscipline(), "");
    EXPECT_EQ(deskOpenDCs(), 0);
    const std::string texts = deskTextOut();
    EXPECT_NE(texts.find(kPromptGapFoldLegs), std::string::npos);
    EXPECT_NE(texts.find(d.byPoint ? kPromptGapFoldCentreEnd : kPromptGapFoldCentreLine), std::string::npos);
    EXPECT_NE(texts.find(kPromptGapFoldDirection), std::string::npos);
    ASSERT_FALSE(deskInvalidations().empty());
    EXPECT_TRUE(deskInvalidations().back().whole);
#endif
}

// Waist dart: H0 (140, 0), H1 (100, 0); shoulder: H0 (120, 385), H1 (150, 385).
// (120, -20) and (135, 400) lie as far from both.
INSTANTIATE_TEST_SUITE_P(
    Darts, GapFoldRoundTrip,
    ::testing::Values(RoundTrip{&kWaist, {150, -20}, false, true}, RoundTrip{&kWaist, {90, -20}, true, false},
                      RoundTrip{&kWaist, {120, -20}, true, true}, RoundTrip{&kWaistReversed, {150, -20}, true, true},
                      RoundTrip{&kWaistReversed, {120, -20}, true, false},
                      RoundTrip{&kShoulder, {115, 400}, false, false},
                      RoundTrip{&kShoulder, {150, 400}, true, true}, RoundTrip{&kShoulder, {135, 400}, true, false},
                      RoundTrip{&kShoulderReversed, {150, 400}, false, true},
                      RoundTrip{&kShoulderReversed, {115, 400}, true, false}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) {
        return std::string(info.param.dart->name) + std::to_string(info.index) +
               (info.param.formulas ? "WithFormulas" : "WithoutFormulas");
    });

// What the user corrects on the fold piece comes back, turned back, into the
// source piece, with the grade it had; a notch on a stretch that moved moves
// with it. What the user left alone keeps its texts.
TEST_F(GapFold, APointMovedOnTheFoldPieceComesBackTurned) {
    PieceShape shape = BodiceShape(true);
    shape.marks.push_back(GradedNotch(180, 0, 7, 35));  // on the waist line 12-13
    ASSERT_NE(holder->add(shape), nullptr);
    record.foldPhase = 1;
    view.pickState = 1;
    const short notchPoint = static_cast<short>(piece()->pointCount - 1);
    fold(kWaist, {150, -20});
    ASSERT_EQ(holder->get()->pieceCount, 2);
    Piece* folded = piece(1);
    const short n = static_cast<short>(record.spanLast - record.spanFirst);
    ASSERT_EQ(record.spanFirst, 12);
    const float low = folded->foldAngleLow, high = folded->foldAngleHigh;
    std::vector<std::string> texts;
    for (short i = 0; i < piece(0)->pointCount; ++i) texts.push_back(FormulaX(piece(0), i) + "|" + FormulaY(piece(0), i));
    const Coord firstBefore = *CoordOf(piece(0), record.spanFirst);
    const Coord lastBefore = *CoordOf(piece(0), record.spanLast);
    CoordOf(folded, 0)->x += 3;
    CoordOf(folded, n)->y -= 2;
    ASSERT_EQ(unfold(), 1);
    float dx = 3, dy = 0;
    turn(-low, 0, 0, dx, dy);
    EXPECT_NEAR(CoordOf(piece(0), record.spanFirst)->x, firstBefore.x + dx, kSpanTolerance);
    EXPECT_NEAR(CoordOf(piece(0), record.spanFirst)->y, firstBefore.y + dy, kSpanTolerance);
    // The notch, 7/15 of the way from point 12 to 13, moves by 8/15 of 12's move.
    EXPECT_NEAR(CoordOf(piece(0), notchPoint)->x, 180 + dx * 8 / 15, kSpanTolerance);
    EXPECT_NEAR(CoordOf(piece(0), notchPoint)->y, 0 + dy * 8 / 15, kSpanTolerance);
    EXPECT_EQ(SPointAt(piece(0), 0)->lineIndex, 7);
    EXPECT_NEAR(SPointAt(piece(0), 0)->position,
                std::hypot(CoordOf(piece(0), notchPoint)->x - CoordOf(piece(0), 12)->x,
                           CoordOf(piece(0), notchPoint)->y - CoordOf(piece(0), 12)->y),
                kSpanTolerance);
    dx = 0;
    dy = -2;
    turn(-high, 0, 0, dx, dy);
    EXPECT_NEAR(CoordOf(piece(0), record.spanLast)->x, lastBefore.x + dx, kSpanTolerance);
    EXPECT_NEAR(CoordOf(piece(0), record.spanLast)->y, lastBefore.y + dy, kSpanTolerance);
    // Moved by a constant on the fold piece, they grade as before (their own
    // terms with a new constant); every other point keeps its texts.
    for (short i = 0; i < piece(0)->pointCount; ++i) {
        const bool moved = i == record.spanFirst || i == record.spanLast || i == notchPoint;
        if (!moved) {
            EXPECT_EQ(FormulaX(piece(0), i) + "|" + FormulaY(piece(0), i), texts[static_cast<size_t>(i)]) << i;
            continue;
        }
        EXPECT_EQ(FormulaX(piece(0), i).rfind("B/8", 0), 0u) << i << " " << FormulaX(piece(0), i);
        EXPECT_EQ(FormulaY(piece(0), i).rfind("BL", 0), 0u) << i << " " << FormulaY(piece(0), i);
        EXPECT_NE(FormulaX(piece(0), i) + "|" + FormulaY(piece(0), i), texts[static_cast<size_t>(i)]) << i;
    }
    expectFormulasKeepValues(piece(0));
    EXPECT_TRUE(PatternConsistent(holder->get()));
}

// A notch on the mouth of neighbouring legs lies on the half of the mouth
// that holds it once the middle point splits it, at its length along that
// half; the run ended before the fold gives the piece back as it was.
TEST_F(GapFold, ANotchOnTheMouthStaysOnItsHalf) {
    PieceShape shape = BodiceShape(true);
    shape.marks.push_back(GradedNotch(128, 385, 3, 8));  // on the shoulder dart's mouth, line 3
    ASSERT_NE(holder->add(shape), nullptr);
    record.foldPhase = 1;
    view.pickState = 1;
    const std::string before = BytesOf(piece());
    ASSERT_EQ(moveTo(0, 0), 1);
    clickAt(kShoulder.leg0);
    clickAt(kShoulder.leg1);
    ASSERT_EQ(view.pickState, 5);
    const SPoint* sp = SPointAt(piece(), 0);
    const Line* half = LineAt(piece(), sp->lineIndex);
    EXPECT_EQ(half->firstPoint, 5);
    EXPECT_EQ(half->pointCount, 2);  // from leg 0's end to the middle point
    EXPECT_NEAR(sp->position, 8, kSpanTolerance);
    EXPECT_TRUE(PieceConsistent(piece()));
    EXPECT_EQ(send(WM_CANCELMODE), 1);
    EXPECT_EQ(BytesOf(piece()), before);
}

// The span runs out from the middle point past the legs' own outline
// points (a walk that began at a leg point would stop at its steep seam),
// on each side to the first corner whose seam from outside turns more than
// 45 and less than 135 degrees from the direction across the mouth: seams
// at 30 and 150 degrees run on, one at 60 ends it. Mouth (50, 130) to
// (70, 130), apex (60, 80): across is 180 degrees. Mirrored (x and y
// swapped) and turned by 190 degrees, the dart points left and across is
// -80 degrees: the seam at 160 degrees turns 240, that is -120, from it and
// ends the span as before. The span is the same too with point 7 below the
// mouth's side: a corner's seam ends at its own line's end.
//   0 S  1 K(5.36,80)  2 K(40,100)  3 K(50,130) leg 0  [middle]  4 K(70,130) leg 1
//   5 K(80,100)  6 K(114.64,120)  7 K(134.64,85.36) or K(90,40)  8 K(134.64,0)  9 K(25.36,0)
TEST_F(GapFold, TheSpanEndsAtTheFirstCornerThatTurnsAway) {
    struct Variant {
        const char* name;
        bool mirrored;
        double turnDegrees;
        Pick seven;
    };
    for (const Variant& v : {Variant{"as drawn", false, 0, {134.64f, 85.36f}},
                             Variant{"point 7 low", false, 0, {90, 40}},
                             Variant{"mirrored and turned", true, 190, {134.64f, 85.36f}}}) {
        SCOPED_TRACE(v.name);
        reset(65536);
        // Turned, the shape is moved back onto the screen: a real cursor
        // cannot leave it (under wine the clicks would stop at its edge).
        auto at = [&v](Pick p) {
            const double a = v.turnDegrees * 3.14159265358979 / 180, x = v.mirrored ? p.y : p.x, y = v.mirrored ? p.x : p.y;
            const float shift = v.turnDegrees != 0 ? 200.0f : 0.0f;
            return Pick{static_cast<float>(x * std::cos(a) - y * std::sin(a)) + shift,
                        static_cast<float>(x * std::sin(a) + y * std::cos(a)) + shift};
        };
        auto pt = [&at](char t, float x, float y) {
            const Pick p = at({x, y});
            return P(t, p.x, p.y);
        };
        PieceShape shape;
        shape.chains.push_back(Chain({pt('S', 25.36f, 45.36f), pt('K', 5.36f, 80), pt('K', 40, 100),
                                      pt('K', 50, 130), pt('K', 70, 130), pt('K', 80, 100), pt('K', 114.64f, 120),
                                      pt('K', v.seven.x, v.seven.y), pt('K', 134.64f, 0), pt('K', 25.36f, 0)},
                                     true));
        shape.chains.push_back(Chain({pt('s', 50, 130), pt('k', 60, 80)}));
        shape.chains.push_back(Chain({pt('s', 70, 130), pt('k', 60, 80)}));
        start(shape);
        std::vector<Coord> expected = coords(piece());
        Coord middle = expected[3];
        middle.x = (expected[3].x + expected[4].x) / 2;
        middle.y = (expected[3].y + expected[4].y) / 2;
        expected.insert(expected.begin() + 4, middle);
        const Pick apex = at({60, 80});
        fold({"span", at({55, 105}), at({65, 105}), apex, true, apex.x, apex.y, true}, at({75, 140}));
        ASSERT_EQ(holder->get()->pieceCount, 2);
        EXPECT_EQ(record.spanFirst, 1);
        EXPECT_EQ(record.spanMiddle, 4);
        EXPECT_EQ(record.spanLast, 7);
        ASSERT_EQ(unfold(), 1);
        expectCoords(piece(), expected);
        EXPECT_TRUE(PatternConsistent(holder->get()));
    }
}

// A click in step 5 before any mouse move (a double click on leg 1) takes
// no apex and leaves the step; the apex is then taken as usual.
TEST_F(GapFold, AStepFiveClickBeforeAnyMoveTakesNothing) {
    build();
    ASSERT_EQ(moveTo(0, 0), 1);
    clickAt(kShoulder.leg0);
    clickAt(kShoulder.leg1);
    ASSERT_EQ(view.pickState, 5);
    EXPECT_EQ(send(WM_LBUTTONDOWN), 1);
    EXPECT_EQ(view.pickState, 5);
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskTextOut().find(kPromptGapFoldDirection), std::string::npos);
#endif
    clickAt(kShoulder.centreOrApex);
    ASSERT_EQ(view.pickState, 7);
    EXPECT_EQ(send(WM_LBUTTONDOWN), 1);  // step 7 before a move: nothing either
    EXPECT_EQ(view.pickState, 7);
    clickAt({150, 400});
    EXPECT_EQ(holder->get()->pieceCount, 2);
    EXPECT_TRUE(PatternConsistent(holder->get()));
}

// A fold that does not happen leaves the piece byte for byte as it was: the
// host ending the run (WM_CANCELMODE) or a fold refused for want of room
// takes the shoulder dart's middle point out again, grading code included.
TEST_F(GapFold, ARunEndedBeforeTheFoldLeavesThePieceAsItWas) {
    build(true);
    const std::string before = BytesOf(piece());
    ASSERT_EQ(moveTo(0, 0), 1);
    clickAt(kShoulder.leg0);
    clickAt(kShoulder.leg1);
    ASSERT_EQ(piece()->pointCount, 35);
    EXPECT_EQ(PRuleAt(piece(), 0)->code, 1303);
    EXPECT_EQ(send(WM_CANCELMODE), 1);
    EXPECT_EQ(BytesOf(piece()), before);
    EXPECT_EQ(send(WM_CANCELMODE), 0);  // nothing left to take back
    EXPECT_TRUE(PieceConsistent(piece()));

    // Room for the middle point, none for the fold piece.
    long pieceBytes = 0;
    {
        TestPattern scratch(65536);
        pieceBytes = scratch.add(BodiceShape(false))->byteSize;
    }
    reset(24 + pieceBytes + 1000);
    build();
    const std::string plain = BytesOf(piece());
    pickDart(kShoulder);
    ASSERT_EQ(piece()->pointCount, 35);
    clickAt({150, 400});
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].text, kGapFoldNoRoom);
    EXPECT_EQ(view.pickState, 9);
    EXPECT_EQ(holder->get()->pieceCount, 1);
    EXPECT_EQ(BytesOf(piece()), plain);
    EXPECT_TRUE(PatternConsistent(holder->get()));
}

// The system cancels the window's modes (a dialog box opens) between the
// apex and the direction click: the middle point goes, and the run starts
// over at its first prompt, so the direction click folds nothing with the
// picks that counted the middle point; the run made afresh folds and
// unfolds back to the piece.
TEST_F(GapFold, ACancelBeforeTheDirectionStartsTheRunOver) {
    build(true);
    const std::string before = BytesOf(piece());
    const std::vector<Coord> expected = expectedSource(coords(piece()), true);
    pickDart(kShoulder);
    moveTo(150, 400);
    ASSERT_EQ(view.pickState, 8);
    EXPECT_EQ(send(WM_CANCELMODE), 1);
    EXPECT_EQ(view.pickState, 1);
    EXPECT_EQ(BytesOf(piece()), before);
    clickAt({150, 400});
    EXPECT_EQ(holder->get()->pieceCount, 1);
    EXPECT_EQ(BytesOf(piece()), before);
    fold(kShoulder, {150, 400});
    ASSERT_EQ(holder->get()->pieceCount, 2);
    ASSERT_EQ(unfold(), 1);
    expectCoords(piece(), expected);
    expectFormulasKeepValues(piece());
    EXPECT_TRUE(PatternConsistent(holder->get()));
}

// Legs ending on curve points: the middle point is a curve point of the
// mouth's line, and taking it back leaves that line as it was.
TEST_F(GapFold, AMiddlePointOnACurveIsTakenBackToo) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 100, 0), P('C', 110, 2), P('C', 120, 2), P('K', 130, 0), P('K', 130, -50)}, true));
    shape.chains.push_back(Chain({P('s', 110, 2), P('k', 115, 50)}));
    shape.chains.push_back(Chain({P('s', 120, 2), P('k', 115, 50)}));
    shape.formulas = true;
    start(shape);
    const std::string before = BytesOf(piece());
    moveTo(0, 0);
    clickAt({111, 12});
    clickAt({119, 12});
    ASSERT_EQ(view.pickState, 5);
    EXPECT_TRUE(PieceConsistent(piece()));
    EXPECT_EQ(send(WM_CANCELMODE), 1);
    EXPECT_EQ(BytesOf(piece()), before);
    EXPECT_TRUE(PieceConsistent(piece()));
}

// An open outline that ends at the dart's mouth: the forward span walk runs
// off the outline into the legs' points, so the fold ends with its message
// and the middle point goes again.
TEST_F(GapFold, ASpanWalkThatLeavesTheOutlineEndsTheFold) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 100, 0), P('K', 110, 0), P('K', 120, 0)}));
    shape.chains.push_back(Chain({P('s', 110, 0), P('k', 115, 50)}));
    shape.chains.push_back(Chain({P('s', 120, 0), P('k', 115, 50)}));
    start(shape);
    const std::string before = BytesOf(piece());
    fold({"open", {111, 10}, {119, 10}, {115, 50}, true, 115, 50, true}, {125, 5});
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].text, kGapFoldNoSpan);
    EXPECT_EQ(view.pickState, 9);
    EXPECT_EQ(holder->get()->pieceCount, 1);
    EXPECT_EQ(BytesOf(piece()), before);
#if QP_HAVE_DESKTOP
    // The highlights and the marker go; the prompt bar says the fold has
    // stopped, and says it again at a click in step 9.
    ASSERT_FALSE(deskInvalidations().empty());
    EXPECT_EQ(deskInvalidations().back().rect.top, 30);
    const auto stops = [] {
        size_t n = 0;
        for (const DeskCall& c : deskCalls("TextOutA")) n += c.text == kGapFoldStopped;
        return n;
    };
    EXPECT_EQ(stops(), 1u);
#endif
    EXPECT_EQ(send(WM_LBUTTONDOWN), 1);  // step 9: consumed, nothing more
    EXPECT_EQ(BytesOf(piece()), before);
#if QP_HAVE_DESKTOP
    EXPECT_EQ(stops(), 2u);
#endif
    EXPECT_TRUE(PieceConsistent(piece()));
}

// Picks the fold cannot use are refused with a message and leave the step.
TEST_F(GapFold, PicksItCannotUseAreRefused) {
    build();
    ASSERT_EQ(moveTo(0, 0), 1);
    const struct {
        Pick at;
        const char* message;
    } refusals[] = {
        {{0, 160}, kGapFoldLineShape},       // an outline line
        {{40, 205}, kGapFoldLineShape},      // an inner line of three points
        {{50, 100}, kGapFoldNoOutlinePoint}, // a line that meets no outline point
    };
    for (const auto& r : refusals) {
        const size_t boxes = deskMessageBoxes().size();
        clickAt(r.at);
        ASSERT_EQ(deskMessageBoxes().size(), boxes + 1);
        EXPECT_EQ(deskMessageBoxes().back().text, r.message);
        EXPECT_EQ(view.pickState, 2);
    }
    clickAt(kWaist.leg0);
    ASSERT_EQ(view.pickState, 3);
    clickAt({150, 30});  // ends on the waist leg's outline point too
    EXPECT_EQ(deskMessageBoxes().back().text, kGapFoldMouthShape);
    EXPECT_EQ(view.pickState, 3);
    clickAt(kWaist.leg1);
    EXPECT_EQ(view.pickState, 4);
    EXPECT_EQ(piece()->pointCount, 34);
    EXPECT_TRUE(PieceConsistent(piece()));
    SetUp();
    // Legs far apart: a centre line next to one leg's outline point but not
    // next to the other's is no mouth either, and the run stops.
    build();
    ASSERT_EQ(moveTo(0, 0), 1);
    clickAt(kShoulder.leg0);  // outline point 5
    clickAt(kWaist.leg0);     // outline point 13
    ASSERT_EQ(view.pickState, 4);
    clickAt(kShoulder.leg1);  // outline point 6
    ASSERT_FALSE(deskMessageBoxes().empty());
    EXPECT_EQ(deskMessageBoxes().back().text, kGapFoldMouthShape);
    clickAt({60, 20});
    EXPECT_EQ(holder->get()->pieceCount, 1);
    EXPECT_TRUE(PieceConsistent(piece()));
}

// An unfold whose record or fold piece is not the fold's own is refused and
// changes nothing; put right, the same unfold goes through.
TEST_F(GapFold, AnUnfoldThatDoesNotMatchItsFoldIsRefused) {
    build(true);
    fold(kWaist, {150, -20});
    ASSERT_EQ(holder->get()->pieceCount, 2);
    const std::string source = BytesOf(piece(0));
    const std::string folded = BytesOf(piece(1));
    const GapFoldRecord good = record;
    auto expectRefused = [&](const char* what) {
        SCOPED_TRACE(what);
        const size_t boxes = deskMessageBoxes().size();
        EXPECT_EQ(unfold(), 1);
        ASSERT_EQ(deskMessageBoxes().size(), boxes + 1);
        EXPECT_EQ(deskMessageBoxes().back().text, kGapUnfoldMismatch);
        EXPECT_EQ(holder->get()->pieceCount, 2);
        EXPECT_EQ(record.foldPhase, 2);
    };
    record.spanFirst = static_cast<short>(good.spanFirst + 1);
    expectRefused("span moved");
    record = good;
    record.legEndHigh = 999;
    expectRefused("leg end out of range");
    record = good;
    const float angle = piece(1)->foldAngleLow;
    piece(1)->foldAngleLow = angle + 0.5f;
    expectRefused("fold angle");
    piece(1)->foldAngleLow = angle;
    EXPECT_EQ(BytesOf(piece(0)), source);
    EXPECT_EQ(BytesOf(piece(1)), folded);
    // A piece after the fold piece: the fold piece is no longer the last.
    ASSERT_NE(holder->add(RectangleShape(10, 10)), nullptr);
    record = good;
    EXPECT_EQ(unfold(), 1);
    EXPECT_EQ(holder->get()->pieceCount, 3);
    qpDeletePiece(holder->get(), piece(2));
    record = good;
    EXPECT_EQ(unfold(), 1);
    EXPECT_EQ(holder->get()->pieceCount, 1);
    EXPECT_EQ(record.foldPhase, 0);
    EXPECT_TRUE(PatternConsistent(holder->get()));
}

TEST_F(GapFold, MessagesOutsideItsPhasesAreLeftAlone) {
    build();
    record.foldPhase = 0;
    EXPECT_EQ(moveTo(0, 0), 0);
    EXPECT_EQ(send(WM_KEYDOWN), 0);
    EXPECT_EQ(send(WM_RBUTTONDOWN), 0);
    EXPECT_EQ(send(WM_CANCELMODE), 0);
    record.foldPhase = 2;  // no fold to unfold
    EXPECT_EQ(send(WM_LBUTTONDOWN), 1);
    EXPECT_EQ(deskMessageBoxes().back().text, kGapUnfoldMismatch);
    EXPECT_EQ(holder->get()->pieceCount, 1);
    EXPECT_TRUE(PieceConsistent(piece()));
}

// Room in the source piece's 16-bit text area, checked before the store is
// called: for the middle point of neighbouring legs (a twin with copied
// texts), and for the texts of the points the unfold moves (none when the
// fold piece was left as it was). Without it the step is refused with its
// message and the pattern stays as it was; with it the fold runs there and
// back.
TEST_F(GapFold, ATextAreaWithoutRoomIsRefusedFirst) {
    struct Row {
        const Dart* dart;
        long freeBytes;
        bool moved;           // every point of the fold piece's span moved
        const char* refusal;  // null: the fold and the unfold run
    } rows[] = {{&kShoulder, 100, false, kGapFoldNoRoom},
                {&kWaist, 150, true, kGapUnfoldNoRoom},
                {&kWaist, 150, false, nullptr},
                {&kWaist, 4000, true, nullptr}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.freeBytes) + (row.moved ? " moved" : ""));
        reset(65536);
        start(WithTextAreaFilled(BodiceShape(true), row.freeBytes, 300, 300));
        ASSERT_EQ(piece()->charCount, 32767 - row.freeBytes);
        const std::string source = BytesOf(piece());
        if (row.dart->byPoint) {
            ASSERT_EQ(moveTo(0, 0), 1);
            clickAt(row.dart->leg0);
            clickAt(row.dart->leg1);  // the middle point would come here
            EXPECT_EQ(holder->get()->pieceCount, 1);
        } else {
            fold(*row.dart, {150, -20});
            ASSERT_EQ(holder->get()->pieceCount, 2);
            for (short j = 0; row.moved && j <= record.spanLast - record.spanFirst; ++j) CoordOf(piece(1), j)->y += 1;
            ASSERT_EQ(unfold(), 1);
            EXPECT_EQ(holder->get()->pieceCount, row.refusal ? 2 : 1);
        }
        if (row.refusal) EXPECT_EQ(BytesOf(piece()), source);
        else expectFormulasKeepValues(piece());
#if QP_HAVE_DESKTOP
        ASSERT_EQ(deskMessageBoxes().size(), row.refusal ? 1u : 0u);
        if (row.refusal) {
            EXPECT_EQ(deskMessageBoxes()[0].text, std::string(row.refusal));
        }
        EXPECT_EQ(deskCheckDiscipline(), "");
#endif
        EXPECT_TRUE(PatternConsistent(holder->get()));
    }
}

}  // namespace

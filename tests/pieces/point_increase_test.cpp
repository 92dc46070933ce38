// The point-increase tool as the host drives it: message sequences through
// the desktop on a half bodice front, family by family. Every click ends
// with the store's checker on the pattern and on the host's undo copy, and
// the undo copy is compared with the pattern after the last completed edit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "frame/exports.h"
#include "frame/room.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "pieces/point_increase.h"
#include "tests/support/scene.h"
#include "tests/support/store_fixture.h"

namespace {

using namespace increase;

constexpr float kPlaced = 0.05f;     // mm: a point placed at a typed distance
constexpr float kFormulaMm = 0.1f;   // mm: formulas against their points

// A half bodice front, y up, closed: waist from (0, 0), centre front up to
// (0, 320), neck curve to the shoulder (75, 400), shoulder to (195, 362),
// armhole curve down to the underarm (235, 200), side seam to the waist side
// (215, 0), waist back to the start (point 11).
//   lines: 0 = 0..1, 1 = 1..4 (curve), 2 = 4..5, 3 = 5..9 (armhole),
//          4 = 9..10 (side seam), 5 = 10..11 (waist)
PieceShape Bodice(bool formulas = false) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 0, 320), P('C', 40, 328), P('C', 63, 352),
                                 P('K', 75, 400), P('K', 195, 362), P('C', 190, 300),
                                 P('C', 200, 245), P('C', 218, 212), P('K', 235, 200),
                                 P('K', 215, 0)},
                                true));
    if (formulas) {
        // Each point follows a parameter by zero and keeps its value.
        for (ShapePoint& p : shape.chains[0].points) {
            p.xFormula = "0*B+" + std::to_string(p.x / 10.0f).substr(0, 6);
            p.yFormula = "0*BL+" + std::to_string(p.y / 10.0f).substr(0, 6);
        }
    }
    return shape;
}
constexpr short kArmhole = 3, kSideSeam = 4;
constexpr short kUnderarm = 9, kWaistSide = 10;

// Client 1024 x 768, 1 pixel per mm: piece (x, y) is client (x + 100, 718 - y).
INT_PTR CALLBACK HostDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM);
char hostText[256];

// Only the two buttons end the dialog: the edit field's own notifications
// (EN_CHANGE when the answer is typed) come as WM_COMMAND too.
INT_PTR CALLBACK HostDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    const WPARAM button = wParam & 0xFFFF;
    if (button != static_cast<WPARAM>(IDOK) && button != static_cast<WPARAM>(IDCANCEL)) return FALSE;
    if (button == static_cast<WPARAM>(IDOK)) {
        const UINT n = GetDlgItemTextA(dialog, kSceneLengthEdit, hostText, static_cast<int>(sizeof hostText));
        hostText[n < sizeof hostText ? n : sizeof hostText - 1] = '\0';
    }
    EndDialog(dialog, static_cast<INT_PTR>(button));
    return TRUE;
}

class PointIncrease : public ::testing::Test {
protected:
    void SetUp() override {
        deskReset();
        deskSetClientRect(1024, 768);
        storeSetParameter("B", 88.0f);
        storeSetParameter("BL", 38.0f);
        std::memset(hostText, 0, sizeof hostText);
    }
    void TearDown() override {
        if (doc.patternCopy) freeBlock(doc.patternCopy);
        if (doc.pattern) storeFreePattern(doc.pattern);
    }
    static void freeBlock(void* p) {
        HGLOBAL h = GlobalHandle(p);
        GlobalUnlock(h);
        GlobalFree(h);
    }

    // tight: the pattern's block holds the pattern and not a byte more.
    void build(const PieceShape& shape, bool tight = false) {
        PatternBuffer* pattern = storeNewPattern(65536);
        ASSERT_NE(storeAppendPiece(&pattern, shape), nullptr);
        if (tight) {
            HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(pattern->totalSize));
            auto* exact = static_cast<PatternBuffer*>(GlobalLock(h));
            qpMemcpy(exact, pattern, pattern->totalSize);
            storeFreePattern(pattern);
            pattern = exact;
        }
        doc = HostDoc{};
        doc.pattern = doc.patternView = pattern;
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(pattern->totalSize));
        doc.patternCopy = static_cast<PatternBuffer*>(GlobalLock(h));
        qpMemcpy(doc.patternCopy, pattern, pattern->totalSize);
        const float a[9] = {1, 0, 0, 0, -1, 0, 100, 718, 1};
        const float unit[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(doc.viewMatrixA, a, sizeof a);
        std::memcpy(doc.viewMatrixB, unit, sizeof unit);
        undo = BytesOf(doc.pattern);
        view = HostView{};
    }
    // The host chooses a mode and starts tracking; the first move starts the run.
    void start(Mode mode) {
        view.increaseMode = mode;
        view.pickState = kTrackingStarts;
        moveTo(300, 600);
    }
    Piece* piece() {
        Piece* p = nullptr;
        qpGetPieceLptr(doc.pattern, 0, &p);
        return p;
    }

    short send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return qpHandleIncreasePoint(deskWindow(), message, wParam, lParam, HostDialog, hostText,
                                     &view, &doc);
    }
    void cursorAt(int cx, int cy) { deskSetCursorClient(cx, cy); }
    short moveTo(float x, float y) {
        cursorAt(static_cast<int>(std::lround(x + 100)), static_cast<int>(std::lround(718 - y)));
        return send(WM_MOUSEMOVE);
    }
    // A click, then the checks that hold after every click: the checker on
    // the pattern and on the undo copy, which always holds the pattern as it
    // was after the last completed edit.
    void clickHere(UINT button = WM_LBUTTONDOWN) {
        EXPECT_EQ(send(button), 1);
        EXPECT_TRUE(PatternConsistent(doc.pattern));
        EXPECT_TRUE(PatternConsistent(doc.patternCopy));
        // A click either completes an edit, and the copy is renewed to the
        // pattern as it now stands, or leaves the copy as it was. Whether the
        // copy's block was renewed cannot be told from its handle: Windows
        // hands a freed handle out again.
        const std::string copy = BytesOf(doc.patternCopy);
        if (copy != undo) {
            EXPECT_TRUE(copy == BytesOf(doc.pattern)) << "the undo copy is not the last completed edit";
            undo = copy;
        }
    }
    void clickAt(float x, float y, UINT button = WM_LBUTTONDOWN) {
        moveTo(x, y);
        clickHere(button);
    }
    Coord at(short point) { return *CoordOf(piece(), point); }
    std::string types() {
        std::string t;
        for (short i = 0; i < piece()->pointCount; ++i) t += PointAt(piece(), i)->type;
        return t;
    }
    float lengthAlong(short first, short last) {
        short index = 0;
        float length = 0, x = 0, y = 0;
        qpCurve(nullptr, piece(), 0, qpcurve::kMeasureLength, 0, 0, first,
                static_cast<short>(last - first + 1), -1, 40, &index, &length, &x, &y, qpcurve::kIdentity);
        return length;
    }
    // Every point's formulas evaluate to its coordinates.
    void expectFormulasKept() {
        Piece* p = piece();
        ASSERT_GT(p->formulaCount, 0);
        for (short i = 0; i < p->pointCount; ++i) {
            const Coord c = at(i);
            EXPECT_NEAR(qpFormulaCalculation(p, FormulaX(p, i).c_str()) * 10.0f, c.x, kFormulaMm) << i;
            EXPECT_NEAR(qpFormulaCalculation(p, FormulaY(p, i).c_str()) * 10.0f, c.y, kFormulaMm) << i;
        }
    }
    size_t commandsSent() {
        size_t n = 0;
        for (const auto& m : deskSentMessages())
            if (m.message == WM_COMMAND && m.wParam == 32) ++n;
        return n;
    }

    HostDoc doc{};
    HostView view{};
    std::string undo;
};

// ---- outline inserts ------------------------------------------------------------

// Samples of the outline (lines 0 .. 5) at every 5 mm.
std::vector<std::pair<float, float>> outlineSamples(Piece* piece, short lastOutlinePoint) {
    std::vector<std::pair<float, float>> out;
    short index = 0;
    float total = 0, x = 0, y = 0;
    qpCurve(nullptr, piece, 0, qpcurve::kMeasureLength, 0, 0, 0, static_cast<short>(lastOutlinePoint + 1), -1,
            40, &index, &total, &x, &y, qpcurve::kIdentity);
    for (float s = 0; s < total; s += 5.0f) {
        float length = s;
        qpCurve(nullptr, piece, 0, 0x122, 0, 0, 0, 0, -1, 40, &index, &length, &x, &y, qpcurve::kIdentity);
        out.emplace_back(x, y);
    }
    return out;
}

struct InsertRow {
    Mode mode;
    float x, y;          // the click, on a stretch
    char newType;        // the new point's type afterwards
    float shapeTolerance;  // mm: how far the old outline may lie from the new one
};

class OutlineInsert : public PointIncrease, public ::testing::WithParamInterface<InsertRow> {};

TEST_P(OutlineInsert, AddsOnePointAndKeepsTheOutlinesShape) {
    const InsertRow row = GetParam();
    build(Bodice(true));
    const auto before = outlineSamples(piece(), 11);
    start(row.mode);
    clickAt(row.x, row.y);
    EXPECT_EQ(piece()->pointCount, 13);
    EXPECT_EQ(view.pickState, kUntracked);
    // The new point follows the stretch's first point k.
    short k = -1;
    for (short i = 0; i < 12; ++i) {
        const Coord c = at(i);
        if (std::fabs(c.x - row.x) < 3 && std::fabs(c.y - row.y) < 3 && PointAt(piece(), i)->type == row.newType) k = i;
    }
    ASSERT_GE(k, 1) << types();
    for (const auto& s : before) {
        float x = s.first, y = s.second, length = 0;
        short index = 0;
        qpCurve(nullptr, piece(), 0, qpcurve::kNearestOnLines, 0, 0, 0, 0, -1, 40, &index, &length, &x, &y, qpcurve::kIdentity);
        EXPECT_LT(std::hypot(x - s.first, y - s.second), row.shapeTolerance) << s.first << ", " << s.second;
    }
    expectFormulasKept();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, OutlineInsert,
    ::testing::Values(InsertRow{kTurnPoint, 225, 100, 'K', 0.01f},   // turn point on the side seam
                      InsertRow{kCurvePoint, 225, 100, 'C', 0.01f},   // curve point on the side seam
                      InsertRow{kArcPoint, 225, 100, 'C', 0.01f},   // arc of three collinear points
                      InsertRow{kTurnPoint, 100, 0, 'K', 0.01f},     // on the waist
                      // On the armhole curve the curve model's ends follow
                      // the new point: a corner or one more curve point
                      // moves the curve by a fraction of a millimetre.
                      InsertRow{kTurnPoint, 194, 331, 'K', 0.5f},
                      InsertRow{kCurvePoint, 194, 331, 'C', 0.5f},
                      InsertRow{kArcPoint, 194, 331, 'C', 1.5f}));  // an arc replaces that part

// The bodice with every coordinate a share of B or BL: it grades.
PieceShape GradedBodice() {
    PieceShape shape = Bodice();
    GiveFormulas(shape.chains[0], "%.6f*B", 880.0, "%.6f*BL", 380.0);
    return shape;
}

// A turn point clicked between two points keeps its proportion between them
// at every size: its formulas blend theirs. On a bodice that grades (every
// coordinate a share of B or BL), the point put halfway up the side seam is
// halfway between its neighbours at other sizes too.
TEST_F(PointIncrease, ATurnPointKeepsItsProportionAtOtherSizes) {
    build(GradedBodice());
    start(kTurnPoint);
    clickAt(225, 100);  // halfway up the side seam: point 10, between 9 and 11
    ASSERT_EQ(piece()->pointCount, 13);
    expectFormulasKept();
    const auto mm = [this](short i, bool y) {
        return qpFormulaCalculation(piece(), (y ? FormulaY(piece(), i) : FormulaX(piece(), i)).c_str()) * 10.0;
    };
    for (const auto& [b, bl] : {std::pair{96.0f, 40.0f}, std::pair{80.0f, 36.0f}}) {
        storeSetParameter("B", b);
        storeSetParameter("BL", bl);
        for (const bool y : {false, true})
            EXPECT_NEAR(mm(kWaistSide, y), (mm(kUnderarm, y) + mm(kWaistSide + 1, y)) / 2, kFormulaMm) << b << y;
    }
}

// On the bodice that grades, each new point follows what placed it at other
// sizes: a turn point 8 cm up the side seam from the waist stays 8 cm up it;
// an inner line started on the underarm point and ended on the shoulder
// corner under the marker starts and ends on those points.
TEST_F(PointIncrease, PointsFollowWhatPlacedThemAtOtherSizes) {
    build(GradedBodice());
    start(kTurnPointAlong);
    clickAt(216, 1);  // the waist side point
    deskQueueDialogAnswer("8");
    clickAt(230, 150);  // up the side seam: point 10, the waist side now 11
    start(kInnerStart);
    clickAt(235, 200);  // on the underarm point: 13
    clickAt(195, 362);  // on the shoulder corner, under the marker: 14, the line ends
    ASSERT_EQ(types().substr(12), "Ksk");
    expectFormulasKept();
    const auto place = [this](short i) {
        return Coord{0, 0, static_cast<float>(qpFormulaCalculation(piece(), FormulaX(piece(), i).c_str()) * 10.0),
                     static_cast<float>(qpFormulaCalculation(piece(), FormulaY(piece(), i).c_str()) * 10.0)};
    };
    const auto apart = [&](short i, short j) { return std::hypot(place(i).x - place(j).x, place(i).y - place(j).y); };
    for (const auto& [b, bl] : {std::pair{96.0f, 40.0f}, std::pair{80.0f, 36.0f}}) {
        SCOPED_TRACE(b);
        storeSetParameter("B", b);
        storeSetParameter("BL", bl);
        EXPECT_NEAR(apart(10, 11), 80.0, kFormulaMm);
        EXPECT_LT(apart(13, kUnderarm), kFormulaMm);
        EXPECT_LT(apart(14, 5), kFormulaMm);
    }
}

TEST_F(PointIncrease, ATurnPointSplitsItsLineAndGradingReferencesFollowTheirPoints) {
    PieceShape shape = Bodice();
    shape.rules.push_back(ShapeRule{0, 0, {PRule{static_cast<int16_t>(kWaistSide * 100 + 3), kWaistSide, 1, 0}}});
    build(shape);
    start(kTurnPoint);
    clickAt(225, 100);  // on the side seam: point 10, lines 4 = 9..10 and 5 = 10..11
    EXPECT_EQ(PointAt(piece(), 10)->type, 'K');
    EXPECT_EQ(LineAt(piece(), kSideSeam)->pointCount, 2);
    EXPECT_EQ(LineAt(piece(), kSideSeam + 1)->firstPoint, 10);
    EXPECT_EQ(PRuleAt(piece(), 0)->code, (kWaistSide + 1) * 100 + 3);
    EXPECT_EQ(PRuleAt(piece(), 0)->pointIndex, kWaistSide + 1);
}

TEST_F(PointIncrease, ACurvePointAfterAnMPointTurnsItIntoC) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 200, 0), P('M', 240, 50), P('K', 200, 100),
                                 P('K', 0, 100)},
                                true));
    build(shape);
    start(kCurvePoint);
    float x = 220, y = 75, length = 0;  // on the stretch M (2) .. K (3)
    short index = 0;
    qpCurve(nullptr, piece(), 0, qpcurve::kNearestOnLines, 0, 0, 2, 2, -1, 40, &index, &length, &x, &y, qpcurve::kIdentity);
    clickAt(x, y);
    EXPECT_EQ(types(), "SKCCKKK");
}

// ---- outline lines point by point ----------------------------------------------------

TEST_F(PointIncrease, OutlineLinesAreDrawnPointByPoint) {
    build(Bodice());
    struct Step {
        Mode mode;
        float x, y;
    };
    const Step steps[] = {{kOutlineStart, 400, 100}, {kOutlineStraight, 500, 100}, {kOutlineCurve, 550, 150}, {kOutlineCurve, 600, 200},
                          {kOutlineStraight, 650, 200}, {kOutlineCurveKinds, 700, 250}, {kOutlineCurveKinds, 750, 250}, {kOutlineCurveKinds, 800, 300}};
    start(kOutlineStart);
    for (const Step& s : steps) {
        view.increaseMode = s.mode;
        clickAt(s.x, s.y);
        const Coord c = at(static_cast<short>(piece()->pointCount - 1));
        EXPECT_NEAR(c.x, s.x, 0.5f);
        EXPECT_NEAR(c.y, s.y, 0.5f);
    }
    EXPECT_EQ(types().substr(12), "SKCCKMKM");
    // S-K, K-C-C-K, K-M-K, K-M: four lines in one outline segment.
    EXPECT_EQ(piece()->lineCount, 10);
    EXPECT_EQ(LineAt(piece(), 7)->pointCount, 4);
    EXPECT_EQ(LineAt(piece(), 7)->kind, 2);
    EXPECT_EQ(SegAt(piece(), 1)->lineCount, 4);
}

// ---- inner lines ------------------------------------------------------------------

TEST_F(PointIncrease, AnInnerLineRunsAcrossTheBodiceAndEndsOnTheOutline) {
    build(Bodice(true));
    start(kInnerStart);
    clickAt(60, 150);
    EXPECT_EQ(view.increaseMode, kInnerNext);
    EXPECT_EQ(types().substr(12), "s");  // an open line of one point: the checker takes it
#if QP_HAVE_DESKTOP
    const size_t invalidations = deskInvalidations().size();
#endif
    const PatternBuffer* copy = doc.patternCopy;
    clickAt(130, 170);  // a middle point: no repaint, no undo copy
    EXPECT_EQ(doc.patternCopy, copy);
    EXPECT_EQ(commandsSent(), 0u);
    clickAt(229, 100);  // 4 mm from the side seam: moved onto it, the line ends
    EXPECT_EQ(types().substr(12), "sck");
    EXPECT_EQ(view.increaseMode, kNoMode);
    EXPECT_EQ(commandsSent(), 1u);
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskInvalidations().size(), invalidations);  // the host repaints on WM_COMMAND 32
#endif
    const Coord end = at(14);
    EXPECT_NEAR(end.x, 215 + 20 * end.y / 200, 0.05f);  // on the side seam
    Line* line = LineAt(piece(), 6);
    EXPECT_EQ(line->pointCount, 3);
    EXPECT_EQ(line->kind, 2);
    EXPECT_EQ(SegAt(piece(), 1)->code, 2);
    EXPECT_EQ(SegAt(piece(), 1)->value, 14);
    expectFormulasKept();
}

TEST_F(PointIncrease, AFirstClickNearTheOutlineStartsOnIt) {
    build(Bodice());
    start(kInnerStart);
    clickAt(4, 150);
    EXPECT_NEAR(at(12).x, 0.0f, 1e-3f);
    EXPECT_NEAR(at(12).y, 150.0f, 0.5f);
}

TEST_F(PointIncrease, ARightClickEndsOnlyALineOfTwoPointsOrMore) {
    build(Bodice());
    start(kInnerStart);
    clickAt(60, 150);
    const std::string afterFirst = BytesOf(doc.pattern);
    clickAt(70, 150, WM_RBUTTONDOWN);  // one point: nothing to end
    EXPECT_TRUE(BytesOf(doc.pattern) == afterFirst);
    EXPECT_EQ(view.increaseMode, kInnerNext);
    EXPECT_EQ(commandsSent(), 0u);
    clickAt(120, 160);
    clickAt(150, 170);
    clickAt(150, 170, WM_RBUTTONDOWN);
    EXPECT_EQ(types().substr(12), "sck");
    EXPECT_EQ(view.increaseMode, kNoMode);
    EXPECT_EQ(commandsSent(), 1u);
    // A right click with no line open, and in any other mode, does nothing.
    const std::string ended = BytesOf(doc.pattern);
    view.increaseMode = kInnerNext;
    clickAt(150, 170, WM_RBUTTONDOWN);
    view.increaseMode = kOutlineStraight;
    clickAt(150, 170, WM_RBUTTONDOWN);
    EXPECT_TRUE(BytesOf(doc.pattern) == ended);
    EXPECT_EQ(commandsSent(), 1u);
}

TEST_F(PointIncrease, ARunThatStartsMidLineTakesItsOwnSnapshot) {
    build(Bodice());
    start(kInnerNext);
    clickAt(60, 150);
    EXPECT_EQ(types().substr(12), "s");
    clickAt(100, 5);  // 5 mm above the waist: ends on it
    EXPECT_EQ(types().substr(12), "sk");
    EXPECT_NEAR(at(13).y, 0.0f, 1e-3f);
    EXPECT_EQ(view.increaseMode, kNoMode);
}

#if QP_HAVE_DESKTOP
// The host ends a run with an inner line open (the user switches tools): it
// resets its words and sends WM_CANCELMODE, and the line's outline snapshot
// is freed then, so that only the pattern and the undo copy stay alive. The
// open line stays in the piece, and a new run draws a line of its own.
TEST_F(PointIncrease, EndingTheRunWithALineOpenFreesItsSnapshot) {
    build(Bodice());
    start(kInnerStart);
    clickAt(40, 150);
    clickAt(120, 170);
    ASSERT_EQ(types().substr(12), "sc");
    EXPECT_EQ(deskLiveBlocks().size(), 3u);  // the pattern, the undo copy, the snapshot
    view.pickState = kUntracked;
    view.increaseMode = kNoMode;
    EXPECT_EQ(send(WM_CANCELMODE), 1);
    EXPECT_EQ(deskLiveBlocks().size(), 2u);
    EXPECT_TRUE(PatternConsistent(doc.pattern));
    EXPECT_EQ(send(WM_CANCELMODE), 1);  // a second one has nothing left to free
    EXPECT_EQ(deskLiveBlocks().size(), 2u);
    start(kInnerStart);
    clickAt(60, 250);
    clickAt(229, 100);  // 4 mm from the side seam: ends on it
    EXPECT_EQ(types().substr(12), "scsk");
    EXPECT_EQ(deskLiveBlocks().size(), 2u);
    EXPECT_TRUE(PatternConsistent(doc.pattern));
}
#endif

TEST_F(PointIncrease, StraightLinesAreSquaredOffToMultiplesOf45Degrees) {
    build(Bodice());
    EXPECT_EQ(send(WM_COMMAND, 0x117, 1), 1);
    struct Row {
        int dx, dy;        // client pixels from the first point
        int ex, ey;        // where the second point lands
    };
    const Row rows[] = {{10, 3, 10, 0}, {10, 8, 9, 9},   {-3, 10, 0, 10},
                        {-10, -9, -9, -9}, {8, 10, 9, 9}, {-6, 10, -8, 8}};
    for (const Row& r : rows) {
        start(kInnerStart);
        cursorAt(250, 500);
        send(WM_MOUSEMOVE);
        clickHere();
        const Coord first = at(static_cast<short>(piece()->pointCount - 1));
        cursorAt(250 + r.dx, 500 + r.dy);
        send(WM_MOUSEMOVE);
        clickHere();
        const Coord second = at(static_cast<short>(piece()->pointCount - 1));
        EXPECT_FLOAT_EQ(second.x - first.x, static_cast<float>(r.ex));
        EXPECT_FLOAT_EQ(first.y - second.y, static_cast<float>(r.ey));
        EXPECT_EQ(view.increaseMode, kNoMode);  // with straight lines every stretch is a line
    }
    EXPECT_EQ(SegAt(piece(), 1)->code, 4);
    EXPECT_EQ(SegAt(piece(), 1)->value, 0);
    EXPECT_EQ(send(WM_COMMAND, 0x117, 0), 1);
    EXPECT_EQ(send(WM_COMMAND, 0x118, 0), 0);
}

// A straight line's end near the slanted side seam: squared last, it ends
// the line exactly level with its first point, a millimetre short of the
// seam, rather than moved onto the seam and off the level.
TEST_F(PointIncrease, AStraightLineIsSquaredAfterItsEndMeetsTheOutline) {
    build(Bodice(true));
    EXPECT_EQ(send(WM_COMMAND, 0x117, 1), 1);
    start(kInnerStart);
    clickAt(180, 100);
    clickAt(224, 97);  // 44 pixels right, 3 down: level
    ASSERT_EQ(types().substr(12), "sk");
    EXPECT_EQ(at(13).y, at(12).y);
    EXPECT_EQ(at(13).x, 224.0f);
    expectFormulasKept();
}

TEST_F(PointIncrease, InnerCurveLinesWithKindsChainAtTheirTurningPoints) {
    build(Bodice());
    start(kInnerStart);
    clickAt(60, 150);
    const struct {
        Mode mode;
        float x, y;
    } steps[] = {{kInnerCurveKinds, 80, 170}, {kInnerCurveKinds, 100, 150}, {kInnerCurve, 120, 170}, {kInnerCurve, 140, 150}, {kInnerCurveKinds, 160, 170}};
    for (const auto& s : steps) {
        view.increaseMode = s.mode;
        clickAt(s.x, s.y);
    }
    EXPECT_EQ(types().substr(12), "smkccc");
    EXPECT_EQ(LineAt(piece(), 6)->pointCount, 3);  // s m k
    EXPECT_EQ(LineAt(piece(), 7)->firstPoint, 14);  // k c c c
    EXPECT_EQ(LineAt(piece(), 7)->pointCount, 4);
}

// ---- notches and marks --------------------------------------------------------------

TEST_F(PointIncrease, ANotchOnTheArmholeSitsAtItsMeasuredPosition) {
    build(Bodice(true));
    start(kNotch);
    clickAt(196, 300);
    ASSERT_EQ(types().substr(12), "v");
    Point* v = PointAt(piece(), 12);
    EXPECT_EQ(v->lineIn, 0);
    EXPECT_EQ(v->lineOut, qpGetPieceClockwise(piece()) * 1570);
    SPoint* s = SPointAt(piece(), 0);
    EXPECT_EQ(s->pointIndex, 12);
    EXPECT_EQ(s->lineIndex, kArmhole);
    EXPECT_FLOAT_EQ(s->size, 5.0f);
    EXPECT_TRUE(LineAt(piece(), kArmhole)->flags & kLineNotchFlag);
    EXPECT_EQ(SegAt(piece(), 1)->code, 16);
    // The position, walked along the armhole from its first point, is the notch.
    short index = 0;
    float length = s->position, x = 0, y = 0;
    qpCurve(nullptr, piece(), 0, 0x122, 0, 0, LineAt(piece(), kArmhole)->firstPoint, 0, -1, 40, &index,
            &length, &x, &y, qpcurve::kIdentity);
    EXPECT_NEAR(x, at(12).x, 0.01f);
    EXPECT_NEAR(y, at(12).y, 0.01f);
    expectFormulasKept();
}

struct MarkRow {
    Mode mode;
    char type;
    int lineIn;        // -1: the mark's own SPoint index
    short code, value;
    float size;
};

class Marks : public PointIncrease, public ::testing::WithParamInterface<MarkRow> {};

TEST_P(Marks, TwoClicksMakeTwoMarksInOneSegment) {
    const MarkRow row = GetParam();
    build(Bodice(true));
    start(row.mode);
    clickAt(100, 200);
    clickAt(120, 220);
    ASSERT_EQ(types().substr(12), std::string(2, row.type));
    for (short k = 0; k < 2; ++k) {
        EXPECT_EQ(PointAt(piece(), 12 + k)->lineIn, row.lineIn < 0 ? k : row.lineIn);
        EXPECT_EQ(SPointAt(piece(), k)->pointIndex, 12 + k);
        EXPECT_FLOAT_EQ(SPointAt(piece(), k)->size, row.size);
    }
    EXPECT_EQ(piece()->segCount, 2);
    EXPECT_EQ(SegAt(piece(), 1)->code, row.code);
    EXPECT_EQ(SegAt(piece(), 1)->value, row.value);
    EXPECT_EQ(SegAt(piece(), 1)->lineCount, 2);
    EXPECT_NEAR(at(13).x, 120.0f, 0.5f);
    expectFormulasKept();
}

INSTANTIATE_TEST_SUITE_P(Modes, Marks,
                         ::testing::Values(MarkRow{kDrillMark, 'o', 0, 15, 12, 5.0f}, MarkRow{kDrillMarkSized, 'o', 0, 15, 12, 5.0f},
                                           MarkRow{kMarkG, 'g', -1, 17, 0, 5.0f}, MarkRow{kMarkP, 'p', -1, 18, 9, 5.0f},
                                           MarkRow{kMarkCode4, 'o', 4, 18, 13, 5.0f}));

// A by-length insert leaves pickState 2 for its next pick; a mark of code 4
// chosen then is made at each click, not taken for the pick of an outline
// point.
TEST_F(PointIncrease, MarksAfterAByLengthInsertLieAtTheirClicks) {
    build(Bodice(true));
    start(kTurnPointAlong);
    clickAt(at(kWaistSide).x + 1, at(kWaistSide).y + 1);
    deskQueueDialogAnswer("10");
    clickAt(230, 150);
    ASSERT_EQ(piece()->pointCount, 13);
    ASSERT_EQ(view.pickState, kTracking);
    view.increaseMode = kMarkCode4;
    clickAt(100, 200);
    clickAt(120, 220);
    EXPECT_EQ(types().substr(13), "oo");
    EXPECT_NEAR(at(14).x, 120.0f, 0.5f);
    EXPECT_NEAR(at(14).y, 220.0f, 0.5f);
    expectFormulasKept();
}

TEST_F(PointIncrease, ADrillMarkTakesItsSizeFromTheHostsText) {
    build(Bodice());
    start(kDrillMarkSized);
    std::strcpy(hostText, "1.2");
    clickAt(100, 200);
    EXPECT_FLOAT_EQ(SPointAt(piece(), 0)->size, 12.0f);
    // A text that breaks the rule for typed numbers adds nothing.
    for (const char* bad : {"1,2", "abc", "-1", "2000", "1e1"}) {
        std::strcpy(hostText, bad);
        const std::string before = BytesOf(doc.pattern);
        clickAt(120, 200);
        EXPECT_TRUE(BytesOf(doc.pattern) == before) << bad;
    }
    // A text without its terminator within reach is refused, not read on.
    std::memset(hostText, '1', sizeof hostText - 1);
    clickAt(120, 200);
    EXPECT_EQ(piece()->pointCount, 13);
#if QP_HAVE_DESKTOP
    EXPECT_NE(deskTextOut().find(kNumberRefused), std::string::npos);
#endif
}

// ---- by-length placement ------------------------------------------------------------

struct LengthRow {
    int unit;            // HostDoc.lengthUnit
    const char* typed;
    float mm;            // the distance it means
    short picked;        // the outline point of the first click
    float towardX, towardY;  // the second click
    short from, to;      // after the insert: the stretch whose length is the distance
    float tolerance = kPlaced;
};

class ByLength : public PointIncrease, public ::testing::WithParamInterface<LengthRow> {};

TEST_P(ByLength, TheMeasuredLengthFromThePickedPointIsTheTypedDistance) {
    const LengthRow row = GetParam();
    build(Bodice(true));
    doc.lengthUnit = row.unit;
    start(kTurnPointAlong);
    const Coord b = at(row.picked);
    clickAt(b.x + 1, b.y + 1);  // the marker sits on the point: it is picked
    EXPECT_EQ(view.pickState, kPointPicked);
    deskQueueDialogAnswer(row.typed);
    clickAt(row.towardX, row.towardY);
    ASSERT_EQ(piece()->pointCount, 13);
    EXPECT_EQ(view.pickState, kTracking);  // ready for the next pick
    EXPECT_NEAR(lengthAlong(row.from, row.to), row.mm, row.tolerance);
    expectFormulasKept();
}

INSTANTIATE_TEST_SUITE_P(
    UnitsAndDirections, ByLength,
    ::testing::Values(
        // Backward from the waist side up the side seam: new point 10, the waist side 11.
        LengthRow{0, "10", 100.0f, kWaistSide, 230, 150, 10, 11},
        LengthRow{1, "1", 25.4f, kWaistSide, 230, 150, 10, 11},
        LengthRow{2, "1", 33.33f, kWaistSide, 230, 150, 10, 11},
        // Forward from the underarm down the side seam.
        LengthRow{0, "5", 50.0f, kUnderarm, 228, 120, 9, 10},
        // Backward from the underarm, farther than the armhole's last stretch.
        // The turn point it becomes reshapes the two halves of the curve a
        // little, so the length measured afterwards is looser.
        LengthRow{0, "10", 100.0f, kUnderarm, 205, 260, 7, 10, 0.2f},
        // Backward from the first point of the closed outline: from its last point.
        LengthRow{0, "4", 40.0f, 0, 60, 3, 11, 12}));

// The measure the walk back uses: the stretches first .. first + count - 2.
float Measure(Piece* piece, short first, short count) {
    short index = 0;
    float length = 0, x = 0, y = 0;
    qpCurve(nullptr, piece, qpcurve::kOpDraw, qpcurve::kFlagLength | qpcurve::kFlagLines, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, first, count, qpcurve::kColourDefault, qpcurve::kDefaultResolution,
            &index, &length, &x, &y, qpcurve::kIdentity);
    return length;
}

// The walk back by its definition: one measure per stretch, from s - 1 back,
// until the stretches from there to s hold the distance (0.01 mm of slack);
// then the point that far short of the end, measured forward.
bool WalkBackOneStretchAtATime(Piece* piece, short s, short chainFirst, double mm, float& x, float& y) {
    float along = static_cast<float>(mm);
    bool reached = false;
    for (short j = 1; s - j >= chainFirst; ++j) {
        const float total = Measure(piece, static_cast<short>(s - j), static_cast<short>(j + 1));
        if (total + 0.01f >= along) {
            s = static_cast<short>(s - j);
            along = total > along ? total - along : 0.0f;
            reached = true;
            break;
        }
    }
    if (!reached) return false;
    short index = 0;
    x = y = 0;
    qpCurve(nullptr, piece, qpcurve::kOpSearch,
            qpcurve::kFlagMeasureGroup | qpcurve::kFlagAtLength | qpcurve::kFlagLines, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, s, 0, qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index,
            &along, &x, &y, qpcurve::kIdentity);
    return index >= 0;
}

// Backward by length on an outline of uneven stretches (0 to 40 mm, curves
// and corners): the point placed is exactly the one of the walk that
// measures one stretch at a time, for distances on, just inside and just
// outside the slack of every stretch end, and past the chain's start.
TEST_F(PointIncrease, ByLengthBackwardPlacesThePointOfTheWalkOneStretchAtATime) {
    std::vector<ShapePoint> outline = {P('S', 0, 0)};
    float x = 0;
    for (int i = 1; i < 60; ++i) {
        x += i % 11 == 5 ? 0.0f : 0.5f + 40.0f * static_cast<float>((i * 7) % 13) / 12;
        outline.push_back(P(i % 6 == 0 ? 'K' : 'C', x, 30.0f * std::sin(x / 90.0f)));
    }
    outline.push_back(P('K', x, 200));
    PieceShape shape;
    shape.chains.push_back(Chain(outline));
    build(shape);
    Piece* p = piece();
    increase::LengthPlan plan;
    plan.b = 55;
    plan.chainFirst = 0;
    plan.chainLast = static_cast<short>(p->pointCount - 1);
    plan.forward = false;
    std::vector<double> distances = {0.001, 1e5};
    for (short j = 1; j <= plan.b; ++j) {
        const double total = Measure(p, static_cast<short>(plan.b - j), static_cast<short>(j + 1));
        for (const double d : {0.0, -0.0099, -0.0101, 0.004, -2.5}) distances.push_back(total + d);
    }
    for (const double mm : distances) {
        float ax = 0, ay = 0, bx = 0, by = 0;
        const bool placed = increase::placeAlong(p, plan, mm, ax, ay);
        ASSERT_EQ(placed, WalkBackOneStretchAtATime(p, plan.b, plan.chainFirst, mm, bx, by)) << mm;
        if (!placed) continue;
        EXPECT_EQ(ax, bx) << mm;
        EXPECT_EQ(ay, by) << mm;
    }
    EXPECT_TRUE(PieceConsistent(p));
}

// From an open chain's last point, forward runs on from the chain's first
// point; the direction is judged against the chain's second point, so a
// click straight towards it is forward.
TEST_F(PointIncrease, ForwardFromAChainsLastPointMeasuresFromItsFirst) {
    for (const auto& [x, y] : {std::pair{1.0f, 50.0f}, std::pair{100.0f, 50.0f}}) {
        SCOPED_TRACE(x);
        SetUp();
        PieceShape shape;  // an open outline: its last point 3 ends the chain
        shape.chains.push_back(Chain({P('S', 0, 0), P('K', 200, 0), P('K', 200, 100), P('K', 0, 100)}));
        build(shape);
        start(kTurnPointAlong);
        clickAt(1, 101);
        ASSERT_EQ(view.pickState, kPointPicked);
        deskQueueDialogAnswer("5");
        clickAt(x, y);
        EXPECT_EQ(types(), "SKKKK");
        EXPECT_NEAR(at(1).x, 50.0f, kPlaced);
        EXPECT_NEAR(at(1).y, 0.0f, kPlaced);
        TearDown();
        doc = HostDoc{};
    }
}

TEST_F(PointIncrease, ByLengthRefusalsLeaveThePieceAsItWas) {
    build(Bodice());
    start(kTurnPointAlong);
    clickAt(216, 1);
    ASSERT_EQ(view.pickState, kPointPicked);
    const std::string before = BytesOf(doc.pattern);
    clickAt(230, 150);  // no answer queued: the dialog is cancelled
    deskQueueDialogAnswer("abc");
    clickAt(230, 150);
    deskQueueDialogAnswer("100");  // 1000 mm: past the chain's start
    clickAt(230, 150);
    EXPECT_TRUE(BytesOf(doc.pattern) == before);
    EXPECT_EQ(view.pickState, kPointPicked);  // the outline point stays picked
    // The system cancels the window's modes (a dialog box opens): the
    // picked point is forgotten and the next click picks one again.
    EXPECT_EQ(send(WM_CANCELMODE), 1);
    EXPECT_EQ(view.pickState, kTracking);
    clickAt(216, 1);
    EXPECT_EQ(view.pickState, kPointPicked);
    EXPECT_TRUE(BytesOf(doc.pattern) == before);
#if QP_HAVE_DESKTOP
    EXPECT_NE(deskTextOut().find(kNumberRefused), std::string::npos);
    EXPECT_NE(deskTextOut().find(kIncreaseTooLong), std::string::npos);
    // The dialog comes from the window's own module.
    ASSERT_FALSE(deskCalls("GetWindowLongA").empty());
    EXPECT_EQ(deskCalls("GetWindowLongA").back().args, (std::vector<long>{GWL_HINSTANCE}));
#endif
}

TEST_F(PointIncrease, AFirstClickOnAnInnerPointPicksNothing) {
    PieceShape shape = Bodice();
    shape.chains.push_back(Chain({P('s', 100, 100), P('k', 150, 150)}));
    build(shape);
    start(kTurnPointAlong);
    clickAt(151, 151);
    EXPECT_EQ(view.pickState, kTracking);
    clickAt(1, 319);  // the centre front's top
    EXPECT_EQ(view.pickState, kPointPicked);
}

TEST_F(PointIncrease, AnInnerLineAndANotchAtTypedDistances) {
    build(Bodice(true));
    start(kInnerStartAlong);
    clickAt(216, 1);
    deskQueueDialogAnswer("8");
    clickAt(230, 150);
    EXPECT_EQ(types().substr(12), "s");
    EXPECT_EQ(view.increaseMode, kInnerEndAlong);
    EXPECT_EQ(view.pickState, kUntracked);
    EXPECT_NEAR(at(12).x, 215 + 20 * 80.0f / 200, 0.05f);
    clickAt(100, 120);
    EXPECT_EQ(types().substr(12), "sk");
    EXPECT_EQ(view.increaseMode, kNoMode);
    // A notch 5 cm up the side seam from the waist.
    start(kNotchAlong);
    clickAt(216, 1);
    deskQueueDialogAnswer("5");
    clickAt(230, 150);
    EXPECT_EQ(types().substr(12), "skv");
    EXPECT_EQ(SPointAt(piece(), 0)->lineIndex, kSideSeam);
    EXPECT_NEAR(SPointAt(piece(), 0)->position, lengthAlong(kUnderarm, kWaistSide) - 50.0f, kPlaced);
    EXPECT_EQ(view.pickState, kTracking);
    expectFormulasKept();
}

// ---- mixed sessions ----------------------------------------------------------------

// A user who switches modes at any moment, right-clicks, toggles straight
// lines and answers the dialog well, badly or not at all: after every click
// the piece passes the checker and the undo copy is the last completed edit.
TEST_F(PointIncrease, RandomSessionsStayConsistentAfterEveryClick) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        TearDown();
        doc = HostDoc{};
        SetUp();
        build(Bodice(seed % 2 == 0));
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        start(static_cast<Mode>(1 + pick(kLastMode)));
        const char* answers[] = {"3", "0.5", "abc", "", "900"};
        for (int step = 0; step < 120; ++step) {
            const int what = pick(10);
            if (what == 0) view.increaseMode = static_cast<Mode>(1 + pick(kLastMode));
            if (what == 1) view.pickState = kTrackingStarts;
            if (what == 2) send(WM_COMMAND, 0x117, pick(2));
            if (pick(3) == 0) deskQueueDialogAnswer(answers[pick(5)]);
            if (pick(4) == 0) std::strcpy(hostText, answers[pick(5)]);
            const float x = static_cast<float>(pick(260)) - 10, y = static_cast<float>(pick(420)) - 10;
            clickAt(x, y, pick(6) == 0 ? WM_RBUTTONDOWN : WM_LBUTTONDOWN);
            if (HasFailure()) return;
        }
        if (piece()->formulaCount > 0) expectFormulasKept();
#if QP_HAVE_DESKTOP
        EXPECT_EQ(deskCheckDiscipline(), "");
#endif
    }
}

// ---- the frame: tracking, drawing, re-entry, room --------------------------------------

#if QP_HAVE_DESKTOP
TEST_F(PointIncrease, TheMarkerSnapsWithinFourPixelsAndTheRubberLineFollows) {
    build(Bodice());
    start(kInnerStart);
    EXPECT_EQ(view.pickState, kTracking);
    deskClearLog();
    moveTo(237, 200);  // 2 px from the underarm point
    EXPECT_EQ(deskCalls("Ellipse").size(), 1u);
    moveTo(236, 201);  // still there: nothing drawn
    EXPECT_EQ(deskCalls("Ellipse").size(), 1u);
    cursorAt(335 + 4, 518);  // exactly 4 px away: neither drawn nor erased
    send(WM_MOUSEMOVE);
    EXPECT_EQ(deskCalls("Ellipse").size(), 1u);
    moveTo(250, 200);  // away: erased
    EXPECT_EQ(deskCalls("Ellipse").size(), 2u);
    for (const DeskCall& c : deskCalls("Ellipse")) EXPECT_EQ(c.rop2, R2_XORPEN);
    clickAt(100, 200);
    deskClearLog();
    moveTo(150, 220);  // kInnerNext: the rubber line from the last click
    moveTo(160, 220);  // drawn again to erase, and anew
    const auto lines = deskCalls("LineTo");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].args, (std::vector<long>{260, 498}));
    EXPECT_EQ(deskCheckDiscipline(), "");
    EXPECT_EQ(deskOpenDCs(), 0);
    EXPECT_EQ(deskLivePens(), 0);
    EXPECT_EQ(deskLiveBrushes(), 0);
    // Untracked: no pick state, or a mode without tracking.
    view.pickState = kUntracked;
    EXPECT_EQ(moveTo(100, 100), 0);
    view.pickState = kTracking;
    view.increaseMode = kOutlineStraight;
    EXPECT_EQ(moveTo(100, 100), 0);
    EXPECT_EQ(send(WM_KEYDOWN, 0x87), 0);
}
#endif

TEST_F(PointIncrease, TheHostsAnswerToTheEndOfALineChangesNothing) {
    build(Bodice());
    start(kInnerStart);
    clickAt(60, 150);
    clickAt(130, 170);
    std::vector<short> answers;
    std::string during;
    deskSetSendMessageHandler([&](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        // The host's window procedure passes the command on to the tool, and
        // tries a click as well.
        during = BytesOf(doc.pattern);
        answers.push_back(send(message, wParam, lParam));
        answers.push_back(send(WM_LBUTTONDOWN));
        EXPECT_TRUE(BytesOf(doc.pattern) == during);
        return 0;
    });
    clickAt(130, 170, WM_RBUTTONDOWN);
    deskSetSendMessageHandler(nullptr);
    EXPECT_EQ(answers, (std::vector<short>{0, 0}));
    EXPECT_TRUE(BytesOf(doc.pattern) == during);
    EXPECT_EQ(view.increaseMode, kNoMode);
}

TEST_F(PointIncrease, ALongSessionGrowsThePatternInsteadOfWritingPastIt) {
    build(Bodice(true), true);
    const PatternBuffer* first = doc.pattern;
    start(kDrillMark);
    int moves = 0;
    for (int i = 0; i < 150; ++i) {
        const PatternBuffer* was = doc.pattern;
        clickAt(50 + (i % 15) * 10, 50 + (i / 15) * 10);
        // The host learns of every move by the notice, takes the new block
        // and clears it, as a host must: the old block is freed.
        EXPECT_EQ(doc.notice == 108, doc.pattern != was) << i;
        if (doc.notice == 108) ++moves;
        doc.notice = 0;
    }
    EXPECT_GT(moves, 0);
    EXPECT_NE(doc.pattern, first);
    EXPECT_EQ(doc.patternView, doc.pattern);
    EXPECT_EQ(piece()->pointCount, 162);
    expectFormulasKept();
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskCheckHeap(), "");
#endif
}

// Room in the piece's 16-bit text area for one more click's texts (two of
// at most kMaxFormulaTextBytes): a piece too full for them is refused with
// the message and left as it was.
TEST_F(PointIncrease, ATextAreaWithoutRoomForAClickIsRefusedFirst) {
    for (const long freeBytes : {frame::kMaxFormulaTextBytes, 1000L}) {
        SCOPED_TRACE(freeBytes);
        SetUp();
        build(WithTextAreaFilled(Bodice(true), freeBytes, 300, 500));
        ASSERT_EQ(piece()->charCount, 32767 - freeBytes);
        const std::string was = BytesOf(doc.pattern);
        const short points = piece()->pointCount;
        start(kDrillMark);
        clickAt(100, 200);
        const bool refused = freeBytes == frame::kMaxFormulaTextBytes;
        if (refused) EXPECT_EQ(BytesOf(doc.pattern), was);
        else EXPECT_EQ(piece()->pointCount, points + 1);
        expectFormulasKept();
        ExpectMessageBoxes(refused ? kIncreaseNoRoom : nullptr);
        EXPECT_TRUE(PieceConsistent(piece()));
    }
}

#if QP_HAVE_DESKTOP
// Only the stand-in tells a pointer into no block apart for sure; a host
// never hands the tool such a pattern.
TEST_F(PointIncrease, APatternOutsideAnyBlockIsRefusedWithAMessage) {
    build(Bodice());
    const std::string image = BytesOf(doc.pattern);
    std::vector<char> loose(image.begin(), image.end());
    PatternBuffer* own = doc.pattern;
    doc.pattern = doc.patternView = reinterpret_cast<PatternBuffer*>(loose.data());
    start(kDrillMark);
    clickAt(100, 200);
    EXPECT_EQ(reinterpret_cast<PatternBuffer*>(loose.data())->totalSize, own->totalSize);
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].text, kIncreaseNoRoom);
    doc.pattern = doc.patternView = own;
}
#else
QP_DESKTOP_ONLY(PointIncrease, "a pattern outside every global block")
#endif

}  // namespace

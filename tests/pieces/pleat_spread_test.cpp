// The pleat-spread tool as the host drives it: picks of pleat lines, the
// width table, its keys and buttons, and the spread geometry, on panels in
// millimetres through the desktop stand-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "frame/exports.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "pieces/pleat_spread.h"
#include "tests/support/scene.h"
#include "tests/support/store_fixture.h"

namespace {

constexpr double kWidthTolerance = 0.01;  // mm, an opening against its typed width
constexpr int kLeft = 5, kTop = 35, kRow = 28;

std::vector<std::array<int, 4>> buttons;  // image, pressed, x, y
void QP_WINAPI RecordButton(HDC, int image, int pressed, int x, int y) {
    buttons.push_back({image, pressed, x, y});
}

// The formula of a coordinate: it names a parameter and gives the value.
std::string Cm(float mm) {
    char text[32];
    std::snprintf(text, sizeof text, "0*H+%g", mm / 10.0);
    return text;
}
ShapePoint F(char type, float x, float y) { return P(type, x, y, Cm(x).c_str(), Cm(y).c_str()); }

// A 300 x 600 panel cut by a pleat line from the waist corner (100, 600),
// point 2, to the hem corner (100, 0), point 5; the line is points 7, 8.
//   0 S(0,0) 1 K(0,600) 2 K(100,600) 3 K(300,600) 4 K(300,0) 5 K(100,0) 6 K(0,0)
PieceShape CornerPanel(ShapePoint pleatStart = F('s', 100, 600), ShapePoint pleatEnd = F('k', 100, 0)) {
    PieceShape shape;
    shape.chains.push_back(Chain({F('S', 0, 0), F('K', 0, 600), F('K', 100, 600), F('K', 300, 600),
                                  F('K', 300, 0), F('K', 100, 0), F('K', 0, 0)}));
    shape.chains.push_back(Chain({pleatStart, pleatEnd}));
    return shape;
}

// The demo's skirt panel: waist and hem are single lines, so both ends of
// each pleat line lie inside outline lines.
//   0 S(0,0) 1 K(0,600) 2 K(190,610) 3 C(222,520) 4 K(245,420) 5 K(275,0) 6 K(0,0)
//   pleat lines 7..8 (60,603.16)-(75,0) and 9..10 (125,606.58)-(150,0)
PieceShape SkirtPanel() {
    PieceShape shape;
    shape.chains.push_back(Chain({F('S', 0, 0), F('K', 0, 600), F('K', 190, 610), F('C', 222, 520),
                                  F('K', 245, 420), F('K', 275, 0), F('K', 0, 0)}));
    shape.chains.push_back(Chain({F('s', 60, 603.1579f), F('k', 75, 0)}));
    shape.chains.push_back(Chain({F('s', 125, 606.5789f), F('k', 150, 0)}));
    return shape;
}

// 1100 x 400 with a hem of 110 points (so that the pleat lines' point
// numbers pass 99) and 21 pleat lines at x = 25 + 50 i, whose ends all lie
// inside outline lines.
PieceShape WidePanel() {
    PieceShape shape;
    std::vector<ShapePoint> outline = {F('S', 0, 0), F('K', 0, 400), F('K', 1100, 400), F('K', 1100, 0)};
    for (int x = 1090; x >= 0; x -= 10) outline.push_back(F('K', static_cast<float>(x), 0));
    ShapeChain chain;
    chain.points = outline;
    shape.chains.push_back(chain);
    for (int i = 0; i < 21; ++i) {
        const float x = 25.0f + 50.0f * static_cast<float>(i);
        shape.chains.push_back(Chain({F('s', x, 400), F('k', x, 0)}));
    }
    return shape;
}

struct Pos {
    double x, y;
};
double Dist(Pos a, Pos b) { return std::hypot(a.x - b.x, a.y - b.y); }

class PleatSpread : public ::testing::Test {
protected:
    void SetUp() override {
        holder.reset();
        deskReset();
        deskSetClientRect(1024, 768);
        storeSetParameter("H", 94.0f);
        buttons.clear();
        holder = std::make_unique<TestPattern>(65536);
    }

    // Builds the piece as piece 0 of two (so that the rebuilt one changes
    // place) and starts the run with the view scale s and offset (tx, ty).
    void build(const PieceShape& shape, float s = 1, float tx = 100, float ty = 50) {
        holder->add(shape);
        holder->add(RectangleShape(50, 50));
        view = HostView{};
        const float v[9] = {s, 0, 0, 0, s, 0, tx, ty, 1};
        std::memcpy(viewMatrix, v, sizeof v);
        pieceIndex = 0;
        pieceCell = holder->piece(0);
        before = positions(pieceCell);
        view.pieceFoldStep = 1;
        ASSERT_EQ(send(WM_MOUSEMOVE), 1);
        ASSERT_EQ(view.pieceFoldStep, 2);
    }
    short send(UINT message, WPARAM wParam = 0) {
        return qpHandlePieceFold(deskWindow(), message, wParam, 0, RecordButton, holder->cell(), &pieceCell,
                                 &pieceIndex, nullptr, &view, viewMatrix);
    }
    POINT client(float x, float y) const {
        return POINT{static_cast<LONG>(std::lround(viewMatrix[0] * x + viewMatrix[6])),
                     static_cast<LONG>(std::lround(768 - (viewMatrix[4] * y + viewMatrix[7])))};
    }
    short clickClient(int x, int y) {
        deskSetCursorClient(x, y);
        send(WM_MOUSEMOVE);
        return send(WM_LBUTTONDOWN);
    }
    short pick(float x, float y) {
        const POINT p = client(x, y);
        return clickClient(p.x, p.y);
    }
    void type(const std::string& text) {
        for (const char c : text) send(WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)));
    }
    // Picks a line and types its two widths (cm).
    void row(float x, float y, const std::string& start, const std::string& end) {
        ASSERT_EQ(pick(x, y), 1);
        type(start);
        send(WM_KEYDOWN, 0x87);
        type(end);
    }
    void cell(int row, int column) { clickClient(kLeft + (column ? 284 : 108) + 44, kTop + (row + 2) * kRow + 25); }
    void apply() { ASSERT_EQ(clickClient(kLeft + 320, kTop + 24), 1); }
    void cancel() { ASSERT_EQ(clickClient(kLeft + 344, kTop + 24), 1); }

    Piece* result() { return holder->piece(pieceIndex); }
    static std::vector<Pos> positions(Piece* piece) {
        std::vector<Pos> all;
        for (short i = 0; i < piece->pointCount; ++i) all.push_back({CoordOf(piece, i)->x, CoordOf(piece, i)->y});
        return all;
    }
    static Pos at(Piece* piece, int i) { return {CoordOf(piece, i)->x, CoordOf(piece, i)->y}; }
    // Length of the outline (the upper-case points) as chords: the panels'
    // outline lines are straight.
    static double outlineChords(Piece* piece) {
        double sum = 0;
        for (short i = 1; i < piece->pointCount && PointAt(piece, i)->type < 0x60; ++i)
            sum += Dist(at(piece, i - 1), at(piece, i));
        return sum;
    }
    // The openings of the pleat marked by the mark whose first point is m:
    // its ends sit on i0 and i1; the cut at i0 opened toward i0 + 1, at i1
    // from i1 - 1.
    std::array<double, 2> openings(Piece* piece, int m) {
        int i0 = -1, i1 = -1;
        for (int i = 0; i < piece->pointCount && PointAt(piece, i)->type < 0x60; ++i) {
            if (i0 < 0 && Dist(at(piece, i), at(piece, m)) < 1e-4) i0 = i;
            if (Dist(at(piece, i), at(piece, m + 1)) < 1e-4) i1 = i;
        }
        EXPECT_GE(i0, 0);
        EXPECT_GT(i1, i0);
        if (i0 < 0 || i1 <= i0) return {-1, -1};
        return {Dist(at(piece, i0), at(piece, i0 + 1)), Dist(at(piece, i1 - 1), at(piece, i1))};
    }
    // Every formula gives its point within 0.1 mm; the store's checker.
    void checkPiece(Piece* piece) {
        for (short i = 0; i < piece->pointCount; ++i) {
            EXPECT_NEAR(qpFormulaCalculation(piece, FormulaX(piece, i).c_str()) * 10, CoordOf(piece, i)->x, 0.1)
                << i << " " << FormulaX(piece, i);
            EXPECT_NEAR(qpFormulaCalculation(piece, FormulaY(piece, i).c_str()) * 10, CoordOf(piece, i)->y, 0.1)
                << i << " " << FormulaY(piece, i);
        }
        EXPECT_TRUE(PieceConsistent(piece));
        EXPECT_TRUE(PatternConsistent(*holder->cell()));
#if QP_HAVE_DESKTOP
        EXPECT_EQ(deskCheckDiscipline(), "");
#endif
    }

    std::unique_ptr<TestPattern> holder;
    Piece* pieceCell = nullptr;
    short pieceIndex = 0;
    HostView view{};
    float viewMatrix[9] = {};
    std::vector<Pos> before;
};

// ---- the geometry of one cut ----------------------------------------------------

struct Widths {
    const char* start;  // cm, as typed
    const char* end;
    double a, b;        // the openings they give at the waist and the hem, mm
    bool fromHem = false;  // the line starts at the hem (its start is the higher outline point)
};

TEST_F(PleatSpread, AStraightCutOpensByItsWidthsAndKeepsBothPartsRigid) {
    const Widths rows[] = {
        {"0", "0", 0, 0},   {"0", "3", 0, 30},  {"3", "0", 30, 0},  {"2", "2", 20, 20},
        {"1", "3", 10, 30}, {"3", "1", 30, 10}, {"-2", "3", 0, 30},  // a negative width is a closed end
        {"3", "1", 10, 30, true},
        {"0.2", "0", 2, 0}, {"0", "90", 0, 900},  // 2 mm opens; widths 90 cm apart fit a 60 cm line
    };
    for (const Widths& w : rows) {
        SCOPED_TRACE(std::string(w.start) + " / " + w.end);
        SetUp();
        build(w.fromHem ? CornerPanel(F('s', 100, 0), F('k', 100, 600)) : CornerPanel());
        row(100, 300, w.start, w.end);
        apply();
        ASSERT_EQ(view.pieceFoldStep, 0);
        ASSERT_EQ(pieceIndex, 1);  // deleted and appended again: the last piece
        EXPECT_EQ(holder->piece(0)->pointCount, 5);  // the rectangle moved up
        Piece* piece = result();
        ASSERT_EQ(piece, pieceCell);
        const int s = w.a > 0, e = w.b > 0;  // twins
        ASSERT_EQ(piece->pointCount, 9 + s + e + 2);
        // The fixed part: 0, 1, the waist point 2, the hem twin (or point)
        // and the closing point stay exactly where they were.
        for (const auto& [now, was] : std::vector<std::array<int, 2>>{{0, 0}, {1, 1}, {2, 2}, {5 + s + e, 5}, {6 + s + e, 6}}) {
            EXPECT_EQ(at(piece, now).x, before[was].x) << now;
            EXPECT_EQ(at(piece, now).y, before[was].y) << now;
        }
        // The moving part (3, 4 and the old pleat line) is rigid.
        const int moving[4] = {3 + s, 4 + s, 7 + s + e, 8 + s + e}, was[4] = {3, 4, 7, 8};
        for (int i = 0; i < 4; ++i)
            for (int j = i + 1; j < 4; ++j)
                EXPECT_NEAR(Dist(at(piece, moving[i]), at(piece, moving[j])), Dist(before[was[i]], before[was[j]]), 1e-3);
        // Each open end lies its width from its twin; the outline grows by both.
        if (s) {
            EXPECT_NEAR(Dist(at(piece, 2), at(piece, 3)), w.a, kWidthTolerance);
        }
        if (e) {
            EXPECT_NEAR(Dist(at(piece, 5 + s), at(piece, 6 + s)), w.b, kWidthTolerance);
        }
        EXPECT_NEAR(outlineChords(piece), 1800 + w.a + w.b, kWidthTolerance);
        // The pleat mark runs from i0 to i1, a two-point inner line of code 2, 14.
        const int m = piece->pointCount - 2;
        EXPECT_EQ(PointAt(piece, m)->type, 's');
        EXPECT_EQ(PointAt(piece, m + 1)->type, 'k');
        EXPECT_EQ(at(piece, m).x, at(piece, 2).x);
        EXPECT_EQ(at(piece, m).y, at(piece, 2).y);
        EXPECT_EQ(at(piece, m + 1).x, at(piece, 5 + s + e).x);
        EXPECT_EQ(at(piece, m + 1).y, at(piece, 5 + s + e).y);
        const Seg* seg = SegAt(piece, PointAt(piece, m)->segIndex);
        EXPECT_EQ(seg->code, 2);
        EXPECT_EQ(seg->value, 14);
        checkPiece(piece);
    }
}

// The same cut on a counter-clockwise panel: each end opens by its width,
// and the part moves away from the line, so the piece gains the opened
// wedge (a part moved the wrong way would overlap the rest and lose it).
//   0 S(0,0) 1 K(100,0) 2 K(300,0) 3 K(300,600) 4 K(100,600) 5 K(0,600) 6 K(0,0)
TEST_F(PleatSpread, ACounterClockwiseOutlineOpensOutwardToo) {
    for (const auto& w : {Widths{"1", "3", 10, 30}, Widths{"2", "2", 20, 20}, Widths{"0", "3", 0, 30}}) {
        SCOPED_TRACE(std::string(w.start) + " / " + w.end);
        SetUp();
        PieceShape shape;
        shape.chains.push_back(Chain({F('S', 0, 0), F('K', 100, 0), F('K', 300, 0), F('K', 300, 600),
                                      F('K', 100, 600), F('K', 0, 600), F('K', 0, 0)}));
        shape.chains.push_back(Chain({F('s', 100, 600), F('k', 100, 0)}));
        build(shape);
        const double area = PolygonArea(pieceCell);
        row(100, 300, w.start, w.end);
        apply();
        ASSERT_EQ(view.pieceFoldStep, 0);
        Piece* piece = result();
        const auto opened = openings(piece, piece->pointCount - 2);
        // The mark runs from the hem end (the lower outline point) to the
        // waist end: its first opening is the end width, its second the
        // start width (a closed end has none).
        EXPECT_NEAR(opened[0], w.b, kWidthTolerance);
        if (w.a > 0) {
            EXPECT_NEAR(opened[1], w.a, kWidthTolerance);
        }
        EXPECT_NEAR(PolygonArea(piece) - area, 600 * (w.a + w.b) / 2, 0.01 * 600 * (w.a + w.b) / 2);
        checkPiece(piece);
    }
}

TEST_F(PleatSpread, EqualWidthsShiftStraightAwayFromTheLine) {
    // Grading steps of point 4 that refer to points 4 and 6 (code / 100).
    PieceShape shape = CornerPanel();
    shape.rules.push_back(ShapeRule{0, 0, {{401, 4, 1, 0}, {602, 4, 0, 1}, {7, 4, 0, 0}}});
    build(shape);
    row(100, 300, "2", "2");
    apply();
    Piece* piece = result();
    // Both twins (after 2 and after 5) came before point 4's and 6's places.
    EXPECT_EQ(PRuleAt(piece, 0)->code, 501);
    EXPECT_EQ(PRuleAt(piece, 1)->code, 802);
    EXPECT_EQ(PRuleAt(piece, 2)->code, 7);
    // The right part moved 20 mm in x, not at all in y.
    for (const auto& [now, was] : std::vector<std::array<int, 2>>{{3, 2}, {4, 3}, {5, 4}, {6, 5}}) {
        EXPECT_NEAR(at(piece, now).x, before[was].x + 20, 1e-3) << now;
        EXPECT_NEAR(at(piece, now).y, before[was].y, 1e-3) << now;
    }
    checkPiece(piece);
}

TEST_F(PleatSpread, TwoPleatsOfASkirtInOneApply) {
    build(SkirtPanel());
    const auto hemLength = [](Piece* piece, short first, short last) {
        return lengthOf(piece, first, static_cast<short>(last - first + 1));
    };
    const float hemBefore = hemLength(pieceCell, 5, 6);
    row(67.5f, 300, "1", "3");
    row(137.5f, 300, "2", "2");
    apply();
    Piece* piece = result();
    // Each end got a point on its line and a twin; two marks.
    ASSERT_EQ(piece->pointCount, 11 + 2 * 4 + 4);
    EXPECT_EQ(PointAt(piece, 2)->type, 'C');
    const int m = piece->pointCount - 4;
    const auto first = openings(piece, m), second = openings(piece, m + 2);
    EXPECT_NEAR(first[0], 10, kWidthTolerance);
    EXPECT_NEAR(first[1], 30, kWidthTolerance);
    // The second row's line moved with the first spread and its index with
    // the first row's inserts: it opened where it lies now.
    EXPECT_NEAR(second[0], 20, kWidthTolerance);
    EXPECT_NEAR(second[1], 20, kWidthTolerance);
    // The hem is the line that ends at the closing point.
    short last = 0;
    while (last + 1 < piece->pointCount && PointAt(piece, last + 1)->type < 0x60) ++last;
    const Line* hem = LineAt(piece, PointAt(piece, last)->lineIn);
    ASSERT_NE(hem, nullptr);
    const short hemStart = hem->firstPoint;
    ASSERT_EQ(hem->pointCount, 6);  // two curve points and two twins
    EXPECT_NEAR(hemLength(piece, hemStart, last), hemBefore + 50, 0.05);
    checkPiece(piece);
}

// Notches on the hem: one beyond both pleats moves with its part, one on
// the part that stays stays; each is seated again on the hem line, whose
// length up to the second grew by both openings.
TEST_F(PleatSpread, NotchesOnTheHemStayOnTheirPlaceAlongIt) {
    PieceShape shape = SkirtPanel();
    constexpr short kHem = 4;  // points 5 (275, 0) .. 6 (0, 0)
    for (const float x : {220.0f, 30.0f}) {  // points 11, 12
        ShapeMark notch = Mark('v', x, 0, 0, 1571, 16, 0);
        notch.point = F('v', x, 0);
        notch.lineIndex = kHem;
        notch.position = 275 - x;
        shape.marks.push_back(notch);
    }
    build(shape);
    row(67.5f, 300, "1", "3");
    row(137.5f, 300, "2", "2");
    apply();
    Piece* piece = result();
    ASSERT_EQ(piece->sPointCount, 2);
    const SPoint moved = *SPointAt(piece, 0), stayed = *SPointAt(piece, 1);
    const Line* hem = LineAt(piece, moved.lineIndex);
    ASSERT_EQ(stayed.lineIndex, moved.lineIndex);
    ASSERT_EQ(PointAt(piece, hem->firstPoint + hem->pointCount - 1)->type, 'K');
    EXPECT_NEAR(Dist(at(piece, moved.pointIndex), at(piece, hem->firstPoint)), 55, 1e-3);  // rigid with its part
    EXPECT_EQ(at(piece, stayed.pointIndex).x, 30.0f);
    // Its length along the hem reaches the hem's point nearest it (the hem
    // now bends a little through the points put on it).
    for (const SPoint& sp : {moved, stayed}) {
        SCOPED_TRACE(sp.pointIndex);
        const Pos notch = at(piece, sp.pointIndex);
        const CurveResult nearest = nearestIn(piece, hem->firstPoint, hem->pointCount, notch.x, notch.y);
        const CurveResult there = atLength(piece, hem->firstPoint, sp.position, hem->pointCount);
        EXPECT_LT(Dist({there.x, there.y}, {nearest.x, nearest.y}), 0.01);
        EXPECT_LT(Dist(notch, {nearest.x, nearest.y}), 0.5);
    }
    checkPiece(piece);
}

TEST_F(PleatSpread, AnEndInsideACurveGetsAPointThere) {
    // A pleat line from 60 mm along the hip curve (points 2..4) to the hem.
    Piece* probe = holder->add(SkirtPanel());
    short index = 0;
    float along = 60, x = 0, y = 0;
    qpCurve(nullptr, probe, qpcurve::kOpSearch, qpcurve::kFlagMeasureGroup | qpcurve::kFlagAtLength | qpcurve::kFlagLines,
            0, 0, 2, 3, -1, 40, &index, &along, &x, &y, qpcurve::kIdentity);
    SetUp();
    PieceShape shape = SkirtPanel();
    shape.chains.push_back(Chain({F('s', x, y), F('k', 200, 0)}));  // points 11, 12
    build(shape);
    row((x + 200) / 2, y / 2, "0", "2");
    apply();
    Piece* piece = result();
    // A point on the hip curve (closed end: no twin), a point and a twin on
    // the hem, the mark.
    ASSERT_EQ(piece->pointCount, 13 + 1 + 2 + 2);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 4);
    const int m = piece->pointCount - 2;
    EXPECT_LT(Dist(at(piece, m), {x, y}), 1.0);
    EXPECT_NEAR(openings(piece, m)[1], 20, kWidthTolerance);
    checkPiece(piece);
}

// ---- the table, its keys and buttons ---------------------------------------------

TEST_F(PleatSpread, CellsKeysAndRefusedTextsReachTheRightWidths) {
    build(SkirtPanel());
    row(67.5f, 300, "1", "3");
    ASSERT_EQ(pick(137.5f, 300), 1);  // row 1, its start cell open
    type("2");
    send(WM_KEYDOWN, VK_UP);          // row 0, start cell: row 1's start is 2
    send(WM_KEYDOWN, VK_UP);          // the first row: nothing changes
    send(WM_KEYDOWN, 0x86);           // row 0's end cell
    send(WM_KEYDOWN, VK_DOWN);        // row 1's end cell
    send(WM_KEYDOWN, VK_DOWN);        // the last row: nothing changes
    type("1.2.3");                    // refused: the cell keeps its width (0)
    send(WM_KEYDOWN, 0x87);
#if QP_HAVE_DESKTOP
    EXPECT_NE(deskTextOut().find(kFoldWidthRefused), std::string::npos);
#endif
    cell(1, 1);                       // back to row 1's end cell by a click: it shows "0"
    send(WM_KEYDOWN, VK_DELETE);      // with the caret before it
    type("4");
    apply();
    Piece* piece = result();
    const int m = piece->pointCount - 4;
    const auto first = openings(piece, m), second = openings(piece, m + 2);
    EXPECT_NEAR(first[0], 10, kWidthTolerance);
    EXPECT_NEAR(first[1], 30, kWidthTolerance);
    EXPECT_NEAR(second[0], 20, kWidthTolerance);
    EXPECT_NEAR(second[1], 40, kWidthTolerance);
    checkPiece(piece);
}

// A refused width at apply keeps its cell open with the text for a
// correction, and nothing is applied until it is one.
TEST_F(PleatSpread, ARefusedWidthAtApplyKeepsItsCellOpen) {
    build(CornerPanel());
    row(100, 300, "1", "2x");
    apply();
    EXPECT_EQ(view.pieceFoldStep, 2);
    EXPECT_EQ(pieceIndex, 0);
#if QP_HAVE_DESKTOP
    EXPECT_NE(deskTextOut().find(kFoldWidthRefused), std::string::npos);
#endif
    send(WM_KEYDOWN, VK_BACK);  // "2"
    apply();
    EXPECT_EQ(view.pieceFoldStep, 0);
    Piece* piece = result();
    const auto opened = openings(piece, piece->pointCount - 2);
    EXPECT_NEAR(opened[0], 10, kWidthTolerance);
    EXPECT_NEAR(opened[1], 20, kWidthTolerance);
    checkPiece(piece);
}

TEST_F(PleatSpread, PicksThatAddNoRow) {
    build(CornerPanel());
    const int rowsDrawn = static_cast<int>(buttons.size());
    EXPECT_EQ(pick(200, 600), 1);  // the outline: not a pleat line
    EXPECT_EQ(pick(200, 400), 1);  // 100 mm from every line
    EXPECT_EQ(static_cast<int>(buttons.size()), rowsDrawn);
#if QP_HAVE_DESKTOP
    EXPECT_NE(deskTextOut().find(kFoldNotPleatLine), std::string::npos);
#endif
    EXPECT_EQ(pick(100, 300), 1);  // a row: the table is drawn with its buttons
    EXPECT_EQ(static_cast<int>(buttons.size()), rowsDrawn + 2);
    EXPECT_EQ(pick(100, 200), 1);  // the same line again
    EXPECT_EQ(static_cast<int>(buttons.size()), rowsDrawn + 2);
    // Messages the tool does not take; a click before the run is consumed.
    EXPECT_EQ(send(WM_RBUTTONDOWN), 0);
    EXPECT_EQ(send(WM_CHAR, '1'), 0);
    cancel();
    view.pieceFoldStep = 0;
    EXPECT_EQ(send(WM_LBUTTONDOWN), 1);
    EXPECT_EQ(send(WM_KEYDOWN, 0x87), 1);
    EXPECT_EQ(result()->pointCount, 9);
    checkPiece(result());
}

TEST_F(PleatSpread, CancelLeavesThePatternByteForByte) {
    build(SkirtPanel());
    const PatternBuffer* pattern = *holder->cell();
    const std::vector<char> bytes(reinterpret_cast<const char*>(pattern),
                                  reinterpret_cast<const char*>(pattern) + pattern->totalSize);
    row(67.5f, 300, "1", "3");
    row(137.5f, 300, "2", "2");
    cancel();
    EXPECT_EQ(view.pieceFoldStep, 0);
    EXPECT_EQ(*holder->cell(), pattern);
    EXPECT_EQ(pieceIndex, 0);
    ASSERT_EQ((*holder->cell())->totalSize, static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(std::memcmp(*holder->cell(), bytes.data(), bytes.size()), 0);
    EXPECT_EQ(buttons.back(), (std::array<int, 4>{23, 1, kLeft + 332, kTop + 12}));
#if QP_HAVE_DESKTOP
    ASSERT_FALSE(deskInvalidations().empty());
    EXPECT_EQ(deskInvalidations().back().rect.top, 30);
#endif
    checkPiece(result());
}

// A row that cannot be spread is named in the prompt bar with its reason;
// with no row spread the pattern stays as it was and the table stays open
// with the typed widths, for a correction or a cancel.
TEST_F(PleatSpread, RowsThatCannotBeSpreadAreNamedAndTheTableStaysOpen) {
    struct Case {
        const char* what;
        PieceShape shape;
        const char* start;
        const char* end;
        const char* named;  // after kFoldRowsSkipped
        float x, y;         // on the pleat line
    };
    const Case cases[] = {
        {"widths 130 cm apart on a 60 cm line", CornerPanel(), "0", "130", " 7-8:2", 100, 150},
        {"an end 150 mm inside the piece", CornerPanel(F('s', 150, 300), F('k', 150, 0)), "1", "1", " 7-8:1", 150,
         150},
        {"an end 5 mm short of the hem", CornerPanel(F('s', 100, 600), F('k', 100, 5)), "1", "1", " 7-8:1", 100, 300},
        {"an end typed open at the outline's start", CornerPanel(F('s', 0, 0), F('k', 300, 600)), "2", "2",
         " 7-8:3", 150, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        build(c.shape);
        const std::string bytes = BytesOf(pieceCell);
        row(c.x, c.y, c.start, c.end);
        apply();
        EXPECT_EQ(view.pieceFoldStep, 2);
        EXPECT_EQ(pieceIndex, 0);
        EXPECT_EQ(BytesOf(result()), bytes);
        EXPECT_EQ(buttons.back(), (std::array<int, 4>{24, 0, kLeft + 308, kTop + 12}));  // released again
#if QP_HAVE_DESKTOP
        EXPECT_NE(deskTextOut().find(std::string(kFoldRowsSkipped) + c.named), std::string::npos);
#endif
        cancel();
        EXPECT_EQ(view.pieceFoldStep, 0);
        EXPECT_EQ(BytesOf(result()), bytes);
        checkPiece(result());
    }
}

// The start at the outline's start, typed closed once it was refused: the
// part turns about it and the corner opens by the full 2 cm.
TEST_F(PleatSpread, AnEndAtTheOutlineStartOpensOnlyClosed) {
    build(CornerPanel(F('s', 0, 0), F('k', 300, 600)));
    row(150, 300, "2", "2");
    apply();
    ASSERT_EQ(view.pieceFoldStep, 2);
    cell(0, 0);
    send(WM_KEYDOWN, VK_DELETE);
    type("0");
    apply();
    ASSERT_EQ(view.pieceFoldStep, 0);
    Piece* piece = result();
    ASSERT_EQ(piece->pointCount, 9 + 1 + 2);  // the corner's twin and the mark
    EXPECT_EQ(at(piece, 0).x, 0);
    EXPECT_EQ(at(piece, 0).y, 0);
    EXPECT_NEAR(Dist(at(piece, 3), at(piece, 4)), 20, kWidthTolerance);
    EXPECT_EQ(at(piece, 4).x, 300);
    EXPECT_EQ(at(piece, 4).y, 600);
    checkPiece(piece);
}

// Rows that can be spread are, and the run ends; the others are named.
TEST_F(PleatSpread, TheRowsThatCanBeSpreadAreAndTheOthersNamed) {
    build(SkirtPanel());
    row(67.5f, 300, "1", "3");
    row(137.5f, 300, "0", "130");
    apply();
    EXPECT_EQ(view.pieceFoldStep, 0);
    Piece* piece = result();
    ASSERT_EQ(pieceIndex, 1);
    ASSERT_EQ(piece->pointCount, 11 + 6);  // one row: two points on lines, two twins, the mark
    const auto opened = openings(piece, piece->pointCount - 2);
    EXPECT_NEAR(opened[0], 10, kWidthTolerance);
    EXPECT_NEAR(opened[1], 30, kWidthTolerance);
#if QP_HAVE_DESKTOP
    EXPECT_NE(deskTextOut().find(std::string(kFoldRowsSkipped) + " 9-10:2"), std::string::npos);
#endif
    checkPiece(piece);
}

// Twenty rows with ends inside lines (curve points, twins and marks with
// formulas: the most a row adds) fit the work buffer; the 21st pick is
// refused; point numbers above 99 are drawn at their pad.
TEST_F(PleatSpread, TwentyRowsFitAndTheTwentyFirstIsRefused) {
    build(WidePanel(), 0.8f, 100, 50);
    const short points = pieceCell->pointCount;
    for (int i = 0; i < 21; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(pick(25.0f + 50.0f * static_cast<float>(i), 20), 1);
        if (i < 20) {
            type("1");
            send(WM_KEYDOWN, 0x87);
            type("1.5");
        }
    }
#if QP_HAVE_DESKTOP
    EXPECT_NE(deskTextOut().find(kFoldTableFull), std::string::npos);
    // Row 19 (the last): its point numbers, above 99, with no pad.
    bool drawn = false;
    for (const DeskCall& c : deskCalls("TextOutA"))
        if (c.text == std::to_string(pieceCell->pointCount - 3) && c.args == std::vector<long>{kLeft + 207, kTop + 21 * kRow + 15})
            drawn = true;
    EXPECT_TRUE(drawn);
#endif
    apply();
    Piece* piece = result();
    ASSERT_EQ(piece->pointCount, points + 20 * 6);
    for (int r = 0; r < 20; ++r) {
        const auto w = openings(piece, points + 4 * 20 + 2 * r);
        EXPECT_NEAR(w[0], 10, kWidthTolerance) << r;
        EXPECT_NEAR(w[1], 15, kWidthTolerance) << r;
    }
    checkPiece(piece);
}

// ---- drawing -------------------------------------------------------------------------

#if QP_HAVE_DESKTOP
// The table of one row, call by call (the frame's own pens left out).
TEST_F(PleatSpread, TheTableOfOneRowIsDrawnExactly) {
    build(CornerPanel());
    // The run starts with the white fill below the prompt bar.
    const auto fills = deskCalls("Rectangle");
    ASSERT_FALSE(fills.empty());
    EXPECT_EQ(fills[0].args, (std::vector<long>{0, 30, 1024, 768}));
    EXPECT_EQ(deskObject(fills[0].brush).colour, 0xFFFFFFu);
    deskClearLog();
    buttons.clear();
    pick(100, 300);
    HDC table = nullptr;
    for (const DeskCall& c : deskLog())
        if (c.name == "TextOutA" && c.text == kFoldTableTitle) table = c.hdc;
    ASSERT_NE(table, nullptr);
    std::vector<std::string> trace;
    for (const DeskCall& c : deskLog()) {
        if ((c.name == "CreateSolidBrush" && c.colour == 0xA00000) || (c.name == "CreatePen" && c.colour == 0x969600)) {
            trace.push_back(c.name + " " + std::to_string(c.colour));
            continue;
        }
        if (c.hdc != table) continue;
        const DeskObject pen = deskObject(c.pen);
        const bool ours = pen.isNull() || pen.colour == 0x969600;
        std::string line = c.name;
        for (long a : c.args) line += " " + std::to_string(a);
        if (c.name == "SetROP2" || c.name == "Rectangle" || c.name == "TextOutA" ||
            ((c.name == "MoveToEx" || c.name == "LineTo") && ours))
            trace.push_back(c.name == "TextOutA" ? line + " " + c.text : line);
        else if (c.name == "SetTextColor")
            trace.push_back(c.name + " " + std::to_string(c.colour));
    }
    const std::vector<std::string> expected = {
        "SetROP2 13",
        "CreateSolidBrush " + std::to_string(0xA00000),
        "Rectangle 14 44 372 134",
        "SetTextColor " + std::to_string(0xFFFF00),
        "TextOutA 25 51 " + std::string(kFoldTableTitle),
        "TextOutA 25 80 " + std::string(kFoldTableHeader),
        "CreatePen " + std::to_string(0x969600),
        "Rectangle 16 74 368 131",
        "MoveToEx 104 74", "LineTo 104 131", "MoveToEx 192 74", "LineTo 192 131",
        "MoveToEx 280 74", "LineTo 280 131",
        "MoveToEx 16 102", "LineTo 368 102",
        "SetTextColor " + std::to_string(0x00FF00),
        "TextOutA 58 106 7",
        "TextOutA 234 106 8",
    };
    EXPECT_EQ(trace, expected);
    EXPECT_EQ(buttons, (std::vector<std::array<int, 4>>{{24, 0, 313, 47}, {23, 0, 337, 47}}));
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(PleatSpread, WidthsAreDrawnInEveryRowButTheLast) {
    build(SkirtPanel());
    row(67.5f, 300, "12.5", "0.001");  // 12.5 without pad; 0.001 is not drawn
    deskClearLog();
    row(137.5f, 300, "1", "1");
    std::vector<std::vector<long>> widths;
    for (const DeskCall& c : deskCalls("TextOutA"))
        if (c.textColour == 0x00FFFF) widths.push_back({c.args[0], c.args[1]});
    EXPECT_EQ(widths, (std::vector<std::vector<long>>{{kLeft + 119, kTop + 2 * kRow + 15}}));
    EXPECT_NE(deskTextOut().find("12.5"), std::string::npos);
    apply();
    checkPiece(result());
}
#else
QP_DESKTOP_ONLY(PleatSpread, "the table's drawing is read from the GDI log")
#endif

// ---- SpreadPieceFold on its own ---------------------------------------------------------

TEST_F(PleatSpread, SpreadRefusesWhatHasNoGeometry) {
    Piece* piece = holder->add(CornerPanel());
    const std::vector<Pos> was = positions(piece);
    SpreadPieceFold(piece, 2, 2, 10, 30);     // no pleat
    SpreadPieceFold(piece, 5, 2, 10, 30);     // out of order
    SpreadPieceFold(piece, 2, 99, 10, 30);    // out of range
    SpreadPieceFold(piece, 2, 5, 0, 1300);    // 130 cm apart on 60 cm
    SpreadPieceFold(nullptr, 2, 5, 10, 30);
    for (short i = 0; i < piece->pointCount; ++i) {
        EXPECT_EQ(at(piece, i).x, was[i].x);
        EXPECT_EQ(at(piece, i).y, was[i].y);
    }
    EXPECT_TRUE(PieceConsistent(piece));
}

// Room: a piece with formulas must take every row's points and texts and
// its texts rewritten within its 16-bit text area. Without that room,
// apply leaves the piece byte for byte as it was, with a message, and the
// table open; with room the row is spread.
TEST_F(PleatSpread, ATextAreaWithoutRoomForTheRowsIsRefusedFirst) {
    for (const long freeBytes : {2000L, 16000L}) {
        SCOPED_TRACE(freeBytes);
        SetUp();
        build(WithTextAreaFilled(CornerPanel(), freeBytes, 150, 300));
        ASSERT_EQ(pieceCell->charCount, 32767 - freeBytes);
        const std::string was = BytesOf(pieceCell);
        const short points = pieceCell->pointCount;
        row(100, 300, "1", "2");
        apply();
        const bool refused = freeBytes == 2000;
        EXPECT_EQ(pieceIndex, refused ? 0 : 1);
        EXPECT_EQ(view.pieceFoldStep, refused ? 2 : 0);  // refused: the table stays open
        if (refused) {
            EXPECT_EQ(BytesOf(result()), was);
        } else {
            EXPECT_EQ(result()->pointCount, points + 4);  // two twins and the mark
            checkPiece(result());
        }
        ExpectMessageBoxes(refused ? kEditNoRoom : nullptr);
#if QP_HAVE_DESKTOP
        EXPECT_EQ(deskCheckDiscipline(), "");
#endif
        EXPECT_TRUE(PatternConsistent(*holder->cell()));
    }
}

}  // namespace

// Every form in which the tools call qpCurve, one row each, on the square
// piece of store_fixture.h whose answers are exact.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scene.h"
#include "tests/support/store_fixture.h"

namespace {

using namespace qpcurve;  // qpCurve's own words

constexpr float kView[9] = {2, 0, 0, 0, 2, 0, 10, 20, 1};
constexpr float kPieceToScreen[9] = {0.5f, 0, 0, 0, -0.5f, 0, 100, 400, 1};

enum class Expect {
    Hit,      // index, x, y and length as given
    Far,      // nothing found: x = y = kFar, index -1, length 0
    Length,   // only length as given
    Nothing,  // no output changes
};

enum class Matrix { Identity, View, PieceToScreen };

struct FormRow {
    const char* use;  // the tool and what it relies on
    short op;
    long flags;
    short style;
    unsigned long mode;
    short first;
    short count;
    short colour;
    short resolution;
    Matrix matrix;
    bool withDC;
    float inX, inY, inLength;
    Expect expect;
    short index;
    float x, y, length;
    int drawnStretches;  // -1: a single point's cross; 0: nothing drawn
    COLORREF penColour;
    int penWidth;
};

const float* matrixOf(Matrix m) {
    switch (m) {
        case Matrix::View: return kView;
        case Matrix::PieceToScreen: return kPieceToScreen;
        default: return kIdentity;
    }
}

const COLORREF kBlack = qpcurve::kDefaultColour;

// clang-format off
const FormRow kForms[] = {
    // symmetry: pick the axis
    {"symmetry: nearest outline point", kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapOutline, 0, 0, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     50, 40, 0, Expect::Hit, 0, 50, 0, 50, 0, 0, 0},
    {"symmetry: part search on a stretch", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 2, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     50, 0, 0, Expect::Hit, 0, 50, 0, 50, 0, 0, 0},
    {"symmetry: part search on a pair that is no stretch", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 4, 2, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     50, 0, 0, Expect::Far, -1, 0, 0, 0, 0, 0, 0},
    // symmetry record mirroring: notches onto the outline segment, their position
    {"mirroring: nearest point of the outline segment's points", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 5, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     50, -3, 0, Expect::Hit, 0, 50, 0, 50, 0, 0, 0},
    {"mirroring: length along the notch's line", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 2, 2, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     30, 100, 0, Expect::Hit, 2, 30, 100, 70, 0, 0, 0},
    // pleat spread
    {"pleat: draw the piece", kOpDraw, kDrawOnly, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, Matrix::PieceToScreen, true,
     1, 2, 3, Expect::Nothing, 0, 0, 0, 0, 5, kBlack, 1},
    {"pleat: draw a stretch highlighted", kOpDraw, kDrawOnly, kStyleHighlight, kSnapAllLinesDefault, 5, 2, 2, kDefaultResolution, Matrix::PieceToScreen, true,
     1, 2, 3, Expect::Nothing, 0, 0, 0, 0, 1, qpcurve::kPalette[2], qpcurve::kHighlightWidth},
    {"pleat: nearest point of the lines", kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapAllLines, 0, 0, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     50, 40, 0, Expect::Hit, 5, 50, 50, 30, 0, 0, 0},
    {"pleat: part search", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 5, 2, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     50, 50, 0, Expect::Hit, 5, 50, 50, 30, 0, 0, 0},
    {"pleat apply: nearest outline point at resolution 5", kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapOutline, 0, 0, kColourDefault, 5, Matrix::Identity, false,
     0, 60, 0, Expect::Hit, 3, 0, 60, 40, 0, 0, 0},
    {"pleat apply: code-3 mode falls back to the outline", kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapCode3, 0, 0, kColourDefault, 5, Matrix::Identity, false,
     0, 60, 0, Expect::Hit, 3, 0, 60, 40, 0, 0, 0},
    {"pleat apply: points 0 to s + 1, s = 2, misses", kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapOutline, 0, 4, kColourDefault, 5, Matrix::Identity, false,
     0, 60, 0, Expect::Hit, 2, 0, 100, 300, 0, 0, 0},
    {"pleat apply: points 0 to s + 1, s = 3, holds it", kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapOutline, 0, 5, kColourDefault, 5, Matrix::Identity, false,
     0, 60, 0, Expect::Hit, 3, 0, 60, 340, 0, 0, 0},
    // sleeve cap
    {"sleeve cap: draw the piece", kOpDraw, kDrawOnly, kStyleWhole, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, Matrix::PieceToScreen, true,
     1, 2, 3, Expect::Nothing, 0, 0, 0, 0, 5, kBlack, 1},
    {"sleeve cap: snap to an outline point", kOpSearch, kNearestVertex, kStylePlain, kModeWholePiece | kSnapOutlineVertices, 0, 0, kColourDefault, kDefaultResolution, Matrix::PieceToScreen, false,
     21, 52, 0, Expect::Hit, 3, 0, 100, 100, 0, 0, 0},
    {"sleeve cap: a tie goes to the lower index (start, not closing point)", kOpSearch, kNearestVertex, kStylePlain, kModeWholePiece | kSnapOutlineVertices, 0, 0, kColourDefault, kDefaultResolution,
     Matrix::PieceToScreen, false, 10, 10, 0, Expect::Hit, 0, 0, 0, 0, 0, 0, 0},
    {"sleeve cap: measure and draw S..E", kOpDraw, kMeasureLength, kStylePlain, kSnapAllLinesDefault, 0, 3, 0, kDefaultResolution, Matrix::Identity, true,
     0, 0, 0, Expect::Length, 0, 0, 0, 200, 2, qpcurve::kPalette[0], 1},
    {"curve length adjustment: measure only, with a DC", kOpSearch, kMeasureLength, kStylePlain, kSnapAllLinesDefault, 1, 3, kColourDefault, kDefaultResolution, Matrix::Identity, true,
     0, 0, 0, Expect::Length, 0, 0, 0, 200, 0, 0, 0},
    // point increase
    {"point increase: nearest point of the piece (marks excluded)", kOpSearch, kNearestVertex, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, Matrix::View, false,
     50, 21, 0, Expect::Hit, 5, 20, 50, 0, 0, 0, 0},
    {"point increase: nearest point of the lines", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     50, 40, 0, Expect::Hit, 5, 50, 50, 30, 0, 0, 0},
    {"point increase: stretch search", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 1, 2, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     100, 30, 0, Expect::Hit, 1, 100, 30, 30, 0, 0, 0},
    {"point increase: length of n points", kOpDraw, kFlagLength | kFlagLines, kStylePlain, kSnapAllLinesDefault, 1, 3, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     0, 0, 0, Expect::Length, 0, 0, 0, 200, 0, 0, 0},
    {"point increase: length of n points, drawn when a DC is given", kOpDraw, kFlagLength | kFlagLines, kStylePlain, kSnapAllLinesDefault, 1, 3, kColourDefault, kDefaultResolution, Matrix::Identity, true,
     0, 0, 0, Expect::Length, 0, 0, 0, 200, 2, kBlack, 1},
    {"point increase: point at a length", kOpSearch, kPointAtLength, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     0, 0, 150, Expect::Hit, 1, 100, 50, 150, 0, 0, 0},
    {"point increase: point at a length beyond the chain's end", kOpSearch, kPointAtLength, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     0, 0, 500, Expect::Hit, 3, 0, 0, 400, 0, 0, 0},
    {"point increase: length along the line to the nearest point", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 5, 2, kColourDefault, kDefaultResolution, Matrix::View, false,
     30, 55, 0, Expect::Hit, 5, 30, 50, 10, 0, 0, 0},
    {"point increase: one point drawn", kOpSearch, kDrawOnly, kStyleWhole, kSnapAllLinesDefault, 7, 1, kColourDefault, kDefaultResolution, Matrix::View, true,
     1, 2, 3, Expect::Nothing, 0, 0, 0, 0, -1, kBlack, 1},
    // dart transfer and dart fold
    {"dart: nearest point of the lines", kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapAllLines, 0, 0, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     79, 52, 0, Expect::Hit, 5, 79, 50, 59, 0, 0, 0},
    {"dart: part search", kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 5, 2, kColourDefault, kDefaultResolution, Matrix::Identity, false,
     79, 50, 0, Expect::Hit, 5, 79, 50, 59, 0, 0, 0},
    {"dart: first pick highlighted", kOpDraw, kDrawOnly, kStyleHighlight, kSnapAllLinesDefault, 5, 2, 3, kDefaultResolution, Matrix::PieceToScreen, true,
     1, 2, 3, Expect::Nothing, 0, 0, 0, 0, 1, qpcurve::kPalette[3], qpcurve::kHighlightWidth},
    {"dart: second pick highlighted", kOpDraw, kDrawOnly, kStyleHighlight, kSnapAllLinesDefault, 1, 2, 8, kDefaultResolution, Matrix::PieceToScreen, true,
     1, 2, 3, Expect::Nothing, 0, 0, 0, 0, 1, qpcurve::kPalette[8], qpcurve::kHighlightWidth},
};
// clang-format on

class CurveForms : public PatternFixture {};

TEST_F(CurveForms, EveryFormOfTheTools) {
    Piece* piece = build(SquareShape());
    ASSERT_NE(piece, nullptr);
    for (const FormRow& row : kForms) {
        SCOPED_TRACE(row.use);
#if QP_HAVE_DESKTOP
        deskClearLog();
#endif
        HDC hdc = row.withDC ? GetDC(deskWindow()) : nullptr;
        const CurveResult r = curve(piece, row.op, row.flags, row.style, row.mode, row.first, row.count,
                                    row.colour, row.resolution, row.inX, row.inY, row.inLength,
                                    matrixOf(row.matrix), hdc);
        switch (row.expect) {
            case Expect::Hit:
                EXPECT_EQ(r.index, row.index);
                EXPECT_NEAR(r.x, row.x, kExact);
                EXPECT_NEAR(r.y, row.y, kExact);
                EXPECT_NEAR(r.length, row.length, kExact);
                break;
            case Expect::Far:
                EXPECT_EQ(r.index, -1);
                EXPECT_EQ(r.x, qpcurve::kFar);
                EXPECT_EQ(r.y, qpcurve::kFar);
                EXPECT_EQ(r.length, 0.0f);
                break;
            case Expect::Length:
                EXPECT_NEAR(r.length, row.length, kExact);
                EXPECT_EQ(r.index, -7) << "a measure leaves index alone";
                EXPECT_EQ(r.x, row.inX);
                break;
            case Expect::Nothing:
                EXPECT_EQ(r.index, -7);
                EXPECT_EQ(r.x, row.inX);
                EXPECT_EQ(r.y, row.inY);
                EXPECT_EQ(r.length, row.inLength);
                break;
        }
#if QP_HAVE_DESKTOP
        const std::vector<DeskCall> pens = deskCalls("CreatePen");
        const size_t moves = deskCalls("MoveToEx").size();
        const size_t lines = deskCalls("LineTo").size();
        if (row.drawnStretches == 0) {
            EXPECT_TRUE(pens.empty());
            EXPECT_EQ(lines, 0u);
        } else {
            ASSERT_EQ(pens.size(), 1u);
            EXPECT_EQ(pens[0].colour, row.penColour);
            ASSERT_EQ(pens[0].args.size(), 2u);
            EXPECT_EQ(pens[0].args[1], row.penWidth);
            if (row.drawnStretches < 0) {
                EXPECT_EQ(moves, 2u);
                EXPECT_EQ(lines, 2u);
            } else {
                EXPECT_EQ(moves, static_cast<size_t>(row.drawnStretches));
                EXPECT_EQ(lines, static_cast<size_t>(row.drawnStretches * row.resolution));
            }
        }
        if (hdc) ReleaseDC(deskWindow(), hdc);
        EXPECT_EQ(deskLivePens(), 0);
        EXPECT_EQ(deskCheckDiscipline(), "");
#else
        if (hdc) ReleaseDC(deskWindow(), hdc);
#endif
    }
}

#if QP_HAVE_DESKTOP
// The drawing goes through the matrix and lands on rounded pixels: the
// highlighted stretch 1 (100, 0) - (100, 100) under pieceToScreen.
TEST_F(CurveForms, DrawingGoesThroughTheMatrix) {
    Piece* piece = build(SquareShape());
    deskClearLog();
    HDC hdc = GetDC(deskWindow());
    curve(piece, kOpDraw, kDrawOnly, kStyleHighlight, kSnapAllLinesDefault, 1, 2, 3, 4, 0, 0, 0, kPieceToScreen, hdc);
    ReleaseDC(deskWindow(), hdc);
    const std::vector<DeskCall> moves = deskCalls("MoveToEx");
    const std::vector<DeskCall> lines = deskCalls("LineTo");
    ASSERT_EQ(moves.size(), 1u);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(moves[0].args, (std::vector<long>{150, 400}));
    EXPECT_EQ(lines[0].args, (std::vector<long>{150, 388}));  // 400 - 12.5, rounded half away
    EXPECT_EQ(lines[3].args, (std::vector<long>{150, 350}));
    // The pen was selected for the drawing and the old one put back first.
    const std::vector<DeskCall> selects = deskCalls("SelectObject");
    ASSERT_EQ(selects.size(), 2u);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(CurveForms, NullDCDrawsNothing) {
    Piece* piece = build(SquareShape());
    deskClearLog();
    curve(piece, kOpDraw, kDrawOnly, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, 0, 0, 0, kPieceToScreen, nullptr);
    EXPECT_TRUE(deskLog().empty());
}

TEST_F(CurveForms, UnknownColourIndexDrawsInTheDefault) {
    Piece* piece = build(SquareShape());
    for (short colour : {short(-1), short(16), short(-5), short(1000)}) {
        deskClearLog();
        HDC hdc = GetDC(deskWindow());
        curve(piece, kOpDraw, kDrawOnly, kStylePlain, kSnapAllLinesDefault, 0, 2, colour, kDefaultResolution, 0, 0, 0, kIdentity, hdc);
        ReleaseDC(deskWindow(), hdc);
        const std::vector<DeskCall> pens = deskCalls("CreatePen");
        ASSERT_EQ(pens.size(), 1u);
        EXPECT_EQ(pens[0].colour, qpcurve::kDefaultColour) << colour;
    }
}

// Inner lines are left out of an outline drawing, and a stretch of the
// outline is drawn once.
TEST_F(CurveForms, DrawingFollowsTheMode) {
    Piece* piece = build(SquareShape());
    deskClearLog();
    HDC hdc = GetDC(deskWindow());
    curve(piece, kOpDraw, kDrawOnly, kStylePlain, kModeWholePiece | kSnapOutline, 0, 0, kColourDefault, 10, 0, 0, 0, kIdentity, hdc);
    ReleaseDC(deskWindow(), hdc);
    EXPECT_EQ(deskCalls("MoveToEx").size(), 4u);
    EXPECT_EQ(deskCalls("LineTo").size(), 40u);
}
#else
QP_DESKTOP_ONLY(CurveForms, "the drawing checks read the GDI log")
#endif

}  // namespace

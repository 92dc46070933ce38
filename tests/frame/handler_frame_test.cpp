// The tool-handler frame: matrices between the piece and the client area,
// picking, the XOR marker and rubber line, prompts, message boxes,
// invalidation and number entry.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "frame/handler_frame.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "tests/support/scene.h"
#include "tests/support/store_fixture.h"

namespace {

// The host's view: 2 pixels per millimetre, shifted by (40, 30).
const float kView[9] = {2, 0, 0, 0, 2, 0, 40, 30, 1};

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        deskReset();  // frees every live block: the pattern comes after it
        deskSetClientRect(800, 600);
        patternHolder = std::make_unique<TestPattern>(8192);
    }
    TestPattern& pattern() { return *patternHolder; }
    std::unique_ptr<TestPattern> patternHolder;
};

TEST_F(Frame, MatricesMapThePieceToTheClientAndBack) {
    PieceShape shape = RectangleShape(100, 50);
    shape.placement[6] = 10;  // placed 10 mm right, 5 mm up in the pattern
    shape.placement[7] = 5;
    Piece* piece = pattern().add(shape);
    frame::ViewMatrices m{};
    frame::buildViewMatrices(deskWindow(), kView, piece, m);
    EXPECT_EQ(m.flip[7], 600.0f);  // H = the client bottom
    // Piece (0, 0) -> pattern (10, 5) -> view (60, 40) -> client (60, 560).
    const POINT p = frame::pieceToClient(m.pieceToScreen, 0, 0);
    EXPECT_EQ(p.x, 60);
    EXPECT_EQ(p.y, 560);
    for (const float xy : {0.0f, 12.5f, -40.0f, 300.25f}) {
        float x = xy, y = 2 * xy;
        frame::transform(m.pieceToScreen, x, y);
        frame::transform(m.screenToPiece, x, y);
        EXPECT_NEAR(x, xy, 1e-3);
        EXPECT_NEAR(y, 2 * xy, 1e-3);
    }
}

TEST_F(Frame, CursorIsReadInPieceCoordinates) {
    Piece* piece = pattern().add(RectangleShape(100, 50));
    frame::ViewMatrices m{};
    frame::buildViewMatrices(deskWindow(), kView, piece, m);
    deskSetCursorClient(240, 470);  // view (240, 130) -> piece (100, 50)
    float x = 0, y = 0;
    frame::cursorToPiece(deskWindow(), m.screenToPiece, x, y);
    EXPECT_NEAR(x, 100.0f, 1e-4);
    EXPECT_NEAR(y, 50.0f, 1e-4);
}

TEST_F(Frame, RotationTurnsAboutItsCentre) {
    float m[9];
    frame::rotationAbout(std::acos(-1.0) / 2, 10, 20, m);
    float x = 20, y = 20;  // 10 right of the centre -> 10 above it
    frame::transform(m, x, y);
    EXPECT_NEAR(x, 10.0f, 1e-5);
    EXPECT_NEAR(y, 30.0f, 1e-5);
    frame::transform(m, x, y);
    EXPECT_NEAR(x, 0.0f, 1e-5);
    EXPECT_NEAR(y, 20.0f, 1e-5);
}

TEST_F(Frame, FindPartMatchesTheStretchThatHoldsThePoint) {
    Piece* piece = pattern().add(CurvedWithInnerShape());
    float unit[9];
    frame::identity(unit);
    EXPECT_EQ(frame::findPart(piece, 120.0f, 0.0f, unit), 0);  // bottom line
    EXPECT_EQ(frame::findPart(piece, 200.0f, 40.0f, unit), 1);  // right side
    EXPECT_EQ(frame::findPart(piece, 0.0f, 0.0f, unit), 0);     // the lowest part wins
    // On the inner line s(50,50) c(100,60): the stretch 7..8 holds (50, 50).
    EXPECT_EQ(frame::findPart(piece, 50.0f, 50.0f, unit), 7);
    EXPECT_EQ(frame::findPart(piece, 100.0f, 30.0f, unit), -1);  // inside, on nothing
    EXPECT_TRUE(PieceConsistent(piece));
}

// The part search by definition: one search per part, in order.
short FirstMatchingPart(Piece* piece, float x, float y) {
    for (short k = 0; k + 1 < piece->pointCount; ++k) {
        const CurveResult r = nearestIn(piece, k, 2, x, y);
        if (std::fabs(r.x - x) < frame::kPartMatchMm && std::fabs(r.y - y) < frame::kPartMatchMm) return k;
    }
    return -1;
}

// On a finely divided outline (stretches of 0.04 to 0.3 mm, some of them
// with both ends on one place) that an inner line runs along and crosses,
// the part search names the first part in order that matches, as one search
// per part does: at every point, at the middle of every part, and 0.09 and
// 0.12 mm off them on either axis and diagonally.
TEST_F(Frame, FindPartIsTheFirstMatchingPartOnAFinelyDividedOutline) {
    std::vector<ShapePoint> outline = {P('S', 0, 0), P('K', 20, 0)};
    float x = 20;
    for (int i = 0; i < 40; ++i) {
        x += i % 7 == 3 ? 0.0f : 0.04f + 0.26f * static_cast<float>((i * 5) % 9) / 8;
        outline.push_back(P(i % 8 == 7 ? 'K' : 'C', x, 0.02f * static_cast<float>(i % 3)));
    }
    outline.push_back(P('K', x + 20, 0));
    outline.push_back(P('K', x + 20, 30));
    outline.push_back(P('K', 0, 30));
    PieceShape shape;
    shape.chains.push_back(Chain(outline, true));
    shape.chains.push_back(Chain({P('s', 19, 0), P('k', x + 1, 0)}));         // along the divided part
    shape.chains.push_back(Chain({P('s', 22, -5), P('c', 23, 0), P('k', 24, 5)}));  // across it
    TestPattern big(65536);
    Piece* piece = big.add(shape);
    ASSERT_NE(piece, nullptr);
    float unit[9];
    frame::identity(unit);
    const float offsets[][2] = {{0, 0},     {0.09f, 0},  {0, -0.09f}, {0.12f, 0},   {0, 0.12f},
                                {0.09f, 0.09f}, {-0.12f, 0.12f}, {0.07f, -0.11f}};
    int compared = 0;
    for (short i = 0; i < piece->pointCount; ++i) {
        const Coord* a = CoordOf(piece, i);
        const Coord* b = CoordOf(piece, i + 1 < piece->pointCount ? i + 1 : i);
        for (const float* d : offsets) {
            for (const float t : {0.0f, 0.5f}) {
                const float px = a->x + (b->x - a->x) * t + d[0], py = a->y + (b->y - a->y) * t + d[1];
                ASSERT_EQ(frame::findPart(piece, px, py, unit), FirstMatchingPart(piece, px, py))
                    << "at (" << px << ", " << py << ")";
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 600);
    EXPECT_TRUE(PieceConsistent(piece));
}

// A pick snaps to the nearest allowed line within 30 mm, the radius itself
// included, and names the part that holds the snapped point.
TEST_F(Frame, PickPartSnapsWithinThePickRadius) {
    Piece* piece = pattern().add(CurvedWithInnerShape());
    float unit[9];
    frame::identity(unit);
    EXPECT_EQ(frame::pickPart(piece, 120.0f, -30.0f, qpcurve::kSnapAllLines, unit), 0);
    EXPECT_EQ(frame::pickPart(piece, 120.0f, -30.5f, qpcurve::kSnapAllLines, unit), -1);
    EXPECT_EQ(frame::pickPart(piece, 52.0f, 47.0f, qpcurve::kSnapAllLines, unit), 7);  // inner line
    EXPECT_NE(frame::pickPart(piece, 52.0f, 47.0f, qpcurve::kSnapOutline, unit), 7);   // outline only
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST_F(Frame, ErrorsUseTheSystemCaption) {
    frame::showError(deskWindow(), kPromptItalyEnds);
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].caption, std::string(kCaption));
    EXPECT_EQ(deskMessageBoxes()[0].text, std::string(kPromptItalyEnds));
    EXPECT_EQ(deskMessageBoxes()[0].type & MB_ICONERROR, MB_ICONERROR);
}

#if QP_HAVE_DESKTOP

TEST_F(Frame, MarkerAndRubberLineLeaveNothingSelectedOrAlive) {
    HDC hdc = GetDC(deskWindow());
    SetROP2(hdc, R2_XORPEN);
    frame::drawMarker(hdc, 100, 80, 0xFF6464);
    frame::drawRubberLine(hdc, POINT{10, 10}, POINT{100, 80});
    ReleaseDC(deskWindow(), hdc);
    EXPECT_EQ(deskCheckDiscipline(), "");
    const auto ellipses = deskCalls("Ellipse");
    ASSERT_EQ(ellipses.size(), 1u);
    EXPECT_EQ(ellipses[0].args, (std::vector<long>{94, 74, 106, 86}));
    EXPECT_EQ(ellipses[0].rop2, R2_XORPEN);
    const auto brushes = deskCalls("CreateSolidBrush");
    ASSERT_EQ(brushes.size(), 1u);
    EXPECT_EQ(brushes[0].colour, 0xFF6464u);
    const auto pens = deskCalls("CreatePen");
    ASSERT_EQ(pens.size(), 1u);
    EXPECT_EQ(pens[0].colour, 0xFFFFu);
    EXPECT_EQ(deskCalls("LineTo").size(), 1u);
}

TEST_F(Frame, InvalidationBelowThePromptBarKeepsTheBar) {
    frame::invalidateBelowPrompt(deskWindow());
    frame::invalidateAll(deskWindow());
    ASSERT_EQ(deskInvalidations().size(), 2u);
    EXPECT_FALSE(deskInvalidations()[0].whole);
    EXPECT_EQ(deskInvalidations()[0].rect.top, 30);
    EXPECT_EQ(deskInvalidations()[0].rect.bottom, 600);
    EXPECT_TRUE(deskInvalidations()[1].whole);
    EXPECT_TRUE(deskInvalidations()[1].erase);
}

TEST_F(Frame, PromptIsDrawnInTheBarAndReleased) {
    frame::PromptCells cells;
    frame::showPrompt(deskWindow(), 2, cells, kPromptItalyEnds);
    EXPECT_NE(deskTextOut().find(kPromptItalyEnds), std::string::npos);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(Frame, NumberEntryTakesTypedCharactersUntilFinished) {
    frame::NumberEntry entry;
    frame::openEntry(deskWindow(), entry, 200, 500, 10, 80, 0x3C3CB4, 0xFFFFFF);
    for (const char c : std::string("12.5"))
        frame::feedEntry(deskWindow(), WM_CHAR, static_cast<WPARAM>(c), 0, entry);
    frame::feedEntry(deskWindow(), WM_KEYDOWN, VK_BACK, 0, entry);
    frame::feedEntry(deskWindow(), WM_CHAR, '7', 0, entry);
    EXPECT_TRUE(entry.open);
    EXPECT_DOUBLE_EQ(frame::finishEntry(entry), 12.7);
    EXPECT_FALSE(entry.open);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

#else
QP_DESKTOP_ONLY(Frame, "the GDI log, invalidations and prompt texts")
#endif

}  // namespace

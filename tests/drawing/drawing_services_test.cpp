// The drawing services of Qpkit2 seen through the desktop's log: where they
// draw, in which colours and modes, and that they leave the caller's device
// context as they found it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "frame/siblings.h"
#include "frame/texts.h"
#include "win/desktop.h"

namespace {

class DrawingServices : public ::testing::Test {
protected:
    void SetUp() override {
        deskReset();
        hdc = GetDC(deskWindow());
        deskClearLog();
    }
    // Ends every test: the caller's device context is as it was before the
    // service ran, and releasing it leaves nothing behind.
    void expectContextUntouchedAndRelease() {
        DeskDC dc = deskDC(hdc);
        EXPECT_EQ(dc.pen, GetStockObject(BLACK_PEN));
        EXPECT_EQ(dc.brush, GetStockObject(WHITE_BRUSH));
        EXPECT_EQ(dc.rop2, initialRop);
        EXPECT_EQ(dc.bkMode, OPAQUE);
        EXPECT_EQ(dc.textColour, 0u);
        ReleaseDC(deskWindow(), hdc);
        EXPECT_EQ(deskCheckDiscipline(), "");
    }
    HDC hdc = nullptr;
    int initialRop = R2_COPYPEN;
};

// ---- qpTextOut ---------------------------------------------------------------------

struct TextOutRow {
    const char* text;
    int length;
    const char* drawn;  // null: nothing drawn
};

class TextOutRows : public DrawingServices, public ::testing::WithParamInterface<TextOutRow> {};

TEST_P(TextOutRows, DrawsAtMostTheTextTransparently) {
    const TextOutRow& row = GetParam();
    qpTextOut(hdc, 31, 71, row.text, row.length);
    auto calls = deskCalls("TextOutA");
    if (!row.drawn) {
        EXPECT_TRUE(calls.empty());
    } else {
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].text, row.drawn);
        EXPECT_EQ(calls[0].args, (std::vector<long>{31, 71}));
        EXPECT_EQ(calls[0].bkMode, TRANSPARENT);
    }
    expectContextUntouchedAndRelease();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TextOutRows,
    ::testing::Values(TextOutRow{"12", 2, "12"},
                      TextOutRow{"12.5", 2, "12"},         // the length given is the limit
                      TextOutRow{"7", 10, "7"},            // never past the terminating zero
                      TextOutRow{"", 3, nullptr},
                      TextOutRow{"abc", 0, nullptr},
                      TextOutRow{"abc", -1, nullptr},      // a negative length draws nothing
                      TextOutRow{nullptr, 4, nullptr},
                      TextOutRow{kFoldTableTitle, 32, kFoldTableTitle}));

TEST_F(DrawingServices, TextOutWithoutADeviceContextDrawsNothing) {
    qpTextOut(nullptr, 0, 0, "12", 2);
    EXPECT_TRUE(deskLog().empty());
    expectContextUntouchedAndRelease();
}

TEST_F(DrawingServices, TextOutKeepsTheCallersTransparentMode) {
    SetBkMode(hdc, TRANSPARENT);
    qpTextOut(hdc, 0, 0, "1", 1);
    EXPECT_EQ(deskDC(hdc).bkMode, TRANSPARENT);
    SetBkMode(hdc, OPAQUE);
    expectContextUntouchedAndRelease();
}

// ---- qpDrawFrame -------------------------------------------------------------------

struct Segment {
    long x0, y0, x1, y1;
    COLORREF colour;
};

// The lines drawn, from the MoveToEx/LineTo pairs of the log.
std::vector<Segment> segments() {
    std::vector<Segment> out;
    long x = 0, y = 0;
    for (const auto& c : deskLog()) {
        if (c.name == "MoveToEx") {
            x = c.args[0];
            y = c.args[1];
        } else if (c.name == "LineTo") {
            out.push_back(Segment{x, y, c.args[0], c.args[1], deskObject(c.pen).colour});
            x = c.args[0];
            y = c.args[1];
        }
    }
    return out;
}

struct FrameRow {
    short style;
    int left, top, right, bottom;  // as the tools pass them
    int rings;                     // ridge thickness in pixels
};

class FrameRows : public DrawingServices, public ::testing::WithParamInterface<FrameRow> {};

TEST_P(FrameRows, DrawsARidgeInsideThePanel) {
    const FrameRow& row = GetParam();
    const COLORREF c1 = 0x6464FF, c2 = 160, c3 = 60;
    qpDrawFrame(hdc, row.style, row.left, row.top, row.right, row.bottom, c1, c2, c3);
    const long l = std::min(row.left, row.right), r = std::max(row.left, row.right);
    const long t = std::min(row.top, row.bottom), b = std::max(row.top, row.bottom);
    auto lines = segments();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(4 * row.rings));
    if (row.rings == 0) {
        expectContextUntouchedAndRelease();
        return;
    }
    for (const Segment& s : lines) {
        for (long x : {s.x0, s.x1}) {
            EXPECT_GE(x, l);
            EXPECT_LT(x, r);
        }
        for (long y : {s.y0, s.y1}) {
            EXPECT_GE(y, t);
            EXPECT_LT(y, b);
        }
    }
    // Ring 0 is lit from the top left, the last ring from the bottom right.
    EXPECT_EQ(lines[0].colour, c1);      // left edge of the outer ring
    EXPECT_EQ(lines[1].colour, c1);      // its top edge, along y = top
    EXPECT_EQ(lines[1].y0, t);
    EXPECT_EQ(lines[2].colour, c3);      // its right edge
    EXPECT_EQ(lines[2].x0, r - 1);
    const std::size_t last = lines.size() - 4;
    EXPECT_EQ(lines[last + 1].colour, c3);
    EXPECT_EQ(lines[last + 1].y0, t + row.rings - 1);
    EXPECT_EQ(lines[last + 3].colour, c1);
    if (row.rings > 2) {
        EXPECT_EQ(lines[4].colour, c2);
    }
    expectContextUntouchedAndRelease();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FrameRows,
    ::testing::Values(
        // The sleeve-cap result box: lower edge first, 6-pixel ridge, face from +6.
        FrameRow{2, 100, 748, 826, 700, 6},
        // The pleat width table with two rows: 9-pixel ridge, face from +9.
        FrameRow{3, 5, 35 + 2 * 28 + 78, 5 + 374, 35, 9},
        FrameRow{1, 0, 0, 50, 50, 3},
        FrameRow{0, 0, 0, 50, 50, 3},     // an unknown style gets the thinnest ridge
        FrameRow{3, 10, 10, 20, 14, 2},   // too low for 9 rings: as many as fit
        FrameRow{2, 10, 10, 10, 30, 0})); // no width: nothing

TEST_F(DrawingServices, FrameWithoutADeviceContextDrawsNothing) {
    qpDrawFrame(nullptr, 2, 0, 0, 100, 100, 1, 2, 3);
    EXPECT_TRUE(deskLog().empty());
    expectContextUntouchedAndRelease();
}

TEST_F(DrawingServices, FrameLeavesTheCallersModeAndPensAlone) {
    SetROP2(hdc, R2_XORPEN);
    initialRop = R2_XORPEN;
    qpDrawFrame(hdc, 3, 0, 100, 200, 0, 0xE66400, 0xA00000, 0x500000);
    for (const auto& c : deskCalls("LineTo")) EXPECT_EQ(c.rop2, R2_XORPEN);
    expectContextUntouchedAndRelease();
}

// ---- qpDrawPromptFrame ---------------------------------------------------------------

TEST_F(DrawingServices, PromptFillsTheBarAndWritesTheTextInCopyMode) {
    SetROP2(hdc, R2_XORPEN);
    initialRop = R2_XORPEN;
    deskClearLog();
    RECT client{0, 0, 800, 600};
    int x = 0, y = 0, width = 0;
    qpDrawPromptFrame(hdc, client, 1, 2, &x, &y, &width, kPromptItalyEnds);

    auto rects = deskCalls("Rectangle");
    ASSERT_EQ(rects.size(), 1u);
    // With the null pen Rectangle leaves out its last row and column: the
    // bar covers x 0..799 and y 0..29.
    EXPECT_EQ(rects[0].args, (std::vector<long>{0, 0, 801, 31}));
    EXPECT_EQ(rects[0].rop2, R2_COPYPEN);
    EXPECT_TRUE(deskObject(rects[0].pen).isNull());
    const COLORREF bar = deskObject(rects[0].brush).colour;

    auto texts = deskCalls("TextOutA");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, kPromptItalyEnds);  // trailing blanks included
    EXPECT_EQ(texts[0].rop2, R2_COPYPEN);
    EXPECT_EQ(texts[0].bkMode, TRANSPARENT);
    EXPECT_NE(texts[0].textColour, bar);
    // Defaults: 10 pixels in, the 16-pixel line centred in the 30-pixel bar.
    EXPECT_EQ(texts[0].args, (std::vector<long>{10, 7}));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 7);
    EXPECT_EQ(width, 24 * 8);
    for (const Segment& s : segments()) {
        EXPECT_LT(s.y0, 30);
        EXPECT_LT(s.y1, 30);
    }
    expectContextUntouchedAndRelease();
}

TEST_F(DrawingServices, PromptBarFollowsTheClientRectangle) {
    RECT client{20, 40, 420, 340};
    int x = 0, y = 0, width = 0;
    qpDrawPromptFrame(hdc, client, 1, 1, &x, &y, &width, kPromptGapFoldLegs);
    EXPECT_EQ(deskCalls("Rectangle")[0].args, (std::vector<long>{20, 40, 421, 71}));
    EXPECT_EQ(x, 30);
    EXPECT_EQ(y, 47);
    expectContextUntouchedAndRelease();
}

// The position cells the tools keep: in, out, and what is made of them.
struct PromptRow {
    int x, y, width;           // in
    int drawnX, drawnY;        // where the text goes
};

class PromptRows : public DrawingServices, public ::testing::WithParamInterface<PromptRow> {};

TEST_P(PromptRows, KeepsThePositionCells) {
    const PromptRow& row = GetParam();
    RECT client{0, 0, 800, 600};
    int x = row.x, y = row.y, width = row.width;
    qpDrawPromptFrame(hdc, client, 1, 1, &x, &y, &width, kPromptItalyCut);
    auto texts = deskCalls("TextOutA");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].args, (std::vector<long>{row.drawnX, row.drawnY}));
    EXPECT_EQ(x, row.drawnX);
    EXPECT_EQ(y, row.drawnY);
    EXPECT_EQ(width, static_cast<int>(std::strlen(kPromptItalyCut)) * 8);
    expectContextUntouchedAndRelease();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PromptRows,
    ::testing::Values(PromptRow{0, 0, 0, 10, 7},        // width 0: defaults
                      PromptRow{300, 20, 0, 10, 7},     // width 0 overrides a position
                      PromptRow{40, 5, 200, 40, 5},     // kept
                      PromptRow{40, 14, 200, 40, 14},   // lowest y whose line fits the bar
                      PromptRow{5, 35, 374, 5, 7},      // below the bar: y centred, x kept
                      PromptRow{-5, 5, 100, 10, 5},     // left of the client: default x
                      PromptRow{900, 5, 100, 10, 5}));  // right of it: default x

TEST_F(DrawingServices, PromptStylesHaveTheirOwnColours) {
    RECT client{0, 0, 800, 600};
    std::vector<COLORREF> bars;
    for (short style : {1, 2, 3, 4}) {
        int x = 0, y = 0, width = 0;
        deskClearLog();
        qpDrawPromptFrame(hdc, client, 1, style, &x, &y, &width, "a");
        bars.push_back(deskObject(deskCalls("Rectangle")[0].brush).colour);
        EXPECT_NE(deskCalls("TextOutA")[0].textColour, bars.back());
    }
    std::sort(bars.begin(), bars.end());
    EXPECT_EQ(std::unique(bars.begin(), bars.end()), bars.end());
    expectContextUntouchedAndRelease();
}

TEST_F(DrawingServices, PromptWithoutFillWritesOnlyTheText) {
    RECT client{0, 0, 800, 600};
    int x = 0, y = 0, width = 0;
    qpDrawPromptFrame(hdc, client, 0, 1, &x, &y, &width, "abc");
    EXPECT_TRUE(deskCalls("Rectangle").empty());
    EXPECT_EQ(deskCalls("TextOutA").size(), 1u);
    expectContextUntouchedAndRelease();
}

TEST_F(DrawingServices, PromptWithoutTextDrawsTheEmptyBar) {
    RECT client{0, 0, 800, 600};
    int x = 0, y = 0, width = 0;
    qpDrawPromptFrame(hdc, client, 1, 1, &x, &y, &width, nullptr);
    EXPECT_EQ(deskCalls("Rectangle").size(), 1u);
    EXPECT_TRUE(deskCalls("TextOutA").empty());
    EXPECT_EQ(width, 0);
    expectContextUntouchedAndRelease();
}

TEST_F(DrawingServices, PromptWithoutADeviceContextChangesNothing) {
    RECT client{0, 0, 800, 600};
    int x = 5, y = 35, width = 374;
    qpDrawPromptFrame(nullptr, client, 1, 1, &x, &y, &width, kPromptItalyCut);
    EXPECT_TRUE(deskLog().empty());
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 35);
    EXPECT_EQ(width, 374);
    expectContextUntouchedAndRelease();
}

TEST_F(DrawingServices, PromptWithoutPositionCellsUsesTheDefaults) {
    RECT client{0, 0, 800, 600};
    qpDrawPromptFrame(hdc, client, 1, 1, nullptr, nullptr, nullptr, "abc");
    EXPECT_EQ(deskCalls("TextOutA")[0].args, (std::vector<long>{10, 7}));
    expectContextUntouchedAndRelease();
}

}  // namespace

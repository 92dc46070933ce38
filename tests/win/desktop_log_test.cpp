// The desktop's window, cursor and GDI log: what the tool tests rely on to
// see every pen, brush and device context come and go.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "win/desktop.h"

namespace {

class DesktopLog : public ::testing::Test {
protected:
    void SetUp() override { deskReset(); }
};

bool hasFaultContaining(const std::string& part) {
    for (const auto& f : deskFaults()) {
        if (f.find(part) != std::string::npos) return true;
    }
    return false;
}

TEST_F(DesktopLog, CursorIsSetInClientPixelsAndReadBackThroughTheScreen) {
    deskSetCursorClient(30, 40);
    POINT p{};
    ASSERT_TRUE(GetCursorPos(&p));
    EXPECT_EQ(p.x, 30 + deskClientOrigin().x);
    EXPECT_EQ(p.y, 40 + deskClientOrigin().y);
    EXPECT_NE(deskClientOrigin().x, 0);  // otherwise the conversion is not exercised
    ASSERT_TRUE(ScreenToClient(deskWindow(), &p));
    EXPECT_EQ(p.x, 30);
    EXPECT_EQ(p.y, 40);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(DesktopLog, ScreenToClientRefusesAnUnknownWindow) {
    POINT p{5, 5};
    EXPECT_FALSE(ScreenToClient(reinterpret_cast<HWND>(0x4444), &p));
    EXPECT_EQ(p.x, 5);
    EXPECT_TRUE(hasFaultContaining("ScreenToClient"));
}

TEST_F(DesktopLog, ClientRectangleFollowsTheScriptAndStartsAt1024By768) {
    RECT r{};
    ASSERT_TRUE(GetClientRect(deskWindow(), &r));
    EXPECT_EQ(r.right, 1024);
    EXPECT_EQ(r.bottom, 768);
    deskSetClientRect(640, 480);
    ASSERT_TRUE(GetClientRect(deskWindow(), &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    deskReset();
    ASSERT_TRUE(GetClientRect(deskWindow(), &r));
    EXPECT_EQ(r.right, 1024);
}

TEST_F(DesktopLog, EveryCallIsLoggedWithArgumentsAndTheStateItMet) {
    HDC hdc = GetDC(deskWindow());
    ASSERT_NE(hdc, nullptr);
    SetROP2(hdc, R2_XORPEN);
    HPEN pen = CreatePen(PS_SOLID, 1, 0xFFFF);
    HBRUSH brush = CreateSolidBrush(0xFF6464);
    HGDIOBJ oldPen = SelectObject(hdc, pen);
    HGDIOBJ oldBrush = SelectObject(hdc, brush);
    MoveToEx(hdc, 10, 20, nullptr);
    LineTo(hdc, 30, 40);
    Ellipse(hdc, 24, 34, 36, 46);
    SelectObject(hdc, oldBrush);
    SelectObject(hdc, oldPen);
    DeleteObject(brush);
    DeleteObject(pen);
    ReleaseDC(deskWindow(), hdc);

    const auto& log = deskLog();
    std::vector<std::string> names;
    for (const auto& c : log) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"GetDC", "SetROP2", "CreatePen", "CreateSolidBrush",
                                               "SelectObject", "SelectObject", "MoveToEx", "LineTo",
                                               "Ellipse", "SelectObject", "SelectObject",
                                               "DeleteObject", "DeleteObject", "ReleaseDC"}));
    const DeskCall& line = log[7];
    EXPECT_EQ(line.hdc, hdc);
    EXPECT_EQ(line.args, (std::vector<long>{30, 40}));
    EXPECT_EQ(line.rop2, R2_XORPEN);
    EXPECT_EQ(line.pen, pen);
    EXPECT_EQ(deskObject(line.pen).colour, 0xFFFFu);
    const DeskCall& marker = log[8];
    EXPECT_EQ(marker.args, (std::vector<long>{24, 34, 36, 46}));
    EXPECT_EQ(marker.brush, brush);
    EXPECT_EQ(deskObject(marker.brush).colour, 0xFF6464u);
    EXPECT_EQ(log[2].args, (std::vector<long>{PS_SOLID, 1}));
    EXPECT_EQ(log[2].colour, 0xFFFFu);
    // A deleted object's record stays readable for the checks after the run.
    EXPECT_FALSE(deskObject(pen).live);
    EXPECT_EQ(deskCheckDiscipline(), "");
    EXPECT_EQ(deskLivePens(), 0);
    EXPECT_EQ(deskLiveBrushes(), 0);
    EXPECT_EQ(deskOpenDCs(), 0);
}

// With a path sink, MoveToEx and LineTo go to the sink and not to the log,
// and the device context is still checked: a released one is a fault.
TEST_F(DesktopLog, APathSinkTakesPathCallsOutOfTheLogAndKeepsTheChecks) {
    HDC hdc = GetDC(deskWindow());
    std::vector<std::string> seen;
    DeskPathSink before = deskSetPathSink([&](HDC on, bool move, int x, int y) {
        seen.push_back((on == hdc ? "" : "?") + std::string(move ? "M" : "L") + std::to_string(x) + "," +
                       std::to_string(y));
    });
    EXPECT_FALSE(before);
    const size_t logged = deskLog().size();
    POINT previous{};
    EXPECT_TRUE(MoveToEx(hdc, 3, 4, nullptr));
    EXPECT_TRUE(LineTo(hdc, 5, 6));
    EXPECT_TRUE(MoveToEx(hdc, 7, 8, &previous));
    EXPECT_EQ(previous.x, 5);
    EXPECT_EQ(seen, (std::vector<std::string>{"M3,4", "L5,6", "M7,8"}));
    EXPECT_EQ(deskLog().size(), logged);
    ReleaseDC(deskWindow(), hdc);
    EXPECT_FALSE(LineTo(hdc, 1, 1));
    EXPECT_TRUE(hasFaultContaining("LineTo"));
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_TRUE(deskSetPathSink(nullptr));
    HDC again = GetDC(deskWindow());
    LineTo(again, 9, 9);  // logged again
    EXPECT_EQ(deskCalls("LineTo").size(), 1u);
    ReleaseDC(deskWindow(), again);
}

TEST_F(DesktopLog, ANewDeviceContextHoldsTheStockPenAndBrushInCopyMode) {
    HDC hdc = GetDC(deskWindow());
    DeskDC dc = deskDC(hdc);
    EXPECT_TRUE(dc.open);
    EXPECT_EQ(dc.rop2, R2_COPYPEN);
    EXPECT_EQ(dc.bkMode, OPAQUE);
    EXPECT_EQ(dc.pen, GetStockObject(BLACK_PEN));
    EXPECT_EQ(dc.brush, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SetROP2(hdc, R2_XORPEN), R2_COPYPEN);
    EXPECT_EQ(deskDC(hdc).rop2, R2_XORPEN);
    EXPECT_EQ(SetBkMode(hdc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetTextColor(hdc, 0xFFFF00), 0u);
    EXPECT_EQ(deskDC(hdc).textColour, 0xFFFF00u);
    ReleaseDC(deskWindow(), hdc);
    EXPECT_FALSE(deskDC(hdc).open);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(DesktopLog, SelectObjectGivesBackWhatWasSelectedOfTheSameKind) {
    HDC hdc = GetDC(deskWindow());
    HPEN pen = CreatePen(PS_SOLID, 1, 0x969600);
    HBRUSH brush = CreateSolidBrush(0xA00000);
    EXPECT_EQ(SelectObject(hdc, pen), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(hdc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(hdc, GetStockObject(NULL_PEN)), pen);
    EXPECT_EQ(SelectObject(hdc, GetStockObject(NULL_BRUSH)), brush);
    EXPECT_TRUE(deskObject(deskDC(hdc).pen).isNull());
    EXPECT_TRUE(deskObject(deskDC(hdc).brush).isNull());
    DeleteObject(pen);
    DeleteObject(brush);
    ReleaseDC(deskWindow(), hdc);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(DesktopLog, APenNeverDeletedIsALeak) {
    HDC hdc = GetDC(deskWindow());
    HPEN pen = CreatePen(PS_SOLID, 1, 0xFF);
    HGDIOBJ old = SelectObject(hdc, pen);
    SelectObject(hdc, old);
    ReleaseDC(deskWindow(), hdc);
    EXPECT_EQ(deskLivePens(), 1);
    EXPECT_NE(deskCheckDiscipline().find("was never deleted"), std::string::npos);
}

TEST_F(DesktopLog, ADeviceContextNeverReleasedIsALeak) {
    GetDC(deskWindow());
    EXPECT_EQ(deskOpenDCs(), 1);
    EXPECT_NE(deskCheckDiscipline().find("never released"), std::string::npos);
}

TEST_F(DesktopLog, DeletingASelectedBrushFailsAndKeepsItAlive) {
    HDC hdc = GetDC(deskWindow());
    HBRUSH brush = CreateSolidBrush(0xFFFFFF);
    HGDIOBJ old = SelectObject(hdc, brush);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_TRUE(deskObject(brush).live);
    EXPECT_TRUE(hasFaultContaining("still selected"));
    // Put right afterwards, the brush can go; the fault stays on record.
    SelectObject(hdc, old);
    EXPECT_TRUE(DeleteObject(brush));
    ReleaseDC(deskWindow(), hdc);
    EXPECT_EQ(deskLiveBrushes(), 0);
    EXPECT_NE(deskCheckDiscipline(), "");
}

TEST_F(DesktopLog, ReleasingADeviceContextThatStillHoldsACreatedPenIsAFault) {
    HDC hdc = GetDC(deskWindow());
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    SelectObject(hdc, pen);
    ReleaseDC(deskWindow(), hdc);
    EXPECT_TRUE(hasFaultContaining("ReleaseDC"));
    // Released, the pen is free again and may be deleted.
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_EQ(deskLivePens(), 0);
}

TEST_F(DesktopLog, StockObjectsAreNeverCreatedAndDeletingThemIsHarmless) {
    HGDIOBJ nullPen = GetStockObject(NULL_PEN);
    EXPECT_EQ(GetStockObject(NULL_PEN), nullPen);
    EXPECT_NE(GetStockObject(WHITE_BRUSH), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(GetStockObject(HOLLOW_BRUSH), GetStockObject(NULL_BRUSH));
    EXPECT_EQ(deskObject(GetStockObject(WHITE_BRUSH)).colour, 0xFFFFFFu);
    EXPECT_EQ(deskObject(nullPen).kind, DeskObjectKind::StockPen);
    EXPECT_TRUE(DeleteObject(nullPen));
    EXPECT_TRUE(deskObject(nullPen).live);
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(deskLivePens(), 0);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(DesktopLog, AReleasedDeviceContextDrawsNothingAndIsAFault) {
    HDC hdc = GetDC(deskWindow());
    ReleaseDC(deskWindow(), hdc);
    EXPECT_FALSE(LineTo(hdc, 1, 1));
    EXPECT_FALSE(Rectangle(hdc, 0, 0, 1, 1));
    EXPECT_EQ(ReleaseDC(deskWindow(), hdc), 0);
    EXPECT_TRUE(hasFaultContaining("already released"));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "a", 1));
    EXPECT_TRUE(hasFaultContaining("unknown device context"));
}

TEST_F(DesktopLog, DeletedObjectsCannotBeSelectedOrDeletedAgain) {
    HDC hdc = GetDC(deskWindow());
    HPEN pen = CreatePen(PS_SOLID, 1, 0);
    DeleteObject(pen);
    EXPECT_EQ(SelectObject(hdc, pen), nullptr);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_EQ(deskDC(hdc).pen, GetStockObject(BLACK_PEN));
    ReleaseDC(deskWindow(), hdc);
    EXPECT_EQ(deskFaults().size(), 2u);
}

TEST_F(DesktopLog, HandlesAreDistinctAndNotReusedAfterAReset) {
    std::set<HANDLE> seen{deskWindow(), deskInstance()};
    for (int i = 0; i < 3; ++i) {
        HDC hdc = GetDC(deskWindow());
        HPEN pen = CreatePen(PS_SOLID, 1, 0);
        HBRUSH brush = CreateSolidBrush(0);
        EXPECT_TRUE(seen.insert(hdc).second);
        EXPECT_TRUE(seen.insert(pen).second);
        EXPECT_TRUE(seen.insert(brush).second);
        for (int s : {WHITE_BRUSH, NULL_BRUSH, BLACK_PEN, NULL_PEN}) {
            EXPECT_EQ(seen.count(GetStockObject(s)), 0u);
        }
        DeleteObject(pen);
        DeleteObject(brush);
        ReleaseDC(deskWindow(), hdc);
        deskReset();
    }
    // Handles fit the LONG of GetWindowLongA, as on 32-bit Windows.
    for (HANDLE h : seen) EXPECT_LT(reinterpret_cast<std::uintptr_t>(h), 0x80000000u);
}

TEST_F(DesktopLog, TextOutKeepsTheExactBytes) {
    HDC hdc = GetDC(deskWindow());
    const char gbk[] = "\xC7\xEB\xD6\xB8\xB6\xA8  ";  // 请指定 and two blanks
    TextOutA(hdc, 5, 7, gbk, 8);
    TextOutA(hdc, 5, 30, "12.5xyz", 4);
    ReleaseDC(deskWindow(), hdc);
    auto texts = deskCalls("TextOutA");
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text, std::string(gbk, 8));
    EXPECT_EQ(texts[0].args, (std::vector<long>{5, 7}));
    EXPECT_EQ(texts[1].text, "12.5");
    EXPECT_EQ(deskTextOut(), std::string(gbk, 8) + "\n12.5");
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(DesktopLog, TextOutCountedPastTheTextsEndIsAFault) {
    HDC hdc = GetDC(deskWindow());
    char buffer[8] = "ab";
    TextOutA(hdc, 0, 0, buffer, 5);
    ReleaseDC(deskWindow(), hdc);
    EXPECT_TRUE(hasFaultContaining("zero byte"));
}

TEST_F(DesktopLog, ClearingTheLogKeepsTheObjects) {
    HPEN pen = CreatePen(PS_SOLID, 2, 0x123456);
    deskClearLog();
    EXPECT_TRUE(deskLog().empty());
    EXPECT_EQ(deskObject(pen).width, 2);
    EXPECT_EQ(deskLivePens(), 1);
    DeleteObject(pen);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

}  // namespace

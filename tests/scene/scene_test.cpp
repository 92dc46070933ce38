// The scene behaves the same on both platforms: the desktop stand-in on
// Linux, the real USER32 and GDI32 (under wine) on Windows. Tool tests rely
// on exactly these behaviours, so a difference shows up here first.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/scene.h"

namespace {

// "服装 CAD 系统（Windows 版）", the caption of every error box.
const char kCaption[] =
    "\xB7\xFE\xD7\xB0 CAD \xCF\xB5\xCD\xB3\xA3\xA8Windows \xB0\xE6\xA3\xA9";
// "无交点" (no intersection), a GBK text of the kind the tools show.
const char kText[] = "\xCE\xDE\xBD\xBB\xB5\xE3";

char dialogText[64];
int initDialogs;

// The host's dialog procedure as the tool tests write it: the typed text
// goes into the host's buffer when OK is pressed.
INT_PTR CALLBACK lengthDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        ++initDialogs;
        return TRUE;
    }
    if (message == WM_COMMAND && (wParam & 0xFFFF) == IDOK) {
        GetDlgItemTextA(dialog, kSceneLengthEdit, dialogText, sizeof dialogText);
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (message == WM_COMMAND && (wParam & 0xFFFF) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR openLengthDialog() {
    HWND window = deskWindow();
    // As the point-increase tool finds the host's module.
    HINSTANCE module = reinterpret_cast<HINSTANCE>(
        static_cast<intptr_t>(GetWindowLongA(window, GWL_HINSTANCE)));
    return DialogBoxParamA(module, "LENGTHINPUTDLG", window, lengthDialog, 0);
}

class Scene : public ::testing::Test {
protected:
    void SetUp() override {
        deskReset();
        std::memset(dialogText, 0, sizeof dialogText);
        initDialogs = 0;
    }
};

TEST_F(Scene, MessageBoxIsAnsweredAndRecordedByteForByte) {
    EXPECT_EQ(MessageBoxA(deskWindow(), kText, kCaption, MB_ICONERROR), IDOK);
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    const DeskMessageBox& box = deskMessageBoxes()[0];
    EXPECT_EQ(box.hwnd, deskWindow());
    EXPECT_EQ(box.caption, kCaption);
    EXPECT_EQ(box.text, kText);
    EXPECT_EQ(box.type, MB_ICONERROR);
}

TEST_F(Scene, MessageBoxWithoutIconHasTypeOk) {
    EXPECT_EQ(MessageBoxA(deskWindow(), "a", "b", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(deskWindow(), "c", "d", MB_OK), IDOK);
    ASSERT_EQ(deskMessageBoxes().size(), 2u);
    EXPECT_EQ(deskMessageBoxes()[1].text, "c");
    EXPECT_EQ(deskMessageBoxes()[1].type, MB_OK);
}

TEST_F(Scene, HostModuleIsTheWindowsInstance) {
    EXPECT_EQ(reinterpret_cast<HINSTANCE>(
                  static_cast<intptr_t>(GetWindowLongA(deskWindow(), GWL_HINSTANCE))),
              deskInstance());
}

TEST_F(Scene, LengthDialogGetsTheQueuedAnswers) {
    deskQueueDialogAnswer("12.5");
    deskQueueDialogAnswer("-3");
    EXPECT_EQ(deskQueuedDialogAnswers(), 2u);
    EXPECT_EQ(openLengthDialog(), IDOK);
    EXPECT_STREQ(dialogText, "12.5");
    EXPECT_EQ(openLengthDialog(), IDOK);
    EXPECT_STREQ(dialogText, "-3");
    EXPECT_EQ(initDialogs, 2);
    EXPECT_EQ(deskQueuedDialogAnswers(), 0u);
}

TEST_F(Scene, LengthDialogWithoutAnswerIsCancelled) {
    std::strcpy(dialogText, "untouched");
    EXPECT_EQ(openLengthDialog(), IDCANCEL);
    EXPECT_STREQ(dialogText, "untouched");
    EXPECT_EQ(initDialogs, 1);
}

TEST_F(Scene, CursorIsPlacedInClientPixels) {
    const int places[][2] = {{0, 0}, {300, 200}, {1023, 767}, {5, 700}};
    for (const auto& place : places) {
        deskSetCursorClient(place[0], place[1]);
        POINT p = {};
        ASSERT_TRUE(GetCursorPos(&p));
        ASSERT_TRUE(ScreenToClient(deskWindow(), &p));
        EXPECT_EQ(p.x, place[0]);
        EXPECT_EQ(p.y, place[1]);
        EXPECT_EQ(deskCursorClient().x, place[0]);
        EXPECT_EQ(deskCursorClient().y, place[1]);
    }
}

TEST_F(Scene, ClientRectangleFollowsTheSizeAndReset) {
    RECT r = {};
    ASSERT_TRUE(GetClientRect(deskWindow(), &r));
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 1024);
    EXPECT_EQ(r.bottom, 768);
    deskSetClientRect(640, 480);
    ASSERT_TRUE(GetClientRect(deskWindow(), &r));
    EXPECT_EQ(r.right, 640);
    EXPECT_EQ(r.bottom, 480);
    deskReset();
    ASSERT_TRUE(GetClientRect(deskWindow(), &r));
    EXPECT_EQ(r.right, 1024);
    EXPECT_EQ(r.bottom, 768);
}

TEST_F(Scene, CommandsReachTheHandlerAndAreRecorded) {
    UINT seen = 0;
    deskSetSendMessageHandler([&seen](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        seen = message;
        return wParam == 32 ? 7 : 0;
    });
    EXPECT_EQ(SendMessageA(deskWindow(), WM_COMMAND, 32, 0), 7);
    EXPECT_EQ(seen, WM_COMMAND);
    ASSERT_EQ(deskSentMessages().size(), 1u);
    EXPECT_EQ(deskSentMessages()[0].hwnd, deskWindow());
    EXPECT_EQ(deskSentMessages()[0].message, WM_COMMAND);
    EXPECT_EQ(deskSentMessages()[0].wParam, 32u);
    EXPECT_EQ(deskSentMessages()[0].lParam, 0);
}

TEST_F(Scene, ResetForgetsRecordsAnswersAndHandler) {
    MessageBoxA(deskWindow(), "x", "y", MB_OK);
    deskQueueDialogAnswer("1");
    deskSetSendMessageHandler([](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 5; });
    SendMessageA(deskWindow(), WM_COMMAND, 1, 0);
    deskReset();
    EXPECT_TRUE(deskMessageBoxes().empty());
    EXPECT_EQ(deskQueuedDialogAnswers(), 0u);
    EXPECT_TRUE(deskSentMessages().empty());
    EXPECT_EQ(SendMessageA(deskWindow(), WM_COMMAND, 1, 0), 0);
}

// The drawing the tools do between GetDC and ReleaseDC, and the states they
// rely on: a fresh context draws in R2_COPYPEN, objects selected back out
// can be deleted.
TEST_F(Scene, DeviceContextDrawsAndReleases) {
    HDC dc = GetDC(deskWindow());
    ASSERT_NE(dc, nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, 0xFFFF);
    HBRUSH brush = CreateSolidBrush(0xFF6464);
    ASSERT_NE(pen, nullptr);
    ASSERT_NE(brush, nullptr);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, brush);
    EXPECT_EQ(SetROP2(dc, R2_XORPEN), R2_COPYPEN);
    EXPECT_TRUE(MoveToEx(dc, 10, 10, nullptr));
    EXPECT_TRUE(LineTo(dc, 100, 40));
    EXPECT_TRUE(Ellipse(dc, 94, 34, 106, 46));
    EXPECT_EQ(SetROP2(dc, R2_COPYPEN), R2_XORPEN);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_TRUE(Rectangle(dc, 0, 0, 200, 30));
    EXPECT_TRUE(TextOutA(dc, 4, 4, kText, static_cast<int>(std::strlen(kText))));
    EXPECT_EQ(SelectObject(dc, oldPen), pen);
    EXPECT_EQ(SelectObject(dc, oldBrush), brush);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(ReleaseDC(deskWindow(), dc), 1);
#if QP_HAVE_DESKTOP
    EXPECT_EQ(deskCheckDiscipline(), "");
#endif
}

}  // namespace

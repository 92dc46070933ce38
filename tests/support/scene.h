// The scene a tool test plays in, on Linux and on Windows alike.
//
// On Linux this is the desktop stand-in (win/desktop.h), all of it. On
// Windows, where the library calls the real USER32 and GDI32 (under wine in
// our runs), the same names give the part of the stand-in that has a real
// counterpart, with the same meaning:
//
//   deskReset, deskWindow, deskInstance, deskClientOrigin      one hidden window
//   deskSetClientRect, deskSetCursorClient, deskCursorClient   its size, the cursor
//   deskMessageBoxes                                            caption, text, type
//   deskQueueDialogAnswer, deskQueuedDialogAnswers              the host's dialogs
//   deskSentMessages, deskSetSendMessageHandler                 messages to the window
//
// What only the stand-in can tell (the GDI call log, drawing objects, device
// contexts, faults, invalidations, dialog records, global blocks) exists only
// where QP_HAVE_DESKTOP is 1. Tests that read it sit in
//     #if QP_HAVE_DESKTOP ... #else QP_DESKTOP_ONLY(Suite, "why") #endif
// so that Windows runs show them as skipped, with the reason.
//
// Windows specifics (tests/support/win32/scene_win32.cpp):
// - The window is a hidden popup whose client origin is the screen origin:
//   wine's null display is 1024 x 768 and clips the cursor to it, so the
//   cursor reaches client positions 0..1023 x 0..767 only; placing it
//   elsewhere fails the test.
// - Message boxes are answered IDOK (IDCANCEL when they have no OK button)
//   by a WH_CBT hook in every test program (win/dialog_answers.h), and
//   recorded with the text the box shows and a type rebuilt from its icon
//   and buttons; texts are bytes of the ANSI code page, 936 (GBK) in our
//   runs as on the users' systems.
// - The host's dialog "LENGTHINPUTDLG" is a real template of the test
//   program (win/length_input.rc) with one edit field, kSceneLengthEdit; the
//   hook types the next queued answer into it and presses OK, or Cancel when
//   no answer is queued. A dialog procedure that reads kSceneLengthEdit with
//   GetDlgItemTextA works on both platforms (the stand-in ignores the id).
// - deskSentMessages holds the WM_COMMAND and WM_USER-range messages that
//   reached the window (the stand-in records every SendMessageA).
#pragma once

#include "win/win32.h"

#if defined(_WIN32)
#  define QP_HAVE_DESKTOP 0
#else
#  define QP_HAVE_DESKTOP 1
#  include "win/desktop.h"
#endif

#include <gtest/gtest.h>

#include "win/length_input.h"

// Id of the edit field in the test programs' "LENGTHINPUTDLG" template.
constexpr int kSceneLengthEdit = QP_LENGTH_INPUT_EDIT;

#define QP_SCENE_CAT2(a, b) a##b
#define QP_SCENE_CAT(a, b) QP_SCENE_CAT2(a, b)
// A test that stands for the left-out desktop-only tests of a file on
// Windows and reports the reason as its skip message. It is named
// LeftOutOnWindows.<suite>_L<line>: a suite of its own, since a TEST may not
// join a suite of TEST_F tests.
#define QP_DESKTOP_ONLY(suite, why)                                                   \
    TEST(LeftOutOnWindows, QP_SCENE_CAT(QP_SCENE_CAT(suite, _L), __LINE__)) {         \
        GTEST_SKIP() << #suite " tests left out on Windows, they read the desktop " \
                        "stand-in: " why;                                             \
    }

#if !QP_HAVE_DESKTOP

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "win/dialog_answers.h"

// Owner, caption, text and type, as the hook that answers it records them.
using DeskMessageBox = AnsweredBox;

struct DeskSentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Empty records, no queued answers, no handler, client 1024 x 768, cursor at
// client (0, 0).
void deskReset();
HWND deskWindow();
HINSTANCE deskInstance();
POINT deskClientOrigin();
void deskSetCursorClient(int x, int y);
POINT deskCursorClient();
void deskSetClientRect(int width, int height);

const std::vector<DeskMessageBox>& deskMessageBoxes();
void deskQueueDialogAnswer(const std::string& text);
std::size_t deskQueuedDialogAnswers();
const std::vector<DeskSentMessage>& deskSentMessages();
// What the window answers to a recorded message; 0 when none is set.
void deskSetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler);

#endif  // !QP_HAVE_DESKTOP

// The message boxes shown since the scene was reset: exactly one, saying
// `text`, or none when `text` is null. Read where the stand-in records
// them (QP_HAVE_DESKTOP); elsewhere this checks nothing.
inline void ExpectMessageBoxes(const char* text) {
#if QP_HAVE_DESKTOP
    ASSERT_EQ(deskMessageBoxes().size(), text ? 1u : 0u);
    if (text) {
        EXPECT_EQ(deskMessageBoxes()[0].text, text);
    }
#else
    (void)text;
#endif
}

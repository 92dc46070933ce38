// Message boxes, dialogs, sent messages and invalidation on the desktop.
#include <gtest/gtest.h>

#include <cstring>

#include "win/desktop.h"

namespace {

class DesktopUser : public ::testing::Test {
protected:
    void SetUp() override { deskReset(); }
};

// ---- message boxes ---------------------------------------------------------------

TEST_F(DesktopUser, MessageBoxRecordsCaptionTextAndTypeAndSaysOk) {
    const char caption[] = "\xB7\xFE\xD7\xB0 CAD";  // 服装 CAD
    const char text[] = "\xCE\xB4\xD5\xD2\xB5\xBD !";  // 未找到 !
    EXPECT_EQ(MessageBoxA(deskWindow(), text, caption, MB_ICONERROR), IDOK);
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    const DeskMessageBox& box = deskMessageBoxes()[0];
    EXPECT_EQ(box.hwnd, deskWindow());
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.type, MB_ICONERROR);
    EXPECT_EQ(deskCalls("MessageBoxA").size(), 1u);
}

TEST_F(DesktopUser, MessageBoxWithoutCaptionRecordsAnEmptyOne) {
    MessageBoxA(nullptr, "x", nullptr, MB_OK);
    ASSERT_EQ(deskMessageBoxes().size(), 1u);
    EXPECT_EQ(deskMessageBoxes()[0].caption, "");
}

// ---- dialogs -----------------------------------------------------------------------

// A host-style dialog procedure: copies the typed text into `typed` on OK.
struct ProcLog {
    std::vector<UINT> messages;
    std::vector<WPARAM> commands;
    LPARAM init = 0;
    char typed[32] = "";
    bool endDialog = true;
    bool endOnInit = false;
};
ProcLog procLog;

INT_PTR CALLBACK lengthDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    procLog.messages.push_back(message);
    if (message == WM_INITDIALOG) {
        procLog.init = lParam;
        if (procLog.endOnInit) EndDialog(dialog, 7);
        return TRUE;
    }
    if (message == WM_COMMAND) {
        procLog.commands.push_back(wParam);
        if (wParam == IDOK) GetDlgItemTextA(dialog, 1000, procLog.typed, sizeof procLog.typed);
        if (procLog.endDialog) EndDialog(dialog, static_cast<INT_PTR>(wParam));
        return TRUE;
    }
    return FALSE;
}

class DesktopDialog : public DesktopUser {
protected:
    void SetUp() override {
        DesktopUser::SetUp();
        procLog = ProcLog{};
    }
};

TEST_F(DesktopDialog, AQueuedAnswerIsTypedAndConfirmed) {
    deskQueueDialogAnswer("12.5");
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(
        static_cast<std::intptr_t>(GetWindowLongA(deskWindow(), GWL_HINSTANCE)));
    EXPECT_EQ(instance, deskInstance());
    INT_PTR result = DialogBoxParamA(instance, "LENGTHINPUTDLG", deskWindow(), lengthDialog, 42);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(procLog.messages, (std::vector<UINT>{WM_INITDIALOG, WM_COMMAND}));
    EXPECT_EQ(procLog.init, 42);
    EXPECT_STREQ(procLog.typed, "12.5");
    ASSERT_EQ(deskDialogs().size(), 1u);
    const DeskDialog& d = deskDialogs()[0];
    EXPECT_EQ(d.templateName, "LENGTHINPUTDLG");
    EXPECT_EQ(d.instance, deskInstance());
    EXPECT_EQ(d.owner, deskWindow());
    EXPECT_TRUE(d.answered);
    EXPECT_EQ(d.answer, "12.5");
    EXPECT_EQ(d.result, IDOK);
    EXPECT_EQ(deskQueuedDialogAnswers(), 0u);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST_F(DesktopDialog, AnswersAreTakenInTheOrderQueued) {
    deskQueueDialogAnswer("1");
    deskQueueDialogAnswer("2");
    DialogBoxParamA(deskInstance(), "LENGTHINPUTDLG", deskWindow(), lengthDialog, 0);
    EXPECT_STREQ(procLog.typed, "1");
    DialogBoxParamA(deskInstance(), "LENGTHINPUTDLG", deskWindow(), lengthDialog, 0);
    EXPECT_STREQ(procLog.typed, "2");
    EXPECT_EQ(deskQueuedDialogAnswers(), 0u);
}

TEST_F(DesktopDialog, WithNothingQueuedTheDialogIsCancelled) {
    INT_PTR result = DialogBoxParamA(deskInstance(), "LENGTHINPUTDLG", deskWindow(), lengthDialog, 0);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(procLog.commands, (std::vector<WPARAM>{static_cast<WPARAM>(IDCANCEL)}));
    EXPECT_STREQ(procLog.typed, "");
    EXPECT_FALSE(deskDialogs()[0].answered);
}

TEST_F(DesktopDialog, ADialogEndedWhileStartingGetsNoCommand) {
    procLog.endOnInit = true;
    deskQueueDialogAnswer("3");
    EXPECT_EQ(DialogBoxParamA(deskInstance(), "LENGTHINPUTDLG", deskWindow(), lengthDialog, 0), 7);
    EXPECT_TRUE(procLog.commands.empty());
}

TEST_F(DesktopDialog, AProcedureThatNeverEndsTheDialogGetsMinusOneAndAFault) {
    procLog.endDialog = false;
    deskQueueDialogAnswer("3");
    EXPECT_EQ(DialogBoxParamA(deskInstance(), "LENGTHINPUTDLG", deskWindow(), lengthDialog, 0), -1);
    EXPECT_NE(deskCheckDiscipline().find("never called EndDialog"), std::string::npos);
}

TEST_F(DesktopDialog, AnIntegerTemplateIsRecordedByNumber) {
    DialogBoxParamA(deskInstance(), MAKEINTRESOURCEA_(101), deskWindow(), lengthDialog, 0);
    EXPECT_EQ(deskDialogs()[0].templateName, "#101");
}

// GetDlgItemTextA copies at most size - 1 bytes and always terminates.
struct DlgTextRow {
    const char* answer;
    int size;
    const char* expected;
    UINT count;
};

class DialogText : public DesktopDialog, public ::testing::WithParamInterface<DlgTextRow> {};

DlgTextRow dlgRow;
char dlgBuffer[16];
UINT dlgCount;

INT_PTR CALLBACK copyingDialog(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_COMMAND) {
        std::memset(dlgBuffer, 'Z', sizeof dlgBuffer);
        dlgCount = GetDlgItemTextA(dialog, 1000, dlgBuffer, dlgRow.size);
        EndDialog(dialog, 1);
    }
    return TRUE;
}

TEST_P(DialogText, CopiesWithinTheBuffer) {
    dlgRow = GetParam();
    deskQueueDialogAnswer(dlgRow.answer);
    DialogBoxParamA(deskInstance(), "LENGTHINPUTDLG", deskWindow(), copyingDialog, 0);
    EXPECT_EQ(dlgCount, dlgRow.count);
    if (dlgRow.size > 0) {
        EXPECT_STREQ(dlgBuffer, dlgRow.expected);
        EXPECT_EQ(dlgBuffer[dlgRow.size], 'Z');  // nothing written past the size given
    } else {
        EXPECT_EQ(dlgBuffer[0], 'Z');
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DialogText,
    ::testing::Values(DlgTextRow{"12.5", 10, "12.5", 4},
                      DlgTextRow{"12.5", 5, "12.5", 4},    // exactly fits with its zero
                      DlgTextRow{"12.5", 4, "12.", 3},     // cut to size - 1
                      DlgTextRow{"12.5", 1, "", 0},        // room for the zero only
                      DlgTextRow{"12.5", 0, "", 0},        // no room: nothing written
                      DlgTextRow{"", 10, "", 0}));

TEST_F(DesktopDialog, GetDlgItemTextOutsideADialogGivesAnEmptyText) {
    char text[8] = "old";
    EXPECT_EQ(GetDlgItemTextA(deskWindow(), 1000, text, sizeof text), 0u);
    EXPECT_STREQ(text, "");
}

// ---- messages and invalidation -------------------------------------------------------

TEST_F(DesktopUser, SentMessagesAreRecordedAndAnsweredByTheHostsHandler) {
    EXPECT_EQ(SendMessageA(deskWindow(), WM_COMMAND, 32, 0), 0);
    std::vector<UINT> seen;
    deskSetSendMessageHandler([&seen](HWND, UINT message, WPARAM, LPARAM) -> LRESULT {
        seen.push_back(message);
        return 5;
    });
    EXPECT_EQ(SendMessageA(deskWindow(), WM_COMMAND, 32, 9), 5);
    ASSERT_EQ(deskSentMessages().size(), 2u);
    EXPECT_EQ(deskSentMessages()[1].message, WM_COMMAND);
    EXPECT_EQ(deskSentMessages()[1].wParam, 32u);
    EXPECT_EQ(deskSentMessages()[1].lParam, 9);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_COMMAND}));
    deskReset();
    EXPECT_EQ(SendMessageA(deskWindow(), WM_COMMAND, 32, 0), 0);  // reset removes the handler
}

TEST_F(DesktopUser, InvalidationsKeepTheRectangleAndTheEraseFlag) {
    RECT below{0, 30, 1024, 768};
    InvalidateRect(deskWindow(), nullptr, TRUE);
    InvalidateRect(deskWindow(), &below, FALSE);
    ASSERT_EQ(deskInvalidations().size(), 2u);
    EXPECT_TRUE(deskInvalidations()[0].whole);
    EXPECT_TRUE(deskInvalidations()[0].erase);
    EXPECT_FALSE(deskInvalidations()[1].whole);
    EXPECT_EQ(deskInvalidations()[1].rect.top, 30);
    EXPECT_FALSE(deskInvalidations()[1].erase);
    auto calls = deskCalls("InvalidateRect");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].args, (std::vector<long>{FALSE, 0, 30, 1024, 768}));
}

TEST_F(DesktopUser, GetWindowLongOfAnotherIndexIsZero) {
    EXPECT_EQ(GetWindowLongA(deskWindow(), -16), 0);
    EXPECT_EQ(deskCheckDiscipline(), "");
}

}  // namespace

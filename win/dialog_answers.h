// Windows only: answering the message boxes and the length dialog that the
// library opens, so that a program playing the host (qpkit.exe, the test
// programs) never waits for a user.
//
// A WH_CBT hook on the calling thread sees every dialog as it is activated.
// A message box (the system's dialog with its text control) is recorded with
// its caption, its text and a type rebuilt from its icon and buttons, and
// answered IDOK (IDCANCEL when it has no OK button). The host's
// "LENGTHINPUTDLG" (the dialog holding the edit field QP_LENGTH_INPUT_EDIT)
// gets the next queued answer typed into the field and OK, or Cancel when
// none is queued. Any other dialog is cancelled and reported to the
// unknown-dialog callback. Texts are bytes of the ANSI code page (936, GBK,
// on the systems the library is made for), compared byte for byte.
// Answers are posted, so they take effect in the dialog's own modal loop.
#pragma once

#if !defined(_WIN32)
#  error "win/dialog_answers.h is Windows only"
#endif

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "win/win32.h"

struct AnsweredBox {
    HWND hwnd;            // the box's owner
    std::string caption;  // ANSI bytes, empty for a null caption
    std::string text;     // ANSI bytes
    UINT type;            // MB_ icon and button bits the box shows
};

// The hook of this thread, installed on first use.
class DialogAnswers {
public:
    // False when the hook could not be installed.
    bool installed() const { return hook_ != nullptr; }
    const std::vector<AnsweredBox>& boxes() const { return boxes_; }
    void clearBoxes() { boxes_.clear(); }
    void queue(const std::string& text);
    std::size_t queued() const { return answers_.size(); }
    void clearQueue();
    // Called with the caption of a dialog nobody answers (it is cancelled).
    void onUnknownDialog(std::function<void(const std::string& caption)> report);

    // The hook's work on one activated dialog; the hook's only caller.
    void answer(HWND dialog);
    void forget(HWND dialog);

private:
    friend DialogAnswers& dialogAnswers();
    DialogAnswers();
    HHOOK hook_ = nullptr;
    std::vector<AnsweredBox> boxes_;
    std::vector<std::string> answers_;
    std::vector<HWND> answered_;
    std::function<void(const std::string&)> unknown_;
};

DialogAnswers& dialogAnswers();

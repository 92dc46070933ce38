// The hook that answers the library's message boxes and the host's length
// dialog (win/dialog_answers.h).
#if defined(_WIN32)

#include "win/dialog_answers.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "win/length_input.h"

namespace {

// Control id of the text, and of the icon, in the system's message box.
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kMessageBoxIcon = 0x0440;

std::string controlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    if (!control) return {};
    int length = GetWindowTextLengthA(control);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetDlgItemTextA(dialog, id, &text[0], length + 1)));
    return text;
}

std::string windowText(HWND hwnd) {
    int length = GetWindowTextLengthA(hwnd);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(hwnd, &text[0], length + 1)));
    return text;
}

// The MB_ bits a box shows: its icon among the system's four, its buttons.
UINT messageBoxType(HWND box) {
    UINT type = 0;
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, kMessageBoxIcon, STM_GETICON, 0, 0));
    if (icon) {
        if (icon == LoadIconA(nullptr, IDI_HAND)) type |= MB_ICONHAND;
        else if (icon == LoadIconA(nullptr, IDI_QUESTION)) type |= MB_ICONQUESTION;
        else if (icon == LoadIconA(nullptr, IDI_EXCLAMATION)) type |= MB_ICONEXCLAMATION;
        else if (icon == LoadIconA(nullptr, IDI_ASTERISK)) type |= MB_ICONASTERISK;
    }
    auto has = [box](int id) { return GetDlgItem(box, id) != nullptr; };
    if (has(IDABORT) && has(IDRETRY) && has(IDIGNORE)) type |= MB_ABORTRETRYIGNORE;
    else if (has(IDYES) && has(IDNO) && has(IDCANCEL)) type |= MB_YESNOCANCEL;
    else if (has(IDYES) && has(IDNO)) type |= MB_YESNO;
    else if (has(IDRETRY) && has(IDCANCEL)) type |= MB_RETRYCANCEL;
    else if (has(IDOK) && has(IDCANCEL)) type |= MB_OKCANCEL;
    return type;
}

LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam) {
    HWND hwnd = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE) {
        char cls[16] = {};
        if (GetClassNameA(hwnd, cls, sizeof cls) > 0 && std::strcmp(cls, "#32770") == 0)
            dialogAnswers().answer(hwnd);
    } else if (code == HCBT_DESTROYWND) {
        dialogAnswers().forget(hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

DialogAnswers::DialogAnswers() {
    hook_ = SetWindowsHookExA(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
}

DialogAnswers& dialogAnswers() {
    static DialogAnswers answers;
    return answers;
}

void DialogAnswers::queue(const std::string& text) { answers_.push_back(text); }

void DialogAnswers::clearQueue() { answers_.clear(); }

void DialogAnswers::onUnknownDialog(std::function<void(const std::string&)> report) { unknown_ = std::move(report); }

void DialogAnswers::forget(HWND dialog) {
    answered_.erase(std::remove(answered_.begin(), answered_.end(), dialog), answered_.end());
}

void DialogAnswers::answer(HWND dialog) {
    // Activation is reported again whenever a dialog regains the focus; each
    // is answered once.
    if (std::find(answered_.begin(), answered_.end(), dialog) != answered_.end()) return;
    answered_.push_back(dialog);
    if (GetDlgItem(dialog, QP_LENGTH_INPUT_EDIT)) {
        if (answers_.empty()) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        SetDlgItemTextA(dialog, QP_LENGTH_INPUT_EDIT, answers_.front().c_str());
        answers_.erase(answers_.begin());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return;
    }
    if (GetDlgItem(dialog, kMessageBoxText)) {
        boxes_.push_back({GetWindow(dialog, GW_OWNER), windowText(dialog), controlText(dialog, kMessageBoxText),
                          messageBoxType(dialog)});
        PostMessageA(dialog, WM_COMMAND, GetDlgItem(dialog, IDOK) ? IDOK : IDCANCEL, 0);
        return;
    }
    if (unknown_) unknown_(windowText(dialog));
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

#endif  // _WIN32

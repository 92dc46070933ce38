// The Windows side of the tests' scene (tests/support/scene.h): a hidden
// window of the test program, and a WH_CBT hook that answers the message
// boxes and dialogs the library opens, so that a run under wine never waits
// for a user. Linked into every Windows test program as an object, so the
// hook is in place before the first test, whether or not a test names the
// scene.
#if defined(_WIN32)

#include "tests/support/scene.h"

#include <cstring>
#include <deque>
#include <set>
#include <utility>

namespace {

constexpr char kWindowClass[] = "QpkitTestScene";
constexpr int kDefaultWidth = 1024;
constexpr int kDefaultHeight = 768;
// Control id of the text in the system's message box template.
constexpr int kMessageBoxText = 0xFFFF;
// Control id of the icon in the system's message box template.
constexpr int kMessageBoxIcon = 0x0440;

struct Scene {
    HWND window = nullptr;
    HHOOK hook = nullptr;
    std::vector<DeskMessageBox> boxes;
    std::deque<std::string> answers;
    std::vector<DeskSentMessage> sent;
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;
    // Dialogs already answered: activation is reported again whenever a
    // dialog regains the focus, and each must be answered once.
    std::set<HWND> answered;
};

Scene& scene() {
    static Scene s;
    return s;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND || message >= WM_USER) {
        Scene& s = scene();
        s.sent.push_back({hwnd, message, wParam, lParam});
        return s.handler ? s.handler(hwnd, message, wParam, lParam) : 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

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

void answerDialog(HWND dialog) {
    Scene& s = scene();
    if (!s.answered.insert(dialog).second) return;
    if (GetDlgItem(dialog, kSceneLengthEdit)) {
        // The host's "LENGTHINPUTDLG": type the next answer and press OK.
        if (s.answers.empty()) {
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        SetDlgItemTextA(dialog, kSceneLengthEdit, s.answers.front().c_str());
        s.answers.pop_front();
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        return;
    }
    if (GetDlgItem(dialog, kMessageBoxText)) {
        s.boxes.push_back({GetWindow(dialog, GW_OWNER), windowText(dialog),
                           controlText(dialog, kMessageBoxText), messageBoxType(dialog)});
        PostMessageA(dialog, WM_COMMAND, GetDlgItem(dialog, IDOK) ? IDOK : IDCANCEL, 0);
        return;
    }
    ADD_FAILURE() << "a dialog the tests do not know opened (caption \"" << windowText(dialog)
                  << "\"); cancelled";
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        char cls[16] = {};
        if (GetClassNameA(hwnd, cls, sizeof cls) > 0 && std::strcmp(cls, "#32770") == 0)
            answerDialog(hwnd);
    } else if (code == HCBT_DESTROYWND) {
        scene().answered.erase(reinterpret_cast<HWND>(wParam));
    }
    return CallNextHookEx(scene().hook, code, wParam, lParam);
}

HWND ensureWindow() {
    Scene& s = scene();
    if (s.window) return s.window;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);
    // A popup has no frame: its client rectangle is its window rectangle, and
    // at (0, 0) client and screen positions coincide.
    s.window = CreateWindowExA(0, kWindowClass, "Qpkit test scene", WS_POPUP, 0, 0,
                               kDefaultWidth, kDefaultHeight, nullptr, nullptr,
                               wc.hInstance, nullptr);
    if (!s.window) ADD_FAILURE() << "the scene window could not be created (" << GetLastError() << ")";
    return s.window;
}

// Before main: message boxes opened by any test are answered from the start.
const bool hookInstalled = [] {
    scene().hook = SetWindowsHookExA(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
    return scene().hook != nullptr;
}();

}  // namespace

void deskReset() {
    Scene& s = scene();
    if (!hookInstalled) ADD_FAILURE() << "the message box hook is not installed";
    ensureWindow();
    s.boxes.clear();
    s.answers.clear();
    s.sent.clear();
    s.handler = nullptr;
    deskSetClientRect(kDefaultWidth, kDefaultHeight);
    deskSetCursorClient(0, 0);
}

HWND deskWindow() { return ensureWindow(); }

HINSTANCE deskInstance() { return GetModuleHandleA(nullptr); }

POINT deskClientOrigin() {
    POINT origin = {0, 0};
    ClientToScreen(ensureWindow(), &origin);
    return origin;
}

void deskSetCursorClient(int x, int y) {
    POINT want = {x, y};
    ClientToScreen(ensureWindow(), &want);
    SetCursorPos(want.x, want.y);
    POINT got = {};
    GetCursorPos(&got);
    if (got.x != want.x || got.y != want.y)
        ADD_FAILURE() << "the cursor cannot reach client (" << x << ", " << y
                      << "): the screen is " << GetSystemMetrics(SM_CXSCREEN) << " x "
                      << GetSystemMetrics(SM_CYSCREEN) << " and the cursor stayed at (" << got.x
                      << ", " << got.y << ")";
}

POINT deskCursorClient() {
    POINT p = {};
    GetCursorPos(&p);
    ScreenToClient(ensureWindow(), &p);
    return p;
}

void deskSetClientRect(int width, int height) {
    SetWindowPos(ensureWindow(), nullptr, 0, 0, width, height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

const std::vector<DeskMessageBox>& deskMessageBoxes() { return scene().boxes; }

void deskQueueDialogAnswer(const std::string& text) { scene().answers.push_back(text); }

std::size_t deskQueuedDialogAnswers() { return scene().answers.size(); }

const std::vector<DeskSentMessage>& deskSentMessages() { return scene().sent; }

void deskSetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler) {
    scene().handler = std::move(handler);
}

#endif  // _WIN32

// The Windows side of the tests' scene (tests/support/scene.h): a hidden
// window of the test program, and a WH_CBT hook that answers the message
// boxes and dialogs the library opens, so that a run under wine never waits
// for a user. Linked into every Windows test program as an object, so the
// hook is in place before the first test, whether or not a test names the
// scene.
#if defined(_WIN32)

#include "tests/support/scene.h"

#include <utility>

#include "win/dialog_answers.h"

namespace {

constexpr char kWindowClass[] = "QpkitTestScene";
constexpr int kDefaultWidth = 1024;
constexpr int kDefaultHeight = 768;

struct Scene {
    HWND window = nullptr;
    std::vector<DeskSentMessage> sent;
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler;
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
    dialogAnswers().onUnknownDialog([](const std::string& caption) {
        ADD_FAILURE() << "a dialog the tests do not know opened (caption \"" << caption << "\"); cancelled";
    });
    return dialogAnswers().installed();
}();

}  // namespace

void deskReset() {
    Scene& s = scene();
    if (!hookInstalled) ADD_FAILURE() << "the message box hook is not installed";
    ensureWindow();
    dialogAnswers().clearBoxes();
    dialogAnswers().clearQueue();
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

const std::vector<DeskMessageBox>& deskMessageBoxes() { return dialogAnswers().boxes(); }

void deskQueueDialogAnswer(const std::string& text) { dialogAnswers().queue(text); }

std::size_t deskQueuedDialogAnswers() { return dialogAnswers().queued(); }

const std::vector<DeskSentMessage>& deskSentMessages() { return scene().sent; }

void deskSetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler) {
    scene().handler = std::move(handler);
}

#endif  // _WIN32

// The host's window on Windows: a real window of qpkit.exe, and what the
// host sees of the library's user interface, seen as any Windows host could
// see it (see host_window.h).
#include "host/host_window.h"

#include <cstring>
#include <utility>

#include "win/dialog_answers.h"

namespace host {

namespace {

constexpr char kWindowClass[] = "QpkitHostWindow";

// The library's modules, which draw the tools' texts, markers and lines:
// each one's GDI32 drawing imports are routed through the host while a
// window is open.
constexpr const char* kFamily[] = {"Qpkit6.dll", "Qpkit.dll", "Qpkit1.dll", "Qpkit2.dll", "Qpkit3.dll", "Qpkit4.dll"};

struct Routed {
    void** slot;
    void* original;
};

struct Window {
    HWND hwnd = nullptr;
    std::function<void(WPARAM)> onCommand;
    std::vector<DrawnText> texts;  // drawn into the window since watch()
    bool drew = false;             // anything drawn into the window since watch()
    std::vector<Routed> routed;
};
Window window;

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && hwnd == window.hwnd && window.onCommand) {
        window.onCommand(wParam);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

bool intoWindow(HDC hdc) { return window.hwnd && WindowFromDC(hdc) == window.hwnd; }

// What the library's drawing calls reach: each is noted when it draws into
// the host's window, then made (the host's own imports are not routed, so
// ::TextOutA and the others here are GDI32's).
BOOL WINAPI noteTextOut(HDC hdc, int x, int y, LPCSTR text, int length) {
    if (intoWindow(hdc)) {
        window.drew = true;
        if (text) window.texts.push_back({x, y, std::string(text, length > 0 ? static_cast<size_t>(length) : 0u)});
    }
    return TextOutA(hdc, x, y, text, length);
}
BOOL WINAPI noteLineTo(HDC hdc, int x, int y) {
    window.drew = window.drew || intoWindow(hdc);
    return LineTo(hdc, x, y);
}
BOOL WINAPI noteEllipse(HDC hdc, int left, int top, int right, int bottom) {
    window.drew = window.drew || intoWindow(hdc);
    return Ellipse(hdc, left, top, right, bottom);
}
BOOL WINAPI noteRectangle(HDC hdc, int left, int top, int right, int bottom) {
    window.drew = window.drew || intoWindow(hdc);
    return Rectangle(hdc, left, top, right, bottom);
}

// Every GDI32 call the library draws with (MoveToEx draws nothing), and
// what the host routes it through.
struct DrawingCall {
    const char* name;
    void* noting;
};
const DrawingCall kDrawingCalls[] = {
    {"TextOutA", reinterpret_cast<void*>(noteTextOut)},
    {"LineTo", reinterpret_cast<void*>(noteLineTo)},
    {"Ellipse", reinterpret_cast<void*>(noteEllipse)},
    {"Rectangle", reinterpret_cast<void*>(noteRectangle)},
};

// The import address table slot through which `module` calls GDI32's
// `function`; null when it does not import it. The module's own import
// tables (PE format) name it; nothing of the module's code is read.
void** gdiSlot(HMODULE module, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "gdi32.dll") != 0) continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk
                                                                                        : d->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void writeSlot(void** slot, void* value) {
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

void routeDrawing() {
    for (const char* name : kFamily) {
        HMODULE module = GetModuleHandleA(name);
        if (!module) continue;
        for (const DrawingCall& call : kDrawingCalls) {
            void** slot = gdiSlot(module, call.name);
            if (!slot) continue;
            window.routed.push_back({slot, *slot});
            writeSlot(slot, call.noting);
        }
    }
}

void unrouteDrawing() {
    for (const Routed& r : window.routed) writeSlot(r.slot, r.original);
    window.routed.clear();
}

// Messages the system posted to the window meanwhile (the cursor's moves,
// paints) are handled as any window's would be; none reaches a tool.
void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

HostWindow::HostWindow(int width, int height, std::function<void(WPARAM)> onCommand) {
    dialogAnswers();  // the hook, before the first tool may open a box
    WNDCLASSA wc = {};
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(nullptr);  // holds "LENGTHINPUTDLG"
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);
    // A popup has no frame: its client area is the whole window. Shown, so
    // that it keeps an update region; not activated.
    hwnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "qpkit", WS_POPUP, 0, 0, width, height, nullptr,
                            nullptr, wc.hInstance, nullptr);
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    window.hwnd = hwnd_;
    window.onCommand = std::move(onCommand);
    routeDrawing();
    pumpMessages();
}

HostWindow::~HostWindow() {
    unrouteDrawing();
    window.hwnd = nullptr;
    window.onCommand = nullptr;
    DestroyWindow(hwnd_);
    pumpMessages();
}

bool HostWindow::placeCursor(POINT p) {
    const LONG screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    POINT at = p;
    ClientToScreen(hwnd_, &at);
    // Off the screen: the window moves by the least that brings p onto it.
    LONG dx = at.x < 0 ? -at.x : (at.x >= screenWidth ? screenWidth - 1 - at.x : 0);
    LONG dy = at.y < 0 ? -at.y : (at.y >= screenHeight ? screenHeight - 1 - at.y : 0);
    if (dx != 0 || dy != 0) {
        RECT r;
        GetWindowRect(hwnd_, &r);
        SetWindowPos(hwnd_, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        at = p;
        ClientToScreen(hwnd_, &at);
    }
    SetCursorPos(at.x, at.y);
    return cursor().x == p.x && cursor().y == p.y;
}

POINT HostWindow::cursor() const {
    POINT p = {0, 0};
    GetCursorPos(&p);
    ScreenToClient(hwnd_, &p);
    return p;
}

void HostWindow::queueDialogAnswer(const std::string& gbk) { dialogAnswers().queue(gbk); }

void HostWindow::watch() {
    pumpMessages();
    // Whatever asked for a repaint before (a move, the window shown) has
    // been painted; the update region is the call's own from here.
    ValidateRect(hwnd_, nullptr);
    window.texts.clear();
    window.drew = false;
    dialogAnswers().clearBoxes();
}

Shown HostWindow::seen() {
    Shown shown;
    shown.texts = std::move(window.texts);
    window.texts.clear();
    shown.drew = window.drew;
    window.drew = false;
    for (const AnsweredBox& box : dialogAnswers().boxes()) shown.boxes.push_back({box.caption, box.text});
    dialogAnswers().clearBoxes();
    shown.invalidated = GetUpdateRect(hwnd_, nullptr, FALSE) != 0;
    ValidateRect(hwnd_, nullptr);
    return shown;
}

void traceDrawing(const std::function<void(HDC)>& draw, const std::function<void(bool, int, int)>& sink) {
    // A memory device context records the drawing as a path: every MoveToEx
    // that a LineTo follows and every LineTo, in logical pixels, as drawn.
    HDC hdc = CreateCompatibleDC(nullptr);
    BeginPath(hdc);
    draw(hdc);
    EndPath(hdc);
    const int n = GetPath(hdc, nullptr, nullptr, 0);
    if (n > 0) {
        std::vector<POINT> points(static_cast<size_t>(n));
        std::vector<BYTE> kinds(static_cast<size_t>(n));
        GetPath(hdc, points.data(), kinds.data(), n);
        for (int i = 0; i < n; ++i) {
            const BYTE kind = kinds[static_cast<size_t>(i)] & static_cast<BYTE>(~PT_CLOSEFIGURE);
            sink(kind == PT_MOVETO, points[static_cast<size_t>(i)].x, points[static_cast<size_t>(i)].y);
        }
    }
    DeleteDC(hdc);
}

}  // namespace host

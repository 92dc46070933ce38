// The desktop stand-in: every Win32 call of win32.h, recorded against one
// scriptable window (see desktop.h for the design and the test API).
#include "win/desktop.h"
#include "win/desktop_parts.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>

namespace {

// Fixed handle values.  Everything made at run time comes from
// deskparts::takeHandle.
constexpr std::uintptr_t kWindowHandle = 0x10;
constexpr std::uintptr_t kInstanceHandle = 0x20;
constexpr std::uintptr_t kStockBase = 0x100;  // stock object i: kStockBase + 4 i
constexpr int kStockCount = 20;
constexpr int kSystemFont = 13;
constexpr POINT kClientOrigin{100, 50};  // screen position of client (0, 0)

HANDLE asHandle(std::uintptr_t v) { return reinterpret_cast<HANDLE>(v); }
std::uintptr_t asValue(const void* h) { return reinterpret_cast<std::uintptr_t>(h); }

}  // namespace

namespace deskparts {

std::uintptr_t takeHandle() {
    // Only grows, so that a handle kept across deskReset is still stale.
    static std::uintptr_t next = 0x1000;
    const std::uintptr_t h = next;
    next += 4;
    return h;
}

std::string hex(const void* h) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(h)));
    return text;
}

}  // namespace deskparts

namespace {

using deskparts::hex;

struct ActiveDialog {
    HWND handle = nullptr;
    std::string answer;
    bool ended = false;
    INT_PTR result = -1;
};

struct Desk {
    POINT cursor{0, 0};
    LONG clientWidth = 1024;
    LONG clientHeight = 768;
    std::vector<DeskCall> log;
    std::map<std::uintptr_t, DeskObject> objects;
    std::map<std::uintptr_t, DeskDC> dcs;
    std::set<std::uintptr_t> openDcs;  // the open ones of dcs, for quick scans
    std::vector<std::string> faults;
    std::vector<DeskMessageBox> boxes;
    std::deque<std::string> answers;
    std::vector<DeskDialog> dialogs;
    std::vector<ActiveDialog> openDialogs;  // innermost last
    std::vector<DeskSentMessage> sent;
    std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> sendHandler;
    std::vector<DeskInvalidation> invalidations;

    Desk() { addStockObjects(); }

    void addStockObjects() {
        static const COLORREF brushColours[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        for (int i = 0; i < kStockCount; ++i) {
            DeskObject o;
            o.stockIndex = i;
            o.live = true;
            if (i <= BLACK_BRUSH) {
                o.kind = DeskObjectKind::StockBrush;
                o.colour = brushColours[i];
            } else if (i == NULL_BRUSH || i == 18 /* DC_BRUSH */) {
                o.kind = DeskObjectKind::StockBrush;
                o.colour = i == 18 ? 0xFFFFFF : 0;
            } else if (i == WHITE_PEN || i == BLACK_PEN || i == NULL_PEN || i == 19 /* DC_PEN */) {
                o.kind = DeskObjectKind::StockPen;
                o.colour = i == WHITE_PEN ? 0xFFFFFF : 0;
                o.width = 1;
            } else if (i == 9) {
                continue;  // no stock object 9 on Windows either
            } else {
                o.kind = DeskObjectKind::StockOther;  // fonts and the palette
            }
            objects[kStockBase + 4 * i] = o;
        }
    }

};

// Never destroyed: code that frees its blocks from static destructors at
// exit still finds the desktop there.
Desk& desk() {
    static Desk* d = new Desk;
    return *d;
}

void fault(const std::string& what) { desk().faults.push_back(what); }

}  // namespace

void deskparts::fault(const std::string& what) { desk().faults.push_back(what); }

namespace {

HGDIOBJ stockHandle(int i) { return asHandle(kStockBase + 4 * i); }

DeskObject* findObject(HGDIOBJ h) {
    auto it = desk().objects.find(asValue(h));
    return it == desk().objects.end() ? nullptr : &it->second;
}

bool isCreated(HGDIOBJ h) {
    const DeskObject* o = findObject(h);
    return o && (o->kind == DeskObjectKind::Pen || o->kind == DeskObjectKind::Brush);
}

const char* kindName(const DeskObject& o) {
    switch (o.kind) {
    case DeskObjectKind::Pen: return "pen";
    case DeskObjectKind::Brush: return "brush";
    case DeskObjectKind::StockPen: return "stock pen";
    case DeskObjectKind::StockBrush: return "stock brush";
    case DeskObjectKind::StockOther: return "stock object";
    default: return "object";
    }
}

DeskDC* findDC(HDC hdc) {
    auto it = desk().dcs.find(asValue(hdc));
    return it == desk().dcs.end() ? nullptr : &it->second;
}

// Appends the call with the device context's state as it is now; returns
// its index (the log may grow while a dialog or a message handler runs, so
// callers that call out keep the index, not a reference).
std::size_t logCall(const char* name, HDC hdc = nullptr) {
    DeskCall c;
    c.name = name;
    c.hdc = hdc;
    if (const DeskDC* dc = hdc ? findDC(hdc) : nullptr) {
        c.rop2 = dc->rop2;
        c.bkMode = dc->bkMode;
        c.textColour = dc->textColour;
        c.pen = dc->pen;
        c.brush = dc->brush;
    }
    desk().log.push_back(std::move(c));
    return desk().log.size() - 1;
}

DeskCall& entry(std::size_t i) { return desk().log[i]; }

// The open device context behind hdc, or null (and a fault) when the handle
// is null, unknown or already released.
DeskDC* openDC(HDC hdc, const char* function) {
    DeskDC* dc = findDC(hdc);
    if (!dc) {
        fault(std::string(function) + ": unknown device context " + hex(hdc));
        return nullptr;
    }
    if (!dc->open) {
        fault(std::string(function) + ": device context " + hex(hdc) + " was already released");
        return nullptr;
    }
    return dc;
}

bool isOurWindow(HWND hwnd) { return asValue(hwnd) == kWindowHandle; }

ActiveDialog* findDialog(HWND dialog) {
    for (auto& d : desk().openDialogs) {
        if (d.handle == dialog) return &d;
    }
    return nullptr;
}

}  // namespace

bool DeskObject::isNull() const {
    return (kind == DeskObjectKind::StockPen && stockIndex == NULL_PEN) ||
           (kind == DeskObjectKind::StockBrush && stockIndex == NULL_BRUSH);
}

// ---- test and host API ----------------------------------------------------------

DeskPathSink& pathSink();

void deskReset() {
    Desk& d = desk();
    deskparts::freeAllBlocks();
    pathSink() = nullptr;
    d.cursor = POINT{0, 0};
    d.clientWidth = 1024;
    d.clientHeight = 768;
    d.log.clear();
    d.objects.clear();
    d.addStockObjects();
    d.dcs.clear();
    d.openDcs.clear();
    d.faults.clear();
    d.boxes.clear();
    d.answers.clear();
    d.dialogs.clear();
    d.openDialogs.clear();
    d.sent.clear();
    d.sendHandler = nullptr;
    d.invalidations.clear();
}

HWND deskWindow() { return asHandle(kWindowHandle); }
HINSTANCE deskInstance() { return asHandle(kInstanceHandle); }
POINT deskClientOrigin() { return kClientOrigin; }
void deskSetCursorClient(int x, int y) { desk().cursor = POINT{x, y}; }
POINT deskCursorClient() { return desk().cursor; }

void deskSetClientRect(int width, int height) {
    desk().clientWidth = width;
    desk().clientHeight = height;
}

const std::vector<DeskCall>& deskLog() { return desk().log; }
void deskClearLog() { desk().log.clear(); }

std::vector<DeskCall> deskCalls(const std::string& name) {
    std::vector<DeskCall> out;
    for (const auto& c : desk().log) {
        if (c.name == name) out.push_back(c);
    }
    return out;
}

std::string deskTextOut() {
    std::string out;
    bool first = true;
    for (const auto& c : desk().log) {
        if (c.name != "TextOutA") continue;
        if (!first) out += '\n';
        out += c.text;
        first = false;
    }
    return out;
}

int deskLivePens() {
    int n = 0;
    for (const auto& e : desk().objects) n += e.second.kind == DeskObjectKind::Pen && e.second.live;
    return n;
}

int deskLiveBrushes() {
    int n = 0;
    for (const auto& e : desk().objects) n += e.second.kind == DeskObjectKind::Brush && e.second.live;
    return n;
}

int deskOpenDCs() {
    int n = 0;
    for (const auto& e : desk().dcs) n += e.second.open;
    return n;
}

DeskObject deskObject(HGDIOBJ object) {
    const DeskObject* o = findObject(object);
    return o ? *o : DeskObject{};
}

DeskDC deskDC(HDC hdc) {
    const DeskDC* dc = findDC(hdc);
    return dc ? *dc : DeskDC{};
}

const std::vector<std::string>& deskFaults() { return desk().faults; }

std::string deskCheckDiscipline() {
    std::string out;
    auto line = [&out](const std::string& s) { out += s + "\n"; };
    for (const auto& e : desk().objects) {
        const DeskObject& o = e.second;
        if ((o.kind == DeskObjectKind::Pen || o.kind == DeskObjectKind::Brush) && o.live) {
            line(std::string(kindName(o)) + " " + hex(asHandle(e.first)) + " was never deleted");
        }
    }
    for (const auto& e : desk().dcs) {
        if (e.second.open) line("device context " + hex(asHandle(e.first)) + " was never released");
    }
    for (const auto& f : desk().faults) line(f);
    for (const auto& h : deskparts::heapProblems()) line(h);
    return out;
}

const std::vector<DeskMessageBox>& deskMessageBoxes() { return desk().boxes; }
void deskQueueDialogAnswer(const std::string& text) { desk().answers.push_back(text); }
std::size_t deskQueuedDialogAnswers() { return desk().answers.size(); }
const std::vector<DeskDialog>& deskDialogs() { return desk().dialogs; }
const std::vector<DeskSentMessage>& deskSentMessages() { return desk().sent; }

void deskSetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler) {
    desk().sendHandler = std::move(handler);
}

const std::vector<DeskInvalidation>& deskInvalidations() { return desk().invalidations; }

// ---- USER32 ---------------------------------------------------------------------

BOOL WINAPI GetCursorPos(LPPOINT p) {
    DeskCall& c = entry(logCall("GetCursorPos"));
    if (!p) {
        fault("GetCursorPos: null point");
        return FALSE;
    }
    p->x = desk().cursor.x + kClientOrigin.x;
    p->y = desk().cursor.y + kClientOrigin.y;
    c.args = {p->x, p->y};
    c.result = TRUE;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT p) {
    DeskCall& c = entry(logCall("ScreenToClient"));
    c.object = hwnd;
    if (!isOurWindow(hwnd) || !p) {
        fault("ScreenToClient: " + std::string(p ? "unknown window " + hex(hwnd) : "null point"));
        return FALSE;
    }
    p->x -= kClientOrigin.x;
    p->y -= kClientOrigin.y;
    c.args = {p->x, p->y};
    c.result = TRUE;
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT r) {
    DeskCall& c = entry(logCall("GetClientRect"));
    c.object = hwnd;
    if (!isOurWindow(hwnd) || !r) {
        fault("GetClientRect: " + std::string(r ? "unknown window " + hex(hwnd) : "null rectangle"));
        return FALSE;
    }
    *r = RECT{0, 0, desk().clientWidth, desk().clientHeight};
    c.args = {r->left, r->top, r->right, r->bottom};
    c.result = TRUE;
    return TRUE;
}

HDC WINAPI GetDC(HWND hwnd) {
    DeskCall& c = entry(logCall("GetDC"));
    c.object = hwnd;
    // A null window is the screen, which Windows also hands out.
    if (hwnd && !isOurWindow(hwnd)) {
        fault("GetDC: unknown window " + hex(hwnd));
        return nullptr;
    }
    HDC hdc = asHandle(deskparts::takeHandle());
    DeskDC dc;
    dc.window = hwnd ? hwnd : asHandle(0);
    dc.open = true;
    dc.pen = stockHandle(BLACK_PEN);
    dc.brush = stockHandle(WHITE_BRUSH);
    desk().dcs[asValue(hdc)] = dc;
    desk().openDcs.insert(asValue(hdc));
    c.hdc = hdc;
    c.result = static_cast<long>(asValue(hdc));
    return hdc;
}

int WINAPI ReleaseDC(HWND hwnd, HDC hdc) {
    DeskCall& c = entry(logCall("ReleaseDC", hdc));
    c.object = hwnd;
    DeskDC* dc = openDC(hdc, "ReleaseDC");
    if (!dc) return 0;
    if (dc->window != hwnd) {
        fault("ReleaseDC: device context " + hex(hdc) + " belongs to window " + hex(dc->window) +
              ", released for " + hex(hwnd));
    }
    for (HGDIOBJ held : {dc->pen, dc->brush}) {
        if (isCreated(held)) {
            fault("ReleaseDC: " + std::string(kindName(*findObject(held))) + " " + hex(held) +
                  " is still selected into device context " + hex(hdc));
        }
    }
    dc->open = false;
    desk().openDcs.erase(asValue(hdc));
    c.result = 1;
    return 1;
}

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* r, BOOL erase) {
    DeskCall& c = entry(logCall("InvalidateRect"));
    c.object = hwnd;
    c.args = {erase};
    if (r) c.args.insert(c.args.end(), {r->left, r->top, r->right, r->bottom});
    if (hwnd && !isOurWindow(hwnd)) {
        fault("InvalidateRect: unknown window " + hex(hwnd));
        return FALSE;
    }
    DeskInvalidation inv{hwnd, r == nullptr, r ? *r : RECT{0, 0, 0, 0}, erase != FALSE};
    desk().invalidations.push_back(inv);
    c.result = TRUE;
    return TRUE;
}

int WINAPI MessageBoxA(HWND hwnd, LPCSTR text, LPCSTR caption, UINT type) {
    DeskCall& c = entry(logCall("MessageBoxA"));
    c.object = hwnd;
    c.args = {static_cast<long>(type)};
    c.text = text ? text : "";
    c.result = IDOK;
    desk().boxes.push_back(DeskMessageBox{hwnd, caption ? caption : "", text ? text : "", type});
    return IDOK;
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC proc, LPARAM init) {
    std::size_t at = logCall("DialogBoxParamA");
    std::string name;
    if (asValue(templateName) < 0x10000) {
        name = "#" + std::to_string(asValue(templateName));  // MAKEINTRESOURCE id
    } else {
        name = templateName;
    }
    entry(at).object = owner;
    entry(at).args = {static_cast<long>(init)};
    entry(at).text = name;
    if (!proc) {
        fault("DialogBoxParamA: no dialog procedure for \"" + name + "\"");
        entry(at).result = -1;
        return -1;
    }
    DeskDialog record{instance, name, owner, init, false, std::string(), -1};
    ActiveDialog active;
    active.handle = asHandle(deskparts::takeHandle());
    if (!desk().answers.empty()) {
        record.answered = true;
        record.answer = active.answer = desk().answers.front();
        desk().answers.pop_front();
    }
    desk().openDialogs.push_back(active);
    HWND dialog = active.handle;
    proc(dialog, WM_INITDIALOG, 0, init);
    if (!findDialog(dialog)->ended) {
        proc(dialog, WM_COMMAND, record.answered ? IDOK : IDCANCEL, 0);
    }
    ActiveDialog done = *findDialog(dialog);
    desk().openDialogs.pop_back();
    if (!done.ended) {
        fault("DialogBoxParamA: the procedure of \"" + name + "\" never called EndDialog");
    }
    record.result = done.ended ? done.result : -1;
    desk().dialogs.push_back(record);
    entry(at).result = static_cast<long>(record.result);
    return record.result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    DeskCall& c = entry(logCall("EndDialog"));
    c.object = dialog;
    c.args = {static_cast<long>(result)};
    ActiveDialog* d = findDialog(dialog);
    if (!d) {
        fault("EndDialog: no open dialog " + hex(dialog));
        return FALSE;
    }
    d->ended = true;
    d->result = result;
    c.result = TRUE;
    return TRUE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int item, char* text, int size) {
    DeskCall& c = entry(logCall("GetDlgItemTextA"));
    c.object = dialog;
    c.args = {item, size};
    if (!text || size <= 0) return 0;
    text[0] = '\0';
    const ActiveDialog* d = findDialog(dialog);
    if (!d) {
        fault("GetDlgItemTextA: no open dialog " + hex(dialog));
        return 0;
    }
    // As on Windows: at most size - 1 bytes, always terminated.
    std::size_t n = d->answer.size();
    if (n > static_cast<std::size_t>(size - 1)) n = static_cast<std::size_t>(size - 1);
    std::memcpy(text, d->answer.data(), n);
    text[n] = '\0';
    c.text = std::string(text, n);
    c.result = static_cast<long>(n);
    return static_cast<UINT>(n);
}

LONG WINAPI GetWindowLongA(HWND hwnd, int index) {
    DeskCall& c = entry(logCall("GetWindowLongA"));
    c.object = hwnd;
    c.args = {index};
    if (!isOurWindow(hwnd)) {
        fault("GetWindowLongA: unknown window " + hex(hwnd));
        return 0;
    }
    LONG result = index == GWL_HINSTANCE ? static_cast<LONG>(kInstanceHandle) : 0;
    c.result = result;
    return result;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::size_t at = logCall("SendMessageA");
    entry(at).object = hwnd;
    entry(at).args = {static_cast<long>(message), static_cast<long>(wParam), static_cast<long>(lParam)};
    desk().sent.push_back(DeskSentMessage{hwnd, message, wParam, lParam});
    LRESULT result = 0;
    if (desk().sendHandler) {
        auto handler = desk().sendHandler;  // the handler may replace itself
        result = handler(hwnd, message, wParam, lParam);
    }
    entry(at).result = static_cast<long>(result);
    return result;
}

// ---- GDI32 ------------------------------------------------------------------------

HPEN WINAPI CreatePen(int style, int width, COLORREF colour) {
    DeskCall& c = entry(logCall("CreatePen"));
    c.args = {style, width};
    c.colour = colour;
    HPEN pen = asHandle(deskparts::takeHandle());
    DeskObject o;
    o.kind = DeskObjectKind::Pen;
    o.style = style;
    o.width = width;
    o.colour = colour;
    o.live = true;
    desk().objects[asValue(pen)] = o;
    c.object = pen;
    c.result = static_cast<long>(asValue(pen));
    return pen;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF colour) {
    DeskCall& c = entry(logCall("CreateSolidBrush"));
    c.colour = colour;
    HBRUSH brush = asHandle(deskparts::takeHandle());
    DeskObject o;
    o.kind = DeskObjectKind::Brush;
    o.colour = colour;
    o.live = true;
    desk().objects[asValue(brush)] = o;
    c.object = brush;
    c.result = static_cast<long>(asValue(brush));
    return brush;
}

HGDIOBJ WINAPI GetStockObject(int object) {
    DeskCall& c = entry(logCall("GetStockObject"));
    c.args = {object};
    if (object < 0 || object >= kStockCount || !findObject(stockHandle(object))) return nullptr;
    c.object = stockHandle(object);
    c.result = static_cast<long>(asValue(c.object));
    return c.object;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object) {
    DeskCall& c = entry(logCall("SelectObject", hdc));
    c.object = object;
    DeskDC* dc = openDC(hdc, "SelectObject");
    if (!dc) return nullptr;
    DeskObject* o = findObject(object);
    if (!o) {
        fault("SelectObject: unknown object " + hex(object));
        return nullptr;
    }
    if (!o->live) {
        fault("SelectObject: " + std::string(kindName(*o)) + " " + hex(object) + " was already deleted");
        return nullptr;
    }
    HGDIOBJ previous = nullptr;
    switch (o->kind) {
    case DeskObjectKind::Pen:
    case DeskObjectKind::StockPen:
        previous = dc->pen;
        dc->pen = object;
        break;
    case DeskObjectKind::Brush:
    case DeskObjectKind::StockBrush:
        previous = dc->brush;
        dc->brush = object;
        break;
    default:
        previous = stockHandle(kSystemFont);  // fonts are not followed
        break;
    }
    c.result = static_cast<long>(asValue(previous));
    return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    DeskCall& c = entry(logCall("DeleteObject"));
    c.object = object;
    if (!object) return FALSE;
    DeskObject* o = findObject(object);
    if (!o) {
        fault("DeleteObject: unknown object " + hex(object));
        return FALSE;
    }
    if (o->kind == DeskObjectKind::StockPen || o->kind == DeskObjectKind::StockBrush ||
        o->kind == DeskObjectKind::StockOther) {
        c.result = TRUE;  // stock objects ignore deletion
        return TRUE;
    }
    if (!o->live) {
        fault("DeleteObject: " + std::string(kindName(*o)) + " " + hex(object) + " was already deleted");
        return FALSE;
    }
    // Only open device contexts can hold it (a released one gave its
    // objects back); scanning every one ever made would grow without end.
    for (std::uintptr_t key : desk().openDcs) {
        const DeskDC& dc = desk().dcs[key];
        if (dc.pen == object || dc.brush == object) {
            fault("DeleteObject: " + std::string(kindName(*o)) + " " + hex(object) +
                  " is still selected into device context " + hex(asHandle(key)));
            return FALSE;
        }
    }
    o->live = false;
    c.result = TRUE;
    return TRUE;
}

int WINAPI SetROP2(HDC hdc, int mode) {
    DeskCall& c = entry(logCall("SetROP2", hdc));
    c.args = {mode};
    DeskDC* dc = openDC(hdc, "SetROP2");
    if (!dc) return 0;
    int previous = dc->rop2;
    dc->rop2 = mode;
    c.result = previous;
    return previous;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    DeskCall& c = entry(logCall("SetBkMode", hdc));
    c.args = {mode};
    DeskDC* dc = openDC(hdc, "SetBkMode");
    if (!dc) return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    c.result = previous;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF colour) {
    DeskCall& c = entry(logCall("SetTextColor", hdc));
    c.colour = colour;
    DeskDC* dc = openDC(hdc, "SetTextColor");
    if (!dc) return 0xFFFFFFFF;  // CLR_INVALID
    COLORREF previous = dc->textColour;
    dc->textColour = colour;
    c.result = static_cast<long>(previous);
    return previous;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR text, int length) {
    DeskCall& c = entry(logCall("TextOutA", hdc));
    c.args = {x, y};
    if (!openDC(hdc, "TextOutA")) return FALSE;
    if (length < 0 || (length > 0 && !text)) {
        fault("TextOutA: bad text (length " + std::to_string(length) + ")");
        return FALSE;
    }
    c.text.assign(text ? text : "", static_cast<std::size_t>(length));
    // A zero byte inside the length means the caller counted past its text.
    if (c.text.find('\0') != std::string::npos) {
        fault("TextOutA: the " + std::to_string(length) + " bytes drawn hold a zero byte");
    }
    c.result = TRUE;
    return TRUE;
}

DeskPathSink& pathSink() {
    static DeskPathSink sink;
    return sink;
}

DeskPathSink deskSetPathSink(DeskPathSink sink) {
    DeskPathSink previous = std::move(pathSink());
    pathSink() = std::move(sink);
    return previous;
}

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT previous) {
    if (pathSink()) {
        DeskDC* dc = openDC(hdc, "MoveToEx");
        if (!dc) return FALSE;
        if (previous) *previous = dc->position;
        dc->position = POINT{x, y};
        pathSink()(hdc, true, x, y);
        return TRUE;
    }
    DeskCall& c = entry(logCall("MoveToEx", hdc));
    c.args = {x, y};
    DeskDC* dc = openDC(hdc, "MoveToEx");
    if (!dc) return FALSE;
    if (previous) *previous = dc->position;
    dc->position = POINT{x, y};
    c.result = TRUE;
    return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
    if (pathSink()) {
        DeskDC* dc = openDC(hdc, "LineTo");
        if (!dc) return FALSE;
        dc->position = POINT{x, y};
        pathSink()(hdc, false, x, y);
        return TRUE;
    }
    DeskCall& c = entry(logCall("LineTo", hdc));
    c.args = {x, y};
    DeskDC* dc = openDC(hdc, "LineTo");
    if (!dc) return FALSE;
    dc->position = POINT{x, y};
    c.result = TRUE;
    return TRUE;
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
    DeskCall& c = entry(logCall("Ellipse", hdc));
    c.args = {left, top, right, bottom};
    if (!openDC(hdc, "Ellipse")) return FALSE;
    c.result = TRUE;
    return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    DeskCall& c = entry(logCall("Rectangle", hdc));
    c.args = {left, top, right, bottom};
    if (!openDC(hdc, "Rectangle")) return FALSE;
    c.result = TRUE;
    return TRUE;
}


// The desktop stand-in: what tests and the qpkit host see of the Win32
// calls declared in win32.h (Linux only; nothing of the library includes it).
//
// One window.  deskWindow() is its HWND.  Its client origin sits at screen
// position deskClientOrigin() = (100, 50), so that GetCursorPos reports
// screen pixels and ScreenToClient really converts.  The cursor is set by
// client position (deskSetCursorClient), the client rectangle by its size
// (deskSetClientRect; (0, 0, 1024, 768) after deskReset).
//
// Handles.  Window, instance, device contexts, pens, brushes, stock objects
// and global blocks are distinct fake handles: small integers (they fit the
// LONG that GetWindowLongA returns) that are never reused within a process,
// so a stale handle is always recognised as stale.  Stock objects are never
// created; DeleteObject on one is harmless, as on Windows.  A new device
// context holds the stock BLACK_PEN and WHITE_BRUSH, R2_COPYPEN, OPAQUE
// background and black text, pen position (0, 0).
//
// The log.  Every call of a USER32 or GDI32 function appends one DeskCall:
// its name, device context, integer arguments in the order of the call,
// colour, text bytes (GBK as given), the object handle it took or made, its
// result, and the device context's state (mode, pen, brush, background mode,
// text colour) as it was when the call came in.  The stand-in only records;
// it draws nothing.
//
// Discipline.  Drawing objects are counted: created and not yet deleted
// (deskLivePens, deskLiveBrushes), device contexts got and not yet released
// (deskOpenDCs).  Misuse is recorded in deskFaults() as one readable line
// each: deleting an object that is still selected into a device context
// (the object stays alive, DeleteObject returns FALSE), releasing a device
// context that still holds a created pen or brush, using a released or
// unknown device context or object, unlocking a block that is not locked,
// freeing a block twice, a block whose guard bytes were overwritten.
// deskCheckDiscipline() sums all this up as one text, empty when sound.
//
// Message boxes return IDOK and are recorded with caption and text bytes.
// Dialogs: DialogBoxParamA calls the procedure with WM_INITDIALOG, then
// answers with the next queued text (deskQueueDialogAnswer): GetDlgItemTextA
// on the dialog gives that text and the procedure gets WM_COMMAND IDOK; with
// no answer queued it gets WM_COMMAND IDCANCEL.  The result is what the
// procedure passed to EndDialog; a procedure that never calls EndDialog gets
// -1 (the Windows failure value) and a fault, instead of a hung dialog.
//
// Global memory.  GlobalAlloc(GMEM_MOVEABLE [| GMEM_ZEROINIT], n) gives a
// handle; GlobalLock gives the block's address and counts locks; GlobalHandle
// maps a block's start address back to its handle (null for any other
// pointer); GlobalFree releases the block (also when locked, as on Windows)
// and returns null, or the handle itself on failure; GlobalSize is the size
// asked for.  Bytes not zero-initialised start as 0xCD so that code which
// relies on fresh memory being zero shows up.  Sixteen guard bytes before and
// after every block are checked at GlobalFree and by deskCheckHeap().  A
// moveable block of 0 bytes is allocated discarded and locks to null, as on
// Windows; GMEM_FIXED blocks use their address as their handle.
//
// Single-threaded, like the window thread it stands for.
#pragma once

#if defined(_WIN32)
#  error "win/desktop.h is the Linux desktop stand-in; it does not exist on Windows"
#endif

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "win/win32.h"

// What one USER32/GDI32 call did.
struct DeskCall {
    std::string name;          // the function's name, e.g. "Rectangle"
    HDC hdc = nullptr;         // device context, null for calls that take none
    std::vector<long> args;    // integer arguments in call order (see below)
    COLORREF colour = 0;       // CreatePen, CreateSolidBrush, SetTextColor
    std::string text;          // TextOutA bytes (exactly `length`), MessageBoxA text
    HANDLE object = nullptr;   // object selected, deleted, created or got; the window
    long result = 0;           // the call's result as an integer (handles: their value)
    // State of `hdc` when the call came in (zero/null for calls without one).
    int rop2 = 0;
    int bkMode = 0;
    COLORREF textColour = 0;
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
};
// args by function:
//   MoveToEx, LineTo, TextOutA          x, y
//   Rectangle, Ellipse                  left, top, right, bottom
//   SetROP2, SetBkMode                  mode
//   CreatePen                           style, width          (colour in colour)
//   GetStockObject                      index
//   InvalidateRect                      erase, then left, top, right, bottom if a rect was given
//   SendMessageA                        message, wParam, lParam
//   MessageBoxA                         type                  (text in text)
//   DialogBoxParamA                     init                  (template name in text)
//   EndDialog                           result
//   GetDlgItemTextA                     item, size
//   GetWindowLongA                      index
//   GetCursorPos, ScreenToClient        the point returned
//   GetClientRect                       left, top, right, bottom returned

enum class DeskObjectKind { None, Pen, Brush, StockPen, StockBrush, StockOther };

// A drawing object, alive or not (records are kept until deskReset).
struct DeskObject {
    DeskObjectKind kind = DeskObjectKind::None;
    int style = 0;             // pen style
    int width = 0;             // pen width in pixels
    COLORREF colour = 0;
    int stockIndex = -1;       // GetStockObject index for stock objects
    bool live = false;         // created (or stock) and not deleted
    bool isNull() const;       // NULL_PEN or NULL_BRUSH (HOLLOW_BRUSH)
};

// A device context, open or released.
struct DeskDC {
    HWND window = nullptr;
    bool open = false;
    int rop2 = R2_COPYPEN;
    int bkMode = OPAQUE;
    COLORREF textColour = 0;
    HGDIOBJ pen = nullptr;
    HGDIOBJ brush = nullptr;
    POINT position{0, 0};      // current pen position (MoveToEx, LineTo)
};

struct DeskMessageBox {
    HWND hwnd;
    std::string caption;       // GBK bytes, empty for a null caption
    std::string text;          // GBK bytes
    UINT type;
};

struct DeskDialog {
    HINSTANCE instance;
    std::string templateName;  // "#123" for an integer resource id
    HWND owner;
    LPARAM init;
    bool answered;             // an answer was queued and given
    std::string answer;
    INT_PTR result;            // what EndDialog received, -1 if never called
};

struct DeskSentMessage {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct DeskInvalidation {
    HWND hwnd;
    bool whole;                // null rectangle: the whole client area
    RECT rect;                 // as given (meaningless when whole)
    bool erase;
};

struct DeskBlock {
    HGLOBAL handle;
    std::size_t size;          // bytes asked for
    int locks;
    void* data;
};

// ---- the scene ---------------------------------------------------------------
// Back to the start: one window, empty log, no objects, no blocks, no faults,
// no queued answers, cursor at client (0, 0), client 1024 x 768.  Blocks still
// alive are freed.  Handles are not reused afterwards either.
void deskReset();
HWND deskWindow();
HINSTANCE deskInstance();
POINT deskClientOrigin();
void deskSetCursorClient(int x, int y);
POINT deskCursorClient();
void deskSetClientRect(int width, int height);

// ---- the log -----------------------------------------------------------------
const std::vector<DeskCall>& deskLog();
void deskClearLog();
// Calls of one function, in order.
std::vector<DeskCall> deskCalls(const std::string& name);
// Every TextOutA text, in order, joined with '\n' between calls.
std::string deskTextOut();

// ---- path calls handed over instead of logged ----------------------------------
// A large piece's drawing makes hundreds of thousands of MoveToEx and LineTo
// calls. While a sink is set, each of them goes to the sink (move: MoveToEx)
// instead of the log; the device context is checked and its pen position
// kept as always, faults are recorded as always. Returns the sink it
// replaces; null logs them again (the default, which tests rely on, and
// what deskReset sets).
using DeskPathSink = std::function<void(HDC hdc, bool move, int x, int y)>;
DeskPathSink deskSetPathSink(DeskPathSink sink);

// ---- drawing objects and device contexts ------------------------------------
int deskLivePens();
int deskLiveBrushes();
int deskOpenDCs();
DeskObject deskObject(HGDIOBJ object);   // kind None for unknown handles
DeskDC deskDC(HDC hdc);                  // window null for unknown handles
const std::vector<std::string>& deskFaults();
// "" when every created pen and brush is deleted, every device context
// released, no fault was recorded and the heap's guards are intact;
// otherwise one line per problem.  Global blocks still alive are not counted
// here (the pattern itself lives in them): compare deskLiveBlocks() instead.
std::string deskCheckDiscipline();

// ---- user interface ------------------------------------------------------------
const std::vector<DeskMessageBox>& deskMessageBoxes();
void deskQueueDialogAnswer(const std::string& text);
std::size_t deskQueuedDialogAnswers();
const std::vector<DeskDialog>& deskDialogs();
const std::vector<DeskSentMessage>& deskSentMessages();
// What SendMessageA does besides recording (the host answers the tools'
// commands with it); returns 0 when none is set.  deskReset removes it.
void deskSetSendMessageHandler(std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)> handler);
const std::vector<DeskInvalidation>& deskInvalidations();

// ---- global memory ---------------------------------------------------------------
std::vector<DeskBlock> deskLiveBlocks();
// Checks the guard bytes of every live block: "" when all are intact,
// otherwise one line per damaged block (each also recorded as a fault).
std::string deskCheckHeap();

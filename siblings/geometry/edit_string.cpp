// Qpkit text entry: the one-line edit field in which the tools take typed
// numbers (widths, lengths in centimetres).
//
// One field at a time; its state is static.  The caller owns the text
// buffer and the caret cell it opens the field with and keeps both alive
// until it closes the field: typing edits that buffer in place, so after the
// close (mode 3) it holds exactly what the user typed.
//
// Units: client pixels, y down; size1 is the width of one character cell in
// pixels, size2 the field's length in characters.  Colours are COLORREF.
#include <cstring>

#include "frame/siblings.h"

namespace {

// Callers' buffers are at least 32 bytes, so the text stops at 31 characters
// whatever field length they ask for (the sleeve-cap entry asks for 80).
constexpr int kBufferTextLimit = 31;
constexpr int kDefaultCharWidth = 8;   // the system font's byte width
constexpr int kLineHeight = 16;        // the system font's height
constexpr int kMargin = 3;             // paper around the text, left and right
constexpr int kModeOpen = 0;
constexpr int kModeEdit = 1;
constexpr int kModeClose = 3;

struct EditField {
    bool open = false;
    HWND hwnd = nullptr;
    int x = 0;
    int y = 0;
    int charWidth = kDefaultCharWidth;
    int maxLength = kBufferTextLimit;
    COLORREF ink = 0;
    COLORREF paper = 0xFFFFFF;
    char* text = nullptr;
    short* caret = nullptr;   // the caller's caret cell, or ownCaret
    short ownCaret = 0;
    int boxChars = 0;         // widest box drawn since opening, in characters
};

EditField field;

int textLength() { return static_cast<int>(std::strlen(field.text)); }

// The caller may have moved the caret between messages; keep it on the text.
int clampedCaret(int length) {
    int c = *field.caret;
    if (c < 0) c = 0;
    if (c > length) c = length;
    return c;
}

// Paints the field: a paper box framed in the ink colour, the text, and the
// caret as a vertical bar before the character it stands at.  The box grows
// with the text and never shrinks while the field is open, so that
// characters deleted are painted over.
void drawField(bool withCaret) {
    if (!field.hwnd) return;
    HDC hdc = GetDC(field.hwnd);
    if (!hdc) return;
    const int length = textLength();
    if (length + 1 > field.boxChars) field.boxChars = length + 1;

    const int previousRop = SetROP2(hdc, R2_COPYPEN);
    HBRUSH paper = CreateSolidBrush(field.paper);
    HPEN ink = CreatePen(PS_SOLID, 1, field.ink);
    HGDIOBJ previousBrush = SelectObject(hdc, paper);
    HGDIOBJ previousPen = SelectObject(hdc, ink);
    Rectangle(hdc, field.x - kMargin, field.y - 2, field.x + field.boxChars * field.charWidth + kMargin,
              field.y + kLineHeight + 2);
    if (length > 0) {
        const int previousBk = SetBkMode(hdc, TRANSPARENT);
        const COLORREF previousInk = SetTextColor(hdc, field.ink);
        TextOutA(hdc, field.x, field.y, field.text, length);
        SetTextColor(hdc, previousInk);
        SetBkMode(hdc, previousBk);
    }
    if (withCaret) {
        const int cx = field.x + clampedCaret(length) * field.charWidth;
        MoveToEx(hdc, cx, field.y, nullptr);
        LineTo(hdc, cx, field.y + kLineHeight);
    }
    SelectObject(hdc, previousPen);
    SelectObject(hdc, previousBrush);
    DeleteObject(ink);
    DeleteObject(paper);
    SetROP2(hdc, previousRop);
    ReleaseDC(field.hwnd, hdc);
}

void closeField() {
    if (!field.open) return;
    drawField(false);  // what stays on screen is the value, without a caret
    field.open = false;
    field.text = nullptr;
    field.caret = nullptr;
}

// Applies one message to the open field; true when the text or the caret
// changed.  Typed characters are the printable ASCII ones: numbers, signs,
// the decimal point, letters and blanks.  Control characters that also come
// as WM_CHAR (backspace, return) are ignored here: their keys act through
// WM_KEYDOWN, once per press.
bool applyMessage(UINT message, WPARAM wParam) {
    const int length = textLength();
    int caret = clampedCaret(length);
    const int before = caret;
    if (message == WM_CHAR) {
        if (wParam < 0x20 || wParam > 0x7E) return false;
        if (length >= field.maxLength) return false;  // full: the keystroke is dropped
        std::memmove(field.text + caret + 1, field.text + caret,
                     static_cast<std::size_t>(length - caret + 1));
        field.text[caret] = static_cast<char>(wParam);
        *field.caret = static_cast<short>(caret + 1);
        return true;
    }
    if (message != WM_KEYDOWN) return false;
    switch (static_cast<int>(wParam)) {
    case VK_BACK:
        if (caret == 0) return false;
        std::memmove(field.text + caret - 1, field.text + caret,
                     static_cast<std::size_t>(length - caret + 1));
        --caret;
        *field.caret = static_cast<short>(caret);
        return true;
    case VK_DELETE:
        if (caret == length) return false;
        std::memmove(field.text + caret, field.text + caret + 1,
                     static_cast<std::size_t>(length - caret));
        *field.caret = static_cast<short>(caret);
        return true;
    case VK_LEFT: caret = caret > 0 ? caret - 1 : 0; break;
    case VK_RIGHT: caret = caret < length ? caret + 1 : length; break;
    case VK_HOME: caret = 0; break;
    case VK_END: caret = length; break;
    default: return false;
    }
    *field.caret = static_cast<short>(caret);
    return caret != before;
}

}  // namespace

// mode 0 opens the field at client (x, y) on `text` with the caret at
// *caret (kept within the text); an open field is closed first.  A null
// text opens nothing; a null caret uses a caret of the field's own.
// mode 1 gives it one window message; the position, sizes, colours, caret
// and text passed with it are the caller's echo of the opening and are not
// read (the sleeve-cap tool passes 20 where it opened with 80).
// mode 3 closes it; the text stays in the buffer it was opened with.
// Other modes, and mode 1 or 3 without an open field, do nothing.
//
// The text never grows past min(size2, 31) characters (size2 of 0 or less
// means 31): a 32-byte buffer always keeps its terminating zero.  A text
// that is already longer when the field opens is kept whole; it can be
// shortened but takes no more characters.
QP_SIBLING_EXPORT void qpEditString(HWND hwnd, UINT message, WPARAM wParam, LPARAM,
                                    short mode, int x, int y, int /*reserved*/, int size1, int size2,
                                    COLORREF ink, COLORREF paper, short* caret, char* text) {
    switch (mode) {
    case kModeOpen: {
        closeField();
        if (!text) return;
        field.open = true;
        field.hwnd = hwnd;
        field.x = x;
        field.y = y;
        field.charWidth = size1 > 0 ? size1 : kDefaultCharWidth;
        field.maxLength = (size2 > 0 && size2 < kBufferTextLimit) ? size2 : kBufferTextLimit;
        field.ink = ink;
        field.paper = paper;
        field.text = text;
        field.ownCaret = 0;
        field.caret = caret ? caret : &field.ownCaret;
        field.boxChars = 0;
        *field.caret = static_cast<short>(clampedCaret(textLength()));
        drawField(true);
        return;
    }
    case kModeEdit:
        if (field.open && applyMessage(message, wParam)) drawField(true);
        return;
    case kModeClose:
        closeField();
        return;
    default:
        return;
    }
}

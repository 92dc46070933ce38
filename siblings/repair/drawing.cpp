// Qpkit2 drawing services: the prompt bar, framed panels and transparent
// text, drawn into a device context the caller owns.
//
// Units: client pixels, y down.  Colours are COLORREF (0x00BBGGRR).
// Discipline: every pen and brush made here is deselected and deleted before
// returning, and every mode changed here (drawing mode, background mode,
// text colour) is put back, so the caller's device context leaves each call
// as it came in.  A null device context draws nothing.
#include <algorithm>
#include <cstring>

#include "frame/siblings.h"

namespace {

constexpr int kPromptBarHeight = 30;
// The system font of the GBK desktop: 8 pixels per byte (a double-byte
// character is 16 wide), 16 pixels high.
constexpr int kGlyphWidth = 8;
constexpr int kGlyphHeight = 16;
constexpr int kPromptIndent = 10;

struct PromptColours {
    COLORREF paper;  // the bar
    COLORREF ink;    // the text
    COLORREF light;  // top and left edge
    COLORREF dark;   // bottom and right edge
};

// Style 1 asks for a pick, 2 for the next pick of a run, 3 warns, 4 asks for
// a direction; any other style gets the plain grey bar.
PromptColours promptColours(short style) {
    switch (style) {
    case 1: return {0x800000, 0x00FFFF, 0xFF8080, 0x400000};  // navy, yellow text
    case 2: return {0x006400, 0xFFFFFF, 0x40C040, 0x003200};  // green, white text
    case 3: return {0x000080, 0xFFFFFF, 0x4040FF, 0x000040};  // dark red, white text
    case 4: return {0x640064, 0x00FFFF, 0xC040C0, 0x320032};  // purple, yellow text
    default: return {0xC0C0C0, 0x000000, 0xFFFFFF, 0x808080};
    }
}

// Draws the outline of (left, top)-(right, bottom) inset by `inset`: the top
// and left edges with penTopLeft, the bottom and right edges with
// penBottomRight.  Right and bottom are exclusive, as in Rectangle.
void drawRing(HDC hdc, int left, int top, int right, int bottom, int inset, HPEN penTopLeft,
              HPEN penBottomRight) {
    int l = left + inset, t = top + inset, r = right - 1 - inset, b = bottom - 1 - inset;
    SelectObject(hdc, penTopLeft);
    MoveToEx(hdc, l, b, nullptr);
    LineTo(hdc, l, t);
    LineTo(hdc, r, t);
    SelectObject(hdc, penBottomRight);
    LineTo(hdc, r, b);
    LineTo(hdc, l, b);
}

}  // namespace

// The prompt bar spans the client rectangle's top 30 pixels.  `fill` 0 draws
// only the text over the bar already there (the callers pass 1).  *x, *y are
// the text's client position and *width its width in pixels, kept by the
// caller between prompts: with *width 0 the text goes to the default place
// (10 pixels in, centred in the bar); otherwise *x is kept, and *y too as
// long as the text fits in the bar's height (a y outside it, such as a table
// position a tool keeps in the same cells, would put the prompt beside the
// bar, so the centred y is used).  On return they hold the position used and
// the width of the text drawn (8 pixels per byte).
QP_SIBLING_EXPORT void qpDrawPromptFrame(HDC hdc, RECT client, short fill, short style, int* x,
                                         int* y, int* width, const char* text) {
    if (!hdc) return;
    const PromptColours colours = promptColours(style);
    const int barTop = client.top;
    const int barBottom = client.top + kPromptBarHeight;

    int textX = client.left + kPromptIndent;
    int textY = barTop + (kPromptBarHeight - kGlyphHeight) / 2;
    if (x && y && width && *width != 0) {
        if (*x >= client.left && *x < client.right) textX = *x;
        if (*y >= barTop && *y <= barBottom - kGlyphHeight) textY = *y;
    }

    const int previousRop = SetROP2(hdc, R2_COPYPEN);
    if (fill) {
        HBRUSH paper = CreateSolidBrush(colours.paper);
        HPEN light = CreatePen(PS_SOLID, 1, colours.light);
        HPEN dark = CreatePen(PS_SOLID, 1, colours.dark);
        HGDIOBJ previousBrush = SelectObject(hdc, paper);
        HGDIOBJ previousPen = SelectObject(hdc, GetStockObject(NULL_PEN));
        // A null pen leaves Rectangle's right and bottom pixel rows out.
        Rectangle(hdc, client.left, barTop, client.right + 1, barBottom + 1);
        drawRing(hdc, client.left, barTop, client.right, barBottom, 0, light, dark);
        SelectObject(hdc, previousPen);
        SelectObject(hdc, previousBrush);
        DeleteObject(dark);
        DeleteObject(light);
        DeleteObject(paper);
    }

    const int length = text ? static_cast<int>(std::strlen(text)) : 0;
    if (length > 0) {
        const int previousBk = SetBkMode(hdc, TRANSPARENT);
        const COLORREF previousInk = SetTextColor(hdc, colours.ink);
        TextOutA(hdc, textX, textY, text, length);
        SetTextColor(hdc, previousInk);
        SetBkMode(hdc, previousBk);
    }
    SetROP2(hdc, previousRop);

    if (x) *x = textX;
    if (y) *y = textY;
    if (width) *width = length * kGlyphWidth;
}

// A ridge around a panel: `style` sets its thickness, 3 pixels per step
// (style 2: 6 pixels, style 3: 9), so that a panel's face starts just inside
// it.  The outermost ring is lit from the top left (c1 there, c3 at the
// bottom right), the innermost the other way round, and the rings between
// are c2: the panel's face looks sunk into a raised rim.  The corners may be
// given in any order (the tools pass the lower edge first).  The inside is
// left to the caller; a panel too small for the ridge gets as many rings as
// fit.
QP_SIBLING_EXPORT void qpDrawFrame(HDC hdc, short style, int left, int top, int right, int bottom,
                                   COLORREF c1, COLORREF c2, COLORREF c3) {
    if (!hdc) return;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    int thickness = (style >= 1 && style <= 4) ? 3 * style : 3;
    const int fits = (std::min(right - left, bottom - top) + 1) / 2;
    if (thickness > fits) thickness = fits;
    if (thickness <= 0) return;

    HPEN light = CreatePen(PS_SOLID, 1, c1);
    HPEN face = CreatePen(PS_SOLID, 1, c2);
    HPEN dark = CreatePen(PS_SOLID, 1, c3);
    HGDIOBJ previousPen = SelectObject(hdc, light);
    for (int i = 0; i < thickness; ++i) {
        if (i == 0) {
            drawRing(hdc, left, top, right, bottom, i, light, dark);
        } else if (i == thickness - 1) {
            drawRing(hdc, left, top, right, bottom, i, dark, light);
        } else {
            drawRing(hdc, left, top, right, bottom, i, face, face);
        }
    }
    SelectObject(hdc, previousPen);
    DeleteObject(dark);
    DeleteObject(face);
    DeleteObject(light);
}

// TextOutA with a transparent background.  At most `length` bytes are drawn,
// and never past the text's terminating zero; a negative length draws
// nothing.
QP_SIBLING_EXPORT void qpTextOut(HDC hdc, int x, int y, const char* text, int length) {
    if (!hdc || !text || length <= 0) return;
    int n = 0;
    while (n < length && text[n] != '\0') ++n;
    if (n == 0) return;
    const int previousBk = SetBkMode(hdc, TRANSPARENT);
    TextOutA(hdc, x, y, text, n);
    SetBkMode(hdc, previousBk);
}

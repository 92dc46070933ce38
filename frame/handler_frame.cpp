// The tool-handler frame shared by every interactive tool.
#include "frame/handler_frame.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "frame/curve_forms.h"
#include "frame/siblings.h"
#include "frame/texts.h"

namespace frame {

void identity(float m[9]) {
    static const float unit[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(m, unit, sizeof unit);
}

void rotationAbout(double theta, double px, double py, float m[9]) {
    const double c = std::cos(theta), s = std::sin(theta);
    m[0] = static_cast<float>(c);
    m[1] = static_cast<float>(s);
    m[2] = 0;
    m[3] = static_cast<float>(-s);
    m[4] = static_cast<float>(c);
    m[5] = 0;
    m[6] = static_cast<float>((1 - c) * px + s * py);
    m[7] = static_cast<float>((1 - c) * py - s * px);
    m[8] = 1;
}

void transform(const float m[9], float& x, float& y) {
    Coord in{}, out{};
    in.x = x;
    in.y = y;
    qpTransCoord(&out, m, &in);
    x = out.x;
    y = out.y;
}

void buildViewMatrices(HWND hwnd, const float* view, const Piece* piece, ViewMatrices& out) {
    RECT client{};
    GetClientRect(hwnd, &client);
    identity(out.identity);
    identity(out.flip);
    out.flip[4] = -1;
    out.flip[7] = static_cast<float>(client.bottom);
    qpMultiMatrix(0, const_cast<float*>(view), out.flip, out.viewFlip);
    qpMultiMatrix(0, const_cast<float*>(piece->placement), out.viewFlip, out.pieceToScreen);
    qpContraMatrix(out.pieceToScreen, out.screenToPiece);
}

POINT cursorClient(HWND hwnd) {
    POINT p{};
    GetCursorPos(&p);
    ScreenToClient(hwnd, &p);
    return p;
}

void cursorToPiece(HWND hwnd, const float screenToPiece[9], float& x, float& y) {
    const POINT p = cursorClient(hwnd);
    x = static_cast<float>(p.x);
    y = static_cast<float>(p.y);
    transform(screenToPiece, x, y);
}

POINT pieceToClient(const float pieceToScreen[9], float x, float y) {
    transform(pieceToScreen, x, y);
    return POINT{static_cast<LONG>(x), static_cast<LONG>(y)};
}

namespace {

// The neighbours of a near part are near too (on a finely divided line,
// parts shorter than kPartMatchMm match one after the other). A range next
// to a near part keeps its kNeighbourParts parts next to it apart, so that
// each neighbour costs a search of a few parts rather than of the range.
constexpr short kNeighbourParts = 32;

// Ranges of parts lo .. hi - 1, waiting on a stack with the first on top.
using PartRanges = std::vector<std::pair<short, short>>;

// Parts lo .. hi - 1 just before a near part: the last few apart, on top
// of the rest.
void pushBefore(PartRanges& ranges, short lo, short hi) {
    if (hi - lo <= kNeighbourParts) {
        ranges.emplace_back(lo, hi);
        return;
    }
    ranges.emplace_back(static_cast<short>(hi - kNeighbourParts), hi);
    ranges.emplace_back(lo, static_cast<short>(hi - kNeighbourParts));
}

// Parts lo .. hi - 1 just after a near part: the first few apart, on top.
void pushAfter(PartRanges& ranges, short lo, short hi) {
    if (hi - lo <= kNeighbourParts) {
        ranges.emplace_back(lo, hi);
        return;
    }
    ranges.emplace_back(static_cast<short>(lo + kNeighbourParts), hi);
    ranges.emplace_back(lo, static_cast<short>(lo + kNeighbourParts));
}

}  // namespace

short findPart(Piece* piece, float x, float y, const float identity[9]) {
    // One search per part, in order, would rebuild the piece's line table per
    // part: n tables for a part near the end. A search over a range of parts
    // gives, for its nearest part, exactly the point a search of that part
    // alone gives, and every other part of the range lies at least as far.
    // So a range whose nearest point is too far to match is passed over
    // whole, a matching nearest part leaves only the parts before it to
    // search, and a near one that does not match splits its range in two.
    // Ranges wait on a stack with the first on top; the answer is the first
    // matching part in order, as one search per part finds it.
    short found = -1;
    PartRanges ranges;
    if (piece && piece->pointCount >= 2)
        ranges.emplace_back(static_cast<short>(0), static_cast<short>(piece->pointCount - 1));
    while (!ranges.empty()) {
        const auto [lo, hi] = ranges.back();
        ranges.pop_back();
        if (lo >= hi) continue;
        const CurveHit hit = nearestOnLines(piece, x, y, identity, lo, static_cast<short>(hi - lo + 1));
        const short index = hit.index;
        if (index < lo || index >= hi) continue;  // no part of the range lies on a line
        if (std::fabs(hit.x - x) < kPartMatchMm && std::fabs(hit.y - y) < kPartMatchMm) {
            found = index;
            ranges.clear();  // every waiting range lies after this part
            pushBefore(ranges, lo, index);
            continue;
        }
        if (std::hypot(static_cast<double>(hit.x) - x, static_cast<double>(hit.y) - y) > kNoMatchBeyondMm) continue;
        pushAfter(ranges, static_cast<short>(index + 1), hi);
        pushBefore(ranges, lo, index);
    }
    return found;
}

short pickPart(Piece* piece, float x, float y, unsigned long snap, const float identity[9]) {
    const CurveHit snapped = nearestOnLines(piece, x, y, identity, 0, 0, qpcurve::kModeWholePiece | snap);
    if (std::hypot(static_cast<double>(snapped.x - x), static_cast<double>(snapped.y - y)) > kPickRadiusMm)
        return -1;
    return findPart(piece, snapped.x, snapped.y, identity);
}

void drawMarker(HDC hdc, int x, int y, COLORREF brushColour) {
    HBRUSH brush = CreateSolidBrush(brushColour);
    HGDIOBJ previous = SelectObject(hdc, brush);
    Ellipse(hdc, x - kMarkerRadius, y - kMarkerRadius, x + kMarkerRadius, y + kMarkerRadius);
    SelectObject(hdc, previous);
    DeleteObject(brush);
}

void drawRubberLine(HDC hdc, POINT from, POINT to, COLORREF colour) {
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ previous = SelectObject(hdc, pen);
    MoveToEx(hdc, from.x, from.y, nullptr);
    LineTo(hdc, to.x, to.y);
    SelectObject(hdc, previous);
    DeleteObject(pen);
}

void showPromptOn(HDC hdc, HWND hwnd, short style, PromptCells& cells, const char* text) {
    RECT client{};
    GetClientRect(hwnd, &client);
    qpDrawPromptFrame(hdc, client, 1, style, &cells.x, &cells.y, &cells.width, text);
}

void showPrompt(HWND hwnd, short style, PromptCells& cells, const char* text) {
    HDC hdc = GetDC(hwnd);
    showPromptOn(hdc, hwnd, style, cells, text);
    ReleaseDC(hwnd, hdc);
}

void showError(HWND hwnd, const char* text) {
    MessageBoxA(hwnd, text, kCaption, MB_ICONERROR);
}

void invalidateAll(HWND hwnd) { InvalidateRect(hwnd, nullptr, TRUE); }

void invalidateBelowPrompt(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    client.top = kPromptBarHeight;
    InvalidateRect(hwnd, &client, TRUE);
}

void openEntry(HWND hwnd, NumberEntry& entry, int x, int y, int size1, int size2,
               COLORREF ink, COLORREF paper) {
    entry.x = x;
    entry.y = y;
    entry.size1 = size1;
    entry.size2 = size2;
    entry.caret = 0;
    std::memset(entry.text, 0, sizeof entry.text);
    entry.open = true;
    qpEditString(hwnd, 0, 0, 0, 0, x, y, 0, size1, size2, ink, paper, &entry.caret, entry.text);
}

void feedEntry(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, NumberEntry& entry) {
    qpEditString(hwnd, message, wParam, lParam, 1, entry.x, entry.y, 0, entry.size1,
                 entry.size2, 0, 0, &entry.caret, entry.text);
}

double finishEntry(NumberEntry& entry) {
    qpEditString(nullptr, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr);
    entry.open = false;
    entry.text[sizeof entry.text - 1] = '\0';
    return std::atof(entry.text);
}

void fillBelowPrompt(HDC hdc, HWND hwnd) {
    SetROP2(hdc, R2_COPYPEN);
    RECT client{};
    GetClientRect(hwnd, &client);
    HBRUSH white = CreateSolidBrush(0xFFFFFF);
    HGDIOBJ oldBrush = SelectObject(hdc, white);
    HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(NULL_PEN));
    Rectangle(hdc, client.left, client.top + kPromptBarHeight, client.right, client.bottom);
    SelectObject(hdc, oldBrush);
    SelectObject(hdc, oldPen);
    DeleteObject(white);
}

bool readTypedNumber(const char* text, double& cm) {
    if (!text) return false;
    const char* c = text;
    if (*c == '+' || *c == '-') ++c;
    int digits = 0, points = 0;
    for (; *c; ++c) {
        if (*c >= '0' && *c <= '9') ++digits;
        else if (*c == '.' && points == 0) ++points;
        else return false;
    }
    if (digits == 0) return false;
    const double v = std::atof(text);
    if (!std::isfinite(v) || std::fabs(v) > kMaxTypedCm) return false;
    cm = v;
    return true;
}

}  // namespace frame

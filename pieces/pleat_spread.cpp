// The pleat-spread tool: pick pleat lines on the current piece, type the
// spread width at both ends of each in a table, and apply: the piece is cut
// along every pleat line and the part beyond it turned and shifted open by
// the widths; a pleat mark is laid where the line was on the part that stayed.
//
// Units: piece coordinates in millimetres (y up); typed and shown widths in
// centimetres (x 10.0 into millimetres); angles in radians; the table in
// client pixels.
// State: one run at a time, in the statics below (the handler is not
// re-entrant). HostView.pieceFoldStep: 1 set by the host, 2 table open,
// 0 after apply or cancel. The table, the open cell and the matrices stay
// until the next run starts.
// Memory: apply edits a work buffer of its own (a copy of the piece) and
// hands the rebuilt piece to the host's pattern; the host's pattern is never
// seen half edited, and cancel leaves it untouched.
#include "pieces/pleat_spread.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "frame/curve_forms.h"
#include "frame/exports.h"
#include "frame/graded_edit.h"
#include "frame/handler_frame.h"
#include "frame/host_protocol.h"
#include "frame/piece_edit.h"
#include "frame/room.h"
#include "frame/same_point.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "frame/work_buffer.h"
#include "pieces/pleat_table.h"

namespace {

// ---- the width table (client pixels; its layout in pleat_table.h) ------------
using namespace pleat;
constexpr COLORREF kPanelColour = 0xA00000;
constexpr COLORREF kGridColour = 0x969600;
constexpr COLORREF kTitleColour = 0xFFFF00;
constexpr COLORREF kNumberColour = 0x00FF00;
constexpr COLORREF kWidthColour = 0x00FFFF;
constexpr COLORREF kCellPaper = 0xFFFFFF;
constexpr short kPickedColour = 2;  // palette index of a picked pleat line
// What qpEditString is told about a cell: character width and length.
constexpr int kCellCharWidth = 8;
constexpr int kCellChars = 20;
// A cell's text: the longest text qpConvertFloat2String writes (31
// characters) and its zero; the edit field stops at 31 characters too.
constexpr int kCellTextSize = 32;

// ---- apply ---------------------------------------------------------------------
constexpr short kSearchResolution = 5;     // samples per stretch while applying
// A pleat line end that is no outline point must lie this close to the
// outline's nearest point, or it is no end on the outline and its row has
// nothing to cut.
constexpr float kEndOnOutlineMm = 3.0f;
constexpr double kMinPleatMm = 0.1;        // a pleat line shorter has no direction
constexpr float kSameNotchMm = 0.001f;    // a notch's length along its line, kept below this change
constexpr short kPleatMarkCode = 2;
constexpr short kPleatMarkValue = 14;

struct Row {
    short pickedPoint = -1;  // first point of the pleat line
    float startWidth = 0;    // cm
    float endWidth = 0;      // cm
};

struct Run {
    Piece* piece = nullptr;
    frame::ViewMatrices m{};
    short rowCount = 0;
    Row rows[kMaxRows];
    short selected = -1;  // row of the open cell, -1 when none is open
    int column = 0;       // 0 start width, 1 end width
    char text[2][kCellTextSize] = {};
    short caret[2] = {};
    int cellX[2] = {};
    int cellY = 0;
    int panelHeight = kPanelExtra;
    frame::PromptCells prompt;
};
Run run;

using frame::positionOf;

// A pleat line is a two-point inner line named by its first point.
bool isPleatLine(Piece* piece, short k) {
    if (!piece || k < 0 || k + 1 >= piece->pointCount) return false;
    Point* p = nullptr;
    qpGetPointLptr(piece, k, &p);
    if (!p || isOutlineType(p->type) || p->lineOut < 0 || p->lineOut >= piece->lineCount)
        return false;
    Line* line = nullptr;
    qpGetLineLptr(piece, p->lineOut, &line);
    return line && line->pointCount == 2 && line->firstPoint == k;
}

// ---- cells -----------------------------------------------------------------------

void openCell(HWND hwnd, int column) {
    qpEditString(hwnd, 0, 0, 0, 0, run.cellX[column], run.cellY, 0, kCellCharWidth, kCellChars,
                 kPanelColour, kCellPaper, &run.caret[column], run.text[column]);
}

void closeField() { qpEditString(nullptr, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr); }

bool blank(const char* text) {
    for (; *text; ++text)
        if (*text != ' ') return false;
    return true;
}

// Stores the text of `column` as the width of `row`. An empty cell is a width
// of 0 (the user cleared it); a text that is no number is refused in the
// prompt bar and the row keeps its width (false).
bool storeCell(HWND hwnd, short row, int column) {
    if (row < 0 || row >= run.rowCount) return true;
    char* text = run.text[column];
    text[kCellTextSize - 1] = '\0';
    double cm = 0;
    if (!blank(text) && !frame::readTypedNumber(text, cm)) {
        frame::showPrompt(hwnd, 1, run.prompt, kFoldWidthRefused);
        return false;
    }
    float& width = column == 0 ? run.rows[row].startWidth : run.rows[row].endWidth;
    width = static_cast<float>(cm);
    return true;
}

// Closes the open cell and stores its width; false when its text was
// refused.
bool closeOpenCell(HWND hwnd) {
    if (run.selected == -1) return true;
    closeField();
    return storeCell(hwnd, run.selected, run.column);
}

void fillCells(short row) {
    qpConvertFloat2String(run.rows[row].startWidth, "", run.text[0]);
    qpConvertFloat2String(run.rows[row].endWidth, "", run.text[1]);
}

// ---- drawing -----------------------------------------------------------------------

// Point numbers: wider numbers start further left in their column.
int numberPad(int n) { return n > 99 ? 0 : n > 9 ? 11 : 22; }
int widthPad(float cm) { return cm > 9.999f ? 0 : 11; }

void drawTable(HWND hwnd, DrawButtonProc drawButton) {
    HDC hdc = GetDC(hwnd);
    const int right = kLeft + kWidth;
    const int bottom = kTop + run.panelHeight;
    SetROP2(hdc, R2_COPYPEN);
    HBRUSH panel = CreateSolidBrush(kPanelColour);
    HGDIOBJ oldBrush = SelectObject(hdc, panel);
    HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(NULL_PEN));
    SetBkMode(hdc, TRANSPARENT);
    Rectangle(hdc, kLeft + 9, kTop + 9, right - 7, bottom - 7);
    qpDrawFrame(hdc, 3, kLeft, bottom, right, kTop, 0xE66400, kPanelColour, 0x500000);
    SetTextColor(hdc, kTitleColour);
    qpTextOut(hdc, kLeft + 20, kTop + 16, kFoldTableTitle, static_cast<int>(std::strlen(kFoldTableTitle)));
    TextOutA(hdc, kLeft + 20, kTop + kRowHeight + 17, kFoldTableHeader,
             static_cast<int>(std::strlen(kFoldTableHeader)));

    SelectObject(hdc, GetStockObject(HOLLOW_BRUSH));
    HPEN grid = CreatePen(PS_SOLID, 1, kGridColour);
    SelectObject(hdc, grid);
    const int gridTop = rowTop(-1);  // the header row's top
    Rectangle(hdc, kLeft + kGridInset, gridTop, right - kGridInset, bottom - 10);
    for (int i = 1; i <= 3; ++i) {
        MoveToEx(hdc, kLeft + kGridInset + kCellWidth * i, gridTop, nullptr);
        LineTo(hdc, kLeft + kGridInset + kCellWidth * i, bottom - 10);
    }
    for (int i = 0; i < run.rowCount; ++i) {
        const int y = rowTop(i);
        MoveToEx(hdc, kLeft + kGridInset, y, nullptr);
        LineTo(hdc, right - kGridInset, y);
    }
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
    DeleteObject(grid);
    DeleteObject(panel);

    if (drawButton) {
        drawButton(hdc, kApplyImage, 0, kLeft + kApplyX, kTop + kButtonY);
        drawButton(hdc, kCancelImage, 0, kLeft + kCancelX, kTop + kButtonY);
    }

    for (int i = 0; i < run.rowCount; ++i) {
        const Row& row = run.rows[i];
        const int y = kTop + (i + 2) * kRowHeight + 15;
        Point* p = nullptr;
        qpGetPointLptr(run.piece, row.pickedPoint, &p);
        Line* line = nullptr;
        if (p) qpGetLineLptr(run.piece, p->lineOut, &line);
        const int start = row.pickedPoint;
        const int end = start + (line ? line->pointCount : 2) - 1;
        char text[kCellTextSize];
        SetTextColor(hdc, kNumberColour);
        std::snprintf(text, sizeof text, "%d", start);
        qpTextOut(hdc, kLeft + 31 + numberPad(start), y, text, static_cast<int>(std::strlen(text)));
        std::snprintf(text, sizeof text, "%d", end);
        qpTextOut(hdc, kLeft + 207 + numberPad(end), y, text, static_cast<int>(std::strlen(text)));
        // The last row's start cell is opened next: its widths are in the cells.
        if (i == run.rowCount - 1) continue;
        SetTextColor(hdc, kWidthColour);
        if (row.startWidth > 0.001f) {
            qpConvertFloat2String(row.startWidth, "", text);
            TextOutA(hdc, kLeft + 119 + widthPad(row.startWidth), y, text, static_cast<int>(std::strlen(text)));
        }
        if (row.endWidth > 0.001f) {
            qpConvertFloat2String(row.endWidth, "", text);
            TextOutA(hdc, kLeft + 295 + widthPad(row.endWidth), y, text, static_cast<int>(std::strlen(text)));
        }
    }
    ReleaseDC(hwnd, hdc);
}

// ---- the run ------------------------------------------------------------------------

void startRun(HWND hwnd, Piece** pieceCell, HostView* view, const float* viewMatrix) {
    run.piece = *pieceCell;
    if (!run.piece) return;  // no current piece: nothing to spread
    HDC hdc = GetDC(hwnd);
    frame::fillBelowPrompt(hdc, hwnd);
    frame::buildViewMatrices(hwnd, viewMatrix, run.piece, run.m);
    frame::drawLines(hdc, run.piece, 0, 0, qpcurve::kStylePlain, qpcurve::kColourDefault, run.m.pieceToScreen);
    ReleaseDC(hwnd, hdc);

    run.rowCount = 0;
    run.selected = -1;
    run.column = 0;
    run.panelHeight = kPanelExtra;
    for (Row& row : run.rows) row = Row{};
    view->pieceFoldStep = 2;
}

void pick(HWND hwnd, POINT at, DrawButtonProc drawButton) {
    float x = static_cast<float>(at.x), y = static_cast<float>(at.y);
    frame::transform(run.m.screenToPiece, x, y);
    const short k = frame::pickPart(run.piece, x, y, qpcurve::kSnapAllLines, run.m.identity);
    if (k < 0) return;
    for (int i = 0; i < run.rowCount; ++i)
        if (run.rows[i].pickedPoint == k) return;  // already in the table
    // A row names its line by the line's first point and takes its last as
    // the line's other end: only a two-point inner line fits that.
    if (!isPleatLine(run.piece, k)) {
        frame::showPrompt(hwnd, 1, run.prompt, kFoldNotPleatLine);
        return;
    }
    // The table has 20 rows: a further line is refused, and said so, rather
    // than silently ignored.
    if (run.rowCount >= kMaxRows) {
        frame::showPrompt(hwnd, 1, run.prompt, kFoldTableFull);
        return;
    }
    run.rows[run.rowCount] = Row{k, 0.0f, 0.0f};
    ++run.rowCount;
    run.panelHeight = run.rowCount * kRowHeight + kPanelExtra;

    HDC hdc = GetDC(hwnd);
    frame::drawLines(hdc, run.piece, k, 2, qpcurve::kStyleHighlight, kPickedColour, run.m.pieceToScreen);
    ReleaseDC(hwnd, hdc);
    if (run.rowCount > 1) {
        closeOpenCell(hwnd);
        run.selected = -1;
    }
    drawTable(hwnd, drawButton);

    run.column = 0;
    run.cellX[0] = kLeft + kStartCell;
    run.cellX[1] = kLeft + kEndCell;
    run.cellY = kTop + (run.rowCount + 1) * kRowHeight + 15;
    run.selected = static_cast<short>(run.rowCount - 1);
    std::memset(run.text, 0, sizeof run.text);
    run.caret[0] = run.caret[1] = 0;
    openCell(hwnd, 0);
}

// ---- apply ---------------------------------------------------------------------------

struct Apply {
    HDC hdc;
    PatternBuffer* work;
    Piece* piece;
    unsigned long mode;          // what forms 5 and 6 snap to
    frame::PointIndexMap* map;   // original point -> present index
    // Present point -> the original point whose formula terms it starts
    // from: a point its own, a point put on the outline and its twin the
    // pleat line's end there, a mark's end the outline point it lies on.
    std::vector<short>* origin;
    std::vector<short>* ends;    // per row the two ends it spread between, -1 when skipped
};

// A point the store put at `at`: the map and the origins follow.
void inserted(const Apply& ap, short at, short origin) {
    ap.map->inserted(at);
    ap.origin->insert(ap.origin->begin() + at, origin);
}

// The first outline point within 1.0 mm of (x, y) in x and in y; -1 if none.
short outlinePointAt(Piece* piece, float x, float y) {
    for (short i = 0; i < piece->pointCount; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        float px = 0, py = 0;
        if (!p || !isOutlineType(p->type) || !positionOf(piece, i, px, py)) continue;
        if (std::fabs(px - x) < frame::kOutlineMatchMm && std::fabs(py - y) < frame::kOutlineMatchMm)
            return i;
    }
    return -1;
}

// Where an end of a pleat line meets the outline: an outline point, or a
// place (x, y) on the stretch s whose line `line` gets a point there.
struct EndPlace {
    short outline = -1;
    short stretch = -1;
    short line = -1;
    float x = 0, y = 0;
};

bool placeEnd(const Apply& ap, short endPoint, EndPlace& out) {
    out = EndPlace{};
    float x = 0, y = 0;
    if (!positionOf(ap.piece, endPoint, x, y)) return false;
    out.outline = outlinePointAt(ap.piece, x, y);
    if (out.outline >= 0) return positionOf(ap.piece, out.outline, out.x, out.y);
    // Inside an outline line: the nearest place on the outline, and the
    // first stretch s (counted from point 0) whose search over the stretches
    // 0 .. s finds that place again. Such a search finds the first stretch
    // nearest the place among 0 .. s, so the stretch s is the first whose
    // own nearest point matches while lying nearer than every stretch
    // before it: among those "nearer than all before" (each the nearest of
    // the stretches up to the one before the next), the first that matches.
    // They are found from the last back, one search of 0 .. e each, e the
    // one found last; once one lies too far to match, every earlier one
    // lies farther still. A search per stretch would rebuild the piece's
    // line table per stretch.
    const frame::CurveHit near = frame::nearestOnLines(ap.piece, x, y, run.m.identity, 0, 0, ap.mode, kSearchResolution);
    const float fx = near.x, fy = near.y;
    if (std::hypot(fx - x, fy - y) > kEndOnOutlineMm) return false;
    short found = -1;
    for (short end = static_cast<short>(ap.piece->pointCount - 1); end > 0;) {
        const frame::CurveHit hit =
            frame::nearestOnLines(ap.piece, fx, fy, run.m.identity, 0, static_cast<short>(end + 1), ap.mode,
                                  kSearchResolution);
        const short s = hit.index;
        if (s < 0 || s >= end) break;  // no stretch of 0 .. end - 1 lies on an allowed line
        if (std::fabs(hit.x - fx) < frame::kPartMatchMm && std::fabs(hit.y - fy) < frame::kPartMatchMm) found = s;
        else if (std::hypot(static_cast<double>(hit.x) - fx, static_cast<double>(hit.y) - fy) > frame::kNoMatchBeyondMm)
            break;
        end = s;
    }
    if (found < 0) return false;
    Point* p = nullptr;
    qpGetPointLptr(ap.piece, found, &p);
    if (!p || p->lineOut < 0 || p->lineOut >= ap.piece->lineCount) return false;
    out.stretch = found;
    out.line = p->lineOut;
    out.x = fx;
    out.y = fy;
    return true;
}

// qpInsertSamePoint doubles turning and curve points only.
bool twinnable(Piece* piece, const EndPlace& place) {
    if (place.outline < 0) return true;  // the point put on the curve is a curve point
    Point* p = nullptr;
    qpGetPointLptr(piece, place.outline, &p);
    const char t = p ? typeLetter(p->type) : 0;
    return t == 'K' || t == 'C';
}

// The outline point of end e of the row whose pleat line starts at point
// `start` (originally `pleatStart`), inserted on its line when the end lies
// inside one; -1 when the store put none there. `other` (the first end's
// outline point, or -1) follows the insert.
short endPoint(const Apply& ap, short start, short pleatStart, int e, short& other) {
    EndPlace place;
    if (!placeEnd(ap, static_cast<short>(start + e), place)) return -1;
    if (place.outline >= 0) return place.outline;
    const short before = ap.piece->pointCount;
    // The row's two ends go with the call; what the store makes of them is
    // not read back.
    short first = start, last = static_cast<short>(start + 1), index = -1;
    qpAdjustCurvePoint(ap.hdc, ap.work, ap.piece, place.line, place.x, place.y, &first, &last, &index);
    const short grown = static_cast<short>(ap.piece->pointCount - before);
    // One point: it sits at `index`. More: they follow the stretch's first point.
    const short at = grown == 1 ? index : static_cast<short>(place.stretch + 1);
    for (short n = 0; n < grown; ++n) inserted(ap, at, static_cast<short>(pleatStart + e));
    if (grown > 0 && other >= at) other = static_cast<short>(other + grown);
    return index;
}

// Adds the pleat mark from point i0 to point i1: a two-point inner line in a
// segment of its own, with formulas copied from its ends.
void addPleatMark(const Apply& ap, short i0, short i1) {
    Piece* piece = ap.piece;
    const bool formulas = piece->formulaCount != 0;
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    positionOf(piece, i0, x0, y0);
    positionOf(piece, i1, x1, y1);

    const short segIndex = piece->segCount;
    Seg* seg = nullptr;
    qpIncreaseSegment(ap.work, piece, &seg);
    if (!seg) return;
    seg->code = kPleatMarkCode;
    seg->value = kPleatMarkValue;
    Line* line = nullptr;
    qpIncreaseLine(ap.work, piece, seg, &line);
    const short lineIndex = frame::lineIndexOf(piece, line);
    if (lineIndex < 0) return;

    const short coordIndex = piece->coordCount;
    const short formulaIndex = piece->formulaCount;
    short marks[2] = {-1, -1};
    for (int e = 0; e < 2; ++e) {
        qpGetSegLptr(piece, segIndex, &seg);
        Point* p = nullptr;
        qpIncreasePoint(ap.work, piece, seg, lineIndex, 0, &p);
        marks[e] = frame::pointIndexOf(piece, p);
        if (marks[e] < 0) return;
        ap.origin->insert(ap.origin->begin() + marks[e], (*ap.origin)[static_cast<size_t>(e == 0 ? i0 : i1)]);
        p->type = e == 0 ? 's' : 'k';
        p->lineIn = e == 0 ? static_cast<short>(-1) : lineIndex;
        p->lineOut = e == 0 ? lineIndex : static_cast<short>(-1);
        p->coordIndex = static_cast<short>(coordIndex + e);
        if (formulas) p->formulaIndex = static_cast<short>(formulaIndex + e);
    }
    for (int e = 0; e < 2; ++e) {
        Coord* c = nullptr;
        qpIncreaseCoord(ap.work, piece, &c);
        if (!c) return;
        c->pointIndex = marks[e];
        c->formulaIndex = formulas ? static_cast<short>(formulaIndex + e) : static_cast<short>(-1);
        c->x = e == 0 ? x0 : x1;
        c->y = e == 0 ? y0 : y1;
    }
    if (!formulas) return;
    for (int e = 0; e < 2; ++e) {
        Formula* f = nullptr;
        qpIncreaseFormula(ap.work, piece, &f);
    }
    for (int e = 0; e < 2; ++e) {
        Point* end = nullptr;
        qpGetPointLptr(piece, e == 0 ? i0 : i1, &end);
        if (!end) continue;
        Formula* source = nullptr;
        Formula* target = nullptr;
        qpGetFormulaLptr(piece, end->formulaIndex, &source);
        qpGetFormulaLptr(piece, static_cast<short>(formulaIndex + e), &target);
        if (source && target) CopyFormulaTexts(ap.work, piece, source, target, 0);
    }
}

// Why a row was not spread; the numbers are those the prompt names
// (kFoldRowsSkipped).
enum class Skip : char {
    kNone = 0,         // spread
    kEndOffOutline = 1,  // an end is not on the outline, or both meet it at one place
    kTooWide = 2,      // the widths differ by more than twice the line's length
    kCannotOpen = 3,   // an end typed open cannot be cut (it cannot be doubled)
};

// One row: cut, spread, mark. Every check is made on the work piece before
// the row's first store call; a row without geometry is skipped whole and
// the reason returned.
Skip spreadRow(const Apply& ap, const Row& row) {
    Piece* piece = ap.piece;
    const short k = ap.map->current(row.pickedPoint);
    if (!isPleatLine(piece, k)) return Skip::kEndOffOutline;
    // A negative width would turn the portion the wrong way (it opens the
    // other end): an end is open by a positive width or not at all.
    float cm[2] = {std::fmax(row.startWidth, 0.0f), std::fmax(row.endWidth, 0.0f)};

    EndPlace place[2];
    for (int e = 0; e < 2; ++e)
        if (!placeEnd(ap, static_cast<short>(k + e), place[e])) return Skip::kEndOffOutline;
    if (place[0].outline >= 0 && place[0].outline == place[1].outline) return Skip::kEndOffOutline;
    bool open[2];
    for (int e = 0; e < 2; ++e) {
        // The widths are typed in centimetres. An end typed open at a point
        // that cannot be doubled (the outline's start) cannot open as typed:
        // the row is refused rather than spread by other widths.
        open[e] = cm[e] * 10.0f >= kPleatOpenMm;
        if (open[e] && !twinnable(piece, place[e])) return Skip::kCannotOpen;
        if (!open[e]) cm[e] = 0.0f;
    }
    const double length = std::hypot(place[1].x - place[0].x, place[1].y - place[0].y);
    const double d = std::fabs(cm[1] - cm[0]) * 10.0;
    if (length < kMinPleatMm) return Skip::kEndOffOutline;
    if (d > 2.0 * length) return Skip::kTooWide;

    short outline[2] = {-1, -1};
    for (int e = 0; e < 2; ++e) {
        short other = e == 1 ? outline[0] : static_cast<short>(-1);
        const short at = endPoint(ap, ap.map->current(row.pickedPoint), row.pickedPoint, e, other);
        if (e == 1) outline[0] = other;
        if (at < 0) return Skip::kEndOffOutline;  // the store put no point there: the row stops
        outline[e] = at;
        if (!open[e]) continue;
        Point* twin = nullptr;
        if (qpInsertSamePoint(ap.work, piece, at, &twin) == 0) {
            open[e] = false;
            cm[e] = 0.0f;
            continue;
        }
        inserted(ap, static_cast<short>(at + 1), (*ap.origin)[static_cast<size_t>(at)]);
        if (e == 1 && outline[0] > at) ++outline[0];
    }
    const int low = outline[0] < outline[1] ? 0 : 1;
    const short i0 = outline[low];
    short i1 = outline[1 - low];
    if (open[1 - low]) ++i1;  // the twin, on the part that stays
    SpreadPieceFold(piece, i0, i1, cm[low] * 10.0f, cm[1 - low] * 10.0f);
    addPleatMark(ap, i0, i1);
    ap.ends->push_back(i0);
    ap.ends->push_back(i1);
    return Skip::kNone;
}

// What every row may add to the piece: per row up to six points (two put
// on the outline, two twins, the mark's two ends) with copies of texts,
// three lines (the twins' and the mark's) and the mark's segment.
frame::PieceGrowth rowsGrowth(Piece* current) {
    const bool formulas = current->formulaCount != 0;
    frame::PieceGrowth growth;
    growth.addPoints(6L * run.rowCount, formulas, frame::derivedTextBytes(current));
    growth.lines = 3L * run.rowCount;
    growth.segs = run.rowCount;
    return growth;
}

// Notches ('v' marks on an outline line) seated again on the line that
// holds them now: the rows split the outline's lines and moved the notches
// on the parts that opened (with their stretches, as points of the side
// that moves), so a notch's line and its length along it change. One whose
// line and length came out the same keeps its record as it was.
void reseatNotches(Piece* piece) {
    for (short s = 0; s < piece->sPointCount; ++s) {
        if (!frame::isOutlineNotch(piece, s)) continue;
        const SPoint was = *frame::sPointAt(piece, s);
        if (!frame::seatNotch(piece, was.pointIndex)) continue;
        SPoint* now = frame::sPointAt(piece, s);
        if (now->lineIndex == was.lineIndex && std::fabs(now->position - was.position) < kSameNotchMm) *now = was;
    }
}

// Every row spread on a work copy of `source` with `spare` bytes more.
struct Spread {
    PatternBuffer* work = nullptr;  // null when no row could be spread
    frame::PointIndexMap map{nullptr};
    std::vector<short> origin;  // see Apply
    std::vector<short> ends;    // see Apply
    std::string skipped;        // the rows not spread, as the prompt names them
};

Spread spreadRows(HDC hdc, Piece* source, long spare) {
    Spread out;
    out.work = MakeWorkBuffer(source, kWorkBufferSpare + spare);
    if (!out.work) return out;
    Piece* piece = nullptr;
    qpGetPieceLptr(out.work, 0, &piece);

    unsigned long mode = qpcurve::kModeWholePiece | qpcurve::kSnapOutline;
    for (short s = 0; s < piece->segCount; ++s) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        if (seg && seg->code == 3) mode = qpcurve::kModeWholePiece | qpcurve::kSnapCode3;
    }
    out.map = frame::PointIndexMap(piece);
    for (short i = 0; i < piece->pointCount; ++i) out.origin.push_back(i);
    const Apply ap{hdc, out.work, piece, mode, &out.map, &out.origin, &out.ends};
    int spread = 0;
    for (int r = 0; r < run.rowCount; ++r) {
        const Row& row = run.rows[r];
        const Skip why = spreadRow(ap, row);
        if (why == Skip::kNone) {
            ++spread;
            continue;
        }
        out.ends.push_back(-1);
        out.ends.push_back(-1);
        out.skipped += " " + std::to_string(row.pickedPoint) + "-" + std::to_string(row.pickedPoint + 1) + ":" +
                       std::to_string(static_cast<int>(why));
    }
    if (spread == 0) {
        FreeGlobalBlock(out.work);
        out.work = nullptr;
    } else {
        reseatNotches(piece);
    }
    return out;
}

// The graded texts of a spread: the points it moved or made, with the texts
// GradedPlan composes for them. The grades come from spreading the rows
// again at each nudged size, with the same rows giving the same ends (else
// the plan does not hold there and every text falls back to the refit).
struct SpreadTexts {
    std::vector<short> points;  // in the spread piece
    std::vector<frame::GradedTexts> texts;
};

SpreadTexts gradedTexts(Piece* current) {
    SpreadTexts out;
    const long spare = rowsGrowth(current).bytes();
    Spread base;
    std::vector<frame::PlanPoint> at;
    bool haveBase = false;
    auto geometry = [&](const std::vector<Piece*>& pieces, std::vector<frame::PlanPoint>& outputs) {
        Spread s = spreadRows(nullptr, pieces[0], spare);
        if (!s.work) return false;
        Piece* piece = nullptr;
        qpGetPieceLptr(s.work, 0, &piece);
        outputs.assign(static_cast<size_t>(piece->pointCount), frame::PlanPoint{});
        for (short j = 0; j < piece->pointCount; ++j) {
            frame::PlanPoint& o = outputs[static_cast<size_t>(j)];
            positionOf(piece, j, o.x, o.y);
        }
        FreeGlobalBlock(s.work);
        s.work = nullptr;
        if (haveBase) return s.ends == base.ends;
        haveBase = true;
        at = outputs;
        base = std::move(s);
        return true;
    };
    const frame::GradedPlan graded({current}, geometry);
    if (!haveBase) return out;
    // A point of the piece that stands where it stood, with the grade it
    // had, keeps its texts; every other point gets them composed.
    for (short j = 0; j < static_cast<short>(at.size()); ++j) {
        const short from = base.origin[static_cast<size_t>(j)];
        const frame::PlanPoint& to = at[static_cast<size_t>(j)];
        if (base.map.current(from) == j) {
            double x = 0, y = 0;
            positionOf(current, from, x, y);
            const bool stays = std::hypot(x - to.x, y - to.y) < frame::kNegligibleGradeMm;
            if (stays && (!graded.graded() || graded.sameGrade(current, from, static_cast<size_t>(j)))) continue;
        }
        out.points.push_back(j);
        out.texts.push_back(graded.compose(current, from, static_cast<size_t>(j)));
    }
    return out;
}

enum class Applied { kDone, kNothingSpread, kNoRoom };

// Rebuilds the current piece with every row spread and hands it to the host
// as the pattern's last piece; the rows that could not be spread are named
// in the prompt bar with their reasons. Every check, the room for the
// graded texts among them, is made before the host's pattern is touched:
// without room, or with no row spread, nothing changes.
Applied apply(HWND hwnd, HDC hdc, PatternBuffer** patternCell, Piece** pieceCell, short* pieceIndexCell) {
    Piece* current = pieceCell ? *pieceCell : nullptr;
    if (!current || !patternCell || !*patternCell) return Applied::kDone;  // no piece: the run just ends
    frame::PieceGrowth growth = rowsGrowth(current);
    SpreadTexts texts;
    if (current->formulaCount != 0) {
        texts = gradedTexts(current);
        // Each text is stored before the one it replaces goes: one more held.
        growth.textBytes += frame::kMaxFormulaTextBytes;
        for (const frame::GradedTexts& t : texts.texts) growth.textBytes += t.bytes();
    }
    if (!frame::pieceTakes(current, growth)) return Applied::kNoRoom;
    Spread spread = spreadRows(hdc, current, growth.bytes());
    if (!spread.skipped.empty())
        frame::showPromptOn(hdc, hwnd, 1, run.prompt, (kFoldRowsSkipped + spread.skipped).c_str());
    // No row had anything to cut: the piece stays where it is in the
    // pattern rather than coming back unchanged as the last piece.
    if (!spread.work) return Applied::kNothingSpread;
    PatternBuffer* work = spread.work;
    Piece* piece = nullptr;
    for (size_t k = 0; k < texts.points.size(); ++k) {
        qpGetPieceLptr(work, 0, &piece);
        frame::storeGraded(work, piece, texts.points[k], texts.texts[k]);
    }
    qpGetPieceLptr(work, 0, &piece);
    frame::remapGradingCodes(work, piece, spread.map);

    qpDeletePiece(*patternCell, current);
    qpAddPiece2Buffer(&work, &piece, patternCell, pieceCell, 0);
    FreeGlobalBlock(work);
    if (pieceIndexCell) *pieceIndexCell = static_cast<short>((*patternCell)->pieceCount - 1);
    run.piece = *pieceCell;
    return Applied::kDone;
}

short click(HWND hwnd, DrawButtonProc drawButton, PatternBuffer** patternCell, Piece** pieceCell,
            short* pieceIndexCell, HostView* view) {
    const POINT at = frame::cursorClient(hwnd);
    const int x = at.x, y = at.y;
    if (run.rowCount >= 1 && kLeft + kApplyX < x && x < kLeft + kCancelX + kButtonSize && kTop + kButtonY < y &&
        y < kTop + kButtonY + kButtonSize) {
        const bool applying = x < kLeft + kCancelX;
        // A refused width keeps its cell open for a correction: nothing is
        // applied with a width the user did not mean.
        if (!closeOpenCell(hwnd) && applying) {
            openCell(hwnd, run.column);
            return 1;
        }
        run.selected = -1;
        HDC hdc = GetDC(hwnd);
        bool done = true;
        if (applying) {
            if (drawButton) drawButton(hdc, kApplyImage, 1, kLeft + kApplyX, kTop + kButtonY);
            const Applied applied = apply(hwnd, hdc, patternCell, pieceCell, pieceIndexCell);
            if (applied == Applied::kNoRoom) frame::showError(hwnd, kEditNoRoom);
            done = applied == Applied::kDone;
            // Nothing spread, or no room: the table stays open with the
            // typed widths, for a correction or a cancel.
            if (!done && drawButton) drawButton(hdc, kApplyImage, 0, kLeft + kApplyX, kTop + kButtonY);
        } else if (drawButton) {
            drawButton(hdc, kCancelImage, 1, kLeft + kCancelX, kTop + kButtonY);
        }
        ReleaseDC(hwnd, hdc);
        if (!done) return 1;
        view->pieceFoldStep = 0;
        frame::invalidateBelowPrompt(hwnd);
        return 1;
    }
    const bool inColumn = (run.cellX[0] < x && x < run.cellX[0] + kCellWidth) ||
                          (run.cellX[1] < x && x < run.cellX[1] + kCellWidth);
    if (run.rowCount >= 1 && inColumn && rowTop(0) < y && y < rowTop(run.rowCount)) {
        closeOpenCell(hwnd);
        run.selected = static_cast<short>((y - rowTop(0)) / kRowHeight);
        run.column = x >= run.cellX[1] ? 1 : 0;
        run.cellY = kTop + (run.selected + 2) * kRowHeight + 15;
        run.caret[0] = run.caret[1] = 0;
        fillCells(run.selected);
        openCell(hwnd, run.column);
        return 1;
    }
    // The host may have moved its pattern since the run started.
    if (pieceCell && *pieceCell) run.piece = *pieceCell;
    pick(hwnd, at, drawButton);
    return 1;
}

void key(HWND hwnd, WPARAM code) {
    if (code == frame::kOtherCellKey || code == frame::kFinishKey) {
        closeField();
        const int other = 1 - run.column;
        openCell(hwnd, other);
        storeCell(hwnd, run.selected, run.column);
        run.column = other;
    }
    const int step = (code == VK_UP && run.selected > 0) ? -1
                     : (code == VK_DOWN && run.selected < run.rowCount - 1) ? 1
                                                                            : 0;
    if (step == 0) return;
    closeField();
    storeCell(hwnd, run.selected, run.column);
    run.selected = static_cast<short>(run.selected + step);
    run.cellY += step * kRowHeight;
    run.caret[0] = run.caret[1] = 0;
    fillCells(run.selected);
    openCell(hwnd, run.column);
}

// The points that move: the portion from..to, and points of other segments
// on its side of the line P-Q (with a band of 1.0 mm on the other side).
struct Mover {
    Piece* piece;
    short from, to, g;
    bool leftSide;  // the moving side is the left of P -> Q
    double px, py, qx, qy, length;

    bool moves(short i, const Point* p, const Coord* c) const {
        if (i >= from && i <= to) return true;
        if (p->segIndex == g) return false;
        const double x = c->x, y = c->y;
        const double s = (x - px) * (y + py) + (qx - x) * (qy + y) + (px - qx) * (py + qy);
        return leftSide ? s >= -length : s <= length;
    }
    void apply(const float m[9]) const {
        for (short i = 0; i < piece->pointCount; ++i) {
            Point* p = nullptr;
            qpGetPointLptr(piece, i, &p);
            if (!p) continue;
            Coord* c = nullptr;
            qpGetCoordLptr(piece, p->coordIndex, &c);
            if (!c || !moves(i, p, c)) continue;
            Coord moved = *c;
            qpTransCoord(&moved, m, c);
            c->x = moved.x;
            c->y = moved.y;
        }
    }
    void shift(double tx, double ty) const {
        float m[9];
        frame::identity(m);
        m[6] = static_cast<float>(tx);
        m[7] = static_cast<float>(ty);
        apply(m);
    }
};

}  // namespace

void SpreadPieceFold(Piece* piece, short i0, short i1, float a, float b) {
    if (!piece || i0 < 0 || i1 <= i0 || i1 >= piece->pointCount) return;
    // Turning sense of the outline chain: the sum is >= 0 when it runs
    // clockwise with y up.
    double sum = 0, px = 0, py = 0;
    bool started = false;
    for (short i = 0; i < piece->pointCount; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        float x = 0, y = 0;
        if (!p || !positionOf(piece, i, x, y)) continue;
        if (p->type == 'S') {
            started = true;
        } else if (started) {
            if (p->type < 'A' || p->type > 'Z') break;
            sum += (x - px) * (py + y);
        }
        px = x;
        py = y;
    }
    const int orient = sum >= 0 ? 1 : 0;

    const bool lowOpen = a >= kPleatOpenMm, highOpen = b >= kPleatOpenMm;
    int bigFirst;
    short from, to;
    double d;
    float pX = 0, pY = 0, qX = 0, qY = 0;
    if (a > b) {
        bigFirst = 1;
        from = static_cast<short>(i0 + 1);
        to = static_cast<short>(highOpen ? i1 - 2 : i1 - 1);
        d = a - b;
        positionOf(piece, i1, pX, pY);
        positionOf(piece, i0, qX, qY);
    } else {
        bigFirst = 0;
        from = static_cast<short>(lowOpen ? i0 + 2 : i0 + 1);
        to = static_cast<short>(i1 - 1);
        d = b - a;
        positionOf(piece, i0, pX, pY);
        positionOf(piece, i1, qX, qY);
    }
    const double dx = qX - pX, dy = qY - pY;
    const double length = std::hypot(dx, dy);
    if (length < kMinPleatMm || d > 2.0 * length) return;  // no direction, or no turn reaches d
    Point* first = nullptr;
    qpGetPointLptr(piece, i0, &first);
    Mover mover{piece, from, to, first->segIndex, orient != bigFirst, pX, pY, qX, qY, length};

    if (std::fabs(b - a) < 0.1f) {
        if (lowOpen && highOpen) {
            if (bigFirst) ++mover.to;
            else --mover.from;
        }
        // The normal toward the moving side.
        const double nx = mover.leftSide ? -dy : dy, ny = mover.leftSide ? dx : -dx;
        mover.shift(a * nx / length, a * ny / length);
        return;
    }
    // Turn about P so that the point at Q travels a chord of exactly d.
    const double h = std::sqrt(length * length - d * d / 4.0);
    double theta = 2.0 * qpAngle(h, d / 2.0);
    if (orient == bigFirst) theta = -theta;
    float m[9];
    frame::rotationAbout(theta, pX, pY, m);
    mover.apply(m);
    if (!lowOpen || !highOpen) return;

    // Then shift by the smaller width, along the way the far end went.
    short k;
    double w;
    if (bigFirst) {
        k = mover.from;
        ++mover.to;
        w = b;
    } else {
        k = mover.to;
        --mover.from;
        w = a;
    }
    float kx = 0, ky = 0;
    positionOf(piece, k, kx, ky);
    const double vx = kx - qX, vy = ky - qY;
    const double dist = std::hypot(vx, vy);
    if (dist < 0.1) return;
    mover.shift(w * vx / dist, w * vy / dist);
}

QP_EXPORT short QP_WINAPI qpHandlePieceFold(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            DrawButtonProc drawButton, PatternBuffer** patternCell,
                                            Piece** pieceCell, short* pieceIndexCell, void*, HostView* view,
                                            const float* viewMatrix) {
    if (view->pieceFoldStep == 2 && run.rowCount >= 1)
        qpEditString(hwnd, message, wParam, lParam, 1, run.cellX[run.column], run.cellY, 0, kCellCharWidth,
                     kCellChars, 0, 0, &run.caret[run.column], run.text[run.column]);
    switch (message) {
    case WM_MOUSEMOVE:
        if (view->pieceFoldStep == 1) startRun(hwnd, pieceCell, view, viewMatrix);
        return 1;
    case WM_LBUTTONDOWN:
        if (view->pieceFoldStep == 2)
            return click(hwnd, drawButton, patternCell, pieceCell, pieceIndexCell, view);
        return 1;
    case WM_KEYDOWN:
        if (view->pieceFoldStep == 2 && run.selected != -1) key(hwnd, wParam);
        return 1;
    default:
        return 0;
    }
}

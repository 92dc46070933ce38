// The point-increase tool: 21 modes that add one point to the current piece
// per left click (outline inserts, outline and inner lines drawn point by
// point, notches and marks, and points at a typed distance along the
// outline), with a snapping marker and a rubber line on mouse moves.
//
// Units: piece coordinates in millimetres (y up), client pixels (y down),
// typed distances in the host's length unit, mark sizes typed in cm.
// State: one run at a time, in the statics below (the handler is not
// re-entrant; a call that arrives while one is under way changes nothing).
// Memory: the host's pattern is edited in place through the store; when it
// has no room for one more click the tool moves it to a larger block of its
// own and hands that to the host (HostDoc.pattern), as the symmetry tool
// does. The outline snapshot and the undo copy are global blocks. The
// snapshot is freed when its line ends, when the host ends the run
// (WM_CANCELMODE, our choice of the message a host sends a tool it switches
// off, as the dart fold takes it) and, failing both, at the next run's start.
//
// Every click edits in three phases: plan (positions, the stretch, typed
// numbers, all on the untouched piece), room (the block and the record
// counts), edit (store calls, pointers fetched again after each). A click
// that fails in planning shows why and leaves the piece exactly as it was.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "frame/exports.h"
#include "frame/handler_frame.h"
#include "frame/host_protocol.h"
#include "frame/piece_edit.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "pieces/point_increase.h"

namespace {

constexpr COLORREF kMarkerColour = 0xFF6400;
constexpr COLORREF kRubberColour = 0x64FFFF;
constexpr int kNoPixel = -0x7FFFFFFF;   // a remembered pixel no snap can equal
constexpr double kSnapPixels = 4.0;     // marker snap radius in modes 8 and 9
constexpr double kOnOutlineLimit = 10.0;  // |D / viewMatrixA[0]| below it: on the outline
constexpr SIZE_T kUndoSlack = 100000;   // bytes beyond totalSize in the undo copy
constexpr SIZE_T kSnapshotSlack = 100;
// Room one click may take: a point, its coord and formula with two texts of
// at most 80 bytes each, a segment, a line, an SPoint and the lines that a
// turn or arc point splits off, with ample margin.
constexpr long kClickRoom = 4096;
constexpr long kGrowStep = 65536;       // a grown block keeps this much spare
constexpr int kRecordLimit = 32000;     // below the store's 16-bit counts
constexpr int kTextLimit = 32767 - 512;

struct Marker {
    bool shown = false;
    POINT at{kNoPixel, kNoPixel};  // where it is (or follows the cursor)
    short index = -1;               // the point under it
    float x = 0, y = 0;             // that point, piece coordinates
};

struct Run {
    HostDoc doc{};                  // the host's record, copied in per click
    Piece* piece = nullptr;
    float pieceToScreen[9]{};
    float screenToPiece[9]{};
    float unit[9]{};
    Marker marker;
    POINT lastDrawn{kNoPixel, kNoPixel};
    POINT anchor{};                 // client pixel of the last click
    bool rubberShown = false;
    POINT rubberEnd{};
    int lineState = 0;              // 0 none open, 1 open, 2 the last point closed a line
    short straightLines = 0;
    bool onOutline = false;
    Piece* snapshot = nullptr;      // the outline as it was when the line began
    HGLOBAL snapshotBlock = nullptr;
    short picked = -1;              // by-length: the outline point of the first click
    short lastMade = -1;            // the point this tool added last, and its piece
    short madeIn = -1;
    bool busy = false;
    frame::PromptCells prompt;
};
Run run;

// ---- records -----------------------------------------------------------------

using frame::pointAt;
using frame::lineAt;
using frame::segAt;
using frame::sPointAt;

bool isTracked(int mode) { return mode == 8 || mode == 9 || (mode >= 17 && mode <= 20); }
bool isLineMode(int mode) { return (mode >= 4 && mode <= 11) || mode == 18 || mode == 20; }
bool isMarkMode(int mode) { return (mode >= 12 && mode <= 16) || mode == 19 || mode == 21; }
bool isInnerMode(int mode) { return (mode >= 8 && mode <= 11) || mode == 18 || mode == 20; }

// ---- the run's context -----------------------------------------------------------

void copyIn(const HostDoc* doc) {
    run.doc = *doc;
    run.piece = nullptr;
    if (run.doc.pattern) qpGetPieceLptr(run.doc.pattern, run.doc.currentPiece, &run.piece);
}

void buildMatrices() {
    float scaled[9];
    qpMultiMatrix(0, run.piece->placement, run.doc.viewMatrixA, scaled);
    qpMultiMatrix(0, scaled, run.doc.viewMatrixB, run.pieceToScreen);
    qpContraMatrix(run.pieceToScreen, run.screenToPiece);
    frame::identity(run.unit);
}

void toPiece(int cx, int cy, float& x, float& y) {
    x = static_cast<float>(cx);
    y = static_cast<float>(cy);
    frame::transform(run.screenToPiece, x, y);
}

void freeLocked(void* locked) {
    if (!locked) return;
    HGLOBAL block = GlobalHandle(locked);
    if (!block) return;
    GlobalUnlock(block);
    GlobalFree(block);
}

// Frees the snapshot only while its block is still the one we took: a block
// freed behind our back (a host that tears everything down) is forgotten,
// never freed again under a new owner at the same address.
bool snapshotAlive() {
    return run.snapshot && run.snapshotBlock && GlobalHandle(run.snapshot) == run.snapshotBlock;
}

void dropSnapshot() {
    if (snapshotAlive()) {
        GlobalUnlock(run.snapshotBlock);
        GlobalFree(run.snapshotBlock);
    }
    run.snapshot = nullptr;
    run.snapshotBlock = nullptr;
}

// The outline as it is now, for the on-outline test of the line's points.
void takeSnapshot() {
    dropSnapshot();
    const SIZE_T size = static_cast<SIZE_T>(run.piece->byteSize);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size + kSnapshotSlack);
    if (!block) return;  // no snapshot: every point then counts as inside
    auto* copy = static_cast<Piece*>(GlobalLock(block));
    if (!copy) {
        GlobalFree(block);
        return;
    }
    qpMemcpy(copy, run.piece, run.piece->byteSize);
    run.snapshot = copy;
    run.snapshotBlock = block;
}

// The host's undo copy: the whole pattern as it is after this edit.
void renewUndoCopy() {
    freeLocked(run.doc.patternCopy);
    run.doc.patternCopy = nullptr;
    PatternBuffer* pattern = run.doc.pattern;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(pattern->totalSize) + kUndoSlack);
    if (!block) return;
    auto* copy = static_cast<PatternBuffer*>(GlobalLock(block));
    if (!copy) {
        GlobalFree(block);
        return;
    }
    qpMemcpy(copy, pattern, pattern->totalSize);
    run.doc.patternCopy = copy;
}

// Makes sure one more click fits: the record counts stay below the store's
// 16-bit limits, and the pattern's block holds kClickRoom more bytes. A
// block without room is replaced by a larger copy, which the host gets at
// once (HostDoc.pattern and patternView) since not every click copies the
// record back. False (after the message) when neither is possible.
bool makeRoom(HWND hwnd, HostDoc* hostDoc) {
    Piece* piece = run.piece;
    const int counts[] = {piece->pointCount, piece->coordCount, piece->formulaCount,
                          piece->lineCount, piece->segCount, piece->sPointCount};
    bool fits = piece->charCount < kTextLimit;
    for (const int n : counts) fits = fits && n < kRecordLimit;
    PatternBuffer* pattern = run.doc.pattern;
    HGLOBAL block = fits ? GlobalHandle(pattern) : nullptr;
    if (block) {
        const long need = pattern->totalSize + kClickRoom;
        if (static_cast<long>(GlobalSize(block)) >= need) return true;
        HGLOBAL grown = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(need + kGrowStep));
        auto* moved = grown ? static_cast<PatternBuffer*>(GlobalLock(grown)) : nullptr;
        if (moved) {
            qpMemcpy(moved, pattern, pattern->totalSize);
            GlobalUnlock(block);
            GlobalFree(block);
            run.doc.pattern = run.doc.patternView = moved;
            hostDoc->pattern = hostDoc->patternView = moved;
            qpGetPieceLptr(moved, run.doc.currentPiece, &run.piece);
            return true;
        }
        if (grown) GlobalFree(grown);
    }
    frame::showError(hwnd, kIncreaseNoRoom);
    return false;
}

void refuse(HWND hwnd, const char* text) { frame::showPrompt(hwnd, 1, run.prompt, text); }

// The end of a completed edit: the undo copy, the host's record.
void finishEdit(HostDoc* hostDoc) {
    run.marker.shown = false;
    run.rubberShown = false;
    renewUndoCopy();
    *hostDoc = run.doc;
}

// ---- mouse moves ---------------------------------------------------------------

bool samePixel(POINT a, POINT b) { return a.x == b.x && a.y == b.y; }

short track(HWND hwnd, HostView* view, HostDoc* hostDoc) {
    const int mode = view->increaseMode;
    if (view->pickState == 0 || !isTracked(mode)) return 0;
    copyIn(hostDoc);
    if (!run.piece) return 0;
    buildMatrices();
    HDC hdc = GetDC(hwnd);
    SetROP2(hdc, R2_XORPEN);
    if (view->pickState == 1) {
        // The host starts tracking: a new run. Nothing of an earlier run
        // (an open line, its snapshot, a picked outline point) carries over;
        // a line left open stays in the piece as an open line.
        run.marker = Marker{};
        run.lastDrawn = POINT{kNoPixel, kNoPixel};
        run.rubberShown = false;
        run.lineState = 0;
        run.onOutline = false;
        run.picked = -1;
        dropSnapshot();
    }
    const POINT cursor = frame::cursorClient(hwnd);
    float x = 0, y = 0;
    toPiece(cursor.x, cursor.y, x, y);
    short index = -1;
    float length = 0;
    qpCurve(nullptr, run.piece, qpcurve::kOpSearch, qpcurve::kNearestVertex, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, 0, 0, qpcurve::kColourDefault,
            qpcurve::kDefaultResolution, &index, &length, &x, &y, run.doc.viewMatrixA);
    double distance = HUGE_VAL;
    POINT snap{kNoPixel, kNoPixel};
    if (index >= 0) {
        float sx = x, sy = y;
        frame::transform(run.pieceToScreen, sx, sy);
        distance = std::hypot(cursor.x - sx, cursor.y - sy);
        snap = POINT{static_cast<LONG>(sx), static_cast<LONG>(sy)};
    }
    const bool inner = mode == 8 || mode == 9;
    const bool byLength = mode >= 17;
    const int state = view->pickState;
    // 1. Away from every point (modes 8, 9) or while the rubber line runs
    //    from a picked outline point, the marker position is the cursor.
    if ((inner && distance > kSnapPixels) || state == 3) run.marker.at = cursor;
    // 2. Erase the drawn marker when it is left behind. Only a marker that is
    //    on the screen is drawn again: drawing a hidden one would leave a blot.
    if (run.marker.shown && ((inner && distance > kSnapPixels) ||
                             (byLength && state == 2 && !samePixel(snap, run.lastDrawn)))) {
        frame::drawMarker(hdc, run.lastDrawn.x, run.lastDrawn.y, kMarkerColour);
        run.marker.shown = false;
    }
    // 3. Draw it on the point it snaps to.
    if (index >= 0 && !run.marker.shown &&
        ((inner && distance < kSnapPixels) ||
         (byLength && state < 3 && !samePixel(snap, run.lastDrawn)))) {
        frame::drawMarker(hdc, snap.x, snap.y, kMarkerColour);
        run.marker.shown = true;
        run.marker.at = snap;
        run.marker.index = index;
        run.marker.x = x;
        run.marker.y = y;
    }
    // 4. The rubber line from the last click follows the marker position.
    if ((mode == 9 || (byLength && state == 3)) && !samePixel(run.marker.at, run.lastDrawn)) {
        if (run.rubberShown) frame::drawRubberLine(hdc, run.anchor, run.rubberEnd, kRubberColour);
        frame::drawRubberLine(hdc, run.anchor, run.marker.at, kRubberColour);
        run.rubberShown = true;
        run.rubberEnd = run.marker.at;
    }
    if (state == 1) view->pickState = 2;
    ReleaseDC(hwnd, hdc);
    run.lastDrawn = run.marker.at;
    return 1;
}

// ---- left clicks: planning -----------------------------------------------------------

// What one click will add, settled before the first store call.
struct Plan {
    int mode = 0;
    float x = 0, y = 0;        // the new point, piece coordinates
    short k = -1;              // the stretch k, k + 1 that holds it (inserts, notches)
    short notchLine = -1;      // modes 12 and 19
    short markerPoint = -1;    // the point under the marker, when it decided P
    bool joining = false;      // line modes: the point continues the open line's chain
    bool endsLine = false;     // mode 9: the point ends the inner line
    bool hasSize = false;      // mode 14: a typed size
    float size = 0;            // mm
};

// Mode 9 with straight lines: the click squared off against the previous
// anchor to a multiple of 45 degrees (integer pixels, as the host counts).
POINT squareOff(POINT c, POINT a) {
    const int dx = std::abs(static_cast<int>(c.x - a.x));
    const int dy = std::abs(static_cast<int>(c.y - a.y));
    if (dx < dy / 2) {
        c.x = a.x;
    } else if (dy < dx / 2) {
        c.y = a.y;
    } else {
        const int m = (dx + dy) / 2;
        c.x = a.x + (c.x >= a.x ? m : -m);
        c.y = a.y + (c.y >= a.y ? m : -m);
    }
    return c;
}

// Modes 8 and 9: is P on the outline as it was when the line began? When it
// is, P moves onto it.
bool onOutline(Plan& plan) {
    if (!snapshotAlive()) return false;
    short index = -1;
    float length = 0, x = plan.x, y = plan.y;
    qpCurve(nullptr, run.snapshot, qpcurve::kOpSearch, qpcurve::kNearestOnLines,
            qpcurve::kStylePlain, qpcurve::kSnapAllLinesDefault, 0, 0, qpcurve::kColourDefault,
            qpcurve::kDefaultResolution, &index, &length, &x, &y, run.unit);
    if (index < 0) return false;
    const double d = std::hypot(x - plan.x, y - plan.y);
    const double scale = run.doc.viewMatrixA[0];
    if (scale == 0 || std::fabs(d / scale) >= kOnOutlineLimit) return false;
    const short k = frame::findPart(run.snapshot, x, y, run.unit);
    if (k < 0) return false;
    Point* p = pointAt(run.snapshot, k);
    if (!p || static_cast<unsigned char>(p->type) > 'Y') return false;
    plan.x = x;
    plan.y = y;
    return true;
}

// P onto the piece's nearest line point and the stretch that holds it.
bool findStretch(Plan& plan) {
    short index = -1;
    float length = 0, x = plan.x, y = plan.y;
    qpCurve(nullptr, run.piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines,
            qpcurve::kStylePlain, qpcurve::kSnapAllLinesDefault, 0, 0, qpcurve::kColourDefault,
            qpcurve::kDefaultResolution, &index, &length, &x, &y, run.unit);
    if (index < 0) return false;
    plan.x = x;
    plan.y = y;
    plan.k = frame::findPart(run.piece, x, y, run.unit);
    return plan.k >= 0;
}

// ---- left clicks: the edit ---------------------------------------------------------

// The segment code and value a new segment of this mode gets; false keeps
// what the store gives (outline lines, modes 4 to 7).
bool segmentCode(int mode, short& code, short& value) {
    switch (mode) {
    case 12: case 19: code = 16; value = 0; return true;
    case 13: case 14: code = 15; value = 12; return true;
    case 15: code = 17; value = 0; return true;
    case 16: code = 18; value = 9; return true;
    case 21: code = 18; value = 13; return true;
    default: break;
    }
    if (isInnerMode(mode)) {
        code = run.straightLines ? 4 : 2;
        value = run.straightLines ? 0 : 14;
        return true;
    }
    return false;
}

// Is the piece's last point the end of the line this tool is drawing: the
// point it added last, still the open end of its line (a chain start or a
// curve point with line state 1, a turning point that closed the line with
// line state 2)? The line state alone is not trusted: the host may change
// modes, pieces or the pattern between clicks.
bool isMarkType(char type) {
    const char t = typeLetter(type);
    return t == 'V' || t == 'O' || t == 'G' || t == 'P';
}

bool drawingEnd(Piece* piece) {
    const short last = static_cast<short>(piece->pointCount - 1);
    if (run.lineState == 0 || last < 0 || last != run.lastMade || run.madeIn != run.doc.currentPiece)
        return false;
    Point* p = pointAt(piece, last);
    if (!p || isMarkType(p->type)) return false;
    const short line = p->lineOut >= 0 ? p->lineOut : p->lineIn;
    Line* l = lineAt(piece, line);
    if (!l || l->firstPoint + l->pointCount - 1 != last) return false;
    const char t = typeLetter(p->type);
    if (run.lineState == 2) return t == 'K' && p->lineIn == line && p->lineOut < 0;
    if (t == 'S') return p->lineIn < 0 && p->lineOut == line;
    return (t == 'C' || t == 'M') && p->lineIn == line && p->lineOut == line;
}

// Does the segment of the piece's last point take this mode's next point?
bool continues(int mode, const Seg* seg) {
    if (!seg) return false;
    const short c = seg->code;
    if (isLineMode(mode)) {
        // A line mode continues only the line being drawn (or the closed
        // line's chain); with none it starts a line, as its first-point mode.
        if (seg->markFlag != 0 || mode == 4 || mode == 8 || mode == 18 || !drawingEnd(run.piece))
            return false;
        if (mode == 20) return true;
        if (mode >= 5 && mode <= 7) return c == 1 || c == 3;
        return c == 2 || c == 4;
    }
    if (seg->markFlag == 0 && seg->lineCount > 0) return false;
    switch (mode) {
    case 12: case 19: return c == 16;
    case 13: case 14: return c == 15;
    case 15: return c == 17;
    case 16: case 21: return c == 18;
    default: return false;
    }
}

// Outline insert (modes 1 to 3 and 17): a point right after k on its line.
short insertIntoOutline(const Plan& plan) {
    PatternBuffer* pattern = run.doc.pattern;
    Piece* piece = run.piece;
    frame::PointIndexMap map(piece->pointCount);
    Point* added = nullptr;
    qpInsertPoint(pattern, piece, plan.k, &added);
    const short n = frame::pointIndexOf(piece, added);
    if (n < 0) return -1;
    map.inserted(n);
    const bool blend = plan.mode <= 3;
    const short a = plan.k;
    const short b = blend ? static_cast<short>(plan.k + 2) : plan.k;
    frame::attachCoord(pattern, piece, n, plan.x, plan.y, a, b, blend ? 1 : 0);
    if (plan.mode == 1 || plan.mode == 17) {
        qpModifyCurve2Turnp(pattern, piece, n);
    } else if (plan.mode == 3) {
        qpModifyCurve2Arcp(pattern, piece, n);
    } else if (plan.mode == 2) {
        Point* before = pointAt(piece, static_cast<short>(n - 1));
        Point* after = pointAt(piece, static_cast<short>(n + 1));
        if (before && typeLetter(before->type) == 'M') before->type = withCaseOf(before->type, 'C');
        else if (after && typeLetter(after->type) == 'M') after->type = withCaseOf(after->type, 'C');
    }
    frame::remapGradingCodes(piece, map);
    if (run.lastMade >= n) ++run.lastMade;
    return n;
}

// The open line: the line the piece's last point belongs to.
short openLineOf(Piece* piece) {
    Point* last = pointAt(piece, static_cast<short>(piece->pointCount - 1));
    if (!last) return -1;
    return last->lineOut >= 0 ? last->lineOut : last->lineIn;
}

// Types the new point n of a line mode; `fresh` when it starts its line.
void typeLinePoint(Piece* piece, const Plan& plan, short n, short line, bool fresh,
                   HostView* view) {
    const int mode = plan.mode;
    Point* p = pointAt(piece, n);
    Line* l = lineAt(piece, line);
    const bool upper = mode >= 4 && mode <= 7;
    auto letter = [upper](char c) { return upper ? c : static_cast<char>(c | 0x20); };
    if (fresh) {
        p->type = letter('S');
        p->lineIn = -1;
        p->lineOut = line;
        run.lineState = 1;
        if (mode == 8 || mode == 20) view->increaseMode = 9;
        else if (mode == 18) view->increaseMode = 20;
        return;
    }
    Point* before = pointAt(piece, static_cast<short>(n - 1));
    const char previous = typeLetter(before->type);
    switch (mode) {
    case 5:
        p->type = 'K';
        p->lineIn = line;
        p->lineOut = -1;
        run.lineState = 2;
        break;
    case 6: case 10:
        p->type = letter('C');
        p->lineIn = p->lineOut = line;
        l->kind = 2;
        run.lineState = 1;
        break;
    case 7: case 11:
        if (previous == 'K' || previous == 'S') {
            p->type = letter('M');
            l->kind = 1;
            p->lineIn = p->lineOut = line;
            run.lineState = 1;
        } else if (previous == 'M') {
            p->type = letter('K');
            p->lineIn = line;
            p->lineOut = -1;
            run.lineState = 2;
        } else {
            p->type = letter('C');
            p->lineIn = p->lineOut = line;
            run.lineState = 1;
        }
        break;
    case 9:
        if (!plan.endsLine) {
            p->type = 'c';
            p->lineIn = p->lineOut = line;
            run.lineState = 1;
        } else {
            p->type = 'k';
            p->lineIn = line;
            p->lineOut = -1;
            if (l->pointCount > 2) l->kind = 2;
            run.lineState = 0;
            view->increaseMode = 0;
        }
        break;
    case 20:
        p->type = 'k';
        p->lineIn = line;
        p->lineOut = -1;
        run.lineState = 2;
        view->increaseMode = 0;
        break;
    default:
        break;
    }
}

// A line mode's point: joins the open line, starts the next line of a closed
// chain at its last point, or starts a line in a segment of its own.
short addLinePoint(const Plan& plan, HostView* view) {
    PatternBuffer* pattern = run.doc.pattern;
    Piece* piece = run.piece;
    const int mode = plan.mode;
    const short last = static_cast<short>(piece->pointCount - 1);
    Point* lastPoint = pointAt(piece, last);
    short segIndex = lastPoint ? lastPoint->segIndex : -1;
    const bool joining = plan.joining;
    short line = -1;
    bool fresh = false, chained = false;
    if (joining && run.lineState == 2) {
        Line* added = nullptr;
        qpIncreaseLine(pattern, piece, segAt(piece, segIndex), &added);
        line = frame::lineIndexOf(piece, added);
        chained = true;
    } else if (joining) {
        line = openLineOf(piece);
    } else {
        run.lineState = 0;
        segIndex = piece->segCount;  // the store appends segments
        Seg* seg = nullptr;
        qpIncreaseSegment(pattern, piece, &seg);
        short code = 0, value = 0;
        if (segmentCode(mode, code, value)) {
            seg = segAt(piece, segIndex);
            seg->code = code;
            seg->value = value;
        }
        Line* added = nullptr;
        qpIncreaseLine(pattern, piece, segAt(piece, segIndex), &added);
        line = frame::lineIndexOf(piece, added);
        fresh = true;
    }
    if (line < 0) return -1;
    Point* made = nullptr;
    qpIncreasePoint(pattern, piece, segAt(piece, segIndex), line, 0, &made);
    const short n = frame::pointIndexOf(piece, made);
    if (n < 0) return -1;
    if (chained) {
        // The closed line's last point starts the new line.
        Line* l = lineAt(piece, line);
        l->firstPoint = static_cast<short>(n - 1);
        l->pointCount = 2;
        pointAt(piece, static_cast<short>(n - 1))->lineOut = line;
    }
    const short anchorPoint = plan.markerPoint >= 0 ? plan.markerPoint : static_cast<short>(n - 1);
    frame::attachCoord(pattern, piece, n, plan.x, plan.y, anchorPoint, anchorPoint, 0);
    typeLinePoint(piece, plan, n, line, fresh, view);
    run.lastMade = n;
    run.madeIn = run.doc.currentPiece;
    return n;
}

// A notch or mark with its SPoint.
short addMark(HWND hwnd, const Plan& plan, HDC hdc) {
    PatternBuffer* pattern = run.doc.pattern;
    Piece* piece = run.piece;
    const int mode = plan.mode;
    const short last = static_cast<short>(piece->pointCount - 1);
    Point* lastPoint = pointAt(piece, last);
    short segIndex = lastPoint ? lastPoint->segIndex : -1;
    if (!continues(mode, segAt(piece, segIndex))) {
        segIndex = piece->segCount;
        Seg* seg = nullptr;
        qpIncreaseSegment(pattern, piece, &seg);
        short code = 0, value = 0;
        segmentCode(mode, code, value);
        seg = segAt(piece, segIndex);
        seg->code = code;
        seg->value = value;
        seg->markFlag = 1;
        seg->firstLine = piece->sPointCount;
    }
    SPoint* sp = nullptr;
    qpIncreaseSPoint(pattern, piece, segAt(piece, segIndex), &sp);
    const short s = frame::sPointIndexOf(piece, sp);
    if (s < 0) return -1;
    Point* made = nullptr;
    qpIncreasePoint(pattern, piece, segAt(piece, segIndex), s, 1, &made);
    const short n = frame::pointIndexOf(piece, made);
    if (n < 0) return -1;
    run.lastMade = n;  // a mark ends any line being drawn
    const bool notch = mode == 12 || mode == 19;
    short basis = static_cast<short>(n - 1);
    if (notch) basis = plan.k;
    else if (plan.markerPoint >= 0) basis = plan.markerPoint;
    frame::attachCoord(pattern, piece, n, plan.x, plan.y, basis, basis, 0);
    Point* p = pointAt(piece, n);
    SPoint* mark = sPointAt(piece, s);
    switch (mode) {
    case 12: case 19: {
        p->type = 'v';
        p->lineIn = 0;
        // pi / 2 in thousandths of a radian, signed by the turning sense.
        p->lineOut = static_cast<short>(qpGetPieceClockwise(piece) * 500 * 3.14159);
        mark->lineIndex = plan.notchLine;
        mark->size = 5.0f;
        Line* l = lineAt(piece, plan.notchLine);
        l->flags = static_cast<short>(l->flags | kLineNotchFlag);
        short index = -1;
        float along = 0, x = plan.x, y = plan.y;
        qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kSnapAllLinesDefault, l->firstPoint, l->pointCount,
                qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index, &along, &x, &y,
                run.doc.viewMatrixA);
        mark->position = along;
        break;
    }
    case 13:
        p->type = 'o';
        p->lineIn = 0;
        break;
    case 14: {
        p->type = 'o';
        p->lineIn = 0;
        // The mark in the turned view: the view's y axis flipped within the
        // client rectangle (a copy, so the host's matrix is never touched).
        RECT client{};
        GetClientRect(hwnd, &client);
        float turned[9];
        std::memcpy(turned, run.doc.viewMatrixA, sizeof turned);
        turned[4] = -turned[4];
        turned[7] = static_cast<float>(client.bottom) - turned[7];
        short index = 0;
        float length = 0, x = 0, y = 0;
        qpCurve(hdc, piece, qpcurve::kOpSearch, qpcurve::kDrawOnly, qpcurve::kStyleWhole,
                qpcurve::kSnapAllLinesDefault, n, 1, qpcurve::kColourDefault,
                qpcurve::kDefaultResolution, &index, &length, &x, &y, turned);
        if (plan.hasSize) mark->size = plan.size;  // else the store's size stays
        break;
    }
    case 15:
        p->type = 'g';
        p->lineIn = s;
        break;
    case 16:
        p->type = 'p';
        p->lineIn = s;
        break;
    case 21:
        p->type = 'o';
        p->lineIn = 4;
        mark->size = 5.0f;
        break;
    default:
        break;
    }
    return n;
}

// ---- left clicks ------------------------------------------------------------------

// Ends the open inner line (mode 9) at its last point: a click that ended
// it, or a right click. Sends kCmdLineEnded after everything is settled, so
// that the host's answer finds the tool at rest.
void endInnerLine(HWND hwnd, HostView* view, HostDoc* hostDoc) {
    Piece* piece = run.piece;
    const short last = static_cast<short>(piece->pointCount - 1);
    const short line = openLineOf(piece);
    Point* p = pointAt(piece, last);
    Line* l = lineAt(piece, line);
    if (l->pointCount > 2) l->kind = 2;
    p->type = 'k';
    p->lineIn = line;
    p->lineOut = -1;
    view->increaseMode = 0;
    run.lineState = 0;
    run.onOutline = false;
    dropSnapshot();
    finishEdit(hostDoc);
    SendMessageA(hwnd, WM_COMMAND, frame::kCmdLineEnded, 0);
}

// Is there an open inner line of at least two points to end?
bool endableLine() {
    if (run.lineState != 1 || !run.piece || run.piece->pointCount < 2 || !drawingEnd(run.piece))
        return false;
    const short line = openLineOf(run.piece);
    Line* l = lineAt(run.piece, line);
    Point* last = pointAt(run.piece, static_cast<short>(run.piece->pointCount - 1));
    return l && l->pointCount >= 2 && last && !isOutlineType(last->type) &&
           l->firstPoint + l->pointCount == run.piece->pointCount;
}

short rightClick(HWND hwnd, HostView* view, HostDoc* hostDoc) {
    if (view->increaseMode != 9) return 1;
    copyIn(hostDoc);
    if (!run.piece || !endableLine()) return 1;  // nothing open to end
    endInnerLine(hwnd, view, hostDoc);
    return 1;
}

short leftClick(HWND hwnd, DLGPROC dialogProc, const char* dialogText, HostView* view,
                HostDoc* hostDoc) {
    const int mode = view->increaseMode;
    if (mode < 1 || mode > 21) return 1;
    copyIn(hostDoc);
    if (!run.piece) return 1;
    buildMatrices();
    POINT click = frame::cursorClient(hwnd);
    if (mode >= 13 && mode <= 15) run.marker.shown = false;

    Plan plan;
    plan.mode = mode;
    toPiece(click.x, click.y, plan.x, plan.y);
    const POINT previousAnchor = run.anchor;
    // The marker decides P only where mouse moves keep it (tracked modes).
    const bool byMarker = run.marker.shown && isTracked(mode);
    POINT anchor = click;
    if (byMarker) {
        plan.x = run.marker.x;
        plan.y = run.marker.y;
        plan.markerPoint = run.marker.index;
        anchor = run.marker.at;
    }

    const bool byLength = mode >= 17 && (view->pickState == 2 || view->pickState == 3);
    if (mode >= 17 && mode <= 19 && !byLength) return 1;  // no outline point picked yet
    if (byLength && view->pickState == 2) {
        Point* p = byMarker ? pointAt(run.piece, run.marker.index) : nullptr;
        if (!p || !isOutlineType(p->type)) return 1;
        run.picked = run.marker.index;
        view->pickState = 3;
        run.marker.shown = false;
        run.rubberShown = false;
        run.anchor = run.lastDrawn;
        return 1;
    }
    if (byLength) {
        increase::LengthPlan along;
        if (!increase::planDirection(run.piece, run.picked, plan.x, plan.y, along)) return 1;
        double mm = 0;
        bool refused = false;
        if (!increase::askDistance(hwnd, dialogProc, dialogText, run.doc.lengthUnit, mm, refused)) {
            if (refused) refuse(hwnd, kNumberRefused);
            return 1;  // a cancel: the outline point stays picked
        }
        if (!increase::placeAlong(run.piece, along, mm, plan.x, plan.y)) {
            refuse(hwnd, kIncreaseTooLong);
            return 1;
        }
        plan.markerPoint = -1;
    }

    if (isLineMode(mode)) {
        Point* last = pointAt(run.piece, static_cast<short>(run.piece->pointCount - 1));
        plan.joining = last && continues(mode, segAt(run.piece, last->segIndex));
    }
    if (mode == 9 && plan.joining && run.straightLines) {
        anchor = squareOff(click, previousAnchor);
        toPiece(anchor.x, anchor.y, plan.x, plan.y);
        plan.markerPoint = -1;
    }
    if (mode == 8 || (mode == 9 && !plan.joining) || (mode == 9 && !snapshotAlive()))
        takeSnapshot();
    if (mode == 8 || mode == 9) {
        run.onOutline = onOutline(plan);
        if (run.onOutline) plan.markerPoint = -1;
    }
    if (mode == 9 && plan.joining)
        plan.endsLine = run.onOutline || run.straightLines;

    const bool needsStretch = (mode >= 1 && mode <= 3) || mode == 12 || byLength;
    if (needsStretch) {
        // A click that matches no stretch adds nothing.
        if (!findStretch(plan)) return 1;
        if (mode == 12 || mode == 19) {
            Point* kp = pointAt(run.piece, plan.k);
            Line* l = kp ? lineAt(run.piece, kp->lineOut) : nullptr;
            if (!l) return 1;
            plan.notchLine = kp->lineOut;
            plan.k = l->firstPoint;
        }
    }
    if (mode == 14) {
        char text[increase::kTypedTextSize];
        const bool copied = increase::copyHostText(dialogText, text);
        if (copied && text[0] != '\0') {
            double cm = 0;
            if (!increase::readPositive(text, cm)) {
                refuse(hwnd, kNumberRefused);
                return 1;
            }
            plan.hasSize = true;
            plan.size = static_cast<float>(cm * 10.0);
        } else if (!copied && dialogText) {
            refuse(hwnd, kNumberRefused);
            return 1;
        }
    }

    if (!makeRoom(hwnd, hostDoc)) return 1;

    // The edit: from here on the piece changes.
    if (needsStretch) view->pickState = 0;
    run.anchor = anchor;
    HDC hdc = GetDC(hwnd);
    short n = -1;
    if ((mode >= 1 && mode <= 3) || mode == 17) {
        if (mode == 17) view->pickState = 2;
        n = insertIntoOutline(plan);
    } else if (isLineMode(mode)) {
        n = addLinePoint(plan, view);
    } else if (isMarkMode(mode)) {
        n = addMark(hwnd, plan, hdc);
    }
    if (mode == 19) view->pickState = 2;
    ReleaseDC(hwnd, hdc);
    if (n < 0) return 1;

    if (mode == 9 && plan.joining && !plan.endsLine) {
        // A middle point of the inner line: the rubber line goes on from it;
        // the line is not done, so neither undo copy nor repaint.
        run.rubberShown = false;
        return 1;
    }
    if (mode == 9 && plan.endsLine) {
        // The point is typed 'k' already; the line ends as a right click ends it.
        endInnerLine(hwnd, view, hostDoc);
        return 1;
    }
    finishEdit(hostDoc);
    frame::invalidateAll(hwnd);
    return 1;
}

}  // namespace

QP_EXPORT short QP_WINAPI qpHandleIncreasePoint(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                                DLGPROC dialogProc, char* dialogText, HostView* view,
                                                HostDoc* doc) {
    // The dialog and SendMessageA hand the thread to the host, whose window
    // procedure may call us again: such a call changes nothing.
    if (run.busy || !view || !doc) return 0;
    struct Busy {
        Busy() { run.busy = true; }
        ~Busy() { run.busy = false; }
    } busy;
    switch (message) {
    case WM_MOUSEMOVE:
        return track(hwnd, view, doc);
    case WM_LBUTTONDOWN:
        return leftClick(hwnd, dialogProc, dialogText, view, doc);
    case WM_RBUTTONDOWN:
        return rightClick(hwnd, view, doc);
    case WM_CANCELMODE:
        // The host ends the run (the user switches tools): the outline
        // snapshot of a line begun in mode 8 is freed now, not left for the
        // next run; a line left open stays in the piece as an open line. The
        // marker and rubber line are forgotten, not erased: the host repaints
        // the window for the next tool.
        run.lineState = 0;
        run.onOutline = false;
        run.picked = -1;
        run.marker = Marker{};
        run.rubberShown = false;
        dropSnapshot();
        return 1;
    case WM_COMMAND:
        if (wParam != frame::kCmdStraight) return 0;
        run.straightLines = static_cast<short>(lParam & 0xFFFF);
        return 1;
    default:
        return 0;
    }
}

// The point-increase tool: 21 modes that add one point to the current piece
// per left click (outline inserts, outline and inner lines drawn point by
// point, notches and marks, and points at a typed distance along the
// outline), with a snapping marker and a rubber line on mouse moves. The
// modes and what a click of each picks and makes: point_increase.h.
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

#include "frame/curve_forms.h"
#include "frame/exports.h"
#include "frame/graded_edit.h"
#include "frame/handler_frame.h"
#include "frame/host_protocol.h"
#include "frame/piece_edit.h"
#include "frame/room.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "pieces/point_increase.h"

namespace {

constexpr COLORREF kMarkerColour = 0xFF6400;
constexpr COLORREF kRubberColour = 0x64FFFF;
constexpr int kNoPixel = -0x7FFFFFFF;   // a remembered pixel no snap can equal
constexpr double kSnapPixels = 4.0;     // radius of a snapping marker (Tracks::kSnap)
constexpr double kOnOutlineLimit = 10.0;  // |D / viewMatrixA[0]| below it: on the outline
constexpr float kOnPointMm = 0.01f;  // P moved onto the outline this near still lies on its point
constexpr SIZE_T kUndoSlack = 100000;   // bytes beyond totalSize in the undo copy
constexpr SIZE_T kSnapshotSlack = 100;
constexpr long kGrowStep = 65536;       // bytes a grown pattern block keeps to spare

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

// ---- the modes ------------------------------------------------------------------

using namespace increase;

bool isTracked(int mode) { return isMode(mode) && traitsOf(mode).tracks != Tracks::kNone; }
bool isInsert(Makes m) { return m == Makes::kTurnInsert || m == Makes::kCurveInsert || m == Makes::kArcInsert; }
bool isLinePoint(Makes m) { return m == Makes::kOutlineLinePoint || m == Makes::kInnerLinePoint; }
bool isNotchOrMark(Makes m) { return m == Makes::kNotch || m == Makes::kMark; }

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
    if (view->pickState == kUntracked || !isTracked(mode)) return 0;
    const Tracks tracks = traitsOf(mode).tracks;
    copyIn(hostDoc);
    if (!run.piece) return 0;
    buildMatrices();
    HDC hdc = GetDC(hwnd);
    SetROP2(hdc, R2_XORPEN);
    if (view->pickState == kTrackingStarts) {
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
    const frame::CurveHit nearest = frame::nearestVertex(run.piece, x, y, run.doc.viewMatrixA);
    const short index = nearest.index;
    x = nearest.x;
    y = nearest.y;
    double distance = HUGE_VAL;
    POINT snap{kNoPixel, kNoPixel};
    if (index >= 0) {
        float sx = x, sy = y;
        frame::transform(run.pieceToScreen, sx, sy);
        distance = std::hypot(cursor.x - sx, cursor.y - sy);
        snap = POINT{static_cast<LONG>(sx), static_cast<LONG>(sy)};
    }
    const bool snaps = tracks == Tracks::kSnap;
    const bool picks = tracks == Tracks::kPick;
    const int state = view->pickState;
    // 1. Away from every point (a snapping marker) or while the rubber line
    //    runs from a picked outline point, the marker position is the cursor.
    if ((snaps && distance > kSnapPixels) || state == kPointPicked) run.marker.at = cursor;
    // 2. Erase the drawn marker when it is left behind. Only a marker that is
    //    on the screen is drawn again: drawing a hidden one would leave a blot.
    if (run.marker.shown && ((snaps && distance > kSnapPixels) ||
                             (picks && state == kTracking && !samePixel(snap, run.lastDrawn)))) {
        frame::drawMarker(hdc, run.lastDrawn.x, run.lastDrawn.y, kMarkerColour);
        run.marker.shown = false;
    }
    // 3. Draw it on the point it snaps to.
    if (index >= 0 && !run.marker.shown &&
        ((snaps && distance < kSnapPixels) ||
         (picks && state < kPointPicked && !samePixel(snap, run.lastDrawn)))) {
        frame::drawMarker(hdc, snap.x, snap.y, kMarkerColour);
        run.marker.shown = true;
        run.marker.at = snap;
        run.marker.index = index;
        run.marker.x = x;
        run.marker.y = y;
    }
    // 4. The rubber line from the last click follows the marker position.
    if ((mode == kInnerNext || (picks && state == kPointPicked)) && !samePixel(run.marker.at, run.lastDrawn)) {
        if (run.rubberShown) frame::drawRubberLine(hdc, run.anchor, run.rubberEnd, kRubberColour);
        frame::drawRubberLine(hdc, run.anchor, run.marker.at, kRubberColour);
        run.rubberShown = true;
        run.rubberEnd = run.marker.at;
    }
    if (state == kTrackingStarts) view->pickState = kTracking;
    ReleaseDC(hwnd, hdc);
    run.lastDrawn = run.marker.at;
    return 1;
}

// ---- the line being drawn ------------------------------------------------------------

// Is the piece's last point the end of the line this tool is drawing: the
// point it added last, still the open end of its line (a chain start or a
// curve point with line state 1, a turning point that closed the line with
// line state 2)? The line state alone is not trusted: the host may change
// modes, pieces or the pattern between clicks.
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
// Outline lines have segment codes 1 and 3, inner lines 2 and 4.
bool continues(const ModeTraits& traits, const Seg* seg) {
    if (!seg) return false;
    const short c = seg->code;
    if (isLinePoint(traits.makes)) {
        // A line mode continues only the line being drawn (or the closed
        // line's chain); with none it starts a line, as its first-point mode.
        if (seg->markFlag != 0 || traits.startsLine || !drawingEnd(run.piece)) return false;
        if (traits.mode == kInnerEndAlong) return true;
        if (traits.makes == Makes::kOutlineLinePoint) return c == 1 || c == 3;
        return c == 2 || c == 4;
    }
    if (seg->markFlag == 0 && seg->lineCount > 0) return false;
    return isNotchOrMark(traits.makes) && c == traits.mark.segCode;
}

// The code and value a new segment of this mode gets; false keeps what the
// store gives (outline lines).
bool segmentCode(const ModeTraits& traits, short& code, short& value) {
    if (isNotchOrMark(traits.makes)) {
        code = traits.mark.segCode;
        value = traits.mark.segValue;
        return true;
    }
    if (traits.makes == Makes::kInnerLinePoint) {
        code = run.straightLines ? 4 : 2;
        value = run.straightLines ? 0 : 14;
        return true;
    }
    return false;
}

// The open line: the line the piece's last point belongs to.
short openLineOf(Piece* piece) {
    Point* last = pointAt(piece, static_cast<short>(piece->pointCount - 1));
    if (!last) return -1;
    return last->lineOut >= 0 ? last->lineOut : last->lineIn;
}

// ---- left clicks: the plan -------------------------------------------------------------

// What one click will add, settled on the untouched piece before the first
// store call.
struct Plan {
    Mode mode = kNoMode;
    POINT click{};             // the cursor, client pixels
    POINT anchor{};            // where the rubber line starts next: the click or the marker
    float x = 0, y = 0;        // the new point, piece coordinates
    short markerPoint = -1;    // the point under the marker, when it decided P
    bool byLength = false;     // P lies at a typed distance along the outline
    bool onStretch = false;    // P lies on the stretch k, k + 1 of the piece's lines
    short k = -1;              // that stretch (inserts), or the notch line's first point
    short notchLine = -1;      // notches
    bool joining = false;      // line points: P continues the open line's chain
    bool endsLine = false;     // kInnerNext: P ends the inner line
    bool hasSize = false;      // kDrillMarkSized: a typed size
    float size = 0;            // mm
    LengthPlan along;          // by length: the walk from the picked point
    double mm = 0;             // by length: the typed distance
    bool graded = false;       // by length on a piece with formulas: P's texts below
    frame::GradedTexts texts;  // P's texts, keeping the distance at every size

    const ModeTraits& traits() const { return traitsOf(mode); }
};

// Where the click is: the cursor, or the point under the marker where mouse
// moves keep one.
void placeClick(HWND hwnd, Plan& plan) {
    plan.click = frame::cursorClient(hwnd);
    toPiece(plan.click.x, plan.click.y, plan.x, plan.y);
    plan.anchor = plan.click;
    if (run.marker.shown && plan.traits().tracks != Tracks::kNone) {
        plan.x = run.marker.x;
        plan.y = run.marker.y;
        plan.markerPoint = run.marker.index;
        plan.anchor = run.marker.at;
    }
}

// The first click of a placement by length picks the outline point under the
// marker, and nothing else; on any other point it does nothing.
void pickOutlinePoint(HostView* view, const Plan& plan) {
    Point* p = plan.markerPoint >= 0 ? pointAt(run.piece, plan.markerPoint) : nullptr;
    if (!p || !isOutlineType(p->type)) return;
    run.picked = plan.markerPoint;
    view->pickState = kPointPicked;
    run.marker.shown = false;
    run.rubberShown = false;
    run.anchor = run.lastDrawn;
}

// The second click of a placement by length: its side of the picked point
// gives the direction, the host's dialog the distance, and P is the point
// that far along the outline. False when there is none: a cancel (the
// outline point stays picked), or a refusal shown in the prompt bar.
bool planAlong(HWND hwnd, DLGPROC dialogProc, const char* dialogText, Plan& plan) {
    LengthPlan along;
    if (!planDirection(run.piece, run.picked, plan.x, plan.y, along)) return false;
    double mm = 0;
    bool refused = false;
    if (!askDistance(hwnd, dialogProc, dialogText, run.doc.lengthUnit, mm, refused)) {
        if (refused) refuse(hwnd, kNumberRefused);
        return false;
    }
    if (!placeAlong(run.piece, along, mm, plan.x, plan.y)) {
        refuse(hwnd, kIncreaseTooLong);
        return false;
    }
    plan.markerPoint = -1;
    plan.along = along;
    plan.mm = mm;
    return true;
}

// By length: P's texts from the terms of the stretch's first point k, graded
// so that P lies the typed distance along the outline at every size (the
// walk run again at each nudged size, P put on the lines as findStretch
// puts it).
void gradeAlong(Plan& plan) {
    const frame::GradedPlan graded({run.piece}, [&plan](const std::vector<Piece*>& at, std::vector<frame::PlanPoint>& out) {
        float x = 0, y = 0;
        if (!placeAlong(at[0], plan.along, plan.mm, x, y)) return false;
        const frame::CurveHit near = frame::nearestOnLines(at[0], x, y, run.unit);
        out = {{near.x, near.y}};
        return near.index >= 0;
    });
    plan.texts = graded.compose(run.piece, plan.k, 0);
    plan.graded = true;
}

// kInnerNext with straight lines: the click squared off against the previous
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

// kInnerStart and kInnerNext: is P on the outline as it was when the line
// began? When it is, P moves onto it.
bool onOutline(Plan& plan) {
    if (!snapshotAlive()) return false;
    const frame::CurveHit near = frame::nearestOnLines(run.snapshot, plan.x, plan.y, run.unit);
    if (near.index < 0) return false;
    const float x = near.x, y = near.y;
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

// A point of a line drawn point by point: whether it continues the open
// line; for an inner line drawn click by click (kInnerStart, kInnerNext) the
// squared-off click, the on-outline test against the snapshot, and whether
// the point ends the line.
void planLinePoint(Plan& plan) {
    Point* last = pointAt(run.piece, run.piece->pointCount - 1);
    plan.joining = last && continues(plan.traits(), segAt(run.piece, last->segIndex));
    if (plan.mode != kInnerStart && plan.mode != kInnerNext) return;
    const bool next = plan.mode == kInnerNext;
    if (!next || !plan.joining || !snapshotAlive()) takeSnapshot();
    run.onOutline = onOutline(plan);
    // Moved onto the outline away from the point under the marker, P no
    // longer lies on that point; where it still does (a line ending on a
    // corner), that point stays its formulas' basis.
    if (run.onOutline && plan.markerPoint >= 0) {
        float mx = 0, my = 0;
        if (!frame::positionOf(run.piece, plan.markerPoint, mx, my) || std::fabs(mx - plan.x) > kOnPointMm ||
            std::fabs(my - plan.y) > kOnPointMm)
            plan.markerPoint = -1;
    }
    if (next && plan.joining && run.straightLines) {
        // Squared last, after the on-outline test: the point lies exactly on
        // the step from the last one, even where the outline it ends on
        // runs aslant (moved onto it, it would leave the step).
        plan.anchor = squareOff(plan.click, run.anchor);
        toPiece(plan.anchor.x, plan.anchor.y, plan.x, plan.y);
        plan.markerPoint = -1;
    }
    if (next && plan.joining) plan.endsLine = run.onOutline || run.straightLines;
}

// P onto the piece's nearest line point and the stretch k that holds it; a
// notch lies on the line that leaves k and is counted from that line's first
// point. False when no stretch holds P: the click adds nothing.
bool findStretch(Plan& plan) {
    const frame::CurveHit near = frame::nearestOnLines(run.piece, plan.x, plan.y, run.unit);
    if (near.index < 0) return false;
    plan.x = near.x;
    plan.y = near.y;
    plan.k = frame::findPart(run.piece, plan.x, plan.y, run.unit);
    if (plan.k < 0) return false;
    if (plan.traits().makes != Makes::kNotch) return true;
    Point* kp = pointAt(run.piece, plan.k);
    Line* l = kp ? lineAt(run.piece, kp->lineOut) : nullptr;
    if (!l) return false;
    plan.notchLine = kp->lineOut;
    plan.k = l->firstPoint;
    return true;
}

// kDrillMarkSized: the size in the host's text, when it holds one. False,
// after the refusal in the prompt bar, for a text that breaks the rule for
// typed numbers or has no terminator within reach.
bool readSize(HWND hwnd, const char* dialogText, Plan& plan) {
    char text[kTypedTextSize];
    const bool copied = copyHostText(dialogText, text);
    if (copied && text[0] != '\0') {
        double cm = 0;
        if (!readPositive(text, cm)) {
            refuse(hwnd, kNumberRefused);
            return false;
        }
        plan.hasSize = true;
        plan.size = static_cast<float>(cm * 10.0);
    } else if (!copied && dialogText) {
        refuse(hwnd, kNumberRefused);
        return false;
    }
    return true;
}

// Plans the click of the host's mode on the untouched piece. False when it
// adds nothing: a first click by length (it only picks), a refusal shown in
// the prompt bar, or a click that meets no stretch.
bool planClick(HWND hwnd, DLGPROC dialogProc, const char* dialogText, HostView* view, Plan& plan) {
    plan.mode = static_cast<Mode>(view->increaseMode);
    const ModeTraits& traits = plan.traits();
    if (traits.hidesMarker) run.marker.shown = false;
    placeClick(hwnd, plan);
    plan.byLength = traits.mayGoAlong() && (view->pickState == kTracking || view->pickState == kPointPicked);
    if (traits.picks == Picks::kAlong && !plan.byLength) return false;  // no outline point picked yet
    if (plan.byLength && view->pickState == kTracking) {
        pickOutlinePoint(view, plan);
        return false;
    }
    if (plan.byLength && !planAlong(hwnd, dialogProc, dialogText, plan)) return false;
    if (isLinePoint(traits.makes)) planLinePoint(plan);
    plan.onStretch = traits.picks == Picks::kStretch || plan.byLength;
    if (plan.onStretch && !findStretch(plan)) return false;
    if (plan.byLength && run.piece->formulaCount != 0) gradeAlong(plan);
    return plan.mode != kDrillMarkSized || readSize(hwnd, dialogText, plan);
}

// ---- left clicks: room -------------------------------------------------------------

// What the click adds, counted high: the point with its Coord (and its
// Formula with two texts); an outline insert's line split by a turn point,
// or twice by an arc point, and the spare point of a grading step it may
// drop; the segment and the line that a line point may start; the segment
// that a notch or mark may start, and its SPoint.
frame::PieceGrowth clickGrowth(const Plan& plan) {
    const Makes makes = plan.traits().makes;
    frame::PieceGrowth growth;
    growth.addPoints(1, run.piece->formulaCount != 0);
    if (plan.graded) growth.textBytes += plan.texts.bytes();  // stored before the first ones go
    if (isInsert(makes)) {
        growth.lines = 2;
        growth.dropsGradingSteps();
    } else if (isLinePoint(makes)) {
        growth.segs = 1;
        growth.lines = 1;
    } else {
        growth.segs = 1;
        growth.sPoints = 1;
    }
    return growth;
}

// Moves the host's pattern into a block of `size` bytes of our own, which
// the host gets at once (HostDoc.pattern and patternView, and the notice
// that its pointers into the old block are dead) since not every click
// copies the record back; the old block is freed. False, with nothing
// changed, when no block can be had.
bool moveToLargerBlock(HostDoc* hostDoc, long size) {
    PatternBuffer* pattern = run.doc.pattern;
    HGLOBAL grown = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size));
    auto* moved = grown ? static_cast<PatternBuffer*>(GlobalLock(grown)) : nullptr;
    if (!moved) {
        if (grown) GlobalFree(grown);
        return false;
    }
    qpMemcpy(moved, pattern, pattern->totalSize);
    freeLocked(pattern);
    run.doc.pattern = run.doc.patternView = moved;
    hostDoc->pattern = hostDoc->patternView = moved;
    run.doc.notice = hostDoc->notice = frame::kNoticePatternReplaced;
    qpGetPieceLptr(moved, run.doc.currentPiece, &run.piece);
    return true;
}

// Makes sure the click fits: the piece's 16-bit counts and text area take
// it, and the pattern's block holds it, or a larger block with kGrowStep to
// spare replaces it. False (after the message) when neither is possible.
bool makeRoom(HWND hwnd, HostDoc* hostDoc, const Plan& plan) {
    const frame::PieceGrowth growth = clickGrowth(plan);
    PatternBuffer* pattern = run.doc.pattern;
    if (frame::patternTakes(pattern, run.piece, growth)) return true;
    if (frame::pieceTakes(run.piece, growth) && frame::blockRoom(pattern) >= 0 &&
        moveToLargerBlock(hostDoc, pattern->totalSize + growth.bytes() + kGrowStep))
        return true;
    frame::showError(hwnd, kIncreaseNoRoom);
    return false;
}

// ---- left clicks: the edit ---------------------------------------------------------

// Outline insert: a point right after k on its line. A point clicked between
// two points blends their formulas; one placed at a typed distance takes
// k's.
short insertIntoOutline(const Plan& plan) {
    PatternBuffer* pattern = run.doc.pattern;
    Piece* piece = run.piece;
    frame::PointIndexMap map(piece);
    Point* added = nullptr;
    qpInsertPoint(pattern, piece, plan.k, &added);
    const short n = frame::pointIndexOf(piece, added);
    if (n < 0) return -1;
    map.inserted(n);
    const bool blend = !plan.byLength;
    const short a = plan.k;
    const short b = blend ? static_cast<short>(plan.k + 2) : plan.k;
    frame::attachCoord(pattern, piece, n, plan.x, plan.y, a, b, blend ? 1 : 0);
    if (plan.traits().makes == Makes::kTurnInsert) {
        qpModifyCurve2Turnp(pattern, piece, n);
    } else if (plan.traits().makes == Makes::kArcInsert) {
        qpModifyCurve2Arcp(pattern, piece, n);
    } else {
        Point* before = pointAt(piece, static_cast<short>(n - 1));
        Point* after = pointAt(piece, static_cast<short>(n + 1));
        if (before && typeLetter(before->type) == 'M') before->type = withCaseOf(before->type, 'C');
        else if (after && typeLetter(after->type) == 'M') after->type = withCaseOf(after->type, 'C');
    }
    frame::remapGradingCodes(pattern, piece, map);
    if (run.lastMade >= n) ++run.lastMade;
    return n;
}

// Types the new point n of a line mode; `fresh` when it starts its line.
void typeLinePoint(Piece* piece, const Plan& plan, short n, short line, bool fresh,
                   HostView* view) {
    const Mode mode = plan.mode;
    Point* p = pointAt(piece, n);
    Line* l = lineAt(piece, line);
    const bool upper = plan.traits().makes == Makes::kOutlineLinePoint;
    auto letter = [upper](char c) { return upper ? c : static_cast<char>(c | 0x20); };
    if (fresh) {
        p->type = letter('S');
        p->lineIn = -1;
        p->lineOut = line;
        run.lineState = 1;
        if (mode == kInnerStart || mode == kInnerEndAlong) view->increaseMode = kInnerNext;
        else if (mode == kInnerStartAlong) view->increaseMode = kInnerEndAlong;
        return;
    }
    Point* before = pointAt(piece, static_cast<short>(n - 1));
    const char previous = typeLetter(before->type);
    switch (mode) {
    case kOutlineStraight:
        p->type = 'K';
        p->lineIn = line;
        p->lineOut = -1;
        run.lineState = 2;
        break;
    case kOutlineCurve: case kInnerCurve:
        p->type = letter('C');
        p->lineIn = p->lineOut = line;
        l->kind = 2;
        run.lineState = 1;
        break;
    case kOutlineCurveKinds: case kInnerCurveKinds:
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
    case kInnerNext:
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
            view->increaseMode = kNoMode;
        }
        break;
    case kInnerEndAlong:
        p->type = 'k';
        p->lineIn = line;
        p->lineOut = -1;
        run.lineState = 2;
        view->increaseMode = kNoMode;
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
        if (segmentCode(plan.traits(), code, value)) {
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
    const short nearest = frame::nearestVertex(piece, plan.x, plan.y, run.unit).index;
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
    // The basis of P's formulas: the point under the marker; else a line's
    // previous point, or for a line's first point the point it was placed
    // on (the nearest), never the piece's last point, which is unrelated.
    short anchorPoint = plan.markerPoint >= 0 ? plan.markerPoint : static_cast<short>(n - 1);
    if (plan.markerPoint < 0 && fresh && nearest >= 0) anchorPoint = nearest;
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
    const ModeTraits& traits = plan.traits();
    const short last = static_cast<short>(piece->pointCount - 1);
    Point* lastPoint = pointAt(piece, last);
    short segIndex = lastPoint ? lastPoint->segIndex : -1;
    if (!continues(traits, segAt(piece, segIndex))) {
        segIndex = piece->segCount;
        Seg* seg = nullptr;
        qpIncreaseSegment(pattern, piece, &seg);
        short code = 0, value = 0;
        segmentCode(traits, code, value);
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
    const bool notch = traits.makes == Makes::kNotch;
    short basis = static_cast<short>(n - 1);
    if (notch) basis = plan.k;
    else if (plan.markerPoint >= 0) basis = plan.markerPoint;
    frame::attachCoord(pattern, piece, n, plan.x, plan.y, basis, basis, 0);
    Point* p = pointAt(piece, n);
    SPoint* mark = sPointAt(piece, s);
    p->type = traits.mark.type;
    p->lineIn = traits.mark.lineIn == kOwnSPoint ? s : traits.mark.lineIn;
    if (traits.mark.size > 0) mark->size = traits.mark.size;
    if (notch) {
        // pi / 2 in thousandths of a radian, signed by the turning sense.
        p->lineOut = static_cast<short>(qpGetPieceClockwise(piece) * 500 * 3.14159);
        mark->lineIndex = plan.notchLine;
        Line* l = lineAt(piece, plan.notchLine);
        l->flags = static_cast<short>(l->flags | kLineNotchFlag);
        mark->position =
            frame::nearestOnLines(piece, plan.x, plan.y, run.doc.viewMatrixA, l->firstPoint, l->pointCount).along;
    } else if (plan.mode == kDrillMarkSized) {
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
    }
    return n;
}

// ---- left clicks ------------------------------------------------------------------

// Ends the open inner line (kInnerNext) at its last point: a click that ended
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
    view->increaseMode = kNoMode;
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
    if (view->increaseMode != kInnerNext) return 1;
    copyIn(hostDoc);
    if (!run.piece || !endableLine()) return 1;  // nothing open to end
    endInnerLine(hwnd, view, hostDoc);
    return 1;
}

// The edit: from here on the piece changes.
void editClick(HWND hwnd, HostView* view, HostDoc* hostDoc, const Plan& plan) {
    if (plan.onStretch) view->pickState = kUntracked;
    run.anchor = plan.anchor;
    HDC hdc = GetDC(hwnd);
    const Makes makes = plan.traits().makes;
    short n = -1;
    if (isInsert(makes)) n = insertIntoOutline(plan);
    else if (isLinePoint(makes)) n = addLinePoint(plan, view);
    else n = addMark(hwnd, plan, hdc);
    if (plan.traits().picksAgain) view->pickState = kTracking;
    ReleaseDC(hwnd, hdc);
    if (n < 0) return;
    if (plan.graded) frame::storeGraded(run.doc.pattern, run.piece, n, plan.texts);
    if (plan.mode == kInnerNext && plan.joining) {
        // The point is typed 'k' already when it ends the line, which then
        // ends as a right click ends it. A middle point: the rubber line
        // goes on from it; the line is not done, so neither undo copy nor
        // repaint.
        if (plan.endsLine) endInnerLine(hwnd, view, hostDoc);
        else run.rubberShown = false;
        return;
    }
    finishEdit(hostDoc);
    frame::invalidateAll(hwnd);
}

short leftClick(HWND hwnd, DLGPROC dialogProc, const char* dialogText, HostView* view,
                HostDoc* hostDoc) {
    if (!isMode(view->increaseMode)) return 1;
    copyIn(hostDoc);
    if (!run.piece) return 1;
    buildMatrices();
    Plan plan;
    if (!planClick(hwnd, dialogProc, dialogText, view, plan)) return 1;
    if (!makeRoom(hwnd, hostDoc, plan)) return 1;
    editClick(hwnd, view, hostDoc, plan);
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
        // snapshot of a line begun in kInnerStart is freed now, not left for the
        // next run; a line left open stays in the piece as an open line. The
        // marker and rubber line are forgotten, not erased: the host repaints
        // the window for the next tool. An outline point picked for a
        // placement by length is forgotten too: the next click picks again.
        run.lineState = 0;
        run.onOutline = false;
        run.picked = -1;
        if (view->pickState == kPointPicked) view->pickState = kTracking;
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

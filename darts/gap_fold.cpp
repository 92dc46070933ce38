// The dart fold: fold a dart closed into a temporary fold piece, so that the
// seam across its mouth can be trued while the dart is closed, then unfold
// it and carry the trued seam back into the piece.
//
// Units: piece coordinates in millimetres (f32 between steps), angles in
// radians, client pixels for drawing.
// State: one run at a time, in the statics below (the handler is not
// re-entrant). The fold phase keeps its step, 1 to 9, in HostView.pickState.
// The host's GapFoldRecord is written from offset 20 on only; bytes 0..19
// are the host's. The apex that the unfold turns about stays here, together
// with the record values and fold angles of its fold: an unfold whose record
// or fold piece no longer matches them is refused with a message.
//
// Ending a run early: a middle point that a run inserted for neighbouring
// legs is removed again when the fold fails, when the host sends
// WM_CANCELMODE (it ends the run, for instance when the user switches tools;
// the run then starts over at its first prompt), and, failing that, when the
// next run starts on the same pattern.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "darts/intersect_lines.h"
#include "frame/curve_forms.h"
#include "frame/exports.h"
#include "frame/graded_edit.h"
#include "frame/handler_frame.h"
#include "frame/piece_edit.h"
#include "frame/room.h"
#include "frame/siblings.h"
#include "frame/texts.h"

namespace {

// Steps of the fold phase (HostView.pickState).
enum Step : short {
    kStart = 1,           // first mouse move: prompt 1
    kPickLeg0 = 2,
    kPickLeg1 = 3,
    kPickCentre = 4,      // legs with a point between them
    kApexWait = 5,        // neighbouring legs: the apex is given by a click
    kApexTrack = 6,
    kDirectionWait = 7,
    kDirectionTrack = 8,
    kStopped = 9,         // fold under way, or stopped by a failure
};

constexpr COLORREF kMarkerColour = 0xFF6464;
constexpr short kPickColour[3] = {3, 8, 2};  // leg 0, leg 1, centre line
constexpr short kCopySpan = 0x11;
constexpr short kCopyLine = 1;

// Angles as the tool rounds them (f32 constants).
constexpr float kHalfTurn = 3.14159f;
constexpr float kFullTurn = 6.2831802f;
constexpr float kQuarterTurn = 1.5707950592041016f;
constexpr float kWithinAcross = 0.7853975f;  // 45 degrees off the cross direction
constexpr float kBeyondAcross = 2.3561925f;  // 135 degrees

struct Run {
    short pieceIndex = -1;  // the source piece; fetched again after every store call
    frame::ViewMatrices m{};
    frame::PromptCells prompt;
    // Entries 0 and 1 are the legs, entry 2 the centre line: the inner end,
    // the outline end, and the outline point that the outline end lies on.
    short legStart[3] = {-1, -1, -1};
    short legEnd[3] = {-1, -1, -1};
    short outlineHit[3] = {-1, -1, -1};
    short leg0Raw = -1;    // the picked part (k, k + 1) of leg 0: k
    short centreRaw = -1;  // and of the centre line
    bool centreByPoint = false;
    float apexX = 0, apexY = 0;
    POINT marker{};     // client pixel of the mouth's middle point
    POINT rubberEnd{};  // end of the rubber line drawn last
};
Run run;

// The middle point inserted for neighbouring legs, until the fold keeps it.
struct PendingMiddle {
    bool active = false;
    PatternBuffer* pattern = nullptr;
    short pieceIndex = -1;
    short index = -1;      // the inserted point
    short pointCount = 0;  // the piece's count right after the insertion
    float x = 0, y = 0;    // where it was put
    short line = -1;       // the outline line that ran across the mouth
    Line lineBefore{};     // and its record before the insertion
    // The special points on that line (notches), by index, as they were.
    std::vector<std::pair<short, SPoint>> notchesBefore;
};
PendingMiddle pending;

// The discrete part of a fold, settled on the source piece before it
// folds: with it the fold's shape can be found again from any positions of
// the source, as the fold's grading and the unfold's do at other sizes.
struct FoldPlan {
    short legInner[2] = {-1, -1};  // the legs' inner ends (source indices)
    short legOuter[2] = {-1, -1};  // and outline ends
    short h0 = -1, h1 = -1, h2 = -1;
    // Neighbouring legs: the apex is the click, which follows the source
    // point nearest to it (at other sizes it keeps its offset from that
    // point's place).
    bool centreByPoint = false;
    float apexX = 0, apexY = 0;
    short apexPoint = -1;
    float apexPointX = 0, apexPointY = 0;
    short s = -1, e = -1;              // the span
    short lowLast = 0, highFirst = 0;  // fold-piece indices of the two turned ranges
};

// A fold's shape: the apex and the turns of the low and high ranges.
struct FoldShape {
    float ax = 0, ay = 0;
    float alphaM = 0;  // the direction of the mouth's middle point from the apex
    float angleLow = 0, angleHigh = 0;
};

// The last fold, for its unfold.
struct SavedFold {
    bool valid = false;
    GapFoldRecord record{};  // offsets 22..41 are compared
    FoldPlan plan;
    FoldShape shape;
};
SavedFold saved;

Piece* pieceAt(PatternBuffer* pattern, short index) {
    Piece* piece = nullptr;
    if (pattern) qpGetPieceLptr(pattern, index, &piece);
    return piece;
}

using frame::positionOf;

void setPosition(Piece* piece, short i, float x, float y) {
    Point* p = nullptr;
    qpGetPointLptr(piece, i, &p);
    if (!p) return;
    Coord* c = nullptr;
    qpGetCoordLptr(piece, p->coordIndex, &c);
    if (!c) return;
    c->x = x;
    c->y = y;
}

// Copies point `from` of one piece onto point `to` of another (or the same).
void copyPosition(Piece* source, short from, Piece* target, short to) {
    float x = 0, y = 0;
    if (positionOf(source, from, x, y)) setPosition(target, to, x, y);
}

float wrapAngle(float a) {
    if (a > kHalfTurn) return a - kFullTurn;
    if (a < -kHalfTurn) return a + kFullTurn;
    return a;
}

// The shape of the fold that `plan` describes, from the positions of
// `source` (the source piece, or a copy of it at another size). False when
// the legs do not cross.
bool foldShape(Piece* source, const FoldPlan& plan, FoldShape& shape) {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0, mx = 0, my = 0;
    positionOf(source, plan.h0, x0, y0);
    positionOf(source, plan.h1, x1, y1);
    positionOf(source, plan.h2, mx, my);
    if (plan.centreByPoint) {
        float px = 0, py = 0;
        positionOf(source, plan.apexPoint, px, py);
        shape.ax = plan.apexX + (px - plan.apexPointX);
        shape.ay = plan.apexY + (py - plan.apexPointY);
    } else {
        float xs[4], ys[4];
        const short ends[4] = {plan.legInner[0], plan.legOuter[0], plan.legInner[1], plan.legOuter[1]};
        for (int j = 0; j < 4; ++j) positionOf(source, ends[j], xs[j], ys[j]);
        if (!IntersectLines(xs, ys, &shape.ax, &shape.ay)) return false;
    }
    shape.alphaM = static_cast<float>(qpAngle(mx - shape.ax, my - shape.ay));
    const float rot0 = wrapAngle(shape.alphaM - static_cast<float>(qpAngle(x0 - shape.ax, y0 - shape.ay)));
    const float rot1 = wrapAngle(shape.alphaM - static_cast<float>(qpAngle(x1 - shape.ax, y1 - shape.ay)));
    shape.angleLow = plan.h0 < plan.h1 ? rot0 : rot1;
    shape.angleHigh = plan.h0 < plan.h1 ? rot1 : rot0;
    return true;
}

// Point (x, y) turned by theta about (cx, cy), as rotatePoints turns it.
frame::PlanPoint turnedBy(float x, float y, double theta, float cx, float cy) {
    float m[9];
    frame::rotationAbout(theta, cx, cy, m);
    frame::transform(m, x, y);
    return {x, y};
}

// Fold-piece point j's turn: the low range's or the high one's.
float turnOf(const FoldPlan& plan, const FoldShape& shape, short j) {
    return j <= plan.lowLast ? shape.angleLow : shape.angleHigh;
}

// The fold's outputs: the span's points turned (fold-piece indices 0 .. n),
// then the apex.
bool foldOutputs(Piece* source, const FoldPlan& plan, std::vector<frame::PlanPoint>& out) {
    FoldShape shape;
    if (!foldShape(source, plan, shape)) return false;
    out.clear();
    for (short j = 0; j <= plan.e - plan.s; ++j) {
        float x = 0, y = 0;
        positionOf(source, static_cast<short>(plan.s + j), x, y);
        out.push_back(turnedBy(x, y, turnOf(plan, shape, j), shape.ax, shape.ay));
    }
    out.push_back({shape.ax, shape.ay});
    return true;
}

// What copying points first..last of `piece` into the fold piece adds to it
// (first > last: none): the copies with their texts and a line each.
void addCopies(Piece* piece, short first, short last, frame::PieceGrowth& growth) {
    growth.copyPoints(piece, first, last);
    growth.lines += last >= first ? last - first + 1 : 0;
}

// The room storing graded texts takes: their bytes, and one text more, since
// each is stored before the text it replaces goes.
long textBytes(const std::vector<frame::GradedTexts>& texts) {
    long bytes = frame::kMaxFormulaTextBytes;
    for (const frame::GradedTexts& t : texts) bytes += t.bytes();
    return bytes;
}

// Removes the middle point of an unfinished fold, when the piece is still
// as the insertion left it. Returns true when it removed one.
bool removePendingMiddle(PatternBuffer* pattern) {
    if (!pending.active) return false;
    pending.active = false;
    // Another pattern, or a piece edited since: the point is not ours to take.
    if (pattern != pending.pattern) return false;
    Piece* piece = pieceAt(pattern, pending.pieceIndex);
    if (!piece || piece->pointCount != pending.pointCount) return false;
    Point* p = nullptr;
    qpGetPointLptr(piece, pending.index, &p);
    float x = 0, y = 0;
    if (!p || !isOutlineType(p->type) || !positionOf(piece, pending.index, x, y) ||
        x != pending.x || y != pending.y)
        return false;
    frame::PointIndexMap map(piece);
    qpDeletePoint(pattern, piece, pending.index);
    // The deletion merges the two halves of the mouth's line again; the
    // merged line keeps the kind and bits of the half before the point, so
    // the line gets its own record back.
    piece = pieceAt(pattern, pending.pieceIndex);
    Line* line = nullptr;
    qpGetLineLptr(piece, pending.line, &line);
    if (line && line->firstPoint == pending.lineBefore.firstPoint &&
        line->pointCount == pending.lineBefore.pointCount)
        *line = pending.lineBefore;
    for (const auto& [k, before] : pending.notchesBefore)
        if (SPoint* sp = frame::sPointAt(piece, k)) *sp = before;
    map.deleted(pending.index);
    frame::remapGradingCodes(pattern, piece, map);
    return true;
}

// Ends the fold phase without folding: the message (none when the piece is
// gone), the piece as it was before the run, the highlights and the marker
// cleared, and step 9 until the host starts the tool again, which the
// prompt bar says (and says again at every click).
void stopFold(HWND hwnd, PatternBuffer* pattern, HostView* view, const char* text) {
    if (text) frame::showError(hwnd, text);
    removePendingMiddle(pattern);
    frame::showPrompt(hwnd, 1, run.prompt, kGapFoldStopped);
    frame::invalidateBelowPrompt(hwnd);
    view->pickState = kStopped;
}

void highlight(HWND hwnd, Piece* piece, short k, short colour) {
    HDC hdc = GetDC(hwnd);
    frame::drawLines(hdc, piece, k, 2, qpcurve::kStyleHighlight, colour, run.m.pieceToScreen);
    ReleaseDC(hwnd, hdc);
}

// The marker on the mouth's middle point, drawn to stay (copy mode).
void drawMiddleMarker(HWND hwnd, Piece* piece) {
    float x = 0, y = 0;
    positionOf(piece, run.outlineHit[2], x, y);
    run.marker = frame::pieceToClient(run.m.pieceToScreen, x, y);
    run.rubberEnd = run.marker;
    HDC hdc = GetDC(hwnd);
    SetROP2(hdc, R2_COPYPEN);
    frame::drawMarker(hdc, run.marker.x, run.marker.y, kMarkerColour);
    ReleaseDC(hwnd, hdc);
}

// Draws the rubber line from the marker to `to` (XOR: drawn again, erased).
void rubberLine(HDC hdc, POINT to) {
    MoveToEx(hdc, run.marker.x, run.marker.y, nullptr);
    LineTo(hdc, to.x, to.y);
}

void trackRubber(HWND hwnd, HostView* view) {
    const short step = view->pickState;
    HDC hdc = GetDC(hwnd);
    SetROP2(hdc, R2_XORPEN);
    HPEN pen = CreatePen(PS_SOLID, 1, frame::kRubberColour);
    HGDIOBJ previous = SelectObject(hdc, pen);
    if (step == kApexTrack || step == kDirectionTrack) rubberLine(hdc, run.rubberEnd);
    const POINT cursor = frame::cursorClient(hwnd);
    rubberLine(hdc, cursor);
    SelectObject(hdc, previous);
    DeleteObject(pen);
    ReleaseDC(hwnd, hdc);
    run.rubberEnd = cursor;
    if (step == kApexWait) view->pickState = kApexTrack;
    if (step == kDirectionWait) view->pickState = kDirectionTrack;
}

// Neighbouring legs: a twin of the lower outline point, moved to the middle
// of the mouth, becomes the mouth's middle point. False, with its message
// shown and nothing changed, when it cannot be made.
bool insertMiddle(HWND hwnd, PatternBuffer* pattern, Piece* piece) {
    const short h0 = run.outlineHit[0], h1 = run.outlineHit[1];
    const short m = h0 < h1 ? h0 : h1;
    Point* p = nullptr;
    qpGetPointLptr(piece, m, &p);
    const char letter = p ? typeLetter(p->type) : 0;
    // qpInsertSamePoint doubles turning and curve points only.
    if (letter != 'K' && letter != 'C') {
        frame::showError(hwnd, kGapFoldNoOutlinePoint);
        return false;
    }
    // The outline line that runs from m to m + 1 across the mouth.
    const short across = letter == 'K' ? p->lineOut : p->lineIn;
    Line* line = nullptr;
    qpGetLineLptr(piece, across, &line);
    if (!line || line->firstPoint > m || line->firstPoint + line->pointCount - 1 < m + 1) {
        frame::showError(hwnd, kGapFoldMouthShape);
        return false;
    }
    // The twin with copies of m's texts and its line; its texts are graded
    // once it moves to the middle, which is halfway between the mouth's
    // ends at every size.
    std::vector<frame::GradedTexts> texts;
    if (piece->formulaCount != 0) {
        const frame::GradedPlan halfway({piece}, [m](const std::vector<Piece*>& at, std::vector<frame::PlanPoint>& out) {
            frame::PlanPoint a, b;
            positionOf(at[0], m, a.x, a.y);
            positionOf(at[0], static_cast<short>(m + 1), b.x, b.y);
            out = {{(a.x + b.x) / 2, (a.y + b.y) / 2}};
            return true;
        });
        texts.push_back(halfway.compose(piece, m, 0));
    }
    frame::PieceGrowth growth;
    growth.copyPoints(piece, m, m);
    growth.lines = 1;
    if (piece->formulaCount != 0) growth.textBytes += textBytes(texts);
    growth.dropsGradingSteps();
    if (!frame::patternTakes(pattern, piece, growth)) {
        frame::showError(hwnd, kGapFoldNoRoom);
        return false;
    }
    const Line lineBefore = *line;
    frame::PointIndexMap map(piece);
    std::vector<std::pair<short, SPoint>> notchesBefore;
    for (short k = 0; k < piece->sPointCount; ++k)
        if (frame::sPointAt(piece, k)->lineIndex == across) notchesBefore.emplace_back(k, *frame::sPointAt(piece, k));
    Point* twin = nullptr;
    if (qpInsertSamePoint(pattern, piece, m, &twin) != m + 1) {
        frame::showError(hwnd, kGapFoldNoOutlinePoint);
        return false;
    }
    piece = pieceAt(pattern, run.pieceIndex);
    map.inserted(static_cast<short>(m + 1));
    frame::remapGradingCodes(pattern, piece, map);
    for (int j = 0; j < 2; ++j) {
        run.legStart[j] = map.current(run.legStart[j]);
        run.legEnd[j] = map.current(run.legEnd[j]);
        run.outlineHit[j] = map.current(run.outlineHit[j]);
    }
    run.leg0Raw = map.current(run.leg0Raw);

    const short middle = static_cast<short>(m + 1);
    float ax = 0, ay = 0, bx = 0, by = 0;
    positionOf(piece, m, ax, ay);
    positionOf(piece, static_cast<short>(m + 2), bx, by);
    const float mx = (ax + bx) / 2, my = (ay + by) / 2;
    setPosition(piece, middle, mx, my);
    if (!texts.empty()) frame::storeGraded(pattern, piece, middle, texts[0]);
    piece = pieceAt(pattern, run.pieceIndex);
    // Notches on the mouth lie on one of its halves now.
    for (const auto& entry : notchesBefore) frame::seatNotch(piece, frame::sPointAt(piece, entry.first)->pointIndex);
    run.outlineHit[2] = middle;

    pending.active = true;
    pending.pattern = pattern;
    pending.pieceIndex = run.pieceIndex;
    pending.index = middle;
    pending.pointCount = piece->pointCount;
    pending.x = mx;
    pending.y = my;
    pending.line = across;
    pending.lineBefore = lineBefore;
    pending.notchesBefore = notchesBefore;
    return true;
}

// Steps 2 to 4: a click on leg 0, leg 1 or the centre line.
void pickLine(HWND hwnd, PatternBuffer* pattern, short* pieceIndexCell, HostView* view,
              const float* viewMatrix) {
    const short step = view->pickState;
    const int slot = step - kPickLeg0;
    if (step == kPickLeg0) {
        // A middle point left by a run the host never ended goes first.
        if (removePendingMiddle(pattern)) frame::invalidateAll(hwnd);
        run.pieceIndex = pieceIndexCell ? *pieceIndexCell : -1;
        Piece* piece = pieceAt(pattern, run.pieceIndex);
        if (!piece) return;
        frame::buildViewMatrices(hwnd, viewMatrix, piece, run.m);
        for (int j = 0; j < 3; ++j) run.legStart[j] = run.legEnd[j] = run.outlineHit[j] = -1;
        run.leg0Raw = run.centreRaw = -1;
        run.centreByPoint = false;
    }
    Piece* piece = pieceAt(pattern, run.pieceIndex);
    if (!piece) return;

    float cx = 0, cy = 0;
    frame::cursorToPiece(hwnd, run.m.screenToPiece, cx, cy);
    const short k = frame::pickPart(piece, cx, cy, qpcurve::kSnapAllLines, run.m.identity);
    if (k < 0) return;
    for (int j = 0; j < 3; ++j)
        if ((run.legStart[j] == k && run.legEnd[j] == k + 1) ||
            (run.legEnd[j] == k && run.legStart[j] == k + 1))
            return;
    // The slot holds the part even when the pick is refused below, so that
    // the same part is not taken again; another part may be.
    run.legStart[slot] = k;
    run.legEnd[slot] = static_cast<short>(k + 1);
    highlight(hwnd, piece, k, kPickColour[slot]);
    if (slot == 0) run.leg0Raw = k;
    if (slot == 2) run.centreRaw = k;

    // The fold piece's lines are copies of the picked parts: a dart line must
    // be an inner line of exactly that part's two points.
    frame::ResolvedLine line;
    const bool onOutline = frame::resolveLine(piece, k, line);
    Point* first = nullptr;
    Point* second = nullptr;
    qpGetPointLptr(piece, k, &first);
    qpGetPointLptr(piece, static_cast<short>(k + 1), &second);
    if (line.first != k || line.pointCount != 2 || !first || !second ||
        isOutlineType(first->type) || isOutlineType(second->type)) {
        if (slot == 2) stopFold(hwnd, pattern, view, kGapFoldLineShape);
        else frame::showError(hwnd, kGapFoldLineShape);
        return;
    }
    if (!onOutline) {
        // A centre line that meets no outline point has no middle point.
        if (slot == 2) stopFold(hwnd, pattern, view, kGapFoldNoOutlinePoint);
        else frame::showError(hwnd, kGapFoldNoOutlinePoint);
        return;
    }
    run.legStart[slot] = line.inner;
    run.legEnd[slot] = line.outer;
    run.outlineHit[slot] = line.outlineHit;

    if (slot == 0) {
        view->pickState = kPickLeg1;
        return;
    }
    const short h0 = run.outlineHit[0], h1 = run.outlineHit[1];
    if (slot == 1) {
        if (h0 == h1) {
            frame::showError(hwnd, kGapFoldMouthShape);
            return;
        }
        if (std::abs(h1 - h0) < 2) {
            if (!insertMiddle(hwnd, pattern, piece)) return;
            run.centreByPoint = true;
            frame::showPrompt(hwnd, 2, run.prompt, kPromptGapFoldCentreEnd);
            drawMiddleMarker(hwnd, pieceAt(pattern, run.pieceIndex));
            view->pickState = kApexWait;
        } else {
            frame::showPrompt(hwnd, 2, run.prompt, kPromptGapFoldCentreLine);
            view->pickState = kPickCentre;
        }
        return;
    }
    // The mouth is leg point, middle point, leg point: the unfold gives the
    // legs' outline ends the points next to the middle one.
    const short low = h0 < h1 ? h0 : h1, high = h0 < h1 ? h1 : h0;
    const short h2 = run.outlineHit[2];
    if (h2 != low + 1 || h2 != high - 1) {
        stopFold(hwnd, pattern, view, kGapFoldMouthShape);
        return;
    }
    drawMiddleMarker(hwnd, piece);
    frame::showPrompt(hwnd, 4, run.prompt, kPromptGapFoldDirection);
    view->pickState = kDirectionWait;
}

// Step 6: the apex at the cursor.
void takeApex(HWND hwnd, HostView* view) {
    HDC hdc = GetDC(hwnd);
    SetROP2(hdc, R2_XORPEN);
    HPEN pen = CreatePen(PS_SOLID, 1, frame::kRubberColour);
    HGDIOBJ previous = SelectObject(hdc, pen);
    rubberLine(hdc, run.rubberEnd);
    SelectObject(hdc, previous);
    DeleteObject(pen);
    SetROP2(hdc, R2_COPYPEN);
    frame::drawMarker(hdc, run.marker.x, run.marker.y, kMarkerColour);
    ReleaseDC(hwnd, hdc);
    run.rubberEnd = run.marker;
    frame::cursorToPiece(hwnd, run.m.screenToPiece, run.apexX, run.apexY);
    frame::showPrompt(hwnd, 4, run.prompt, kPromptGapFoldDirection);
    view->pickState = kDirectionWait;
}

// A corner whose line from outside runs within 45 degrees of the cross
// direction `across` (either way) continues the span; any other ends it.
bool continuesSpan(Piece* piece, short i, short far, float across) {
    float x = 0, y = 0, qx = 0, qy = 0;
    positionOf(piece, i, x, y);
    positionOf(piece, far, qx, qy);
    const float beta = wrapAngle(static_cast<float>(qpAngle(x - qx, y - qy)) - across);
    return std::fabs(beta) <= kWithinAcross || std::fabs(beta) >= kBeyondAcross;
}

// The stretch of outline across the mouth, s .. e, walked out from the
// middle point h2 past the legs' outline points. False when a walk leaves
// the outline, or the forward walk meets a second chain start.
bool findSpan(Piece* piece, short h2, float across, short& s, short& e) {
    s = e = -1;
    for (short i = static_cast<short>(h2 - 2);; --i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        if (!p || !isOutlineType(p->type)) return false;
        if (p->type == 'S' || (p->type == 'K' && p->lineIn < 0)) {
            s = i;
            break;
        }
        if (p->type != 'K') continue;
        Line* line = nullptr;
        qpGetLineLptr(piece, p->lineIn, &line);
        if (!line) return false;
        if (!continuesSpan(piece, i, line->firstPoint, across)) {
            s = i;
            break;
        }
    }
    for (short i = static_cast<short>(h2 + 2);; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        if (!p || !isOutlineType(p->type) || p->type == 'S') return false;
        if (p->type != 'K') continue;
        if (p->lineOut < 0) {
            e = i;
            break;
        }
        Line* line = nullptr;
        qpGetLineLptr(piece, p->lineOut, &line);
        if (!line) return false;
        if (!continuesSpan(piece, i, static_cast<short>(line->firstPoint + line->pointCount - 1), across)) {
            e = i;
            break;
        }
    }
    return true;
}

// The source point nearest to (x, y): the point a clicked apex follows.
short nearestPoint(Piece* piece, float x, float y) {
    short best = -1;
    double bestDistance = 0;
    for (short i = 0; i < piece->pointCount; ++i) {
        float px = 0, py = 0;
        if (!positionOf(piece, i, px, py)) continue;
        const double d = std::hypot(static_cast<double>(px) - x, static_cast<double>(py) - y);
        if (best < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

// Step 8: the direction click folds.
void foldDart(HWND hwnd, PatternBuffer* pattern, short* pieceIndexCell, GapFoldRecord* record,
              HostView* view) {
    view->pickState = kStopped;
    Piece* piece = pieceAt(pattern, run.pieceIndex);
    if (!piece) {
        stopFold(hwnd, pattern, view, nullptr);
        return;
    }
    const short h0 = run.outlineHit[0], h1 = run.outlineHit[1], h2 = run.outlineHit[2];
    const short legEndLow = h0 < h1 ? run.legEnd[0] : run.legEnd[1];
    const short legEndHigh = h0 < h1 ? run.legEnd[1] : run.legEnd[0];
    const short centreEnd = run.centreByPoint ? static_cast<short>(-1) : run.legEnd[2];

    float fx = 0, fy = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    frame::cursorToPiece(hwnd, run.m.screenToPiece, fx, fy);
    positionOf(piece, h0, x0, y0);
    positionOf(piece, h1, x1, y1);
    // A tie counts as nearer leg 1.
    const bool nearLeg1 = (fx - x0) * (fx - x0) + (fy - y0) * (fy - y0) >=
                          (fx - x1) * (fx - x1) + (fy - y1) * (fy - y1);

    FoldPlan plan;
    for (int j = 0; j < 2; ++j) {
        plan.legInner[j] = run.legStart[j];
        plan.legOuter[j] = run.legEnd[j];
    }
    plan.h0 = h0;
    plan.h1 = h1;
    plan.h2 = h2;
    plan.centreByPoint = run.centreByPoint;
    plan.apexX = run.apexX;
    plan.apexY = run.apexY;
    if (run.centreByPoint) {
        plan.apexPoint = nearestPoint(piece, run.apexX, run.apexY);
        positionOf(piece, plan.apexPoint, plan.apexPointX, plan.apexPointY);
    }
    FoldShape shape;
    if (!foldShape(piece, plan, shape)) {
        stopFold(hwnd, pattern, view, kGapFoldNoLegsCross);
        return;
    }

    short s = -1, e = -1;
    if (!findSpan(piece, h2, shape.alphaM + kQuarterTurn, s, e)) {
        stopFold(hwnd, pattern, view, kGapFoldNoSpan);
        return;
    }
    plan.s = s;
    plan.e = e;
    // Each leg's side turns onto the centre direction; the middle point goes
    // with leg 0's side when the click is nearer leg 1, else with leg 1's.
    const short r = static_cast<short>(h2 - s), n = static_cast<short>(e - s);
    if (h0 < h1) {
        plan.lowLast = nearLeg1 ? r : static_cast<short>(r - 1);
        plan.highFirst = static_cast<short>(plan.lowLast + 1);
    } else {
        plan.highFirst = nearLeg1 ? r : static_cast<short>(r + 1);
        plan.lowLast = static_cast<short>(plan.highFirst - 1);
    }

    const short lineRaw = run.centreByPoint ? run.leg0Raw : run.centreRaw;
    // The fold piece: a new piece with copies of the span and of the two
    // lines' ends, each copied run in a segment of its own; the turned
    // points' texts graded.
    // The graded texts of every point the fold turns or moves, from the
    // texts they are copies of: the span's, the copied centre line's outline
    // end (onto the turned middle point), leg 0's outline end (onto its
    // turned outline point) and, with a clicked apex, leg 0's inner ends.
    const short lineOuter = run.centreByPoint ? run.legEnd[0] : run.legEnd[2];
    const short leg0Turned = static_cast<short>(r + h0 - h2);
    std::vector<frame::GradedTexts> texts;
    if (piece->formulaCount != 0) {
        const frame::GradedPlan graded({piece}, [&plan](const std::vector<Piece*>& at, std::vector<frame::PlanPoint>& out) {
            return foldOutputs(at[0], plan, out);
        });
        for (short j = 0; j <= n; ++j) texts.push_back(graded.compose(piece, static_cast<short>(s + j), static_cast<size_t>(j)));
        texts.push_back(graded.compose(piece, lineOuter, static_cast<size_t>(r)));
        texts.push_back(graded.compose(piece, run.legEnd[0], static_cast<size_t>(leg0Turned)));
        if (run.centreByPoint) texts.push_back(graded.compose(piece, run.legStart[0], static_cast<size_t>(n + 1)));
    }
    frame::PieceGrowth foldGrowth;
    addCopies(piece, s, e, foldGrowth);
    for (const short raw : {lineRaw, run.leg0Raw}) addCopies(piece, raw, static_cast<short>(raw + 1), foldGrowth);
    if (piece->formulaCount != 0) foldGrowth.textBytes += textBytes(texts) + (run.centreByPoint ? texts.back().bytes() : 0);
    foldGrowth.segs = 3;
    if (!frame::patternTakes(pattern, nullptr, foldGrowth, frame::kNewPieceBytes)) {
        stopFold(hwnd, pattern, view, kGapFoldNoRoom);
        return;
    }

    // The fold piece: the span, the centre line (or leg 0 again) and leg 0.
    Piece* fold = nullptr;
    qpIncreasePiece(pattern, &fold);
    const short foldIndex = static_cast<short>(pattern->pieceCount - 1);
    piece = pieceAt(pattern, run.pieceIndex);
    fold = pieceAt(pattern, foldIndex);
    std::memcpy(fold->placement, piece->placement, sizeof fold->placement);
    qpCopyGroupPoint(pattern, piece, s, e, pattern, fold, -1, kCopySpan);
    piece = pieceAt(pattern, run.pieceIndex);
    fold = pieceAt(pattern, foldIndex);
    qpCopyGroupPoint(pattern, piece, lineRaw, static_cast<short>(lineRaw + 1), pattern, fold, -1, kCopyLine);
    piece = pieceAt(pattern, run.pieceIndex);
    fold = pieceAt(pattern, foldIndex);
    qpCopyGroupPoint(pattern, piece, run.leg0Raw, static_cast<short>(run.leg0Raw + 1), pattern, fold, -1,
                     kCopyLine);
    fold = pieceAt(pattern, foldIndex);

    frame::rotatePoints(fold, 0, plan.lowLast, shape.angleLow, shape.ax, shape.ay);
    frame::rotatePoints(fold, plan.highFirst, n, shape.angleHigh, shape.ax, shape.ay);
    fold->foldAngleLow = shape.angleLow;
    fold->foldAngleHigh = shape.angleHigh;

    // The copied centre line ends on the turned middle point, the copied
    // leg 0 on its turned outline point (on the centre direction).
    const short u1 = static_cast<short>(n + 1 + (lineOuter - lineRaw));
    const short u2 = static_cast<short>(fold->pointCount - 1 + run.legEnd[0] - (run.leg0Raw + 1));
    copyPosition(fold, r, fold, u1);
    copyPosition(fold, leg0Turned, fold, u2);
    short u3 = -1;
    if (run.centreByPoint) {
        // Both copies of leg 0 start at the apex given by the click.
        u3 = run.legEnd[0] == run.leg0Raw + 1 ? static_cast<short>(u1 - 1) : static_cast<short>(u1 + 1);
        setPosition(fold, u3, shape.ax, shape.ay);
        setPosition(fold, static_cast<short>(u3 + 2), shape.ax, shape.ay);
    }
    if (fold->formulaCount != 0) {
        for (short j = 0; j <= n; ++j) frame::storeGraded(pattern, pieceAt(pattern, foldIndex), j, texts[static_cast<size_t>(j)]);
        frame::storeGraded(pattern, pieceAt(pattern, foldIndex), u1, texts[static_cast<size_t>(n + 1)]);
        frame::storeGraded(pattern, pieceAt(pattern, foldIndex), u2, texts[static_cast<size_t>(n + 2)]);
        if (u3 >= 0)
            for (const short u : {u3, static_cast<short>(u3 + 2)})
                frame::storeGraded(pattern, pieceAt(pattern, foldIndex), u, texts[static_cast<size_t>(n + 3)]);
    }

    record->sourcePiece = run.pieceIndex;
    record->foldPiece = foldIndex;
    record->spanFirst = s;
    record->spanLast = e;
    record->spanMiddle = h2;
    record->legEndLow = legEndLow;
    record->centreEnd = centreEnd;
    record->legEndHigh = legEndHigh;
    record->lowTurnLast = plan.lowLast;
    record->highTurnFirst = plan.highFirst;
    saved.valid = true;
    saved.record = *record;
    saved.plan = plan;
    saved.shape = shape;
    pending.active = false;  // the middle point is the fold's now

    if (pieceIndexCell) *pieceIndexCell = foldIndex;
    view->pickState = 0;
    view->gapFoldStep = 0;
    frame::invalidateAll(hwnd);
}

bool sameFold(const GapFoldRecord& a, const GapFoldRecord& b) {
    return a.sourcePiece == b.sourcePiece && a.foldPiece == b.foldPiece && a.spanFirst == b.spanFirst &&
           a.spanLast == b.spanLast && a.spanMiddle == b.spanMiddle && a.legEndLow == b.legEndLow &&
           a.centreEnd == b.centreEnd && a.legEndHigh == b.legEndHigh && a.lowTurnLast == b.lowTurnLast &&
           a.highTurnFirst == b.highTurnFirst;
}

bool inPiece(const Piece* piece, short i) { return i >= 0 && i < piece->pointCount; }

// Everything the unfold reads and writes is there: the record is this
// library's last fold, the fold piece is the pattern's last piece with the
// span and both copied lines and its fold angles, every source index names
// a point of the source piece.
bool canUnfold(PatternBuffer* pattern, const GapFoldRecord* record) {
    if (!saved.valid || !pattern || !sameFold(*record, saved.record)) return false;
    if (record->foldPiece != pattern->pieceCount - 1 || record->sourcePiece < 0 ||
        record->sourcePiece >= record->foldPiece)
        return false;
    Piece* fold = pieceAt(pattern, record->foldPiece);
    Piece* source = pieceAt(pattern, record->sourcePiece);
    if (!fold || !source) return false;
    if (fold->foldAngleLow != saved.shape.angleLow || fold->foldAngleHigh != saved.shape.angleHigh) return false;
    const short n = static_cast<short>(record->spanLast - record->spanFirst);
    const short r = static_cast<short>(record->spanMiddle - record->spanFirst);
    if (r < 1 || r > n - 1 || fold->pointCount < n + 5) return false;
    if (record->lowTurnLast < -1 || record->lowTurnLast > n || record->highTurnFirst < 0 ||
        record->highTurnFirst > n + 1)
        return false;
    for (short j = 0; j <= n; ++j) {
        Point* p = nullptr;
        qpGetPointLptr(fold, j, &p);
        float x = 0, y = 0;
        if (!p || !isOutlineType(p->type) || !positionOf(fold, j, x, y)) return false;
    }
    if (!inPiece(source, record->spanFirst) || !inPiece(source, record->spanLast) ||
        !inPiece(source, record->legEndLow) || !inPiece(source, record->legEndHigh) ||
        (record->centreEnd != -1 && !inPiece(source, record->centreEnd)))
        return false;
    return true;
}

// A notch of the source on a stretch of the span: the stretch's first
// point and where along it the notch lies (0 at that point, 1 at the next).
struct SpanNotch {
    short point = -1;
    short part = -1;
    float along = 0;
};

std::vector<SpanNotch> spanNotches(Piece* source, const FoldPlan& plan) {
    std::vector<SpanNotch> notches;
    for (short k = 0; k < source->sPointCount; ++k) {
        const SPoint* sp = frame::sPointAt(source, k);
        const Point* p = sp ? frame::pointAt(source, sp->pointIndex) : nullptr;
        if (!p || typeLetter(p->type) != 'V' || isOutlineType(p->type)) continue;
        const short part = frame::partHolding(source, sp->lineIndex, sp->pointIndex);
        if (part < plan.s || part + 1 > plan.e) continue;
        float x = 0, y = 0, ax = 0, ay = 0, bx = 0, by = 0;
        positionOf(source, sp->pointIndex, x, y);
        positionOf(source, part, ax, ay);
        positionOf(source, static_cast<short>(part + 1), bx, by);
        const double dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
        const double t = l2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / l2 : 0.0;
        notches.push_back({sp->pointIndex, part, static_cast<float>(std::min(1.0, std::max(0.0, t)))});
    }
    return notches;
}

// The unfold's outputs for a fold of `shape`: the fold piece's span turned
// back (source points s .. e), then each notch of the span carried by its
// stretch (by the moves of the stretch's ends, shared as it lies between).
void unfoldWith(Piece* source, Piece* fold, const FoldPlan& plan, const FoldShape& shape,
                const std::vector<SpanNotch>& notches, std::vector<frame::PlanPoint>& out) {
    out.clear();
    for (short j = 0; j <= plan.e - plan.s; ++j) {
        float x = 0, y = 0;
        positionOf(fold, j, x, y);
        out.push_back(turnedBy(x, y, -turnOf(plan, shape, j), shape.ax, shape.ay));
    }
    auto moveOf = [&](short point) {
        double x = 0, y = 0;
        positionOf(source, point, x, y);
        const frame::PlanPoint to = out[static_cast<size_t>(point - plan.s)];
        return frame::PlanPoint{to.x - x, to.y - y};
    };
    for (const SpanNotch& n : notches) {
        const frame::PlanPoint a = moveOf(n.part), b = moveOf(static_cast<short>(n.part + 1));
        double x = 0, y = 0;
        positionOf(source, n.point, x, y);
        out.push_back({x + a.x + (b.x - a.x) * n.along, y + a.y + (b.y - a.y) * n.along});
    }
}

// A point that comes back within this of where it stands has not moved.
constexpr double kSamePlaceMm = 0.01;

// A click with foldPhase 2: turn the fold piece back, carry its span and
// the dart lines' outline ends into the source piece, remove the fold piece.
// A point that comes back where it stands, with the grade its formulas
// already give, has not moved: it keeps its coordinates and its texts (so
// an unfold of an unchanged fold piece gives the piece back as it was).
// Notches on a stretch that moved move with it.
void unfoldDart(HWND hwnd, PatternBuffer* pattern, short* pieceIndexCell, GapFoldRecord* record,
                HostView* view) {
    if (!canUnfold(pattern, record)) {
        frame::showError(hwnd, kGapUnfoldMismatch);
        return;
    }
    Piece* fold = pieceAt(pattern, record->foldPiece);
    Piece* source = pieceAt(pattern, record->sourcePiece);
    const FoldPlan& plan = saved.plan;
    const short n = static_cast<short>(record->spanLast - record->spanFirst);
    const short r = static_cast<short>(record->spanMiddle - record->spanFirst);
    const bool formulas = source->formulaCount != 0;
    const std::vector<SpanNotch> notches = spanNotches(source, plan);
    std::vector<frame::PlanPoint> at;
    unfoldWith(source, fold, plan, saved.shape, notches, at);
    // Graded when the source still gives the fold's shape at the base.
    frame::GradedPlan graded;
    FoldShape now;
    if (formulas && foldShape(source, plan, now) && now.ax == saved.shape.ax && now.ay == saved.shape.ay &&
        now.angleLow == saved.shape.angleLow && now.angleHigh == saved.shape.angleHigh)
        graded = frame::GradedPlan({source, fold}, [&](const std::vector<Piece*>& p, std::vector<frame::PlanPoint>& out) {
            FoldShape shape;
            if (!foldShape(p[0], plan, shape)) return false;
            unfoldWith(p[0], p[1], plan, shape, notches, out);
            return true;
        });

    // Each source point the unfold gives a place, with its output; then
    // whether it moved, and its texts when it did.
    struct Target {
        short point;
        size_t output;
        bool moved;
    };
    std::vector<Target> targets;
    for (short j = 0; j <= n; ++j) targets.push_back({static_cast<short>(record->spanFirst + j), static_cast<size_t>(j), false});
    targets.push_back({record->legEndLow, static_cast<size_t>(r - 1), false});
    if (record->centreEnd >= 0) targets.push_back({record->centreEnd, static_cast<size_t>(r), false});
    targets.push_back({record->legEndHigh, static_cast<size_t>(r + 1), false});
    auto moves = [&](short point, size_t output) {
        double x = 0, y = 0;
        positionOf(source, point, x, y);
        const frame::PlanPoint to = at[output];
        return std::hypot(to.x - x, to.y - y) >= kSamePlaceMm || (formulas && !graded.sameGrade(source, point, output));
    };
    for (Target& t : targets) t.moved = moves(t.point, t.output);
    for (size_t k = 0; k < notches.size(); ++k) {
        const size_t first = static_cast<size_t>(notches[k].part - record->spanFirst);
        targets.push_back({notches[k].point, static_cast<size_t>(n + 1) + k, targets[first].moved || targets[first + 1].moved});
    }
    std::vector<frame::GradedTexts> texts(targets.size());
    for (size_t k = 0; formulas && k < targets.size(); ++k)
        if (targets[k].moved) texts[k] = graded.compose(source, targets[k].point, targets[k].output);
    // The texts of what moved are stored after the fold piece is gone, in
    // its room.
    if (formulas) {
        frame::PieceGrowth growth;
        for (size_t k = 0; k < targets.size(); ++k)
            if (targets[k].moved) growth.textBytes += texts[k].bytes();
        growth.textBytes += frame::kMaxFormulaTextBytes;
        if (!frame::patternTakes(pattern, source, growth, -(fold->byteSize + frame::kPieceOffsetBytes))) {
            frame::showError(hwnd, kGapUnfoldNoRoom);
            return;
        }
    }

    for (const Target& t : targets)
        if (t.moved) setPosition(source, t.point, static_cast<float>(at[t.output].x), static_cast<float>(at[t.output].y));
    for (size_t k = 0; k < notches.size(); ++k)
        if (targets[targets.size() - notches.size() + k].moved) frame::seatNotch(source, notches[k].point);

    qpDeletePiece(pattern, fold);
    for (size_t k = 0; formulas && k < targets.size(); ++k)
        if (targets[k].moved) frame::storeGraded(pattern, pieceAt(pattern, record->sourcePiece), targets[k].point, texts[k]);
    saved.valid = false;
    if (pieceIndexCell) *pieceIndexCell = record->sourcePiece;
    record->foldPhase = 0;
    view->pickState = 0;
    view->gapFoldStep = 0;
    frame::invalidateAll(hwnd);
}

}  // namespace

QP_EXPORT short QP_WINAPI qpHandleGapFold(HWND hwnd, UINT message, WPARAM, LPARAM,
                                          PatternBuffer* pattern, short* pieceIndexCell,
                                          GapFoldRecord* fold, HostView* view, const float* viewMatrix) {
    if (!fold || !view) return 0;
    switch (message) {
    case WM_MOUSEMOVE:
        if (fold->foldPhase != 1) return 0;
        if (view->pickState == kStart) {
            frame::showPrompt(hwnd, 1, run.prompt, kPromptGapFoldLegs);
            view->pickState = kPickLeg0;
        } else if (view->pickState >= kApexWait && view->pickState <= kDirectionTrack) {
            trackRubber(hwnd, view);
        }
        return 1;
    case WM_LBUTTONDOWN:
        if (fold->foldPhase == 2) {
            unfoldDart(hwnd, pattern, pieceIndexCell, fold, view);
            return 1;
        }
        switch (view->pickState) {
        case kPickLeg0:
        case kPickLeg1:
        case kPickCentre:
            pickLine(hwnd, pattern, pieceIndexCell, view, viewMatrix);
            break;
        case kApexTrack:
            takeApex(hwnd, view);
            break;
        case kDirectionTrack:
            foldDart(hwnd, pattern, pieceIndexCell, fold, view);
            break;
        case kStopped:
            frame::showPrompt(hwnd, 1, run.prompt, kGapFoldStopped);
            break;
        default:
            // Steps 5 and 7 before any mouse move (a double click on the last
            // pick) take nothing: the apex or the direction needs the cursor
            // to have moved there.
            break;
        }
        return 1;
    case WM_CANCELMODE:
        // The host ends the run before the fold, or the system cancels the
        // window's modes (a dialog box opens) and the run may go on. A middle
        // point the run inserted goes again; the picks and the apex counted
        // it, so the run starts over from its first prompt, and no later
        // click folds with them. A run with nothing inserted keeps its step:
        // its picks still name the piece as it is.
        if (!removePendingMiddle(pattern)) return 0;
        if (fold->foldPhase == 1 && view->pickState > kStart) view->pickState = kStart;
        frame::invalidateAll(hwnd);
        return 1;
    default:
        return 0;
    }
}

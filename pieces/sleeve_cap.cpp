// The sleeve-cap tool: cut a cap curve at a point, swing its halves open
// about the curve's ends, and reshape it to its old length plus a typed
// increase. Also qpAdjustCurveLength, which does the reshaping on its own.
//
// Units: piece coordinates in millimetres; the typed increase and the shown
// length in centimetres; angles in radians; client pixels for drawing.
// State: one run at a time, in the statics below (the handler is not
// re-entrant). HostView.pickState carries the mouse-tracking bits:
// 1 follow the cursor, 2 also a rubber line from the anchor, 4 marker drawn.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/curve_forms.h"
#include "frame/exports.h"
#include "frame/graded_edit.h"
#include "frame/handler_frame.h"
#include "frame/host_protocol.h"
#include "frame/piece_edit.h"
#include "frame/room.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "frame/work_buffer.h"

namespace {

constexpr int kFollow = 1;
constexpr int kRubber = 2;
constexpr int kDrawn = 4;
constexpr int kFollowToDrawn = 3;  // adding it turns "follow" into "drawn"
constexpr COLORREF kMarkerColour = 0xFF6464;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr int kNoPixel = -0x7FFFFFFF;  // a remembered pixel no snap can equal
constexpr short kCurveColour = 0;      // palette index of the measured cap curve

// Length-loop limits of qpAdjustCurveLength.
constexpr double kLengthTolerance = 0.02;  // mm
constexpr double kMinScaleChange = 0.001;
constexpr int kMaxPasses = 500;
constexpr double kMinChord = 0.1;  // mm: ends closer than this are refused

struct Run {
    PatternBuffer* pattern = nullptr;
    Piece* piece = nullptr;
    frame::ViewMatrices m{};
    float snapX = 0, snapY = 0;     // last snapped point, piece coordinates
    POINT marker{kNoPixel, kNoPixel};  // its client pixel
    short snapIndex = 0;
    POINT anchor{};                 // start of the rubber line
    short s = 0, e = 0, k = 0;      // first end, second end, cut point
    float length = 0;               // measured cap length L, mm
    frame::PromptCells prompt;
    frame::NumberEntry entry;
    char resultText[32] = {};
};
Run run;

// Draws the curve first .. last through the matrix and measures it (mm).
float drawAndMeasure(HDC hdc, Piece* piece, short first, short last, const float* matrix) {
    short index = 0;
    float length = 0, x = 0, y = 0;
    qpCurve(hdc, piece, qpcurve::kOpDraw, qpcurve::kMeasureLength, qpcurve::kStylePlain, qpcurve::kSnapAllLinesDefault,
            first, static_cast<short>(last - first + 1), kCurveColour, qpcurve::kDefaultResolution, &index, &length,
            &x, &y, matrix);
    return length;
}

void coordOf(Piece* piece, short point, double& x, double& y) {
    Point* p = nullptr;
    qpGetPointLptr(piece, point, &p);
    Coord* c = nullptr;
    qpGetCoordLptr(piece, p->coordIndex, &c);
    x = c->x;
    y = c->y;
}

void startRun(HWND hwnd, PatternBuffer** patternCell, Piece** pieceCell, HostView* view,
              const float* viewMatrix) {
    run.pattern = *patternCell;
    run.piece = *pieceCell;
    run.marker = POINT{kNoPixel, kNoPixel};
    run.snapIndex = -1;  // nothing snapped yet in this run
    run.entry.open = false;

    HDC hdc = GetDC(hwnd);
    frame::fillBelowPrompt(hdc, hwnd);

    frame::buildViewMatrices(hwnd, viewMatrix, run.piece, run.m);
    frame::drawLines(hdc, run.piece, 0, 0, qpcurve::kStyleWhole, qpcurve::kColourDefault, run.m.pieceToScreen);
    frame::showPromptOn(hdc, hwnd, 2, run.prompt, kPromptItalyEnds);
    ReleaseDC(hwnd, hdc);
    run.prompt.x = 5;
    run.prompt.y = 35;
    run.prompt.width = 374;
    view->italyStep = 2;
}

// Draws (or, drawn again, erases) the marker and, with kRubber, the rubber
// line from the anchor. The device context is in XOR mode.
void drawFeedback(HDC hdc, POINT at, int state) {
    frame::drawMarker(hdc, at.x, at.y, kMarkerColour);
    if (state & kRubber)
        frame::drawRubberLine(hdc, run.anchor, at);
}

void track(HWND hwnd, HostView* view) {
    float x = 0, y = 0;
    frame::cursorToPiece(hwnd, run.m.screenToPiece, x, y);
    const frame::CurveHit nearest = frame::nearestVertex(run.piece, x, y, run.m.pieceToScreen,
                                                         qpcurve::kModeWholePiece | qpcurve::kSnapOutlineVertices);
    const short index = nearest.index;
    x = nearest.x;
    y = nearest.y;
    const POINT at = frame::pieceToClient(run.m.pieceToScreen, x, y);
    if (at.x == run.marker.x && at.y == run.marker.y)
        return;  // same pixel: drawing would only flicker the XOR marker
    // The mouse-move drawing mode is ours to choose: every tracking DC is put
    // in XOR mode here rather than trusting the host's window to keep one.
    HDC hdc = GetDC(hwnd);
    SetROP2(hdc, R2_XORPEN);
    const int state = view->pickState;
    // The drawn bit is the host's word too: with no marker on screen there
    // is nothing to erase.
    if ((state & kDrawn) && run.marker.x != kNoPixel)
        drawFeedback(hdc, run.marker, state);
    drawFeedback(hdc, at, state);
    ReleaseDC(hwnd, hdc);
    run.marker = at;
    run.snapX = x;
    run.snapY = y;
    run.snapIndex = index;
    if (state & kFollow)
        view->pickState = static_cast<short>(state + kFollowToDrawn);
}

void showResult(HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    const int x0 = (client.left + client.right) / 2 - 363;
    const int y0 = client.bottom - 49;
    HDC hdc = GetDC(hwnd);
    // The measured curve is drawn where the piece is on screen, through
    // pieceToScreen: drawn through the identity it would land at the piece's
    // millimetres taken as pixels, away from the piece. The length does not
    // depend on the matrix.
    run.length = drawAndMeasure(hdc, run.piece, run.s, run.e, run.m.pieceToScreen);
    SetROP2(hdc, R2_COPYPEN);
    qpDrawFrame(hdc, 2, x0, y0 + 48, x0 + 726, y0, 0x6464FF, 160, 60);
    HBRUSH panel = CreateSolidBrush(0x3C3CB4);
    HGDIOBJ oldBrush = SelectObject(hdc, panel);
    HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(NULL_PEN));
    Rectangle(hdc, x0 + 6, y0 + 6, x0 + 722, y0 + 44);
    SelectObject(hdc, oldBrush);
    SelectObject(hdc, oldPen);
    DeleteObject(panel);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, 0xB4FFFF);
    TextOutA(hdc, x0 + 55, y0 + 14, kItalyResultLine,
             static_cast<int>(std::strlen(kItalyResultLine)));
    qpConvertFloat2String(run.length / 10.0, "", run.resultText);
    SetTextColor(hdc, kWhite);
    TextOutA(hdc, x0 + 220, y0 + 14, run.resultText,
             static_cast<int>(std::strlen(run.resultText)));
    ReleaseDC(hwnd, hdc);
    frame::openEntry(hwnd, run.entry, x0 + 550, y0 + 14, 10, 80, 0x3C3CB4, kWhite);
}

// The picked point's record, when `index` names an outline point of the
// piece; null otherwise.
Point* outlinePoint(short index) {
    if (index < 0 || index >= run.piece->pointCount)
        return nullptr;
    Point* p = nullptr;
    qpGetPointLptr(run.piece, index, &p);
    return p != nullptr && isOutlineType(p->type) ? p : nullptr;
}

// Whether `index` may end the cap that starts (or ends) at run.s: another
// outline point of the same chain, not on top of the first (a closed
// outline's closing point lies on its first point: no chord to swing about).
bool isSecondEnd(short index) {
    Point* end = outlinePoint(index);
    Point* first = outlinePoint(run.s);
    if (end == nullptr || first == nullptr || index == run.s || end->segIndex != first->segIndex)
        return false;
    double sx, sy, ex, ey;
    coordOf(run.piece, run.s, sx, sy);
    coordOf(run.piece, index, ex, ey);
    return std::hypot(ex - sx, ey - sy) >= kMinChord;
}

// Whether `index` may cut the cap run.s .. run.e: strictly between the ends
// on their chain, and a point that qpInsertSamePoint twins (K or C).
bool isCutPoint(short index) {
    Point* cut = outlinePoint(index);
    Point* first = outlinePoint(run.s);
    if (cut == nullptr || first == nullptr || cut->segIndex != first->segIndex)
        return false;
    const char letter = typeLetter(cut->type);
    return run.s < index && index < run.e && (letter == 'K' || letter == 'C');
}

// A pick that does not describe a cap is refused in its step: the step's
// prompt is shown again and nothing else changes.
short click(HWND hwnd, HostView* view) {
    // A click before any move of this run has snapped a point picks
    // nothing: it is consumed, and the last run's index is never reused.
    if (run.snapIndex < 0 && view->italyStep >= 2 && view->italyStep <= 4)
        return 1;
    switch (view->italyStep) {
    case 2:
        if (outlinePoint(run.snapIndex) == nullptr) {
            frame::showPrompt(hwnd, 2, run.prompt, kPromptItalyEnds);
            return 1;
        }
        run.anchor = run.marker;
        run.s = run.snapIndex;
        view->italyStep = 3;
        view->pickState = kFollow | kRubber;
        return 1;
    case 3:
        if (!isSecondEnd(run.snapIndex)) {
            frame::showPrompt(hwnd, 2, run.prompt, kPromptItalyEnds);
            return 1;
        }
        run.e = run.snapIndex;
        if (run.e < run.s) {
            const short t = run.s;
            run.s = run.e;
            run.e = t;
        }
        frame::showPrompt(hwnd, 1, run.prompt, kPromptItalyCut);
        view->italyStep = 4;
        view->pickState = kFollow;
        return 1;
    case 4:
        if (!isCutPoint(run.snapIndex)) {
            frame::showPrompt(hwnd, 1, run.prompt, kPromptItalyCut);
            return 1;
        }
        run.k = run.snapIndex;
        showResult(hwnd);
        view->italyStep = 5;
        view->pickState = 0;
        return 1;
    default:
        return 0;
    }
}

struct Xy {
    double x, y;
};

Xy turned(Xy p, double theta, Xy about) {
    const double c = std::cos(theta), s = std::sin(theta);
    const double dx = p.x - about.x, dy = p.y - about.y;
    return {about.x + dx * c - dy * s, about.y + dx * s + dy * c};
}

double cross(Xy o, Xy a, Xy b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

// Whether segments ab and cd cross or touch. Their extents must overlap:
// without that test, segments on one line (or a zero-length segment anywhere
// on the other's line) would count as meeting however far apart they lie.
bool segmentsMeet(Xy a, Xy b, Xy c, Xy d) {
    if (std::fmax(a.x, b.x) < std::fmin(c.x, d.x) || std::fmax(c.x, d.x) < std::fmin(a.x, b.x) ||
        std::fmax(a.y, b.y) < std::fmin(c.y, d.y) || std::fmax(c.y, d.y) < std::fmin(a.y, b.y))
        return false;
    const double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
    return ((d1 <= 0 && d2 >= 0) || (d1 >= 0 && d2 <= 0)) && ((d3 <= 0 && d4 >= 0) || (d3 >= 0 && d4 <= 0));
}

// Whether a segment of `first` meets a segment of `second`, the last
// segment of `first` against the first of `second` (the two cut sides)
// excepted. Two segments that meet share a point, so their extents along the
// chord s -> e and across it overlap: a sweep along the chord compares only
// such pairs, which keeps a cap that runs along its chord linear instead of
// comparing every segment of one half with every segment of the other. The
// extents are widened by a hair so that rounding cannot drop a pair that
// segmentsMeet would report.
bool halvesMeet(const std::vector<Xy>& first, const std::vector<Xy>& second, Xy s, Xy e, double chord) {
    struct Span {
        double lo, hi, acrossLo, acrossHi;
        size_t index;  // segment index in its half
        bool ofFirst;
    };
    const double c = (e.x - s.x) / chord, sn = (e.y - s.y) / chord;
    std::vector<Span> spans;
    spans.reserve(first.size() + second.size());
    auto add = [&](const std::vector<Xy>& half, bool ofFirst) {
        for (size_t i = 0; i + 1 < half.size(); ++i) {
            const Xy a = half[i], b = half[i + 1];
            const double a1 = (a.x - s.x) * c + (a.y - s.y) * sn, b1 = (b.x - s.x) * c + (b.y - s.y) * sn;
            const double a2 = (a.y - s.y) * c - (a.x - s.x) * sn, b2 = (b.y - s.y) * c - (b.x - s.x) * sn;
            const double hair = 1e-9 * (chord + std::fabs(a1) + std::fabs(b1) + std::fabs(a2) + std::fabs(b2)) + 1e-9;
            spans.push_back({std::fmin(a1, b1) - hair, std::fmax(a1, b1) + hair, std::fmin(a2, b2) - hair,
                             std::fmax(a2, b2) + hair, i, ofFirst});
        }
    };
    add(first, true);
    add(second, false);
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.lo < b.lo; });
    // Open spans of each half: those whose extent along the chord reaches the
    // current span's start. Spans come in order of start, so a span that ends
    // before the current start is closed for good and dropped.
    std::vector<const Span*> open[2];
    for (const Span& span : spans) {
        std::vector<const Span*>& other = open[span.ofFirst ? 1 : 0];
        size_t kept = 0;
        for (const Span* o : other) {
            if (o->hi < span.lo)
                continue;
            other[kept++] = o;
            if (o->acrossHi < span.acrossLo || span.acrossHi < o->acrossLo)
                continue;
            const Span& f = span.ofFirst ? span : *o;
            const Span& g = span.ofFirst ? *o : span;
            if (f.index + 2 == first.size() && g.index == 0)
                continue;
            if (segmentsMeet(first[f.index], first[f.index + 1], second[g.index], second[g.index + 1]))
                return true;
        }
        other.resize(kept);
        open[span.ofFirst ? 0 : 1].push_back(&span);
    }
    return false;
}

// Whether swinging the first half (s .. k) by alpha about s and the second
// half (k .. e, from the twin) by beta about e would make them cross: the
// cut's two sides pass each other along the chord, or a segment of one half
// meets a segment of the other. A negative increase swings the halves
// towards each other, and on an arched cap they cross at once.
bool halvesCross(Piece* piece, double alpha, double beta) {
    std::vector<Xy> first, second;
    double x = 0, y = 0;
    coordOf(piece, run.s, x, y);
    const Xy s{x, y};
    coordOf(piece, run.e, x, y);
    const Xy e{x, y};
    for (short j = run.s; j <= run.k; ++j) {
        coordOf(piece, j, x, y);
        first.push_back(j == run.s ? s : turned({x, y}, alpha, s));
    }
    for (short j = run.k; j <= run.e; ++j) {
        coordOf(piece, j, x, y);
        second.push_back(j == run.e ? e : turned({x, y}, beta, e));
    }
    const double chord = std::hypot(e.x - s.x, e.y - s.y);
    auto along = [&](Xy p) { return ((p.x - s.x) * (e.x - s.x) + (p.y - s.y) * (e.y - s.y)) / chord; };
    if (along(first.back()) > along(second.front()))
        return true;
    // The two cut sides themselves may touch (an increase of 0); any other
    // meeting is a crossing.
    return halvesMeet(first, second, s, e, chord);
}

// The cap's edit on `piece` (in `pattern`, with room for the twin): twin at
// K, swing the halves by the turns that open `increase` (mm) at the cut,
// and reshape to the cap's length there plus the increase. `swing` false
// keeps the cap's shape (the halves would cross). Returns false, with
// nothing edited, when the store made no twin.
bool reshapeCap(HWND hwnd, PatternBuffer* pattern, Piece* piece, double increase, bool swing) {
    double sx, sy, ex, ey, kx, ky;
    coordOf(piece, run.s, sx, sy);
    coordOf(piece, run.e, ex, ey);
    coordOf(piece, run.k, kx, ky);
    const double theta = qpAngle(ex - sx, ey - sy);
    const double along = std::cos(theta) * (kx - sx) + std::sin(theta) * (ky - sy);
    const double rest = std::hypot(ex - sx, ey - sy) - along;
    const double alpha = swing ? qpAngle(along, 0.55 * increase) : 0.0;
    const double beta = swing ? qpAngle(rest, -0.55 * increase) : 0.0;
    float unit[9];
    frame::identity(unit);
    const float length = frame::curveLength(piece, run.s, static_cast<short>(run.e - run.s + 1), unit);
    Point* twin = nullptr;
    if (qpInsertSamePoint(pattern, piece, run.k, &twin) != run.k + 1) return false;
    const short e = static_cast<short>(run.e + 1);  // the twin K + 1 lies before E
    if (alpha != 0) frame::rotatePoints(piece, static_cast<short>(run.s + 1), run.k, alpha, sx, sy);
    if (beta != 0) frame::rotatePoints(piece, static_cast<short>(run.k + 1), static_cast<short>(e - 1), beta, ex, ey);
    qpAdjustCurveLength(hwnd, pattern, piece, run.s, e, static_cast<float>(length + increase));
    return true;
}

// The graded texts of the cap's inner points after the edit (s + 1 .. e - 1
// with the twin, in their new order), each from its own point's terms (the
// twin from K's): the edit is run again at each nudged size on a copy, with
// the swing kept or skipped as at the base, so that every size gets its own
// cap length plus the increase.
std::vector<frame::GradedTexts> gradedCap(HWND hwnd, Piece* piece, double increase, bool swing) {
    std::vector<frame::GradedTexts> texts;
    const frame::GradedPlan graded({piece}, [&](const std::vector<Piece*>& at, std::vector<frame::PlanPoint>& out) {
        PatternBuffer* work = MakeWorkBuffer(at[0]);
        Piece* copy = nullptr;
        if (work) qpGetPieceLptr(work, 0, &copy);
        const bool ok = copy && reshapeCap(hwnd, work, copy, increase, swing);
        out.clear();
        for (short j = static_cast<short>(run.s + 1); ok && j <= run.e; ++j) {
            frame::PlanPoint p;
            frame::positionOf(copy, j, p.x, p.y);
            out.push_back(p);
        }
        if (work) FreeGlobalBlock(work);
        return ok;
    });
    for (short j = static_cast<short>(run.s + 1); j <= run.e; ++j) {
        const short source = j <= run.k ? j : static_cast<short>(j - 1);
        texts.push_back(graded.compose(piece, source, static_cast<size_t>(j - run.s - 1)));
    }
    return texts;
}

// The finish key in step 5: twin at K, swing both halves open, reshape to L + D.
// The increase is read by the one rule for typed numbers; a text it refuses
// leaves the entry open for a correction and the piece as it was.
void lengthen(HWND hwnd) {
    double increaseCm = 0;
    run.entry.text[sizeof run.entry.text - 1] = '\0';
    if (!frame::readTypedNumber(run.entry.text, increaseCm)) {
        frame::showPrompt(hwnd, 2, run.prompt, kNumberRefused);
        return;
    }
    frame::finishEntry(run.entry);
    const double increase = increaseCm * 10.0;  // cm -> mm
    Piece* piece = run.piece;

    // Plan on the untouched piece.
    double sx, sy, ex, ey, kx, ky;
    coordOf(piece, run.s, sx, sy);
    coordOf(piece, run.e, ex, ey);
    coordOf(piece, run.k, kx, ky);
    const double theta = qpAngle(ex - sx, ey - sy);
    const double chord = std::hypot(ex - sx, ey - sy);
    const double along = std::cos(theta) * (kx - sx) + std::sin(theta) * (ky - sy);
    const double rest = chord - along;
    // Where the swing would make the halves cross (taking ease out of an
    // arched cap), it is skipped: the cap keeps its shape and the length
    // loop alone brings it to the target, flattening it evenly (onto the
    // chord when the target is not longer than the chord). A smaller swing
    // would still cross, since both sides of the cut start at one point.
    const bool swing = !halvesCross(piece, qpAngle(along, 0.55 * increase), qpAngle(rest, -0.55 * increase));

    // Room: the twin (a point, its line, coordinate, formula and texts), and
    // the graded texts of the cap's inner points (with the twin),
    // each stored before the text it replaces goes. The cap is edited in
    // the host's own block, which the host keeps with room to spare: a block
    // without room is refused rather than moved (a choice; the
    // point-increase tool, which adds a point per click, moves it).
    const bool formulas = piece->formulaCount != 0;
    std::vector<frame::GradedTexts> texts;
    frame::PieceGrowth growth;
    growth.addPoints(1, formulas, frame::derivedTextBytes(piece));
    growth.lines = 1;
    if (formulas) {
        texts = gradedCap(hwnd, piece, increase, swing);
        growth.textBytes += frame::kMaxFormulaTextBytes;
        for (const frame::GradedTexts& t : texts) growth.textBytes += t.bytes();
    }
    if (!frame::patternTakes(run.pattern, piece, growth)) {
        frame::showError(hwnd, kEditNoRoom);
        return;
    }

    if (!reshapeCap(hwnd, run.pattern, piece, increase, swing)) return;  // no twin: nothing was edited
    for (size_t j = 0; j < texts.size(); ++j)
        frame::storeGraded(run.pattern, piece, static_cast<short>(run.s + 1 + static_cast<short>(j)), texts[j]);
    run.e = static_cast<short>(run.e + 1);
    frame::invalidateBelowPrompt(hwnd);
}

}  // namespace

QP_EXPORT short QP_WINAPI qpAdjustCurveLength(HWND hwnd, PatternBuffer* pattern, Piece* piece, short first, short last, float target) {
    if (!pattern || !piece || first < 0 || last >= piece->pointCount || first > last)
        return 0;  // out-of-range ends are refused like a null piece
    double ax, ay, bx, by;
    coordOf(piece, first, ax, ay);
    coordOf(piece, last, bx, by);
    const double chord = std::hypot(bx - ax, by - ay);
    if (chord < kMinChord)
        return 0;
    const double c = (bx - ax) / chord, s = (by - ay) / chord;

    float unit[9];
    frame::identity(unit);
    HDC hdc = GetDC(hwnd);
    const short count = static_cast<short>(last - first + 1);
    double length = frame::curveLength(piece, first, count, unit, hdc);
    double d = target - length;
    double u = 1.0;
    for (int pass = 0; std::fabs(d) > kLengthTolerance && std::fabs(u) > kMinScaleChange &&
                       pass < kMaxPasses;
         ++pass) {
        // Longer than the chord: scale every inner point's distance from the
        // chord; not longer: lay the inner points on the chord and stop.
        if (chord - length < d)
            u = std::fmin(std::fmax(d / chord, -0.5), 0.5) + 1.0;
        else
            u = 0;
        for (short j = static_cast<short>(first + 1); j < last; ++j) {
            Point* p = nullptr;
            qpGetPointLptr(piece, j, &p);
            Coord* q = nullptr;
            qpGetCoordLptr(piece, p->coordIndex, &q);
            const double rx = q->x - ax, ry = q->y - ay;
            const double alongChord = rx * c + ry * s;
            const double across = (ry * c - rx * s) * u;
            q->x = static_cast<float>(ax + alongChord * c - across * s);
            q->y = static_cast<float>(ay + alongChord * s + across * c);
        }
        length = frame::curveLength(piece, first, count, unit, hdc);
        d = target - length;
    }
    ReleaseDC(hwnd, hdc);
    return 1;
}

QP_EXPORT short QP_WINAPI qpHandlePieceItaly(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, void*, PatternBuffer** patternCell, Piece** pieceCell, void*, void*, HostView* view, const float* viewMatrix) {
    if (view->italyStep == 5 && run.entry.open)
        frame::feedEntry(hwnd, message, wParam, lParam, run.entry);

    switch (message) {
    case WM_MOUSEMOVE:
        if (view->italyStep == 1 && view->pickState != 0)
            startRun(hwnd, patternCell, pieceCell, view, viewMatrix);
        else if (view->italyStep > 1 && view->pickState != 0)
            track(hwnd, view);
        return 1;
    case WM_NCMOUSEMOVE: {
        if (!(view->pickState & kDrawn))
            return 0;
        if (run.marker.x != kNoPixel) {
            HDC hdc = GetDC(hwnd);
            SetROP2(hdc, R2_XORPEN);
            drawFeedback(hdc, run.marker, view->pickState);
            ReleaseDC(hwnd, hdc);
        }
        view->pickState = static_cast<short>(view->pickState - kFollowToDrawn);
        // Forget the erased pixel, so that the cursor's return draws the
        // marker again even where it left.
        run.marker = POINT{kNoPixel, kNoPixel};
        return 1;
    }
    case WM_LBUTTONDOWN:
        return click(hwnd, view);
    case WM_KEYDOWN:
        // Keys mean something only while the number entry is open (step 5).
        // The finish key anywhere else is ignored: S, E, K and L of this run
        // are not set, and after the work the entry is closed, so a second
        // one cannot cut the cap twice.
        if (view->italyStep != 5)
            return 0;
        if (wParam == frame::kFinishKey && run.entry.open)
            lengthen(hwnd);
        return 1;
    default:
        return 0;
    }
}

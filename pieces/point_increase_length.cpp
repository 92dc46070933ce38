// Point increase by length (Picks::kAlong): a point placed at a typed
// distance along the outline chain from a picked outline point, forward or
// backward as the second click says. Also the reading of the host's typed
// texts.
#include <cmath>
#include <cstring>

#include "frame/curve_forms.h"
#include "frame/handler_frame.h"
#include "frame/host_protocol.h"
#include "frame/piece_edit.h"
#include "frame/siblings.h"
#include "frame/texts.h"
#include "pieces/point_increase.h"

namespace increase {

namespace {

constexpr double kPi = 3.14159;       // as the system writes it
constexpr double kTwoPi = 6.28318;
constexpr float kLengthSlack = 0.01f;  // mm: a distance this much past the chain is its end

using frame::pointAt;

using frame::positionOf;

double wrap(double a) {
    if (a > kPi) a -= kTwoPi;
    else if (a < -kPi) a += kTwoPi;
    return a;
}

// Length (mm) of the n points from s along their stretches.
float lengthOf(Piece* piece, short s, short n) {
    short index = 0;
    float length = 0, x = 0, y = 0;
    qpCurve(nullptr, piece, qpcurve::kOpDraw, qpcurve::kFlagLength | qpcurve::kFlagLines,
            qpcurve::kStylePlain, qpcurve::kSnapAllLinesDefault, s, n, qpcurve::kColourDefault,
            qpcurve::kDefaultResolution, &index, &length, &x, &y, qpcurve::kIdentity);
    return length;
}

}  // namespace

bool copyHostText(const char* hostText, char* out) {
    out[0] = '\0';
    if (!hostText) return false;
    const void* end = std::memchr(hostText, '\0', kTypedTextSize);
    if (!end) return false;  // no terminator within our room: refused, not cut
    std::memcpy(out, hostText, static_cast<std::size_t>(static_cast<const char*>(end) - hostText) + 1);
    return true;
}

bool readPositive(const char* text, double& value) {
    double v = 0;
    if (!frame::readTypedNumber(text, v) || !(v > 0)) return false;
    value = v;
    return true;
}

bool askDistance(HWND hwnd, DLGPROC dialogProc, const char* hostText, int lengthUnit,
                 double& mm, bool& refused) {
    refused = false;
    const auto instance = reinterpret_cast<HINSTANCE>(
        static_cast<INT_PTR>(GetWindowLongA(hwnd, GWL_HINSTANCE)));
    const INT_PTR result = DialogBoxParamA(instance, kDialogLengthInput, hwnd, dialogProc, 0);
    // Only OK gives a distance: Cancel, a closed box or a failed dialog leave
    // whatever the buffer held before, which is no answer.
    if (result != IDOK) return false;
    char text[kTypedTextSize];
    double typed = 0;
    if (!copyHostText(hostText, text) || !readPositive(text, typed)) {
        refused = true;
        return false;
    }
    mm = typed * frame::mmPerLengthUnit(lengthUnit);
    return true;
}

bool planDirection(Piece* piece, short b, float px, float py, LengthPlan& plan) {
    plan = LengthPlan{};
    Point* p = pointAt(piece, b);
    if (!p || !isOutlineType(p->type)) return false;
    Seg* seg = nullptr;
    qpGetSegLptr(piece, p->segIndex, &seg);
    if (!seg || seg->markFlag != 0 || seg->lineCount <= 0) return false;
    Line* firstLine = nullptr;
    Line* lastLine = nullptr;
    qpGetLineLptr(piece, seg->firstLine, &firstLine);
    qpGetLineLptr(piece, static_cast<short>(seg->firstLine + seg->lineCount - 1), &lastLine);
    if (!firstLine || !lastLine || firstLine->pointCount < 2 || lastLine->pointCount < 2) return false;
    plan.b = b;
    plan.chainFirst = firstLine->firstPoint;
    plan.chainLast = static_cast<short>(lastLine->firstPoint + lastLine->pointCount - 1);
    if (b < plan.chainFirst || b > plan.chainLast) return false;
    if (p->lineIn < 0) plan.kind = 1;
    if (p->lineOut < 0) plan.kind = 2;  // a chain end wins over a chain start
    const short previous = plan.kind == 1 ? static_cast<short>(plan.chainLast - 1)
                                          : static_cast<short>(b - 1);
    const short next = plan.kind == 2 ? static_cast<short>(plan.chainFirst + 1)
                                      : static_cast<short>(b + 1);
    double bx, by, ax, ay, nx, ny;
    if (!positionOf(piece, b, bx, by) || !positionOf(piece, previous, ax, ay) ||
        !positionOf(piece, next, nx, ny))
        return false;
    const double a1 = qpAngle(ax - bx, ay - by);
    const double a2 = qpAngle(px - bx, py - by);
    const double a3 = qpAngle(nx - bx, ny - by);
    // Forward when the click lies at least as far, by angle, from the way
    // back as from the way on.
    plan.forward = std::fabs(wrap(a2 - a1)) >= std::fabs(wrap(a2 - a3));
    return true;
}

bool placeAlong(Piece* piece, const LengthPlan& plan, double mm, float& x, float& y) {
    short s = plan.b;
    float along = static_cast<float>(mm);
    if (plan.forward) {
        if (plan.kind == 2) s = plan.chainFirst;
        const float available = lengthOf(piece, s, static_cast<short>(plan.chainLast - s + 1));
        if (along > available + kLengthSlack) return false;
        if (along > available) along = available;
    } else {
        if (plan.kind == 1) s = plan.chainLast;
        // Walk back until the stretches from s - j to s hold the distance,
        // the least such j; then measure forward from s - j by the excess.
        // The chain's first point bounds the walk: a longer distance is
        // refused rather than clamped to a point it does not name. The
        // measure of s - j .. s never shrinks as j grows (it adds lengths of
        // at least 0 in order, and rounding keeps order), so j is found by
        // guessing from the lengths measured so far (a line's stretches are
        // much alike) and closing in between a j that falls short and one
        // that holds: a few measures, not one per stretch (each measure reads
        // the whole piece).
        const short most = static_cast<short>(s - plan.chainFirst);
        if (most < 1) return false;
        short below = 0, at = 0;  // a walk that falls short, and one that holds (0: none yet)
        float belowTotal = 0, atTotal = 0;
        short guess = 1;
        for (int tries = 1;; ++tries) {
            const bool bracketed = at != 0;
            const int width = at - below;
            float total = lengthOf(piece, static_cast<short>(s - guess), static_cast<short>(guess + 1));
            if (total + kLengthSlack >= along) {
                at = guess;
                atTotal = total;
            } else {
                below = guess;
                belowTotal = total;
            }
            double next;
            if (at == 0) {
                if (below == most) return false;
                // On by the distance left at the mean length so far, a little
                // past it; doubling at least once guesses are slow to get there.
                const double mean = static_cast<double>(belowTotal) / below;
                next = mean > 0 ? below + (along - belowTotal) / mean * 1.125 + 1 : 2.0 * below;
                if (tries > 4) next = std::fmax(next, 2.0 * below);
                next = std::fmin(next, most);
            } else {
                if (at - below <= 1) break;
                // Where the measures cross the distance, in proportion; halved
                // instead when this guess did not halve the gap.
                const bool halve = bracketed && 2 * (at - below) > width;
                if (!halve && atTotal > belowTotal)
                    next = below + (along - kLengthSlack - belowTotal) / (atTotal - belowTotal) * (at - below);
                else
                    next = below + (at - below) / 2.0;
                next = std::fmin(std::fmax(next, below + 1.0), at - 1.0);
            }
            guess = static_cast<short>(std::fmax(std::ceil(next), below + 1.0));
        }
        s = static_cast<short>(s - at);
        along = atTotal > along ? atTotal - along : 0.0f;
    }
    const frame::CurveHit at = frame::pointAtLength(piece, s, along, qpcurve::kIdentity);
    x = at.x;
    y = at.y;
    return at.index >= 0;
}

}  // namespace increase

// The dart transfer: the user picks the two legs of a dart and an inner line
// that marks where the dart is to go; the stretch of outline between the old
// and the new place turns about a pivot until the old opening closes, and the
// new dart opens at the marked line, with a middle point on its mouth, a
// centre line and two legs.
//
// Units: piece coordinates in millimetres, angles in radians, client pixels
// for drawing. State: one run at a time, in `run` (the handler is not
// re-entrant). HostView.pickState counts the accepted picks of the run.
//
// The whole transfer is planned on the untouched piece first (every index,
// position and angle, every failure, the room it needs); only a plan that
// holds is carried out, so a refused transfer leaves the piece as it was.
#include <algorithm>
#include <cmath>
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

constexpr int kPicks = 3;                        // two legs and the new line
constexpr short kPickColour[kPicks] = {3, 8, 2};  // colour indices of the highlights
constexpr float kOnPointMm = 0.1f;  // an inner line's end on a cleared outline point, per axis
constexpr float kHalfTurn = 3.14159f;
constexpr float kFullTurn = 6.28318f;
constexpr double kMinSpanMm = 1e-3;  // a distance below this cannot scale or divide

// Point ids in the plan: an original point keeps its index; the two points
// the transfer inserts into the outline get ids of their own.
constexpr short kTwinId = -2;    // the second copy of the new dart's outline point
constexpr short kMiddleId = -3;  // the middle point of the new dart's mouth

struct Run {
    short pieceIndex = -1;
    frame::ViewMatrices m{};
    frame::PromptCells prompt;
    short pickCount = 0;
    short picked[kPicks] = {-1, -1, -1};  // the first point of each picked part
};
Run run;

struct Pos {
    float x = 0, y = 0;
};

Pos positionOf(Piece* piece, short i) {
    const Coord* c = frame::coordOfPoint(piece, i);
    return c ? Pos{c->x, c->y} : Pos{};
}

float dist2(Pos a, Pos b) {
    const float dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
}

bool intersect(Pos a, Pos b, Pos c, Pos d, Pos& out) {
    const float xs[4] = {a.x, b.x, c.x, d.x}, ys[4] = {a.y, b.y, c.y, d.y};
    return IntersectLines(xs, ys, &out.x, &out.y) != 0;
}

Pos turned(Pos p, double theta, Pos about) {
    float m[9];
    frame::rotationAbout(theta, about.x, about.y, m);
    frame::transform(m, p.x, p.y);
    return p;
}

struct Leg {
    short inner = -1;  // the end away from the outline
    short outer = -1;  // the end on the outline
    short hit = -1;    // the outline point that `outer` lies on
    short first = -1;  // the line's first point
};

// The refusals: the three messages, no middle point (no message, the run
// ends), a new line too short to reach the middle (no message, the tool
// stays), and no room in the pattern's block.
enum class Failure { None, NoOutlinePoint, NoLegsCross, NoNewOldCross, NoMiddle, TooShort, NoRoom };

// The transfer's geometry: what the positions of the piece's points give.
struct Shape {
    Pos pivot;       // P
    float theta = 0;  // the turn that closes the old opening
    Pos rotatedCopy;  // the turned copy of the new dart's outline point
    Pos middle;      // the middle point of the new mouth
    Pos apex;        // T, the new dart's apex
};

// A notch ('v' mark) on the outline near the edit.
struct PlannedNotch {
    short id = -1;       // its point
    bool turns = false;  // its stretch turns: the notch turns with it
};

// Everything the transfer does, worked out on the untouched piece: the
// discrete part (indices, sides, rules), then the shape at the base.
struct Plan {
    Leg leg[kPicks];
    bool forward = false;           // the new dart lies after the old one in outline order
    bool pivotAtApex = false;       // the new line starts at the old apex: that is the pivot
    std::vector<short> innerFirst;  // first points of the two-point inner lines cleared away
    std::vector<short> mouthNotches;  // notches on the old mouth: they go with it
    std::vector<short> cleared;     // outline points strictly inside the old opening
    std::vector<short> order;       // point ids in index order after the outline edits
    short from = 0, to = -1;        // the turned stretch, as indices of `order`
    short copyAt = -1;              // the turned copy of the new dart's outline point (index of `order`)
    short beyondCopy = -1;          // its outline neighbour away from the new mouth; -1: none
    std::vector<PlannedNotch> notches;  // notches that turn or whose line changes
    Shape shape;                    // at the base
    // On a piece with formulas, the texts of the points the transfer moves
    // or makes, graded with the shape: the turned stretch's, the turned
    // notches' (in order), the middle point's and the new apex's.
    std::vector<frame::GradedTexts> stretchTexts, notchTexts;
    frame::GradedTexts middleTexts, apexTexts;
};

// Where point `id` stands in `order` (its present index), -1 when it is gone.
short orderIndexOf(const std::vector<short>& order, short id) {
    const auto at = std::find(order.begin(), order.end(), id);
    return at == order.end() ? -1 : static_cast<short>(at - order.begin());
}
// Takes point `id` out of `order`, if it is there.
void dropFromOrder(std::vector<short>& order, short id) {
    const auto at = std::find(order.begin(), order.end(), id);
    if (at != order.end()) order.erase(at);
}

// The first point of the two-point inner line that point b ends, or -1 (a
// mark, a curve point, an outline point, a longer line).
short twoPointLineStart(Piece* piece, short b) {
    Point* p = nullptr;
    qpGetPointLptr(piece, b, &p);
    if (!p || isOutlineType(p->type)) return -1;
    const char t = typeLetter(p->type);
    if (t != 'S' && t != 'K') return -1;
    Line* line = nullptr;
    qpGetLineLptr(piece, t == 'S' ? p->lineOut : p->lineIn, &line);
    const short f = t == 'S' ? b : static_cast<short>(b - 1);
    if (!line || line->pointCount != 2 || line->firstPoint != f) return -1;
    return f;
}

Failure resolveLegs(Piece* piece, Plan& plan) {
    for (int i = 0; i < kPicks; ++i) {
        frame::ResolvedLine r;
        // Dart lines are straight two-point inner lines; an outline line or a
        // longer line has no single outline end to turn about.
        if (!frame::resolveLine(piece, run.picked[i], r) || r.pointCount != 2)
            return Failure::NoOutlinePoint;
        Point* p = nullptr;
        qpGetPointLptr(piece, r.first, &p);
        if (!p || isOutlineType(p->type)) return Failure::NoOutlinePoint;
        plan.leg[i] = Leg{r.inner, r.outer, r.outlineHit, r.first};
        for (int j = 0; j < i; ++j)
            if (plan.leg[j].first == r.first) return Failure::NoOutlinePoint;
    }
    Leg* leg = plan.leg;
    const short h0 = leg[0].hit, h1 = leg[1].hit, h2 = leg[2].hit;
    // Leg 0 is the one whose outline point is not between the others.
    if ((h1 < h0 && h1 < h2) || (h1 > h0 && h1 > h2)) std::swap(leg[0], leg[1]);
    return Failure::None;
}

// The old apex A: where the old legs cross.
bool oldApex(Piece* piece, const Plan& plan, Pos& apex) {
    const Leg* leg = plan.leg;
    return intersect(positionOf(piece, leg[0].inner), positionOf(piece, leg[0].outer),
                     positionOf(piece, leg[1].inner), positionOf(piece, leg[1].outer), apex);
}

// Where the point at index `i` of `order` stands once the stretch turned.
Pos finalPosition(Piece* piece, const Plan& plan, const Shape& shape, short i) {
    const short id = plan.order[static_cast<size_t>(i)];
    const Pos p = positionOf(piece, id == kTwinId ? plan.leg[2].hit : id);
    return i >= plan.from && i <= plan.to ? turned(p, shape.theta, shape.pivot) : p;
}

// The shape of the transfer from the positions of `piece` (the untouched
// piece, or a copy of it at another size): the pivot, the turn, the middle
// of the new mouth and the new apex.
Failure shapeOf(Piece* piece, const Plan& plan, Shape& shape) {
    const Leg* leg = plan.leg;
    Pos apex;
    if (!oldApex(piece, plan, apex)) return Failure::NoLegsCross;
    const Pos p0 = positionOf(piece, leg[0].hit), p1 = positionOf(piece, leg[1].hit), p2 = positionOf(piece, leg[2].hit);
    const Pos mouth{(p0.x + p1.x) / 2, (p0.y + p1.y) / 2};
    const Pos newInner = positionOf(piece, leg[2].inner), newOuter = positionOf(piece, leg[2].outer);
    // The pivot P on the new line: where the line from the old mouth
    // through the old apex meets it; the apex itself when the new line
    // starts there (then the two lines meet at the apex even when they run
    // on one line, as a slash from the apex along the old centre line does).
    if (plan.pivotAtApex) shape.pivot = apex;
    else if (!intersect(mouth, apex, newInner, newOuter, shape.pivot)) return Failure::NoNewOldCross;
    const Pos pivot = shape.pivot;

    // The turn that brings the direction of h1 - P onto that of h0 - P.
    float theta = static_cast<float>(qpAngle(p0.x - pivot.x, p0.y - pivot.y)) -
                  static_cast<float>(qpAngle(p1.x - pivot.x, p1.y - pivot.y));
    if (theta > kHalfTurn) theta -= kFullTurn;
    else if (theta < -kHalfTurn) theta += kFullTurn;
    shape.theta = theta;

    // The middle of the new mouth: on its bisector, at the distance where
    // the seam beside the turned copy, carried on, meets the bisector (so
    // the seam runs on straight when the dart is closed).
    if (plan.beyondCopy < 0) return Failure::NoMiddle;
    const Pos dp = finalPosition(piece, plan, shape, plan.copyAt);
    shape.rotatedCopy = dp;
    const Pos ep = finalPosition(piece, plan, shape, plan.beyondCopy);
    // The turned copy lies theta beyond the twin, so the bisector is the
    // copy turned back by half of theta.
    const Pos bisector = turned(dp, -static_cast<double>(theta) / 2, pivot);
    Pos q;
    if (!intersect(dp, ep, pivot, bisector, q)) return Failure::NoMiddle;
    const float r = std::sqrt(dist2(q, pivot));
    const Pos chordMid{(dp.x + p2.x) / 2, (dp.y + p2.y) / 2};
    const float chordR = std::sqrt(dist2(chordMid, pivot));
    if (chordR < kMinSpanMm || r < kMinSpanMm) return Failure::NoMiddle;
    const Pos middle{pivot.x + (chordMid.x - pivot.x) * r / chordR, pivot.y + (chordMid.y - pivot.y) * r / chordR};
    shape.middle = middle;

    // The new apex T: on the line from the middle towards P, at the new
    // line's length from the new line's outline end, so that both legs keep
    // that length (the two copies lie symmetric about the bisector).
    const float l2 = dist2(newOuter, newInner), w2 = dist2(newOuter, middle);
    if (l2 - w2 < 0) return Failure::TooShort;
    const double vx = (pivot.x - middle.x) / static_cast<double>(r), vy = (pivot.y - middle.y) / static_cast<double>(r);
    const double b = vx * (middle.x - newOuter.x) + vy * (middle.y - newOuter.y);
    const double t = -b + std::sqrt(b * b + (l2 - w2));
    shape.apex = Pos{static_cast<float>(middle.x + vx * t), static_cast<float>(middle.y + vy * t)};
    return Failure::None;
}

// The outputs of the transfer's geometry, in this order: the turned stretch
// (indices from .. to of `order`), the middle point, the new apex T, then
// the notches that turn.
size_t middleOutput(const Plan& plan) { return static_cast<size_t>(plan.to - plan.from + 1); }
size_t apexOutput(const Plan& plan) { return middleOutput(plan) + 1; }

bool outputsOf(Piece* piece, const Plan& plan, std::vector<frame::PlanPoint>& out) {
    Shape shape;
    if (shapeOf(piece, plan, shape) != Failure::None) return false;
    out.clear();
    auto add = [&](Pos p) { out.push_back({p.x, p.y}); };
    for (short i = plan.from; i <= plan.to; ++i) add(finalPosition(piece, plan, shape, i));
    add(shape.middle);
    add(shape.apex);
    for (const PlannedNotch& n : plan.notches)
        if (n.turns) add(turned(positionOf(piece, n.id), shape.theta, shape.pivot));
    return true;
}

// Whether point i lies on point j (within kOnPointMm on both axes).
bool onPoint(Piece* piece, short i, short j) {
    const Pos a = positionOf(piece, i), b = positionOf(piece, j);
    return std::fabs(a.x - b.x) < kOnPointMm && std::fabs(a.y - b.y) < kOnPointMm;
}

// The notches ('v' marks on an outline line) near the edit. One on the old
// mouth goes with it, as the mouth's inner lines do; one on the mouth's
// ends stays with leg 0's end, or turns with leg 1's side onto it, where
// the closed mouth now is. One on a stretch that turns turns with it. All
// of them are seated again after the edit, which splits, joins and turns
// the lines there.
void planNotches(Piece* piece, Plan& plan) {
    const short h0 = plan.leg[0].hit, h1 = plan.leg[1].hit, h2 = plan.leg[2].hit;
    const short lo = std::min(h0, h1), hi = std::max(h0, h1);
    const short turnLo = plan.forward ? h1 : h2, turnHi = plan.forward ? h2 : h1;
    const short nearLo = static_cast<short>(std::min(lo, h2) - 1), nearHi = static_cast<short>(std::max(hi, h2) + 1);
    for (short s = 0; s < piece->sPointCount; ++s) {
        if (!frame::isOutlineNotch(piece, s)) continue;
        const SPoint* sp = frame::sPointAt(piece, s);
        const short at = sp->pointIndex;
        const short part = frame::partHolding(piece, sp->lineIndex, at);
        if (part < nearLo || part > nearHi) continue;
        const bool onMouth = part >= lo && part + 1 <= hi;
        if (onMouth && !onPoint(piece, at, h0) && !onPoint(piece, at, h1)) {
            plan.mouthNotches.push_back(at);
            continue;
        }
        const bool turns = onMouth ? onPoint(piece, at, h1) : part >= turnLo && part + 1 <= turnHi;
        plan.notches.push_back({at, turns});
    }
}

// The graded texts of every point the transfer moves or makes, each from
// the terms of the point it comes from: a turned point (and the twin, from
// the new place) from its own, the middle point from the new place, the new
// apex from the new line's inner end. The centre line's ends take the
// middle point's and the apex's; old leg 1's ends the apex's and the turned
// copy's.
void composeTexts(Piece* piece, Plan& plan) {
    const frame::GradedPlan graded({piece}, [&plan](const std::vector<Piece*>& at, std::vector<frame::PlanPoint>& out) {
        return outputsOf(at[0], plan, out);
    });
    for (short i = plan.from; i <= plan.to; ++i) {
        const short id = plan.order[static_cast<size_t>(i)];
        plan.stretchTexts.push_back(graded.compose(piece, id == kTwinId ? plan.leg[2].hit : id,
                                                   static_cast<size_t>(i - plan.from)));
    }
    plan.middleTexts = graded.compose(piece, plan.leg[2].hit, middleOutput(plan));
    plan.apexTexts = graded.compose(piece, plan.leg[2].inner, apexOutput(plan));
    size_t output = apexOutput(plan) + 1;
    for (const PlannedNotch& n : plan.notches)
        if (n.turns) plan.notchTexts.push_back(graded.compose(piece, n.id, output++));
}

Failure planTransfer(PatternBuffer* pattern, Piece* piece, Plan& plan) {
    if (Failure f = resolveLegs(piece, plan); f != Failure::None) return f;
    const Leg* leg = plan.leg;
    const short h0 = leg[0].hit, h1 = leg[1].hit, h2 = leg[2].hit;
    plan.forward = h2 > h0;
    const short lo = plan.forward ? h0 : h1, hi = plan.forward ? h1 : h0;
    // Both legs on one outline point open nothing.
    if (h0 == h1) return Failure::NoLegsCross;
    // A new place inside the old opening would be cleared away with it.
    if (h2 >= lo && h2 <= hi) return Failure::NoNewOldCross;
    // The twin of the new place must fall inside the outline line that
    // starts there, or it would lie on no line.
    Point* at = nullptr;
    qpGetPointLptr(piece, h2, &at);
    if (!at || at->lineOut < 0) return Failure::NoOutlinePoint;

    // Clearing the old opening: every two-point inner line with an end on
    // an outline point inside it (never a notch or a mark, never one of the
    // picked lines), once.
    for (short m = static_cast<short>(lo + 1); m < hi; ++m) {
        plan.cleared.push_back(m);
        const Pos pm = positionOf(piece, m);
        for (short b = 0; b < piece->pointCount; ++b) {
            const short f = twoPointLineStart(piece, b);
            if (f < 0) continue;
            const Pos pb = positionOf(piece, b);
            if (std::fabs(pb.x - pm.x) >= kOnPointMm || std::fabs(pb.y - pm.y) >= kOnPointMm) continue;
            bool picked = false;
            for (const Leg& l : plan.leg) picked = picked || l.first == f;
            if (!picked && std::find(plan.innerFirst.begin(), plan.innerFirst.end(), f) == plan.innerFirst.end())
                plan.innerFirst.push_back(f);
        }
    }
    planNotches(piece, plan);

    // The point order after clearing, the twin and the removal of h1.
    std::vector<short>& order = plan.order;
    for (short i = 0; i < piece->pointCount; ++i) order.push_back(i);
    for (short f : plan.innerFirst) {
        dropFromOrder(order, f);
        dropFromOrder(order, static_cast<short>(f + 1));
    }
    for (short n : plan.mouthNotches) dropFromOrder(order, n);
    for (short m : plan.cleared) dropFromOrder(order, m);
    order.insert(order.begin() + orderIndexOf(order, h2) + 1, kTwinId);
    dropFromOrder(order, h1);
    // The turned stretch: forward, from after h0 up to the original h2;
    // otherwise from the twin up to before h0. The turned copy of the new
    // place ends it on the new mouth's side; the seam goes on beyond it.
    const short twin = orderIndexOf(order, kTwinId);
    plan.from = plan.forward ? static_cast<short>(orderIndexOf(order, h0) + 1) : twin;
    plan.to = plan.forward ? static_cast<short>(twin - 1) : static_cast<short>(orderIndexOf(order, h0) - 1);
    plan.copyAt = plan.forward ? static_cast<short>(twin - 1) : twin;
    const short beyond = plan.forward ? static_cast<short>(plan.copyAt - 1) : static_cast<short>(plan.copyAt + 1);
    plan.beyondCopy = beyond >= 0 && beyond < static_cast<short>(order.size()) ? beyond : static_cast<short>(-1);

    Pos apex;
    if (!oldApex(piece, plan, apex)) return Failure::NoLegsCross;
    const Pos newInner = positionOf(piece, leg[2].inner);
    plan.pivotAtApex = std::fabs(newInner.x - apex.x) < kOnPointMm && std::fabs(newInner.y - apex.y) < kOnPointMm;
    if (Failure f = shapeOf(piece, plan, plan.shape); f != Failure::None) return f;

    // Room for what the edit adds: four points with their coordinates (and
    // formulas), three lines (the centre line and two splits of the
    // outline) and a segment; the graded texts of the turned stretch and its
    // notches, of the four new points and of the three moved leg ends, each
    // stored before the text it replaces goes.
    const bool formulas = piece->formulaCount != 0;
    frame::PieceGrowth growth;
    growth.addPoints(4, formulas);
    growth.lines = 3;
    growth.segs = 1;
    if (formulas) {
        composeTexts(piece, plan);
        for (const auto* texts : {&plan.stretchTexts, &plan.notchTexts})
            for (const frame::GradedTexts& t : *texts) growth.textBytes += t.bytes();
        growth.textBytes += 2 * plan.middleTexts.bytes() + 3 * plan.apexTexts.bytes() +
                            plan.stretchTexts[static_cast<size_t>(plan.copyAt - plan.from)].bytes() +
                            frame::kMaxFormulaTextBytes;
    }
    growth.dropsGradingSteps();
    if (!frame::patternTakes(pattern, piece, growth)) return Failure::NoRoom;
    return Failure::None;
}

// Carries out the plan through the store, keeping `order` in step with the
// store's point indices and `map` with the original points' places.
void carryOut(PatternBuffer* pattern, Piece* piece, Plan& plan) {
    const bool formulas = piece->formulaCount != 0;
    frame::PointIndexMap map(piece);
    std::vector<short> order;
    for (short i = 0; i < piece->pointCount; ++i) order.push_back(i);
    auto remove = [&](short id) {
        const short i = orderIndexOf(order, id);
        if (i < 0) return;
        qpDeletePoint(pattern, piece, i);
        order.erase(order.begin() + i);
        if (id >= 0) map.deleted(map.current(id));
    };
    auto insertAfter = [&](short i, short id) {
        Point* p = nullptr;
        qpInsertPoint(pattern, piece, i, &p);
        order.insert(order.begin() + i + 1, id);
        map.inserted(static_cast<short>(i + 1));
    };
    // A point the transfer moved or made gets its graded texts.
    auto store = [&](short i, const frame::GradedTexts& texts) {
        if (formulas) frame::storeGraded(pattern, piece, i, texts);
    };
    const Leg* leg = plan.leg;
    const Shape& shape = plan.shape;
    const short h1 = leg[1].hit, h2 = leg[2].hit;
    const Pos p2 = positionOf(piece, h2);

    // Clear the old opening: its inner lines and notches, then its outline
    // points.
    for (short f : plan.innerFirst) {
        remove(static_cast<short>(f + 1));
        remove(f);
    }
    for (short n : plan.mouthNotches) remove(n);
    for (auto m = plan.cleared.rbegin(); m != plan.cleared.rend(); ++m) remove(*m);

    // Open the new dart: a twin of h2 with a coordinate (and formula) of its
    // own, made a corner of the outline.
    short at = orderIndexOf(order, h2);
    insertAfter(at, kTwinId);
    frame::attachCoord(pattern, piece, static_cast<short>(at + 1), p2.x, p2.y, at, static_cast<short>(at + 2));
    qpModifyCurve2Turnp(pattern, piece, static_cast<short>(at + 1));

    // Close the old one: leg 1's outline end goes, the stretch turns with
    // the notches on it.
    remove(h1);
    frame::rotatePoints(piece, plan.from, plan.to, shape.theta, shape.pivot.x, shape.pivot.y);
    for (short i = plan.from; formulas && i <= plan.to; ++i) store(i, plan.stretchTexts[static_cast<size_t>(i - plan.from)]);
    size_t turnedNotch = 0;
    for (const PlannedNotch& n : plan.notches) {
        if (!n.turns) continue;
        const short i = orderIndexOf(order, n.id);
        frame::rotatePoints(piece, i, i, shape.theta, shape.pivot.x, shape.pivot.y);
        if (formulas) store(i, plan.notchTexts[turnedNotch++]);
    }

    // The middle point between the two copies.
    at = static_cast<short>(orderIndexOf(order, kTwinId) - 1);
    insertAfter(at, kMiddleId);
    const short mid = static_cast<short>(at + 1);
    frame::attachCoord(pattern, piece, mid, shape.middle.x, shape.middle.y, at, static_cast<short>(mid + 1));
    qpModifyCurve2Turnp(pattern, piece, mid);
    store(mid, plan.middleTexts);

    // The lines near the edit were split, joined and turned: each notch
    // there is seated again on the line that now holds it.
    for (const PlannedNotch& n : plan.notches) frame::seatNotch(piece, orderIndexOf(order, n.id));

    // The centre line from T to the middle point, in a segment of its own.
    const short segIndex = piece->segCount;
    Seg* seg = nullptr;
    qpIncreaseSegment(pattern, piece, &seg);
    seg->code = 2;
    seg->value = 14;
    Line* line = nullptr;
    qpIncreaseLine(pattern, piece, seg, &line);
    const short lineIndex = frame::lineIndexOf(piece, line);
    const short newInner = orderIndexOf(order, leg[2].inner);
    const char types[2] = {'s', 'k'};
    const Pos ends[2] = {shape.apex, shape.middle};
    const short sources[2] = {newInner, mid};
    const frame::GradedTexts* texts[2] = {&plan.apexTexts, &plan.middleTexts};
    for (int k = 0; k < 2; ++k) {
        qpGetSegLptr(piece, segIndex, &seg);
        Point* p = nullptr;
        qpIncreasePoint(pattern, piece, seg, lineIndex, 0, &p);
        const short i = frame::pointIndexOf(piece, p);
        p->type = types[k];
        if (k == 0) p->lineOut = lineIndex;
        else p->lineIn = lineIndex;
        frame::attachCoord(pattern, piece, i, ends[k].x, ends[k].y, sources[k], sources[k]);
        store(i, *texts[k]);
    }

    // The legs of the new dart: the picked line and old leg 1, both from T.
    auto moveTo = [&](short i, Pos to) {
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        Coord* c = nullptr;
        qpGetCoordLptr(piece, p->coordIndex, &c);
        c->x = to.x;
        c->y = to.y;
    };
    moveTo(newInner, shape.apex);
    store(newInner, plan.apexTexts);
    const short oldInner = orderIndexOf(order, leg[1].inner);
    moveTo(oldInner, shape.apex);
    store(oldInner, plan.apexTexts);
    const short oldOuter = orderIndexOf(order, leg[1].outer);
    moveTo(oldOuter, shape.rotatedCopy);
    if (formulas) store(oldOuter, plan.stretchTexts[static_cast<size_t>(plan.copyAt - plan.from)]);

    frame::remapGradingCodes(pattern, piece, map);
}

// A pick: the nearest line part within the pick radius, not picked before.
// Returns false when the click picked nothing.
bool pick(HWND hwnd, Piece* piece) {
    float x = 0, y = 0;
    frame::cursorToPiece(hwnd, run.m.screenToPiece, x, y);
    const short k = frame::pickPart(piece, x, y, qpcurve::kSnapAllLines, run.m.identity);
    if (k < 0) return false;
    for (short p : run.picked)
        if (p == k) return false;
    run.picked[run.pickCount] = k;
    HDC hdc = GetDC(hwnd);
    frame::drawLines(hdc, piece, k, 2, qpcurve::kStyleHighlight, kPickColour[run.pickCount], run.m.pieceToScreen);
    ReleaseDC(hwnd, hdc);
    ++run.pickCount;
    return true;
}

// The run's end: the whole window repainted, or all but the prompt bar
// when it says why the run ended.
void endRun(HWND hwnd, HostView* view, bool keepPrompt = false) {
    view->pickState = 0;
    view->gapMoveStep = 0;
    if (keepPrompt) frame::invalidateBelowPrompt(hwnd);
    else frame::invalidateAll(hwnd);
}

}  // namespace

QP_EXPORT short QP_WINAPI qpHandleGapMove(HWND hwnd, UINT message, WPARAM, LPARAM, PatternBuffer* pattern,
                                          short pieceIndex, HostView* view, const float* viewMatrix) {
    if (message != WM_LBUTTONDOWN) return 0;
    if (view->gapMoveStep == 0) return 1;
    // The piece is fetched on every click: the host may have moved its
    // pattern between two clicks.
    Piece* piece = nullptr;
    qpGetPieceLptr(pattern, pieceIndex, &piece);
    if (!piece) return 1;
    // A run begins with pickState 0; a pickState this run did not count
    // (the host's, or one left by a refused transfer) or another current
    // piece begins one too, so the pick arrays never take a fourth entry.
    if (view->pickState == 0 || view->pickState != run.pickCount || run.pickCount >= kPicks ||
        run.pieceIndex != pieceIndex) {
        run.pieceIndex = pieceIndex;
        frame::buildViewMatrices(hwnd, viewMatrix, piece, run.m);
        run.pickCount = 0;
        for (short& p : run.picked) p = -1;
        view->pickState = 0;
    }
    if (!pick(hwnd, piece)) return 1;
    ++view->pickState;
    if (run.pickCount < kPicks) return 1;

    Plan plan;
    switch (planTransfer(pattern, piece, plan)) {
    case Failure::None:
        carryOut(pattern, piece, plan);
        endRun(hwnd, view);
        return 1;
    // Every refusal leaves the piece untouched and says why, in a message
    // box or the prompt bar. Those that end the run end it as a finished
    // transfer does; the others keep the tool and let the next click start
    // a new run.
    case Failure::NoOutlinePoint:
        frame::showError(hwnd, kGapMoveNoOutlinePoint);
        break;
    case Failure::NoLegsCross:
        frame::showError(hwnd, kGapMoveNoLegsCross);
        break;
    case Failure::NoRoom:
        frame::showError(hwnd, kGapMoveNoRoom);
        break;
    case Failure::NoNewOldCross:
        frame::showError(hwnd, kGapMoveNoNewOldCross);
        run.pickCount = 0;
        endRun(hwnd, view);
        return 1;
    case Failure::NoMiddle:
        frame::showPrompt(hwnd, 1, run.prompt, kGapMoveNoMiddle);
        run.pickCount = 0;
        endRun(hwnd, view, true);
        return 1;
    case Failure::TooShort:
        frame::showPrompt(hwnd, 1, run.prompt, kGapMoveTooShort);
        break;
    }
    // The picks' highlights go with them: the next click starts afresh.
    view->pickState = 0;
    run.pickCount = 0;
    frame::invalidateBelowPrompt(hwnd);
    return 1;
}

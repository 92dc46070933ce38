// Notch seating for the symmetry tool (see symmetry_notches.h).
#include "pieces/symmetry_notches.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "frame/handler_frame.h"
#include "frame/piece_edit.h"
#include "frame/siblings.h"
#include "frame/work_buffer.h"

namespace symmetry {

namespace {

bool wholePieceSeating = false;  // seatNotchesOnWholePiece

using frame::pointAt;

Piece* pieceAt(PatternBuffer* pattern, short n) {
    Piece* p = nullptr;
    qpGetPieceLptr(pattern, n, &p);
    return p;
}

// The outline segment: the first of code 3, else the first of code 1.
bool outlineRange(Piece* piece, int& first, int& last) {
    int chosen = -1;
    for (int s = 0; s < piece->segCount; ++s) {
        Seg* g = nullptr;
        qpGetSegLptr(piece, static_cast<short>(s), &g);
        if (g->markFlag != 0 || g->lineCount < 1) continue;
        if (g->code == 3) {
            chosen = s;
            break;
        }
        if (g->code == 1 && chosen < 0) chosen = s;
    }
    if (chosen < 0) return false;
    Seg* g = nullptr;
    qpGetSegLptr(piece, static_cast<short>(chosen), &g);
    Line* a = nullptr;
    Line* b = nullptr;
    qpGetLineLptr(piece, g->firstLine, &a);
    qpGetLineLptr(piece, static_cast<short>(g->firstLine + g->lineCount - 1), &b);
    first = a->firstPoint;
    last = b->firstPoint + b->pointCount - 1;
    return first >= 0 && last > first;
}

// What seating one notch finds: the nearest point (x, y) of the outline's
// lines, the first stretch `part` that passes within 0.1 mm of it, and the
// position `length` of (x, y) along the line that leaves `part`.
struct Seat {
    float x = 0, y = 0;
    int part = -1;
    short line = -1;
    float length = 0;
};

// One notch asked of the curve model on the whole piece: a search over the
// outline, one per stretch until one holds the point, and one over the line.
// Every call reads the whole piece, so this costs the outline's length
// squared; NotchSeater below gives the same answers from small pieces.
bool seatOnPiece(Piece* piece, int a, int e, float x, float y, Seat& seat, const float identity[9]) {
    short index = -1;
    float length = 0;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, static_cast<short>(a), static_cast<short>(e - a + 1),
            qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index, &length, &x, &y, identity);
    int part = -1;
    for (int j = a; j < e && part < 0; ++j) {
        float jx = x, jy = y;
        qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kSnapAllLinesDefault, static_cast<short>(j), 2, qpcurve::kColourDefault,
                qpcurve::kDefaultResolution, &index, &length, &jx, &jy, identity);
        if (std::fabs(jx - x) < frame::kPartMatchMm && std::fabs(jy - y) < frame::kPartMatchMm) part = j;
    }
    seat.x = x;
    seat.y = y;
    seat.part = part;
    if (part < 0) return false;
    seat.line = pointAt(piece, part)->lineOut;
    Line* l = nullptr;
    qpGetLineLptr(piece, seat.line, &l);
    if (l == nullptr) return false;
    float lx = x, ly = y;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, l->firstPoint, l->pointCount, qpcurve::kColourDefault,
            qpcurve::kDefaultResolution, &index, &length, &lx, &ly, identity);
    seat.length = length;
    return true;
}

// Seats notches with the curve model asked about small pieces only: a
// scratch piece holding copies of the few outline lines that can hold the
// answer, chosen by boxes that the curve model's documented shapes cannot
// leave. A line of two points is its chord; a stretch of a longer line is a
// centripetal Catmull-Rom cubic whose Bezier control points lie within
// max(|d0|, |d1|, |d2|) of its ends (d0..d2 the chords to its neighbours;
// an end's missing neighbour is its reflection), so the stretch lies in the
// box of its ends grown by that much: twice that is used (where its
// neighbours are distinct, the box of those control points). An arc lies on
// its circle. The copies keep each line's points and kind, and so their
// samples, and their order, and so the model's preference for the lower
// stretch on a tie: every answer is the whole piece's.
//
// When the outline's lines are not a plain run the copies could reproduce
// (lines overlapping, reaching outside the outline, a notch among the line
// points, a point without its Coord), `usable` is false and the caller
// asks the whole piece (seatOnPiece).
class NotchSeater {
public:
    // Piece n of `pattern`, points a..e. The notches will move: none may
    // lie among the line points.
    NotchSeater(PatternBuffer* pattern, short n, int a, int e) : pattern_(pattern), n_(n), a_(a), e_(e) {
        usable_ = build();
    }
    ~NotchSeater() {
        if (scratch_ != nullptr) FreeGlobalBlock(scratch_);
    }
    NotchSeater(const NotchSeater&) = delete;
    NotchSeater& operator=(const NotchSeater&) = delete;

    bool usable() const { return usable_; }
    // false: this notch needs the whole piece (the scratch could not be had).
    bool seat(float px, float py, Seat& seat, const float identity[9]);

private:
    struct Box {
        double x0, y0, x1, y1;
    };
    struct Run {
        int line = 0;       // the piece's line
        int first = 0, count = 0;
        int16_t kind = 0;
        Box box{};
        int scratchFirst = -1;  // its first point in the current scratch
    };
    // Distance from (x, y) to a box (0 inside).
    static double distanceTo(const Box& b, double x, double y) {
        const double dx = std::max({b.x0 - x, 0.0, x - b.x1});
        const double dy = std::max({b.y0 - y, 0.0, y - b.y1});
        return std::sqrt(dx * dx + dy * dy);
    }
    bool build();
    // The box of the stretch k, k + 1 of a curve line (not an arc) whose
    // neighbours are distinct: the hull of its Bezier control points.
    Box hullBox(const Run& r, int k) const;
    // The grid of line boxes, for pieces of kGridFrom lines or more.
    void index();
    int cellX(double x) const { return std::min(std::max(static_cast<int>(std::floor((x - gx0_) / cell_)), 0), cols_ - 1); }
    int cellY(double y) const { return std::min(std::max(static_cast<int>(std::floor((y - gy0_) / cell_)), 0), rows_ - 1); }
    // The runs whose boxes lie within `reach` of (px, py), in point order;
    // reach < 0: those that may hold the nearest point (within reachFrom).
    // false when no line was met.
    bool nearRuns(double px, double py, double reach, std::vector<int>& out);
    double reachFrom(const std::vector<std::pair<int, double>>& met, double px, double py) const;
    bool fill(const std::vector<int>& chosen);
    // The first stretch of the chosen runs (filled) near (x, y), -1 if none.
    int firstNear(const std::vector<int>& chosen, float x, float y, const float identity[9]);
    Piece* piece() const {
        Piece* p = nullptr;
        qpGetPieceLptr(pattern_, n_, &p);
        return p;
    }
    Piece* scratchPiece() const;

    PatternBuffer* pattern_;
    short n_;
    int a_, e_;
    bool usable_ = false;
    std::vector<double> px_, py_;  // point positions (mm)
    std::vector<Run> runs_;        // the outline's lines, in point order
    std::vector<Box> stretchBox_;  // per stretch k - a_
    PatternBuffer* scratch_ = nullptr;
    std::vector<int> filled_;      // the runs the scratch holds now
    double gx0_ = 0, gy0_ = 0, cell_ = 1;
    int cols_ = 0, rows_ = 0;                // no grid: 0
    std::vector<std::vector<int>> cells_;    // runs whose box meets each cell
    std::vector<int> wide_;                  // runs of too many cells, met always
    std::vector<int> seen_;                  // per run: the query that met it
    int stamp_ = 0;
};

// Bounds within which the model's shapes lie exactly are widened by this
// much (mm) against rounding.
constexpr double kBoxSlack = 1e-3;
// Points closer than this (mm) may count as one point to the curve model,
// which then takes the next point as a neighbour.
constexpr double kNearCoincident = 1e-4;
constexpr int16_t kArcKind = 3;
// The grid of line boxes pays from this many lines on; a box over more cells
// than kWideCells is met by every search instead.
constexpr int kGridFrom = 16;
constexpr long kWideCells = 64;

// How far from (x, y) a stretch may pass and still be within 0.1 mm of it
// on both axes as floats compare it: 0.1 * sqrt(2), with room for the
// rounding of coordinates to floats (about 1.2e-7 of their size).
double matchReach(double x, double y) { return 0.1415 + kBoxSlack + 1e-6 * (std::fabs(x) + std::fabs(y)); }

// The stretch as the model draws it: the centripetal Catmull-Rom cubic
// through p1 = k and p2 = k + 1 (knot gaps the square roots of the chords,
// a missing neighbour the reflection of the inner one through the end), in
// Hermite form p1, p2 with tangents m1, m2 over the unit interval, is the
// Bezier curve p1, p1 + m1 / 3, p2 - m2 / 3, p2 and so lies in the box of
// those four points. Its samples, and the chords between them, stay inside;
// kBoxSlack covers the rounding.
NotchSeater::Box NotchSeater::hullBox(const Run& r, int k) const {
    const int last = r.first + r.count - 1;
    const double x1 = px_[k], y1 = py_[k], x2 = px_[k + 1], y2 = py_[k + 1];
    const double x0 = k > r.first ? px_[k - 1] : 2.0 * x1 - x2, y0 = k > r.first ? py_[k - 1] : 2.0 * y1 - y2;
    const double x3 = k + 1 < last ? px_[k + 2] : 2.0 * x2 - x1, y3 = k + 1 < last ? py_[k + 2] : 2.0 * y2 - y1;
    const double t01 = std::sqrt(std::hypot(x1 - x0, y1 - y0));
    const double t12 = std::sqrt(std::hypot(x2 - x1, y2 - y1));
    const double t23 = std::sqrt(std::hypot(x3 - x2, y3 - y2));
    const double m1x = (x2 - x1) + t12 * ((x1 - x0) / t01 - (x2 - x0) / (t01 + t12));
    const double m1y = (y2 - y1) + t12 * ((y1 - y0) / t01 - (y2 - y0) / (t01 + t12));
    const double m2x = (x2 - x1) + t12 * ((x3 - x2) / t23 - (x3 - x1) / (t12 + t23));
    const double m2y = (y2 - y1) + t12 * ((y3 - y2) / t23 - (y3 - y1) / (t12 + t23));
    const double cx1 = x1 + m1x / 3.0, cy1 = y1 + m1y / 3.0, cx2 = x2 - m2x / 3.0, cy2 = y2 - m2y / 3.0;
    const double slack = kBoxSlack + 1e-9 * (std::fabs(x1) + std::fabs(y1) + std::fabs(x2) + std::fabs(y2));
    return Box{std::min({x1, x2, cx1, cx2}) - slack, std::min({y1, y2, cy1, cy2}) - slack,
               std::max({x1, x2, cx1, cx2}) + slack, std::max({y1, y2, cy1, cy2}) + slack};
}

bool NotchSeater::build() {
    Piece* piece = this->piece();
    const int n = piece->pointCount;
    if (a_ < 0 || e_ >= n || e_ <= a_) return false;
    px_.assign(static_cast<size_t>(n), 0.0);
    py_.assign(static_cast<size_t>(n), 0.0);
    std::vector<char> valid(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        Point* p = pointAt(piece, i);
        if (p == nullptr || p->coordIndex < 0 || p->coordIndex >= piece->coordCount) continue;
        Coord* c = nullptr;
        qpGetCoordLptr(piece, p->coordIndex, &c);
        if (c == nullptr) continue;
        px_[i] = c->x;
        py_[i] = c->y;
        valid[i] = std::isfinite(c->x) && std::isfinite(c->y);
    }
    // The line that holds each stretch k, k + 1 of the outline: the first
    // line (in line order) of two or more points that holds both, every
    // point with its Coord, as the curve model takes it.
    std::vector<int> owner(static_cast<size_t>(e_ - a_), -1);
    std::vector<Run> lines;
    for (int l = 0; l < piece->lineCount; ++l) {
        Line* line = nullptr;
        qpGetLineLptr(piece, static_cast<short>(l), &line);
        if (line == nullptr) continue;
        const int first = line->firstPoint, count = line->pointCount;
        if (count < 2 || first < 0 || first + count > n) continue;
        const int last = first + count - 1;
        if (last < a_ || first > e_) continue;
        bool whole = true;
        for (int i = first; i <= last && whole; ++i) whole = valid[i] != 0;
        if (!whole) {
            // The model passes over such a line; one inside the outline
            // changes which line holds a stretch, so it is left to it.
            if (first < e_ && last > a_) return false;
            continue;
        }
        bool owns = false;
        for (int k = std::max(first, a_); k < std::min(last, e_); ++k) {
            if (owner[k - a_] >= 0) return false;  // lines overlap
            owner[k - a_] = l;
            owns = true;
        }
        if (!owns) continue;
        if (first < a_ || last > e_) return false;
        Run r;
        r.line = l;
        r.first = first;
        r.count = count;
        r.kind = line->kind;
        lines.push_back(r);
    }
    if (lines.empty()) return false;
    // A notch moved among the line points would change the lines.
    for (int k = 0; k < piece->sPointCount; ++k) {
        SPoint* sp = nullptr;
        qpGetSPointLptr(piece, static_cast<short>(k), &sp);
        if (sp != nullptr && sp->pointIndex >= a_ && sp->pointIndex <= e_) return false;
    }
    std::sort(lines.begin(), lines.end(), [](const Run& x, const Run& y) { return x.first < y.first; });
    stretchBox_.assign(static_cast<size_t>(e_ - a_), Box{0, 0, -1, -1});
    auto chord = [&](int i, int j) { return std::hypot(px_[i] - px_[j], py_[i] - py_[j]); };
    for (Run& r : lines) {
        const int last = r.first + r.count - 1;
        double widest = 0;  // the line's longest chord
        for (int i = r.first; i < last; ++i) widest = std::max(widest, chord(i, i + 1));
        const bool arc = r.kind == kArcKind && r.count >= 3;
        Box circle{-HUGE_VAL, -HUGE_VAL, HUGE_VAL, HUGE_VAL};
        if (arc) {
            // The circle through the first, middle and last point; nearly
            // collinear ones get no bound at all.
            const double x0 = px_[r.first], y0 = py_[r.first];
            const double x1 = px_[r.first + r.count / 2], y1 = py_[r.first + r.count / 2];
            const double x2 = px_[last], y2 = py_[last];
            const double ux = x1 - x0, uy = y1 - y0, vx = x2 - x1, vy = y2 - y1;
            const double cross = ux * vy - uy * vx;
            const double lu = std::hypot(ux, uy), lv = std::hypot(vx, vy);
            if (std::fabs(cross) > 1e-3 * lu * lv && lu > 0 && lv > 0) {
                const double d = 2.0 * (x0 * (y1 - y2) + x1 * (y2 - y0) + x2 * (y0 - y1));
                const double q0 = x0 * x0 + y0 * y0, q1 = x1 * x1 + y1 * y1, q2 = x2 * x2 + y2 * y2;
                const double cx = (q0 * (y1 - y2) + q1 * (y2 - y0) + q2 * (y0 - y1)) / d;
                const double cy = (q0 * (x2 - x1) + q1 * (x0 - x2) + q2 * (x1 - x0)) / d;
                const double radius = std::hypot(x0 - cx, y0 - cy) * (1.0 + 1e-6) + kBoxSlack;
                if (std::isfinite(radius)) circle = Box{cx - radius, cy - radius, cx + radius, cy + radius};
            }
        }
        r.box = Box{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (int k = r.first; k < last; ++k) {
            double grow;
            bool hull = false;
            if (r.count == 2) {
                grow = 0;
            } else {
                // The chords to the neighbours; near-coincident ones make the
                // model reach further, so the line's longest chord is taken.
                const double d1 = chord(k, k + 1);
                const double d0 = k > r.first ? chord(k - 1, k) : d1;
                const double d2 = k + 1 < last ? chord(k + 1, k + 2) : d1;
                const double near = std::min({d0, d1, d2});
                grow = near < kNearCoincident ? widest : std::max({d0, d1, d2});
                hull = !arc && near >= kNearCoincident;
            }
            grow = 2.0 * grow + kBoxSlack;
            Box b{std::min(px_[k], px_[k + 1]) - grow, std::min(py_[k], py_[k + 1]) - grow,
                  std::max(px_[k], px_[k + 1]) + grow, std::max(py_[k], py_[k + 1]) + grow};
            if (hull) b = hullBox(r, k);
            if (arc) {
                b = Box{std::min(b.x0, circle.x0), std::min(b.y0, circle.y0), std::max(b.x1, circle.x1),
                        std::max(b.y1, circle.y1)};
            }
            stretchBox_[k - a_] = b;
            r.box = Box{std::min(r.box.x0, b.x0), std::min(r.box.y0, b.y0), std::max(r.box.x1, b.x1),
                        std::max(r.box.y1, b.y1)};
        }
    }
    runs_ = std::move(lines);
    index();
    long points = 0;
    for (const Run& r : runs_) points += r.count;
    scratch_ = MakeScratchBuffer(piece, points * 64 + static_cast<long>(runs_.size()) * 64 + 4096);
    return scratch_ != nullptr;
}

Piece* NotchSeater::scratchPiece() const {
    Piece* p = nullptr;
    qpGetPieceLptr(scratch_, 0, &p);
    return p;
}

// The scratch piece holds copies of the chosen runs (in point order), one
// line each, in one segment.
bool NotchSeater::fill(const std::vector<int>& chosen) {
    if (chosen == filled_) return true;
    for (int r : filled_)
        if (r >= 0) runs_[r].scratchFirst = -1;
    filled_.clear();
    EmptyScratchPiece(scratch_);
    Piece* piece = this->piece();
    Piece* s = scratchPiece();
    Seg* g = nullptr;
    qpIncreaseSegment(scratch_, s, &g);
    for (int r : chosen) {
        Run& run = runs_[r];
        Line* line = nullptr;
        qpGetSegLptr(s, 0, &g);
        qpIncreaseLine(scratch_, s, g, &line);
        if (line == nullptr) return false;
        line->kind = run.kind;
        const short l = static_cast<short>(s->lineCount - 1);
        run.scratchFirst = s->pointCount;
        for (int i = run.first; i < run.first + run.count; ++i) {
            qpGetSegLptr(s, 0, &g);
            Point* p = nullptr;
            qpIncreasePoint(scratch_, s, g, l, 0, &p);
            if (p == nullptr) return false;
            const short index = static_cast<short>(s->pointCount - 1);
            Coord* c = nullptr;
            qpIncreaseCoord(scratch_, s, &c);
            if (c == nullptr) return false;
            const Coord* from = frame::coordOfPoint(piece, i);
            c->pointIndex = index;
            c->x = from->x;
            c->y = from->y;
            qpGetPointLptr(s, index, &p);
            p->coordIndex = static_cast<int16_t>(s->coordCount - 1);
        }
        filled_.push_back(r);
    }
    return true;
}

bool NotchSeater::seat(float px, float py, Seat& seat, const float identity[9]) {
    // The lines that may hold the nearest point: the nearest point.
    std::vector<int> chosen;
    if (!nearRuns(px, py, -1.0, chosen)) return false;
    if (!fill(chosen)) {
        filled_.assign(1, -1);  // the scratch is spoilt: fill it again next time
        return false;
    }
    Piece* s = scratchPiece();
    short index = -1;
    float length = 0;
    float x = px, y = py;
    qpCurve(nullptr, s, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, 0, s->pointCount, qpcurve::kColourDefault, qpcurve::kDefaultResolution,
            &index, &length, &x, &y, identity);
    seat.x = x;
    seat.y = y;
    seat.part = -1;
    // The lines that pass within 0.1 mm of it on both axes: the first stretch
    // that does, and the position along its line.
    if (!nearRuns(x, y, matchReach(x, y), chosen)) return true;
    if (!fill(chosen)) {
        filled_.assign(1, -1);
        return false;
    }
    seat.part = firstNear(chosen, x, y, identity);
    if (seat.part < 0) return true;
    s = scratchPiece();
    Piece* piece = this->piece();
    seat.line = pointAt(piece, seat.part)->lineOut;
    Line* l = nullptr;
    qpGetLineLptr(piece, seat.line, &l);
    if (l == nullptr) {
        seat.part = -1;
        return true;
    }
    const int first = l->firstPoint, count = l->pointCount;
    const Run* copied = nullptr;
    for (int r : chosen)
        if (runs_[r].first == first && runs_[r].count == count) copied = &runs_[r];
    float lx = x, ly = y;
    if (copied != nullptr) {
        qpCurve(nullptr, s, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kSnapAllLinesDefault, static_cast<short>(copied->scratchFirst), static_cast<short>(count),
                qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index, &length, &lx, &ly, identity);
    } else {
        // A line the scratch does not hold as it is: the whole piece tells.
        qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kSnapAllLinesDefault, static_cast<short>(first), static_cast<short>(count),
                qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index, &length, &lx, &ly, identity);
    }
    seat.length = length;
    return true;
}

void NotchSeater::index() {
    const int runs = static_cast<int>(runs_.size());
    double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
    for (const Run& r : runs_) {
        if (!std::isfinite(r.box.x0) || !std::isfinite(r.box.y0) || !std::isfinite(r.box.x1) ||
            !std::isfinite(r.box.y1))
            continue;
        x0 = std::min(x0, r.box.x0);
        y0 = std::min(y0, r.box.y0);
        x1 = std::max(x1, r.box.x1);
        y1 = std::max(y1, r.box.y1);
    }
    cols_ = rows_ = 0;
    if (runs < kGridFrom || !(x1 >= x0) || !(y1 >= y0)) return;
    // About one cell per line.
    cell_ = std::max(std::sqrt((x1 - x0) * (y1 - y0) / runs), std::max(x1 - x0, y1 - y0) / 1024.0);
    if (!(cell_ > 0) || !std::isfinite(cell_)) return;
    gx0_ = x0;
    gy0_ = y0;
    cols_ = static_cast<int>((x1 - x0) / cell_) + 1;
    rows_ = static_cast<int>((y1 - y0) / cell_) + 1;
    cells_.assign(static_cast<size_t>(cols_) * static_cast<size_t>(rows_), {});
    for (int r = 0; r < runs; ++r) {
        const Box& b = runs_[r].box;
        bool finite = std::isfinite(b.x0) && std::isfinite(b.y0) && std::isfinite(b.x1) && std::isfinite(b.y1);
        const int i0 = finite ? cellX(b.x0) : 0, i1 = finite ? cellX(b.x1) : cols_ - 1;
        const int j0 = finite ? cellY(b.y0) : 0, j1 = finite ? cellY(b.y1) : rows_ - 1;
        if (!finite || static_cast<long>(i1 - i0 + 1) * (j1 - j0 + 1) > kWideCells) {
            wide_.push_back(r);
            continue;
        }
        for (int j = j0; j <= j1; ++j)
            for (int i = i0; i <= i1; ++i) cells_[static_cast<size_t>(j) * cols_ + i].push_back(r);
    }
    seen_.assign(static_cast<size_t>(runs), 0);
}

bool NotchSeater::nearRuns(double px, double py, double reach, std::vector<int>& out) {
    out.clear();
    const int runs = static_cast<int>(runs_.size());
    std::vector<std::pair<int, double>> met;  // run, its box's distance
    if (cols_ == 0) {
        for (int r = 0; r < runs; ++r) met.emplace_back(r, distanceTo(runs_[r].box, px, py));
    } else {
        // Rings of cells around the point's cell until every line not met
        // lies farther than the reach: a box that meets no cell of rings
        // 0..k lies at least k cells from the point.
        ++stamp_;
        auto meet = [&](int r) {
            if (seen_[r] == stamp_) return;
            seen_[r] = stamp_;
            met.emplace_back(r, distanceTo(runs_[r].box, px, py));
        };
        for (int r : wide_) meet(r);
        const int ci = cellX(px), cj = cellY(py);
        double upper = reach >= 0 ? reach : HUGE_VAL;
        for (int k = 0;; ++k) {
            for (int j = cj - k; j <= cj + k; ++j) {
                if (j < 0 || j >= rows_) continue;
                const bool edge = j == cj - k || j == cj + k;
                for (int i = ci - k; i <= ci + k; i += edge ? 1 : 2 * k) {
                    if (i >= 0 && i < cols_)
                        for (int r : cells_[static_cast<size_t>(j) * cols_ + i]) meet(r);
                    if (k == 0) break;
                }
            }
            if (reach < 0 && upper == HUGE_VAL && !met.empty()) upper = reachFrom(met, px, py);
            if (k * cell_ > upper || (k > cols_ && k > rows_)) break;
        }
        std::sort(met.begin(), met.end());
    }
    if (met.empty()) return false;
    if (reach < 0) reach = reachFrom(met, px, py);
    if (!std::isfinite(reach)) return false;
    for (const auto& m : met)
        if (m.second <= reach) out.push_back(m.first);
    return true;
}

// An upper bound of the nearest distance: the nearest point of the line
// whose box is nearest (its points lie on its curve).
double NotchSeater::reachFrom(const std::vector<std::pair<int, double>>& met, double px, double py) const {
    int closest = -1;
    double lowest = HUGE_VAL;
    for (const auto& m : met)
        if (closest < 0 || m.second < lowest) {
            closest = m.first;
            lowest = m.second;
        }
    if (closest < 0 || !std::isfinite(lowest)) return HUGE_VAL;
    double upper = HUGE_VAL;
    for (int i = runs_[closest].first; i < runs_[closest].first + runs_[closest].count; ++i)
        upper = std::min(upper, std::hypot(px_[i] - px, py_[i] - py));
    return upper + kBoxSlack;
}

int NotchSeater::firstNear(const std::vector<int>& chosen, float x, float y, const float identity[9]) {
    const double near = matchReach(x, y);
    Piece* s = scratchPiece();
    for (int r : chosen) {
        const Run& run = runs_[r];
        for (int k = run.first; k < run.first + run.count - 1; ++k) {
            if (distanceTo(stretchBox_[k - a_], x, y) > near) continue;
            short index = -1;
            float length = 0, jx = x, jy = y;
            qpCurve(nullptr, s, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                    qpcurve::kSnapAllLinesDefault, static_cast<short>(run.scratchFirst + k - run.first), 2,
                    qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index, &length, &jx, &jy, identity);
            if (std::fabs(jx - x) < frame::kPartMatchMm && std::fabs(jy - y) < frame::kPartMatchMm) return k;
        }
    }
    return -1;
}

}  // namespace

void seatNotchesOnWholePiece(bool on) { wholePieceSeating = on; }

void seatNotches(PatternBuffer* pattern, short n) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Piece* piece = pieceAt(pattern, n);
    int a = 0, e = 0;
    if (piece == nullptr || !outlineRange(piece, a, e)) return;
    NotchSeater seater(pattern, n, wholePieceSeating ? -1 : a, e);
    for (int k = 0; k < piece->sPointCount; ++k) {
        SPoint* sp = nullptr;
        qpGetSPointLptr(piece, static_cast<short>(k), &sp);
        Point* p = pointAt(piece, sp->pointIndex);
        if (p == nullptr || (p->type & 0x5F) != 'V') continue;
        const short at = sp->pointIndex;
        Coord* c = frame::coordOfPoint(piece, at);
        Seat seat;
        bool found;
        if (!seater.usable() || !seater.seat(c->x, c->y, seat, identity))
            found = seatOnPiece(piece, a, e, c->x, c->y, seat, identity);
        else
            found = seat.part >= 0;
        piece = pieceAt(pattern, n);
        if (!found) continue;
        c = frame::coordOfPoint(piece, at);
        c->x = seat.x;
        c->y = seat.y;
        qpGetSPointLptr(piece, static_cast<short>(k), &sp);
        sp->lineIndex = seat.line;
        sp->position = seat.length;
    }
}

}  // namespace symmetry

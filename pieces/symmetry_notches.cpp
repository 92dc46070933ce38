// Notch seating for the symmetry tool (see symmetry_notches.h).
//
// The plain way seats a notch from the whole piece: one search over the
// outline, then one per stretch until one holds the point, then one over its
// line (seatOnPiece). Every search reads the whole piece, so on a long
// outline with many notches that costs the outline's length squared. The
// NotchSeater gives the same answers from a scratch piece holding copies of
// the few lines that can hold them. It knows nothing of a curve's shape and
// relies on qpCurve for what frame/siblings.h states beside it, and for no
// more: a range search finds the nearest point of the stretches in range, a
// copy of a line is the same curve, and a line runs through its points with
// the length qpCurve measures for it.
//
// From the last: a curve of length l from p0 to p1 lies in the ellipse of
// the points q with |q - p0| + |q - p1| <= l. A stretch is no shorter than
// its chord, so stretch k of a line of length L is at most L less the other
// stretches' chords long. Each line is measured once, on a copy of its own;
// a notch's searches then ask copies of the lines whose ellipses come near
// enough, and the stretch search asks only the stretches whose ellipses do.
// Ties keep their order, since the copies keep the lines' order.
//
// Where the outline is not a plain run of lines that copies reproduce, or a
// measured length is shorter than the line's chords, or no scratch block can
// be had, the notches are seated from the whole piece.
#include "pieces/symmetry_notches.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "frame/curve_forms.h"
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

// One notch seated from the whole piece, the plain way. false: no stretch
// holds the nearest point.
bool seatOnPiece(Piece* piece, int a, int e, float x, float y, Seat& seat, const float identity[9]) {
    const frame::CurveHit near =
        frame::nearestOnLines(piece, x, y, identity, static_cast<short>(a), static_cast<short>(e - a + 1));
    x = near.x;
    y = near.y;
    int part = -1;
    for (int j = a; j < e && part < 0; ++j) {
        const frame::CurveHit own = frame::nearestOnLines(piece, x, y, identity, static_cast<short>(j), 2);
        if (std::fabs(own.x - x) < frame::kPartMatchMm && std::fabs(own.y - y) < frame::kPartMatchMm) part = j;
    }
    seat.x = x;
    seat.y = y;
    seat.part = part;
    if (part < 0) return false;
    seat.line = pointAt(piece, part)->lineOut;
    Line* l = nullptr;
    qpGetLineLptr(piece, seat.line, &l);
    if (l == nullptr) return false;
    seat.length = frame::nearestOnLines(piece, x, y, identity, l->firstPoint, l->pointCount).along;
    return true;
}

// Bounds are widened by this much (mm) against the rounding of positions
// and of the measured length (a float).
constexpr double kBoxSlack = 1e-3;
constexpr double kLengthRounding = 1e-6;  // relative
// The grid of line boxes pays from this many lines on; a box over more cells
// than kWideCells is met by every search instead.
constexpr int kGridFrom = 16;
constexpr long kWideCells = 64;

// How far from (x, y) a stretch may pass and still be within 0.1 mm of it
// on both axes as floats compare it: 0.1 * sqrt(2), with room for the
// rounding of coordinates to floats (about 1.2e-7 of their size).
double matchReach(double x, double y) { return 0.1415 + kBoxSlack + 1e-6 * (std::fabs(x) + std::fabs(y)); }

struct Box {
    double x0, y0, x1, y1;
};

// Distance from (x, y) to a box (0 inside).
double distanceTo(const Box& b, double x, double y) {
    const double dx = std::max({b.x0 - x, 0.0, x - b.x1});
    const double dy = std::max({b.y0 - y, 0.0, y - b.y1});
    return std::sqrt(dx * dx + dy * dy);
}

// Where a curve from (x0, y0) to (x1, y1) no longer than `string` lies: the
// points q with |q - p0| + |q - p1| <= string.
struct Ellipse {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0, string = 0;

    // How near (x, y) such a curve may come (a lower bound; <= 0 inside).
    double nearest(double x, double y) const {
        return (std::hypot(x - x0, y - y0) + std::hypot(x - x1, y - y1) - string) / 2;
    }
    // Its box: half axes string / 2 along the foci's line and b across it.
    Box box() const {
        const double focal = std::hypot(x1 - x0, y1 - y0);
        const double a = string / 2, b = std::sqrt(std::max(0.0, a * a - focal * focal / 4));
        const double ux = focal > 0 ? (x1 - x0) / focal : 1.0, uy = focal > 0 ? (y1 - y0) / focal : 0.0;
        const double hx = std::hypot(a * ux, b * uy), hy = std::hypot(a * uy, b * ux);
        const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
        return Box{cx - hx, cy - hy, cx + hx, cy + hy};
    }
};

// The outline's lines, each measured once on a copy of its own; a notch's
// searches then run on copies of the lines that can hold their answers.
class NotchSeater {
public:
    // Piece n of `pattern`, points a..e. The notches will move, so none may
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
    // One line of the outline.
    struct Run {
        int first = 0, count = 0;
        int16_t kind = 0;
        Ellipse curve;          // from its first point to its last
        Box box{};              // its ellipse's box and its stretches' boxes
        int scratchFirst = -1;  // its first point in the current scratch
    };
    // How near (x, y) the run's curve may come.
    static double lowerBound(const Run& r, double x, double y) {
        return std::max(r.curve.nearest(x, y), distanceTo(r.box, x, y));
    }
    Ellipse stretch(int k) const {
        return Ellipse{px_[k], py_[k], px_[k + 1], py_[k + 1], stretchString_[static_cast<size_t>(k - a_)]};
    }
    // The chord of stretch k, k + 1, in double: the bounds subtract chords
    // from a length, where a float's rounding would be more than the slack.
    double chord(int k) const {
        return std::hypot(static_cast<double>(px_[k + 1]) - px_[k], static_cast<double>(py_[k + 1]) - py_[k]);
    }
    bool build();
    // Measures every run on a copy of its own and bounds it and its
    // stretches; false when a length cannot be its curve's or a copy cannot
    // be made.
    bool measure(const float identity[9]);
    // The grid of line boxes, for pieces of kGridFrom lines or more.
    void index();
    int cellX(double x) const { return std::min(std::max(static_cast<int>(std::floor((x - gx0_) / cell_)), 0), cols_ - 1); }
    int cellY(double y) const { return std::min(std::max(static_cast<int>(std::floor((y - gy0_) / cell_)), 0), rows_ - 1); }
    // The runs whose curves may pass within `reach` of (px, py), in point
    // order; reach < 0: those that may hold the nearest point (within
    // reachFrom). false when no line was met.
    bool nearRuns(double px, double py, double reach, std::vector<int>& out);
    double reachFrom(const std::vector<std::pair<int, double>>& met, double px, double py) const;
    bool fill(const std::vector<int>& chosen);
    // The first stretch of the chosen runs (filled) whose own search from
    // (x, y) lands within kPartMatchMm of it on both axes, -1 when none.
    int firstStretchNear(const std::vector<int>& chosen, float x, float y, const float identity[9]);
    Piece* piece() const { return pieceAt(pattern_, n_); }
    Piece* scratchPiece() const { return pieceAt(scratch_, 0); }

    PatternBuffer* pattern_;
    short n_;
    int a_, e_;
    bool usable_ = false;
    std::vector<float> px_, py_;          // point positions (mm)
    std::vector<char> type_;              // point types
    std::vector<Run> runs_;               // the outline's lines, in point order
    std::vector<double> stretchString_;   // per stretch k - a_: the most it is long
    PatternBuffer* scratch_ = nullptr;
    std::vector<int> filled_;             // the runs the scratch holds now
    double gx0_ = 0, gy0_ = 0, cell_ = 1;
    int cols_ = 0, rows_ = 0;                // no grid: 0
    std::vector<std::vector<int>> cells_;    // runs whose box meets each cell
    std::vector<int> wide_;                  // runs of too many cells, met always
    std::vector<int> seen_;                  // per run: the query that met it
    int stamp_ = 0;
};

bool NotchSeater::build() {
    Piece* piece = this->piece();
    const int n = piece->pointCount;
    if (a_ < 0 || e_ >= n || e_ <= a_) return false;
    px_.assign(static_cast<size_t>(n), 0.0f);
    py_.assign(static_cast<size_t>(n), 0.0f);
    type_.assign(static_cast<size_t>(n), 0);
    std::vector<char> valid(static_cast<size_t>(n), 0);
    for (int i = 0; i < n; ++i) {
        Point* p = pointAt(piece, i);
        if (p != nullptr) type_[i] = p->type;
        if (p == nullptr || p->coordIndex < 0 || p->coordIndex >= piece->coordCount) continue;
        Coord* c = nullptr;
        qpGetCoordLptr(piece, p->coordIndex, &c);
        if (c == nullptr) continue;
        px_[i] = c->x;
        py_[i] = c->y;
        valid[i] = std::isfinite(c->x) && std::isfinite(c->y);
    }
    // The outline's stretches k, k + 1, each held by one line of two or more
    // points, every point with its Coord. Which line the curve service takes
    // where lines overlap, or what it makes of a line that names points it
    // lacks, is its own business: such an outline is left to the whole piece.
    std::vector<char> owned(static_cast<size_t>(e_ - a_), 0);
    std::vector<Run> lines;
    for (int l = 0; l < piece->lineCount; ++l) {
        Line* line = nullptr;
        qpGetLineLptr(piece, static_cast<short>(l), &line);
        if (line == nullptr || line->pointCount < 2) continue;
        const int first = line->firstPoint, last = first + line->pointCount - 1;
        if (last <= a_ || first >= e_) continue;
        if (first < a_ || last > e_) return false;
        for (int i = first; i <= last; ++i)
            if (valid[i] == 0) return false;
        for (int k = first; k < last; ++k) {
            if (owned[k - a_] != 0) return false;
            owned[k - a_] = 1;
        }
        Run r;
        r.first = first;
        r.count = line->pointCount;
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
    runs_ = std::move(lines);
    long points = 0;
    for (const Run& r : runs_) points += r.count;
    scratch_ = MakeScratchBuffer(piece, points * 64 + static_cast<long>(runs_.size()) * 64 + 4096);
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (scratch_ == nullptr || !measure(identity)) return false;
    index();
    return true;
}

bool NotchSeater::measure(const float identity[9]) {
    stretchString_.assign(static_cast<size_t>(e_ - a_), 0.0);
    for (size_t r = 0; r < runs_.size(); ++r) {
        if (!fill({static_cast<int>(r)})) return false;
        Run& run = runs_[r];
        const float length = frame::curveLength(scratchPiece(), 0, static_cast<short>(run.count), identity);
        const int last = run.first + run.count - 1;
        double chords = 0;
        for (int k = run.first; k < last; ++k) chords += chord(k);
        const double string = length * (1.0 + kLengthRounding) + kBoxSlack;
        // No line is shorter than its chords: such a length is not its curve's.
        if (!std::isfinite(length) || !(string >= chords)) return false;
        run.curve = Ellipse{px_[run.first], py_[run.first], px_[last], py_[last], string};
        Box around{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
        for (int k = run.first; k < last; ++k) {
            stretchString_[static_cast<size_t>(k - a_)] = string - (chords - chord(k)) + kBoxSlack;
            const Box b = stretch(k).box();
            around = Box{std::min(around.x0, b.x0), std::min(around.y0, b.y0), std::max(around.x1, b.x1),
                         std::max(around.y1, b.y1)};
        }
        const Box whole = run.curve.box();
        run.box = Box{std::max(around.x0, whole.x0) - kBoxSlack, std::max(around.y0, whole.y0) - kBoxSlack,
                      std::min(around.x1, whole.x1) + kBoxSlack, std::min(around.y1, whole.y1) + kBoxSlack};
    }
    return true;
}

// The scratch piece holds copies of the chosen runs (in point order), one
// line each, in one segment.
bool NotchSeater::fill(const std::vector<int>& chosen) {
    if (chosen == filled_) return true;
    for (int r : filled_)
        if (r >= 0) runs_[r].scratchFirst = -1;
    filled_.clear();
    EmptyScratchPiece(scratch_);
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
            c->pointIndex = index;
            c->x = px_[i];
            c->y = py_[i];
            qpGetPointLptr(s, index, &p);
            p->coordIndex = static_cast<int16_t>(s->coordCount - 1);
            p->type = type_[i];
        }
        filled_.push_back(r);
    }
    return true;
}

int NotchSeater::firstStretchNear(const std::vector<int>& chosen, float x, float y, const float identity[9]) {
    const double reach = matchReach(x, y);
    Piece* s = scratchPiece();
    for (int r : chosen) {
        const Run& run = runs_[r];
        for (int k = run.first; k < run.first + run.count - 1; ++k) {
            if (stretch(k).nearest(x, y) > reach) continue;
            const frame::CurveHit own =
                frame::nearestOnLines(s, x, y, identity, static_cast<short>(run.scratchFirst + k - run.first), 2);
            if (std::fabs(own.x - x) < frame::kPartMatchMm && std::fabs(own.y - y) < frame::kPartMatchMm) return k;
        }
    }
    return -1;
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
    const frame::CurveHit near = frame::nearestOnLines(s, px, py, identity, 0, s->pointCount);
    const float x = near.x, y = near.y;
    seat.x = x;
    seat.y = y;
    seat.part = -1;
    // The lines that may pass within 0.1 mm of it on both axes: the first
    // stretch that does, and the position along its line.
    if (!nearRuns(x, y, matchReach(x, y), chosen)) return true;
    if (!fill(chosen)) {
        filled_.assign(1, -1);
        return false;
    }
    seat.part = firstStretchNear(chosen, x, y, identity);
    if (seat.part < 0) return true;
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
    // The line's copy in the scratch where it holds one as it is; else the
    // whole piece tells.
    seat.length = copied != nullptr ? frame::nearestOnLines(scratchPiece(), x, y, identity,
                                                            static_cast<short>(copied->scratchFirst),
                                                            static_cast<short>(count)).along
                                    : frame::nearestOnLines(piece, x, y, identity, static_cast<short>(first),
                                                            static_cast<short>(count)).along;
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
    std::vector<std::pair<int, double>> met;  // run, how near its curve may come
    if (cols_ == 0) {
        for (int r = 0; r < runs; ++r) met.emplace_back(r, lowerBound(runs_[r], px, py));
    } else {
        // Rings of cells around the point's cell until every line not met
        // lies farther than the reach: a box that meets no cell of rings
        // 0..k lies at least k cells from the point.
        ++stamp_;
        auto meet = [&](int r) {
            if (seen_[r] == stamp_) return;
            seen_[r] = stamp_;
            met.emplace_back(r, lowerBound(runs_[r], px, py));
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
// that may come nearest (its points lie on its curve).
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

}  // namespace

void seatNotchesOnWholePiece(bool on) { wholePieceSeating = on; }

void seatNotches(PatternBuffer* pattern, short n, const std::vector<int>& stay) {
    const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    Piece* piece = pieceAt(pattern, n);
    int a = 0, e = 0;
    if (piece == nullptr || !outlineRange(piece, a, e)) return;
    std::unique_ptr<NotchSeater> seater;  // made at the first notch: it measures every line
    for (int k = 0; k < piece->sPointCount; ++k) {
        SPoint* sp = nullptr;
        qpGetSPointLptr(piece, static_cast<short>(k), &sp);
        Point* p = pointAt(piece, sp->pointIndex);
        if (p == nullptr || typeLetter(p->type) != 'V') continue;
        const short at = sp->pointIndex;
        if (std::find(stay.begin(), stay.end(), at) != stay.end()) continue;
        if (seater == nullptr && !wholePieceSeating) seater.reset(new NotchSeater(pattern, n, a, e));
        Coord* c = frame::coordOfPoint(piece, at);
        Seat seat;
        bool found;
        if (seater == nullptr || !seater->usable() || !seater->seat(c->x, c->y, seat, identity))
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

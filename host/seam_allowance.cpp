// The cut line of a piece (see seam_allowance.h).
#include "host/seam_allowance.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "frame/siblings.h"

namespace host {

namespace {

// Positions closer than this are one (mm); a turn whose sine is below
// kStraight is no turn.
constexpr double kSame = 1e-7;
constexpr double kStraight = 1e-9;

Pt operator+(Pt a, Pt b) { return {a.x + b.x, a.y + b.y}; }
Pt operator-(Pt a, Pt b) { return {a.x - b.x, a.y - b.y}; }
Pt operator*(double s, Pt a) { return {s * a.x, s * a.y}; }
double cross(Pt a, Pt b) { return a.x * b.y - a.y * b.x; }
double norm(Pt a) { return std::hypot(a.x, a.y); }
bool same(Pt a, Pt b) { return norm(a - b) < kSame; }

// Where the lines p + t d and q + u e cross: t (along the first) and u;
// false when they are parallel.
bool crossing(Pt p, Pt d, Pt q, Pt e, double& t, double& u) {
    const double c = cross(d, e);
    if (std::fabs(c) < kStraight * norm(d) * norm(e)) return false;
    t = cross(q - p, e) / c;
    u = cross(q - p, d) / c;
    return true;
}

// One vertex of an outline chain as the curve model samples it.
struct Vertex {
    Pt at;
    short point = -1;  // the outline point it is, or -1 for a sample between points
    short line = -1;   // the line of the stretch that leaves it
    double along = 0.0;  // length along the chain from its first point (mm)
};

// The chain of outline segment `seg`, vertex by vertex from its first point,
// its closing point left out (it is the first again). Samples on a straight
// run are left out: their offset is the run's.
std::vector<Vertex> chainOf(Piece* piece, short seg) {
    std::vector<Vertex> chain;
    Seg* g = nullptr;
    qpGetSegLptr(piece, seg, &g);
    const short firstLine = g->firstLine, lineCount = g->lineCount;
    for (short li = firstLine; li < firstLine + lineCount; ++li) {
        Line* l = nullptr;
        qpGetLineLptr(piece, li, &l);
        if (!l || l->pointCount < 2) continue;
        const short first = l->firstPoint, count = l->pointCount;
        const std::vector<Polyline> stretches = modelStretches(piece, first, count);
        // A usable line gives one polyline per stretch, in order; otherwise
        // only its ends are known points.
        const bool byPoint = stretches.size() == static_cast<size_t>(count - 1);
        for (size_t k = 0; k < stretches.size(); ++k) {
            const Polyline& s = stretches[k];
            for (size_t i = 0; i + 1 < s.size(); ++i) {
                Vertex v;
                v.at = s[i];
                v.line = li;
                if (i == 0 && (byPoint || k == 0)) v.point = static_cast<short>(byPoint ? first + k : first);
                chain.push_back(v);
            }
        }
    }
    if (chain.empty()) return chain;
    // One vertex per place (a twin point, a stretch of no length): the one
    // that is a point, so that its corner and its widths are found.
    std::vector<Vertex> distinct;
    for (const Vertex& v : chain) {
        if (!distinct.empty() && same(distinct.back().at, v.at)) {
            if (distinct.back().point < 0) distinct.back().point = v.point;
            distinct.back().line = v.line;
            continue;
        }
        distinct.push_back(v);
    }
    while (distinct.size() > 1 && same(distinct.back().at, distinct.front().at)) {
        if (distinct.front().point < 0) distinct.front().point = distinct.back().point;
        distinct.pop_back();
    }
    std::vector<Vertex> kept;
    const size_t n = distinct.size();
    for (size_t i = 0; i < n; ++i) {
        const Vertex& v = distinct[i];
        const Pt in = v.at - distinct[(i + n - 1) % n].at, out = distinct[(i + 1) % n].at - v.at;
        const bool straight =
            std::fabs(cross(in, out)) < kStraight * norm(in) * norm(out) && in.x * out.x + in.y * out.y > 0;
        if (v.point >= 0 || !straight) kept.push_back(v);
    }
    double along = 0.0;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) along += norm(kept[i].at - kept[i - 1].at);
        kept[i].along = along;
    }
    return kept;
}

// The allowance at each end of each stretch of the chain (stretch i runs
// from vertex i to vertex i + 1, the last one back to the first).
struct Widths {
    std::vector<double> start, end;
};

Widths widthsOf(Piece* piece, const std::vector<Vertex>& chain, double total) {
    const size_t n = chain.size();
    Extwid* first = nullptr;
    qpGetExtwidLptr(piece, 0, &first);
    const double own = std::max(0.0, static_cast<double>(first->fromWidth));
    Widths w{std::vector<double>(n, own), std::vector<double>(n, own)};
    // Where each point of the chain lies along it.
    std::unordered_map<short, double> along;
    for (const Vertex& v : chain)
        if (v.point >= 0 && !along.count(v.point)) along[v.point] = v.along;
    // The chain's closing point is no vertex of its own: it is the first
    // point again, at the start as a stretch's first end, at the end as its
    // last.
    auto alongOf = [&](short point, bool last, double& out) {
        const auto it = along.find(point);
        if (it != along.end()) {
            out = last && it->second == 0.0 ? total : it->second;
            return true;
        }
        double x = 0, y = 0, fx = 0, fy = 0;
        if (chain.front().point < 0 || !pointPosition(piece, point, x, y) ||
            !pointPosition(piece, chain.front().point, fx, fy) || !same(Pt{x, y}, Pt{fx, fy}))
            return false;
        out = last ? total : 0.0;
        return true;
    };
    for (short r = 1; r < piece->extwidCount; ++r) {
        Extwid* e = nullptr;
        qpGetExtwidLptr(piece, r, &e);
        if (!e || e->fromPoint == e->toPoint) continue;
        double from = 0, to = 0;
        if (!alongOf(e->fromPoint, false, from) || !alongOf(e->toPoint, true, to)) continue;
        if (to <= from) to += total;
        const double span = to - from;
        const double w0 = std::max(0.0, static_cast<double>(e->fromWidth));
        const double w1 = std::max(0.0, static_cast<double>(e->toWidth));
        auto at = [&](double s) { return w0 + (w1 - w0) * (s - from) / span; };
        for (size_t i = 0; i < n; ++i) {
            double s0 = chain[i].along, s1 = i + 1 < n ? chain[i + 1].along : total;
            // The stretch belongs to the record when its middle does.
            double mid = (s0 + s1) / 2;
            if (mid < from) {
                mid += total;
                s0 += total;
                s1 += total;
            }
            if (mid > to) continue;
            w.start[i] = at(s0);
            w.end[i] = at(s1);
        }
    }
    return w;
}

// The Cutangl side at each point of the piece that has one (the last
// record of a point wins).
std::unordered_map<short, short> cornerSides(Piece* piece) {
    std::unordered_map<short, short> sides;
    for (short k = 0; k < piece->cutanglCount; ++k) {
        Cutangl* c = nullptr;
        qpGetCutanglLptr(piece, k, &c);
        if (c) sides[c->pointIndex] = c->side;
    }
    return sides;
}

// A ring of points with the part of each stretch (parts[i]: points[i] to
// points[i + 1], the last one closing the ring).
struct Ring {
    std::vector<Pt> points;
    std::vector<CutPart> parts;
    void add(Pt p, CutPart part) {
        if (!points.empty() && same(points.back(), p)) {
            parts.back() = part;
            return;
        }
        points.push_back(p);
        parts.push_back(part);
    }
};

// Whether stretches a..b and c..d meet, ends included: an offset that folds
// back over itself may only touch at a point.
bool segmentsCross(Pt a, Pt b, Pt c, Pt d, Pt& at) {
    constexpr double kEnd = 1e-9;
    double t = 0, u = 0;
    if (!crossing(a, b - a, c, d - c, t, u)) return false;
    if (t < -kEnd || t > 1 + kEnd || u < -kEnd || u > 1 + kEnd) return false;
    at = a + t * (b - a);
    return true;
}

// The first crossing of two stretches of the ring that are not neighbours,
// found through a grid of cells about one stretch long: i < j, and `at`.
bool firstCrossing(const std::vector<Pt>& p, size_t& bi, size_t& bj, Pt& at) {
    const size_t n = p.size();
    double minX = p[0].x, maxX = p[0].x, minY = p[0].y, maxY = p[0].y, total = 0;
    for (size_t i = 0; i < n; ++i) {
        minX = std::min(minX, p[i].x);
        maxX = std::max(maxX, p[i].x);
        minY = std::min(minY, p[i].y);
        maxY = std::max(maxY, p[i].y);
        total += norm(p[(i + 1) % n] - p[i]);
    }
    const double cell = std::max({total / static_cast<double>(n), (maxX - minX) / 512, (maxY - minY) / 512, 1e-3});
    const long columns = static_cast<long>((maxX - minX) / cell) + 1;
    std::unordered_map<long, std::vector<size_t>> grid;
    auto cellOf = [&](double x, double y) {
        return std::make_pair(static_cast<long>((x - minX) / cell), static_cast<long>((y - minY) / cell));
    };
    bool found = false;
    for (size_t i = 0; i < n; ++i) {
        const Pt a = p[i], b = p[(i + 1) % n];
        const auto lo = cellOf(std::min(a.x, b.x), std::min(a.y, b.y));
        const auto hi = cellOf(std::max(a.x, b.x), std::max(a.y, b.y));
        for (long cx = lo.first; cx <= hi.first; ++cx)
            for (long cy = lo.second; cy <= hi.second; ++cy) {
                std::vector<size_t>& bucket = grid[cy * columns + cx];
                for (size_t k : bucket) {
                    if (k + 1 == i || (k == 0 && i + 1 == n)) continue;  // neighbours meet at their end
                    Pt x;
                    if (!segmentsCross(p[k], p[(k + 1) % n], a, b, x)) continue;
                    if (!found || i < bj || (i == bj && k < bi)) {
                        bi = k;
                        bj = i;
                        at = x;
                        found = true;
                    }
                }
                bucket.push_back(i);
            }
        if (found) return true;
    }
    return false;
}

// Cuts out the loops of the ring: where two stretches cross, the shorter of
// the two ways round between them goes, and the crossing joins what is
// left.
void removeLoops(Ring& ring) {
    for (size_t guard = ring.points.size(); guard > 0 && ring.points.size() > 3; --guard) {
        size_t i = 0, j = 0;
        Pt at;
        if (!firstCrossing(ring.points, i, j, at)) return;
        const size_t n = ring.points.size();
        double inner = 0;  // from the crossing on stretch i to the one on stretch j
        for (size_t k = i + 1; k <= j; ++k) inner += norm(ring.points[k] - ring.points[k - 1]);
        double total = 0;
        for (size_t k = 0; k < n; ++k) total += norm(ring.points[(k + 1) % n] - ring.points[k]);
        Ring kept;
        if (inner <= total - inner) {
            // Keep 0 .. i, the crossing, j + 1 .. n - 1.
            for (size_t k = 0; k <= i; ++k) kept.add(ring.points[k], ring.parts[k]);
            kept.add(at, ring.parts[j]);
            for (size_t k = j + 1; k < n; ++k) kept.add(ring.points[k], ring.parts[k]);
        } else {
            // Keep i + 1 .. j and the crossing.
            for (size_t k = i + 1; k <= j; ++k) kept.add(ring.points[k], ring.parts[k]);
            kept.add(at, ring.parts[i]);
        }
        ring = std::move(kept);
    }
}

}  // namespace

std::vector<CutLine> cutLines(Piece* piece) {
    std::vector<CutLine> cut;
    if (!piece || piece->extwidCount <= 0) return cut;
    PieceHold hold(piece);
    const std::unordered_map<short, short> sides = cornerSides(piece);
    for (short seg : outlineSegments(piece)) {
        const std::vector<Vertex> chain = chainOf(piece, seg);
        const size_t n = chain.size();
        if (n < 3) continue;
        double total = chain.back().along + norm(chain.front().at - chain.back().at);
        double twiceArea = 0;
        for (size_t i = 0; i < n; ++i) twiceArea += cross(chain[i].at, chain[(i + 1) % n].at);
        if (std::fabs(twiceArea) < kSame) continue;
        const double outward = twiceArea > 0 ? 1.0 : -1.0;  // turning left (y up): the outside is on the right
        const Widths w = widthsOf(piece, chain, total);
        bool any = false;
        for (size_t i = 0; i < n; ++i) any = any || w.start[i] > 0 || w.end[i] > 0;
        if (!any) continue;
        // Each stretch's direction, its outward normal, and the direction of
        // its allowance line (not parallel to it where the width changes).
        std::vector<Pt> d(n), normal(n), od(n);
        for (size_t i = 0; i < n; ++i) {
            const Pt v = chain[(i + 1) % n].at - chain[i].at;
            d[i] = (1.0 / norm(v)) * v;
            normal[i] = Pt{outward * d[i].y, -outward * d[i].x};
            const Pt o = v + (w.end[i] - w.start[i]) * normal[i];
            od[i] = norm(o) > kSame ? (1.0 / norm(o)) * o : d[i];
        }
        Ring ring;
        for (size_t i = 0; i < n; ++i) {
            const size_t a = (i + n - 1) % n;  // the stretch that comes in
            const Pt corner = chain[i].at;
            const Pt pa = corner + w.end[a] * normal[a], pb = corner + w.start[i] * normal[i];
            const CutPart out{chain[i].line, -1}, join{-1, chain[i].point};
            if (same(pa, pb)) {
                ring.add(pa, out);
                continue;
            }
            const auto side = chain[i].point >= 0 ? sides.find(chain[i].point) : sides.end();
            const bool turnsOut = cross(d[a], d[i]) * outward > 0;
            double t = 0, u = 0;
            if (side != sides.end() && turnsOut && (side->second == 1 || side->second == 2)) {
                // Squared to one stretch: where the other allowance line
                // crosses that stretch's line, and straight out from there.
                const bool incoming = side->second == 1;
                if (incoming ? crossing(corner, d[a], pb, od[i], t, u) : crossing(corner, d[i], pa, od[a], t, u)) {
                    const Pt on = incoming ? corner + t * d[a] : corner + t * d[i];
                    if (incoming && t > 0) {
                        ring.add(on + w.end[a] * normal[a], join);
                        ring.add(on, out);
                        continue;
                    }
                    if (!incoming && t < 0) {
                        ring.add(on, join);
                        ring.add(on + w.start[i] * normal[i], out);
                        continue;
                    }
                }
            }
            if (!crossing(pa, od[a], pb, od[i], t, u)) {
                ring.add(pa, join);
                ring.add(pb, out);
                continue;
            }
            const Pt mitre = pa + t * od[a];
            const double widest = std::max(w.end[a], w.start[i]);
            if (turnsOut && norm(mitre - corner) > kMitreLimit * widest) {
                ring.add(pa, join);
                ring.add(pb, out);
                continue;
            }
            if (!turnsOut && (t > 0 || u < 0)) {
                // The offsets cross beyond the stretches' ends: the loop this
                // leaves is cut out below.
                ring.add(pa, join);
                ring.add(pb, out);
                continue;
            }
            ring.add(mitre, out);
        }
        if (ring.points.size() > 1 && same(ring.points.back(), ring.points.front())) {
            ring.points.pop_back();
            ring.parts.pop_back();
        }
        removeLoops(ring);
        if (ring.points.size() < 3) continue;
        CutLine line;
        line.segment = seg;
        line.points = ring.points;
        line.points.push_back(ring.points.front());
        line.parts = ring.parts;
        cut.push_back(std::move(line));
    }
    return cut;
}

}  // namespace host

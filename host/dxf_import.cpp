// qpkit import (dxf_import.h).
#include "host/dxf_import.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/seam_allowance.h"
#include "host/sizes.h"

namespace host {

namespace {

namespace layer = dxf::layer;
using dxf::Entity;

// A point of the file is one of ours when it is this close (mm): what six
// significant digits keep of a coordinate below ten metres.
constexpr double kSamePointMm = 0.01;
// The fit gives up adding curve points to a stretch after this many rounds.
constexpr int kFitRounds = 200;
// A notch line's end this close to the outline (mm) is the notch itself.
constexpr double kOnOutlineMm = 0.05;
// A closed polyline no wider than this inside a plain file's piece is a
// drill hole drawn as a circle (mm).
constexpr double kDrillExtentMm = 30.0;
// Notch and drill mark records, as the point-increase tool writes them.
constexpr int16_t kNotchSegCode = 16, kNotchSegValue = 0;
constexpr int16_t kDrillSegCode = 15, kDrillSegValue = 12;
constexpr double kQuarterTurn = 1570.0;  // thousandths of a radian
constexpr int16_t kNotchedLine = 0x20;    // Line.flags: a notch lies on it

double toSegment(const Pt& p, const Pt& a, const Pt& b, double* t = nullptr) {
    const double dx = b.x - a.x, dy = b.y - a.y, l2 = dx * dx + dy * dy;
    double u = l2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / l2 : 0.0;
    u = std::clamp(u, 0.0, 1.0);
    if (t) *t = u;
    return std::hypot(p.x - a.x - u * dx, p.y - a.y - u * dy);
}

// Where on `line` (closed: its last vertex joins its first) `p` is nearest.
struct Nearest {
    double distance = 1e300;
    size_t segment = 0;  // from vertex segment to the next
    Pt at;
};
Nearest nearestOn(const Polyline& line, bool closed, const Pt& p) {
    Nearest best;
    const size_t n = line.size();
    if (n == 1) return Nearest{std::hypot(p.x - line[0].x, p.y - line[0].y), 0, line[0]};
    for (size_t i = 0; i + 1 < n + (closed ? 1 : 0); ++i) {
        const Pt& a = line[i];
        const Pt& b = line[(i + 1) % n];
        double t = 0;
        const double d = toSegment(p, a, b, &t);
        if (d < best.distance) best = Nearest{d, i, Pt{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)}};
    }
    return best;
}

// Where the ray from `from` along `along` (t >= 0, in units of `along`)
// crosses the segment a b.
bool rayHits(const Pt& from, const Pt& along, const Pt& a, const Pt& b, double& t) {
    const double ex = b.x - a.x, ey = b.y - a.y, det = along.x * ey - along.y * ex;
    if (std::fabs(det) < 1e-12) return false;
    const double wx = a.x - from.x, wy = a.y - from.y;
    t = (wx * ey - wy * ex) / det;
    const double u = (wx * along.y - wy * along.x) / det;
    return t >= 0 && u >= 0 && u <= 1;
}

double signedArea(const Polyline& ring) {
    double twice = 0;
    for (size_t i = 0; i < ring.size(); ++i) {
        const Pt& a = ring[i];
        const Pt& b = ring[(i + 1) % ring.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return twice / 2;
}

bool inside(const Polyline& ring, const Pt& p) {
    bool in = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        const Pt& a = ring[i];
        const Pt& b = ring[j];
        if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
}

// A closed polyline as a ring: no repeated vertex, the last not the first.
Polyline ring(Polyline line) {
    Polyline out;
    for (const Pt& p : line)
        if (out.empty() || std::hypot(p.x - out.back().x, p.y - out.back().y) > 1e-9) out.push_back(p);
    while (out.size() > 1 && std::hypot(out.front().x - out.back().x, out.front().y - out.back().y) <= 1e-9)
        out.pop_back();
    return out;
}

ChainPoint chainPoint(char type, const Pt& p) {
    ChainPoint c;
    c.type = type;
    c.x = static_cast<float>(p.x);
    c.y = static_cast<float>(p.y);
    return c;
}

// What one piece of the file gives, in millimetres and piece coordinates.
struct FilePiece {
    std::string name;
    std::array<float, 9> placement{1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::vector<Polyline> outlines;  // rings
    std::string outlineLayer = layer::kCut;
    std::vector<Polyline> cuts;      // rings, when the outline is the sew line
    std::vector<Polyline> inner;     // open
    std::vector<Pt> turns, curves;   // layers 2 and 3
    // Notches and drill holes in file order: a notch line goes from a to b
    // (either end may be the one on the outline); a point has b == a.
    struct Mark {
        char type;  // 'v' notch, 'o' drill hole
        Pt a, b;
        bool line;
    };
    std::vector<Mark> marks;
    bool grain = false;
};

// The notes' tally of what was skipped: kind -> count, in first-met order.
class Skips {
public:
    void add(const std::string& kind, int n = 1) {
        if (counts_[kind] == 0) order_.push_back(kind);
        counts_[kind] += n;
    }
    void into(std::vector<std::string>& notes) const {
        for (const std::string& k : order_)
            notes.push_back("skipped: " + k + (counts_.at(k) > 1 ? " (" + std::to_string(counts_.at(k)) + ")" : ""));
    }

private:
    std::map<std::string, int> counts_;
    std::vector<std::string> order_;
};

std::string textAfter(const std::string& text, const std::string& label) {
    if (text.compare(0, label.size(), label) != 0) return {};
    std::string rest = text.substr(label.size());
    while (!rest.empty() && rest.front() == ' ') rest.erase(rest.begin());
    while (!rest.empty() && rest.back() == ' ') rest.pop_back();
    return rest;
}

// A block's entities sorted by layer into a piece.
FilePiece pieceOfBlock(const dxf::Block& b, double scale, Skips& skips) {
    FilePiece fp;
    fp.name = b.name;
    std::string size;
    std::vector<Polyline> sew, closed8, cut;
    for (const Entity& e0 : b.entities) {
        Entity e = e0;
        for (Pt& p : e.points) p = Pt{p.x * scale, p.y * scale};
        const std::string& l = e.layer;
        if (e.kind == Entity::kText) {
            const std::string name = textAfter(e.text, "Piece Name:");
            if (!name.empty()) fp.name = name;
            else if (!textAfter(e.text, "Size:").empty()) size = textAfter(e.text, "Size:");
            else if (textAfter(e.text, "Quantity:").empty()) skips.add("TEXT \"" + e.text + "\"");
            continue;
        }
        if (e.kind == Entity::kPolyline && e.points.size() >= 2) {
            if (l == layer::kSew && e.closed) sew.push_back(ring(e.points));
            else if (l == layer::kCut && e.closed) cut.push_back(ring(e.points));
            else if (l == layer::kInternal && e.closed) closed8.push_back(ring(e.points));
            else if (l == layer::kInternal) fp.inner.push_back(e.points);
            else if (l != layer::kCutCheck && l != layer::kLineCheck && l != layer::kSewCheck)
                skips.add("POLYLINE on layer " + l);
            continue;
        }
        if (e.kind == Entity::kPoint && l == layer::kTurn) fp.turns.push_back(e.points[0]);
        else if (e.kind == Entity::kPoint && l == layer::kCurve) fp.curves.push_back(e.points[0]);
        else if (e.kind == Entity::kPoint && l == layer::kDrill) fp.marks.push_back({'o', e.points[0], e.points[0], false});
        else if (e.kind == Entity::kPoint && l == layer::kNotch) fp.marks.push_back({'v', e.points[0], e.points[0], false});
        else if (e.kind == Entity::kLine && l == layer::kNotch) fp.marks.push_back({'v', e.points[0], e.points[1], true});
        else if (e.kind == Entity::kLine && l == layer::kGrain) fp.grain = true;
        else if (e.kind == Entity::kLine && l == layer::kInternal) fp.inner.push_back(e.points);
        else skips.add(std::string(e.kind == Entity::kLine ? "LINE" : e.kind == Entity::kPoint ? "POINT" : "POLYLINE") +
                       " on layer " + l);
    }
    if (!sew.empty()) {
        fp.outlines = sew;
        fp.outlineLayer = layer::kSew;
        fp.cuts = cut;
    } else if (!closed8.empty()) {
        // The sew line on layer 8 beside the open internal lines.
        fp.outlines = closed8;
        fp.outlineLayer = layer::kInternal;
        fp.cuts = cut;
    } else {
        fp.outlines = cut;
    }
    if (!size.empty() && size != "base") fp.name += " " + size;
    // The insert: p' = at + rotation(scaleX x, scaleY y), as row vectors.
    const double a = b.rotation * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
    fp.placement = {static_cast<float>(c * b.scaleX), static_cast<float>(s * b.scaleX), 0,
                    static_cast<float>(-s * b.scaleY), static_cast<float>(c * b.scaleY), 0,
                    static_cast<float>(b.at.x * scale), static_cast<float>(b.at.y * scale), 1};
    return fp;
}

// The outline's chain from the turn and curve points on it: each vertex
// that is one of them, the first turn point first (as S).
std::vector<ChainPoint> chainFromPoints(const Polyline& outline, const FilePiece& fp) {
    const auto near = [](const std::vector<Pt>& pts, const Pt& v) {
        return std::any_of(pts.begin(), pts.end(),
                           [&](const Pt& p) { return std::hypot(p.x - v.x, p.y - v.y) <= kSamePointMm; });
    };
    std::vector<ChainPoint> chain;
    size_t first = 0;
    for (const Pt& v : outline) {
        if (near(fp.turns, v)) chain.push_back(chainPoint('K', v));
        else if (near(fp.curves, v)) chain.push_back(chainPoint('C', v));
        else continue;
        if (chain.size() > 1 && chain.back().type == 'K' && chain[first].type != 'K') first = chain.size() - 1;
    }
    std::rotate(chain.begin(), chain.begin() + static_cast<long>(first), chain.end());
    if (!chain.empty()) chain.front().type = 'S';
    return chain;
}

// Corners by angle, then per smooth stretch the fewest curve points whose
// curve stays within kFitMm of the polyline, found by adding the vertex
// farthest from the curve until none is. Where the curve strays along a
// chord whose ends are already ours (a long straight run between curves,
// whose smooth joins the file did not keep), the chord becomes a straight
// line: its ends turn into turning points.
std::vector<ChainPoint> fittedChain(Polyline v) {
    const size_t n = v.size();
    std::vector<bool> corner(n, false), curve(n, false);
    size_t firstCorner = n;
    for (size_t i = 0; i < n; ++i) {
        const Pt& a = v[(i + n - 1) % n];
        const Pt& b = v[i];
        const Pt& c = v[(i + 1) % n];
        const double turn = std::fabs(std::remainder(std::atan2(c.y - b.y, c.x - b.x) - std::atan2(b.y - a.y, b.x - a.x),
                                                     2 * M_PI));
        corner[i] = turn * 180.0 / M_PI > kCornerDegrees;
        if (corner[i] && firstCorner == n) firstCorner = i;
    }
    if (firstCorner == n) firstCorner = 0;
    std::rotate(v.begin(), v.begin() + static_cast<long>(firstCorner), v.end());
    std::rotate(corner.begin(), corner.begin() + static_cast<long>(firstCorner), corner.end());
    corner[0] = true;
    const auto at = [&](size_t i) { return v[i % n]; };
    // Stretches [from, to] of vertex indices between corners (to == n: back
    // at vertex 0).
    const auto stretchesNow = [&] {
        std::vector<std::pair<size_t, size_t>> out;
        for (size_t i = 0; i < n;) {
            size_t j = i + 1;
            while (j < n && !corner[j]) ++j;
            out.emplace_back(i, j);
            i = j;
        }
        return out;
    };
    for (const auto& [a, b] : stretchesNow()) {
        size_t far = a;
        double worst = 0;
        for (size_t i = a + 1; i < b; ++i) {
            const double d = toSegment(at(i), at(a), at(b));
            if (d > worst) worst = d, far = i;
        }
        if (worst > kFitMm) curve[far] = true;
    }
    std::vector<std::pair<size_t, size_t>> stretches = stretchesNow();
    const auto chainNow = [&] {
        std::vector<ChainPoint> chain;
        for (size_t i = 0; i < n; ++i) {
            if (corner[i]) chain.push_back(chainPoint(i == 0 ? 'S' : 'K', at(i)));
            else if (curve[i]) chain.push_back(chainPoint('C', at(i)));
        }
        return chain;
    };
    for (int round = 0; round < kFitRounds; ++round) {
        stretches = stretchesNow();
        PatternModel scratch;
        PieceModel piece;
        piece.shorthand = true;
        piece.outline.push_back(chainNow());
        scratch.pieces.push_back(piece);
        PatternDoc doc = buildPattern(scratch, "the fit");
        Piece* p = doc.piece(0);
        PieceHold hold(p);
        bool changed = false;
        for (size_t s = 0; s < stretches.size(); ++s) {
            const auto [a, b] = stretches[s];
            if (b - a < 2) continue;
            Polyline source;
            for (size_t i = a; i <= b; ++i) source.push_back(at(i));
            const Polyline model = lineSamples(p, static_cast<short>(s));
            if (model.size() < 2) continue;
            double worst = 0;
            size_t far = a;
            for (size_t i = a + 1; i < b; ++i) {
                const double d = nearestOn(model, false, at(i)).distance;
                if (d > worst) worst = d, far = i;
            }
            size_t chord = b;  // the source chord a stray sample lies nearest
            for (const Pt& m : model) {
                const Nearest back = nearestOn(source, false, m);
                if (back.distance > worst) {
                    worst = back.distance;
                    chord = a + back.segment;
                    far = std::hypot(at(chord).x - m.x, at(chord).y - m.y) <
                                  std::hypot(at(chord + 1).x - m.x, at(chord + 1).y - m.y)
                              ? chord
                              : chord + 1;
                }
            }
            if (worst <= kFitMm) continue;
            if (far > a && far < b && !curve[far]) {
                curve[far] = true;
                changed = true;
            } else if (chord < b) {
                for (size_t k : {chord, chord + 1})
                    if (k < n && !corner[k]) corner[k] = changed = true;
            }
        }
        if (!changed) break;
    }
    return chainNow();
}

// An internal line: its vertices, the turn and curve points of the file
// among them where it has them.
std::vector<ChainPoint> innerChain(const Polyline& line, const FilePiece& fp) {
    const auto near = [](const std::vector<Pt>& pts, const Pt& v) {
        return std::any_of(pts.begin(), pts.end(),
                           [&](const Pt& p) { return std::hypot(p.x - v.x, p.y - v.y) <= kSamePointMm; });
    };
    const bool typed = !fp.turns.empty() && near(fp.turns, line.front()) && near(fp.turns, line.back());
    std::vector<ChainPoint> chain;
    for (size_t i = 0; i < line.size(); ++i) {
        char t = 'k';
        if (typed && i > 0 && i + 1 < line.size()) {
            if (near(fp.curves, line[i])) t = 'c';
            else if (!near(fp.turns, line[i])) continue;
        }
        chain.push_back(chainPoint(i == 0 ? 's' : t, line[i]));
    }
    return chain;
}

// Every outline line of the piece with its samples (two or more).
void forEachOutlineLine(Piece* piece, const std::function<void(short line, const Polyline& samples)>& visit) {
    for (short li = 0; li < piece->lineCount; ++li) {
        Line* l = nullptr;
        Point* first = nullptr;
        qpGetLineLptr(piece, li, &l);
        if (l) qpGetPointLptr(piece, l->firstPoint, &first);
        if (!l || !first || !isOutlineType(first->type)) continue;
        const Polyline samples = lineSamples(piece, li);
        if (samples.size() >= 2) visit(li, samples);
    }
}

// The outline line of `piece` nearest `p`, the nearest place on it and
// its direction there.
struct OnLine {
    short line = -1;
    Pt at;
    double angle = 0;
};
OnLine nearestOutlineLine(Piece* piece, const Pt& p) {
    OnLine best;
    double bestD = 1e300;
    forEachOutlineLine(piece, [&](short li, const Polyline& samples) {
        const Nearest n = nearestOn(samples, false, p);
        if (n.distance < bestD) {
            bestD = n.distance;
            const Pt& a = samples[n.segment];
            const Pt& b = samples[n.segment + 1];
            best = OnLine{li, n.at, std::atan2(b.y - a.y, b.x - a.x)};
        }
    });
    return best;
}

// How far the file's cut line and the one our seam allowances give the
// piece stray from each other (mm): the worst vertex of either.
double cutDeviation(const PieceModel& pm, const std::vector<Polyline>& fileCuts) {
    PatternModel one;
    one.pieces.push_back(pm);
    PatternDoc doc = buildPattern(one, pm.name);
    const std::vector<CutLine> ours = cutLines(doc.piece(0));
    double worst = 0;
    for (const Polyline& c : fileCuts)
        for (const Pt& v : c) {
            double d = 1e300;
            for (const CutLine& o : ours) d = std::min(d, nearestOn(o.points, true, v).distance);
            worst = std::max(worst, d);
        }
    for (const CutLine& o : ours)
        for (const Pt& v : o.points) {
            double d = 1e300;
            for (const Polyline& c : fileCuts) d = std::min(d, nearestOn(c, true, v).distance);
            worst = std::max(worst, d);
        }
    return worst;
}

// Seam allowances from the file's cut line around the built outline: each
// outline line's width, where the cut line keeps one distance from it along
// the line (measured at a quarter, half and three quarters of it); the
// commonest width all round (record 0) and the others as stretches; then a
// square cut at each corner where that brings our cut line onto the file's.
// "" when kept (`apart`: how far our cut line and the file's then stray
// from each other, mm), else why not.
std::string readAllowances(Piece* piece, const FilePiece& fp, PieceModel& pm, double& apart) {
    std::vector<std::pair<short, double>> widths;  // line, width
    std::string why;
    forEachOutlineLine(piece, [&](short li, const Polyline&) {
        double w[3];
        for (int k = 0; k < 3; ++k) {
            Pt p;
            pointAlongLine(piece, li, (k + 1) / 4.0, p.x, p.y);
            w[k] = 1e300;
            for (const Polyline& c : fp.cuts) w[k] = std::min(w[k], nearestOn(c, true, p).distance);
        }
        if (std::max({w[0], w[1], w[2]}) - std::min({w[0], w[1], w[2]}) > kFitMm && why.empty())
            why = "the cut line is not the sew line offset by one width along line " + std::to_string(li);
        widths.emplace_back(li, std::round(w[1] * 100) / 100);
    });
    if (!why.empty()) return why;
    if (widths.empty()) return "no outline line to measure";
    std::map<double, int> tally;
    for (const auto& [li, w] : widths) ++tally[w];
    const double common = std::max_element(tally.begin(), tally.end(), [](const auto& a, const auto& b) {
                              return a.second < b.second;
                          })->first;
    pm.seamAllowances = {Extwid{0, 0, static_cast<float>(common), static_cast<float>(common)}};
    for (const auto& [li, w] : widths) {
        if (w == common) continue;
        Line* l = nullptr;
        qpGetLineLptr(piece, li, &l);
        pm.seamAllowances.push_back(Extwid{l->firstPoint, static_cast<int16_t>(l->firstPoint + l->pointCount - 1),
                                           static_cast<float>(w), static_cast<float>(w)});
    }
    // Square cuts, best first, while one brings the two cut lines closer.
    double worst = cutDeviation(pm, fp.cuts);
    while (worst > kFitMm) {
        Cutangl best{0, 0, 0, 0};
        double bestWorst = worst - 1e-6;
        for (short k = 0; k < piece->pointCount; ++k) {
            Point* p = nullptr;
            qpGetPointLptr(piece, k, &p);
            if (!p || !isOutlineType(p->type) || (typeLetter(p->type) != 'K' && typeLetter(p->type) != 'S')) continue;
            for (int16_t side : {1, 2}) {
                pm.corners.push_back(Cutangl{side, k, 0, 0});
                const double d = cutDeviation(pm, fp.cuts);
                pm.corners.pop_back();
                if (d < bestWorst) bestWorst = d, best = Cutangl{side, k, 0, 0};
            }
        }
        if (best.side == 0) break;
        pm.corners.push_back(best);
        worst = bestWorst;
    }
    apart = worst;
    return "";
}

// The piece in our terms: chains, internal lines, and (once the outline is
// built) its notches and drill holes.
PieceModel pieceModel(const FilePiece& fp, Skips& skips, std::string& note) {
    PieceModel pm;
    pm.shorthand = true;
    pm.name = fp.name;
    pm.placement = fp.placement;
    const bool typed = !fp.turns.empty();
    for (const Polyline& o : fp.outlines) {
        if (o.size() < 3) continue;
        std::vector<ChainPoint> chain = typed ? chainFromPoints(o, fp) : fittedChain(o);
        if (chain.size() >= 2) pm.outline.push_back(std::move(chain));
    }
    for (const Polyline& l : fp.inner) {
        std::vector<ChainPoint> chain = innerChain(l, fp);
        if (chain.size() >= 2) pm.inner.push_back(std::move(chain));
    }
    if (pm.outline.empty()) return pm;
    PatternModel one;
    one.pieces.push_back(pm);
    PatternDoc doc = buildPattern(one, fp.name);
    Piece* piece = doc.piece(0);
    PieceHold hold(piece);
    int notches = 0;
    // A notch at `at` on the outline, running along `direction` (null: into
    // the piece) for `size` mm.
    const auto addNotch = [&](const Pt& at, const Pt* direction, double size) {
        const OnLine on = nearestOutlineLine(piece, at);
        if (on.line < 0) return;
        FileMark m;
        m.point = chainPoint('v', on.at);
        double relative = signedArea(fp.outlines.front()) >= 0 ? kQuarterTurn : -kQuarterTurn;
        if (direction)
            relative = std::round(std::remainder(std::atan2(direction->y, direction->x) - on.angle, 2 * M_PI) * 1000.0);
        if (size > 0) m.mark.size = static_cast<float>(size);
        m.mark.lineOut = static_cast<int16_t>(relative);
        m.mark.segCode = kNotchSegCode;
        m.mark.segValue = kNotchSegValue;
        m.mark.lineIndex = on.line;
        pm.marks.push_back(m);
        ++notches;
    };
    const auto toOutline = [&](const Pt& p) {
        Nearest best;
        for (const Polyline& o : fp.outlines) {
            const Nearest n = nearestOn(o, true, p);
            if (n.distance < best.distance) best = n;
        }
        return best;
    };
    int drills = 0;
    for (const FilePiece::Mark& mark : fp.marks) {
        if (mark.type == 'o') {
            FileMark m;
            m.point = chainPoint('o', mark.a);
            m.mark.segCode = kDrillSegCode;
            m.mark.segValue = kDrillSegValue;
            pm.marks.push_back(m);
            ++drills;
        } else if (!mark.line) {
            // A point (on the cut line, where there is one): the outline's
            // nearest place.
            addNotch(toOutline(mark.a).at, nullptr, 0);
        } else {
            // Ours start on the outline and run into the piece; others run
            // from the cut line in to the outline: the notch is where the
            // line, carried on, meets the outline.
            const Nearest na = toOutline(mark.a), nb = toOutline(mark.b);
            const Pt& near = na.distance <= nb.distance ? mark.a : mark.b;
            const Pt& far = na.distance <= nb.distance ? mark.b : mark.a;
            const double size = std::hypot(far.x - near.x, far.y - near.y);
            if (std::min(na.distance, nb.distance) <= kOnOutlineMm) {
                const Pt along{far.x - near.x, far.y - near.y};
                addNotch(near, &along, size);
            } else {
                const Pt along{near.x - far.x, near.y - far.y};
                Pt at = toOutline(near).at;
                double first = 1e300;
                for (const Polyline& o : fp.outlines)
                    for (size_t i = 0; i < o.size(); ++i) {
                        double t = 0;
                        if (rayHits(far, along, o[i], o[(i + 1) % o.size()], t) && t < first) {
                            first = t;
                            at = Pt{far.x + t * along.x, far.y + t * along.y};
                        }
                    }
                addNotch(at, &along, size);
            }
        }
    }
    std::string allowances;
    if (!fp.cuts.empty()) {
        double apart = 0;
        const std::string why = readAllowances(piece, fp, pm, apart);
        if (why.empty()) {
            char within[32];
            std::snprintf(within, sizeof within, "%.2f", apart);
            allowances = ", seam allowances of " + std::to_string(pm.seamAllowances.size()) + " widths and " +
                         std::to_string(pm.corners.size()) + " square corners from the cut line (the two cut lines " +
                         "within " + within + " mm of each other)";
        } else {
            pm.seamAllowances.clear();
            pm.corners.clear();
            allowances = "; the cut line was not kept: " + why;
        }
    }
    size_t turns = 0, curves = 0;
    for (const auto& chain : pm.outline)
        for (const ChainPoint& c : chain) (c.type == 'C' ? curves : turns)++;
    note = std::to_string(pm.outline.size()) + (pm.outline.size() == 1 ? " outline" : " outlines") + " (layer " +
           fp.outlineLayer + ", " + std::to_string(turns) + " turn and " + std::to_string(curves) +
           " curve points" + (typed ? " from layers 2 and 3" : ", fitted") + "), " +
           std::to_string(pm.inner.size()) + " internal lines, " + std::to_string(notches) + " notches, " +
           std::to_string(drills) + " drill holes" + allowances;
    if (fp.grain) skips.add("the grain line on layer 7 (the placement comes from the block's insert)");
    return pm;
}

}  // namespace

ImportResult importDrawing(const dxf::Drawing& drawing, double mmPerUnit, const std::string& file) {
    ImportResult result;
    Skips skips;
    std::vector<FilePiece> pieces;
    for (const dxf::Block& b : drawing.blocks) {
        FilePiece fp = pieceOfBlock(b, mmPerUnit, skips);
        if (fp.outlines.empty()) {
            skips.add("block " + b.name + " (no closed line on layers 1, 8 or 14)");
            continue;
        }
        pieces.push_back(std::move(fp));
    }
    // Plain: every outermost closed modelspace polyline a piece, the open
    // ones inside it its internal lines. Inside a piece, a closed polyline
    // of half its area or more is its sew line (the outer one its cut
    // line), a small one a drill hole, any other a closed internal line.
    std::vector<Polyline> rings;
    std::vector<const Entity*> open;
    for (const Entity& e : drawing.entities) {
        if (e.kind == Entity::kPolyline && e.closed && e.points.size() >= 3) {
            Polyline scaled;
            for (const Pt& p : e.points) scaled.push_back(Pt{p.x * mmPerUnit, p.y * mmPerUnit});
            rings.push_back(ring(scaled));
        } else if (e.kind == Entity::kPolyline) {
            open.push_back(&e);
        } else if (e.kind == Entity::kText) {
            skips.add("TEXT \"" + e.text + "\" in the modelspace");
        } else {
            skips.add(std::string(e.kind == Entity::kLine ? "LINE" : "POINT") + " on layer " + e.layer +
                      " in the modelspace");
        }
    }
    std::stable_sort(rings.begin(), rings.end(), [](const Polyline& a, const Polyline& b) {
        return std::fabs(signedArea(a)) > std::fabs(signedArea(b));
    });
    const size_t firstPlain = pieces.size();
    const auto outer = [](const FilePiece& fp) -> const Polyline& { return fp.cuts.empty() ? fp.outlines[0] : fp.cuts[0]; };
    for (Polyline& r : rings) {
        if (r.size() < 3) continue;
        FilePiece* owner = nullptr;
        for (size_t i = firstPlain; i < pieces.size(); ++i)
            if (inside(outer(pieces[i]), r.front())) owner = &pieces[i];
        if (!owner) {
            FilePiece fp;
            fp.name = "piece " + std::to_string(pieces.size());
            fp.outlines = {std::move(r)};
            pieces.push_back(std::move(fp));
            continue;
        }
        double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
        for (const Pt& p : r) minX = std::min(minX, p.x), minY = std::min(minY, p.y), maxX = std::max(maxX, p.x),
                                maxY = std::max(maxY, p.y);
        if (owner->cuts.empty() && std::fabs(signedArea(r)) >= 0.5 * std::fabs(signedArea(owner->outlines[0]))) {
            owner->cuts = {owner->outlines[0]};
            owner->outlines = {std::move(r)};
            owner->outlineLayer = "0 (the closed line inside the cut line)";
        } else if (std::max(maxX - minX, maxY - minY) <= kDrillExtentMm) {
            owner->marks.push_back({'o', Pt{(minX + maxX) / 2, (minY + maxY) / 2}, Pt{}, false});
        } else {
            r.push_back(r.front());
            owner->inner.push_back(std::move(r));
        }
    }
    for (const Entity* e : open) {
        Polyline scaled;
        for (const Pt& p : e->points) scaled.push_back(Pt{p.x * mmPerUnit, p.y * mmPerUnit});
        FilePiece* owner = nullptr;
        for (size_t i = firstPlain; i < pieces.size(); ++i)
            if (inside(outer(pieces[i]), scaled.front())) owner = &pieces[i];
        if (!owner) skips.add("open POLYLINE outside every piece in the modelspace");
        else if (!inside(owner->outlines[0], scaled.front())) skips.add("open POLYLINE outside a sew line (a notch?)");
        else owner->inner.push_back(std::move(scaled));
    }
    if (pieces.empty())
        throw UserError(file, "holds no piece: no block with a closed line on layer 1, 8 or 14, and no closed "
                              "polyline in the modelspace");
    for (size_t i = 0; i < pieces.size(); ++i) {
        std::string note;
        result.model.pieces.push_back(pieceModel(pieces[i], skips, note));
        result.notes.push_back("piece " + std::to_string(i) + " \"" + pieces[i].name + "\": " + note);
    }
    for (const auto& [kind, n] : drawing.skipped) skips.add(kind, n);
    skips.into(result.notes);
    return result;
}

int cmdImport(const std::string& dxfPath, const std::string& outPath, const std::string& units, std::ostream& out) {
    const dxf::Drawing drawing = dxf::readDrawing(dxfPath);
    double mmPerUnit = 1.0;
    std::string said = "mm (no units declared)";
    const auto unitOf = [&](const std::string& name) {
        if (name == "mm") return 1.0;
        if (name == "cm") return 10.0;
        if (name == "inch") return 25.4;
        throw UserError("--units", "\"" + name + "\" is not mm, cm or inch");
    };
    if (!units.empty()) {
        mmPerUnit = unitOf(units);
        said = units + " (--units)";
    } else if (drawing.insUnits == 4 || drawing.insUnits == 5 || drawing.insUnits == 1) {
        const std::string name = drawing.insUnits == 4 ? "mm" : drawing.insUnits == 5 ? "cm" : "inch";
        mmPerUnit = unitOf(name);
        said = name + " ($INSUNITS)";
    }
    ImportResult result = importDrawing(drawing, mmPerUnit, dxfPath);
    PatternDoc doc = buildPattern(result.model, dxfPath);
    for (int i = 0; i < doc.pieceCount(); ++i) {
        Piece* piece = doc.piece(i);
        placeSpecialPoints(piece);
        // A line that a notch lies on says so (flag 0x20), as the tools that
        // place notches leave it.
        for (short k = 0; k < piece->sPointCount; ++k) {
            SPoint* sp = nullptr;
            Point* p = nullptr;
            Line* l = nullptr;
            qpGetSPointLptr(piece, k, &sp);
            if (sp) qpGetPointLptr(piece, sp->pointIndex, &p);
            if (sp && sp->lineIndex >= 0) qpGetLineLptr(piece, sp->lineIndex, &l);
            if (p && l && typeLetter(p->type) == 'V') l->flags |= kNotchedLine;
        }
    }
    const std::string verdict = checkPattern(doc);
    if (!verdict.empty()) throw UserError(dxfPath, "the imported pattern fails the consistency check: " + verdict);
    writePatternFile(outPath, readPatternBack(doc));
    out << dxfPath << ": " << drawing.version << ", units " << said << "\n";
    for (const std::string& n : result.notes) out << "  " << n << "\n";
    out << "wrote " << outPath << " (" << doc.pieceCount() << " pieces, no formulas: it does not grade)\n";
    return 0;
}

}  // namespace host

// The change report (see change_report.h).
#include "host/change_report.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "frame/siblings.h"
#include "host/piece_geometry.h"

namespace host {

namespace {

struct PointInfo {
    char type = 0;
    double x = 0.0;
    double y = 0.0;
};

struct LineInfo {
    short index = 0;
    short first = 0;
    short last = 0;
    bool outline = true;
    double length = 0.0;
};

std::string at(const PointInfo& p, const Units& u) { return "(" + u.text(p.x) + ", " + u.text(p.y) + ")"; }

std::vector<PointInfo> pointsOf(Piece* piece) {
    std::vector<PointInfo> points;
    for (short i = 0; i < piece->pointCount; ++i) {
        PointInfo info;
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        info.type = p ? p->type : '?';
        pointPosition(piece, i, info.x, info.y);
        points.push_back(info);
    }
    return points;
}

// Outline lines: those of outline segments (code 1 or 3), or, unclaimed by
// any line segment, those starting at an upper-case point (the curve
// model's reading).
std::vector<LineInfo> linesOf(Piece* piece) {
    std::vector<int> code(static_cast<size_t>(std::max<short>(piece->lineCount, 0)), 0);
    for (short s = 0; s < piece->segCount; ++s) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, s, &seg);
        if (!seg || seg->markFlag) continue;
        for (int l = seg->firstLine; l < seg->firstLine + seg->lineCount; ++l)
            if (l >= 0 && l < piece->lineCount) code[static_cast<size_t>(l)] = seg->code;
    }
    std::vector<LineInfo> lines;
    for (short li = 0; li < piece->lineCount; ++li) {
        Line* l = nullptr;
        qpGetLineLptr(piece, li, &l);
        if (!l) continue;
        LineInfo info;
        info.index = li;
        info.first = l->firstPoint;
        info.last = static_cast<short>(l->firstPoint + l->pointCount - 1);
        const int c = code[static_cast<size_t>(li)];
        Point* p = nullptr;
        qpGetPointLptr(piece, l->firstPoint, &p);
        info.outline = c ? (c == 1 || c == 3) : (p && isOutlineType(p->type));
        info.length = lineLength(piece, li);
        lines.push_back(info);
    }
    return lines;
}

constexpr double kFarMove = 200.0;  // mm

bool samePlace(const PointInfo& a, const PointInfo& b) {
    return std::fabs(a.x - b.x) < kChangeTolerance && std::fabs(a.y - b.y) < kChangeTolerance;
}

// Aligns the two point lists in order (an edit distance): a point kept in
// place costs 0, one moved with its type letter 0.1 and up to 0.9 more the
// further it went (full at kFarMove), one that changed its type letter 0.95,
// an added or removed one 1. So a point inserted in a run of moved points is
// found where it went in, not by shifting every later point onto its
// neighbour. match[i] = the after-index of before point i, or -1 when it was
// removed.
std::vector<int> alignPoints(const std::vector<PointInfo>& b, const std::vector<PointInfo>& a) {
    const size_t n = b.size(), m = a.size();
    std::vector<double> cost((n + 1) * (m + 1), 0.0);
    auto c = [&](size_t i, size_t j) -> double& { return cost[i * (m + 1) + j]; };
    auto pair = [&](size_t i, size_t j) {
        if (typeLetter(b[i].type) != typeLetter(a[j].type)) return 0.95;
        if (samePlace(b[i], a[j])) return 0.0;
        return 0.1 + 0.8 * std::min(1.0, std::hypot(b[i].x - a[j].x, b[i].y - a[j].y) / kFarMove);
    };
    for (size_t i = 0; i <= n; ++i) c(i, 0) = static_cast<double>(i);
    for (size_t j = 0; j <= m; ++j) c(0, j) = static_cast<double>(j);
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j)
            c(i, j) = std::min({c(i - 1, j - 1) + pair(i - 1, j - 1), c(i - 1, j) + 1.0, c(i, j - 1) + 1.0});
    std::vector<int> match(n, -1);
    auto near = [](double u, double v) { return std::fabs(u - v) < 1e-9; };
    size_t i = n, j = m;
    // On a tie the later point is the added one: a twin goes in after its
    // original.
    while (i > 0 && j > 0) {
        if (near(c(i, j), c(i, j - 1) + 1.0)) {
            --j;
        } else if (near(c(i, j), c(i - 1, j - 1) + pair(i - 1, j - 1))) {
            match[i - 1] = static_cast<int>(j - 1);
            --i;
            --j;
        } else {
            --i;
        }
    }
    return match;
}

// Pairs lines of the same kind: first those whose two ends are the same
// points (as the points are paired: afterOf[before point] = its after point,
// -1 when gone), then the rest by the distance between their end points,
// nearest first, as long as that is below kLineReach or half the line's
// length: a line whose ends went further was not kept, it was replaced.
// pairOf[k] = the after line of before line k, or -1.
constexpr double kLineReach = 25.0;  // mm

std::vector<int> pairLines(const std::vector<LineInfo>& bl, const std::vector<PointInfo>& bp,
                           const std::vector<LineInfo>& al, const std::vector<PointInfo>& ap,
                           const std::vector<int>& afterOf) {
    struct Candidate {
        bool same;
        double distance;
        size_t before, after;
    };
    auto gap = [](const PointInfo& p, const PointInfo& q) { return std::hypot(p.x - q.x, p.y - q.y); };
    const auto in = [](const std::vector<PointInfo>& ps, short i) {
        return i >= 0 && static_cast<size_t>(i) < ps.size() ? ps[static_cast<size_t>(i)] : PointInfo{};
    };
    const auto same = [&](short b, short a) {
        return b >= 0 && static_cast<size_t>(b) < afterOf.size() && afterOf[static_cast<size_t>(b)] == a;
    };
    std::vector<Candidate> all;
    for (size_t k = 0; k < bl.size(); ++k)
        for (size_t j = 0; j < al.size(); ++j) {
            if (bl[k].outline != al[j].outline) continue;
            const bool ends = same(bl[k].first, al[j].first) && same(bl[k].last, al[j].last);
            const double d =
                gap(in(bp, bl[k].first), in(ap, al[j].first)) + gap(in(bp, bl[k].last), in(ap, al[j].last));
            if (ends || d <= std::max(kLineReach, bl[k].length / 2)) all.push_back(Candidate{ends, d, k, j});
        }
    std::stable_sort(all.begin(), all.end(), [](const Candidate& x, const Candidate& y) {
        return x.same != y.same ? x.same : x.distance < y.distance;
    });
    std::vector<int> pairOf(bl.size(), -1);
    std::vector<bool> taken(al.size(), false);
    for (const Candidate& cd : all) {
        if (pairOf[cd.before] >= 0 || taken[cd.after]) continue;
        pairOf[cd.before] = static_cast<int>(cd.after);
        taken[cd.after] = true;
    }
    return pairOf;
}

// The bounding box of a piece's points.
struct Extent {
    double minX = 1e30, minY = 1e30, maxX = -1e30, maxY = -1e30;
    double area() const { return maxX > minX && maxY > minY ? (maxX - minX) * (maxY - minY) : 0.0; }
};

Extent extentOf(Piece* piece) {
    Extent e;
    for (short i = 0; piece && i < piece->pointCount; ++i) {
        double x = 0, y = 0;
        if (!pointPosition(piece, i, x, y)) continue;
        e.minX = std::min(e.minX, x);
        e.minY = std::min(e.minY, y);
        e.maxX = std::max(e.maxX, x);
        e.maxY = std::max(e.maxY, y);
    }
    return e;
}

std::string lineName(const LineInfo& l) {
    return std::string(l.outline ? "outline" : "inner") + " line " + std::to_string(l.index) + " (points " +
           std::to_string(l.first) + ".." + std::to_string(l.last) + ")";
}

}  // namespace

std::vector<int> pairPieces(const PatternDoc& before, const PatternDoc& after, const EditTrace* trace) {
    const int nb = before.pieceCount(), na = after.pieceCount();
    std::vector<int> pairOf(static_cast<size_t>(na), -1);
    std::vector<bool> taken(static_cast<size_t>(nb), false);
    auto pair = [&](int a, int b) {
        pairOf[static_cast<size_t>(a)] = b;
        taken[static_cast<size_t>(b)] = true;
    };
    // A piece the trace followed is what it says; one it saw the run make
    // pairs with nothing.
    std::vector<bool> made(static_cast<size_t>(na), false);
    for (int a = 0; trace && a < na; ++a)
        if (const PieceOrigin* o = trace->origin(after, a)) {
            if (o->piece < 0) made[static_cast<size_t>(a)] = true;
            else if (o->piece < nb && !taken[static_cast<size_t>(o->piece)]) pair(a, o->piece);
        }
    // A name that one piece on each side has.
    auto only = [](const PatternDoc& doc, const std::string& name) {
        int found = -1;
        for (int i = 0; i < doc.pieceCount(); ++i)
            if (doc.pieceName(i) == name) found = found < 0 ? i : -2;
        return found;
    };
    for (int a = 0; a < na; ++a) {
        if (pairOf[static_cast<size_t>(a)] >= 0 || made[static_cast<size_t>(a)] ||
            after.names.size() <= static_cast<size_t>(a) || after.names[static_cast<size_t>(a)].empty())
            continue;
        const std::string& name = after.names[static_cast<size_t>(a)];
        const int b = only(before, name);
        if (b >= 0 && only(after, name) == a && !taken[static_cast<size_t>(b)]) pair(a, b);
    }
    // The rest by their extents: the largest overlap first, at least half
    // of the two boxes' union.
    struct Overlap {
        double share;
        int a, b;
    };
    std::vector<Overlap> overlaps;
    for (int a = 0; a < na; ++a) {
        if (pairOf[static_cast<size_t>(a)] >= 0 || made[static_cast<size_t>(a)]) continue;
        const Extent ea = extentOf(after.piece(a));
        for (int b = 0; b < nb; ++b) {
            if (taken[static_cast<size_t>(b)]) continue;
            const Extent eb = extentOf(before.piece(b));
            Extent both{std::max(ea.minX, eb.minX), std::max(ea.minY, eb.minY), std::min(ea.maxX, eb.maxX),
                        std::min(ea.maxY, eb.maxY)};
            const double common = both.area(), all = ea.area() + eb.area() - common;
            if (all > 0 && common / all >= 0.5) overlaps.push_back(Overlap{common / all, a, b});
        }
    }
    std::stable_sort(overlaps.begin(), overlaps.end(),
                     [](const Overlap& x, const Overlap& y) { return x.share > y.share; });
    for (const Overlap& o : overlaps)
        if (pairOf[static_cast<size_t>(o.a)] < 0 && !taken[static_cast<size_t>(o.b)]) pair(o.a, o.b);
    return pairOf;
}

std::string pieceChangeReport(const PatternDoc& before, int bi, const PatternDoc& after, int ai,
                              const PieceOrigin* origin, const Units& u) {
    std::ostringstream o;
    const auto mm = [&u](double v) { return u.text(v); };
    const std::string unit = u.length();
    Piece* b = before.piece(bi);
    Piece* a = after.piece(ai);
    const std::string name = (bi == ai || !a || !b ? "piece " + std::to_string(a ? ai : bi)
                                                   : "piece " + std::to_string(bi) + " -> " + std::to_string(ai)) +
                             " \"" + (a ? after.pieceName(ai) : before.pieceName(bi)) + "\"";
    if (!a && !b) return "";
    if (!a) return name + ": removed by the run\n";
    const std::vector<PointInfo> ap = pointsOf(a);
    const std::vector<LineInfo> al = linesOf(a);
    if (!b) {
        o << name << ": added by the run, " << ap.size() << " points, outline " << mm(outlineLength(a)) << " " << unit
          << "\n";
        for (const LineInfo& l : al) o << "  " << lineName(l) << ": " << mm(l.length) << " " << unit << "\n";
        return o.str();
    }
    const std::vector<PointInfo> bp = pointsOf(b);
    const std::vector<LineInfo> bl = linesOf(b);
    // Each point before, the point it is after: as the store renumbered it,
    // or found by the alignment.
    std::vector<int> match;
    if (origin) {
        match.assign(bp.size(), -1);
        for (size_t j = 0; j < origin->points.size(); ++j) {
            const int i = origin->points[j];
            if (i >= 0 && static_cast<size_t>(i) < bp.size()) match[static_cast<size_t>(i)] = static_cast<int>(j);
        }
    } else {
        match = alignPoints(bp, ap);
    }
    const std::vector<int> pairOf = pairLines(bl, bp, al, ap, match);

    std::vector<std::string> moved, removed, added;
    std::vector<bool> reached(ap.size(), false);
    for (size_t i = 0; i < bp.size(); ++i) {
        const int j = match[i];
        if (j < 0) {
            removed.push_back(std::to_string(i) + " " + bp[i].type + " " + at(bp[i], u));
            continue;
        }
        reached[static_cast<size_t>(j)] = true;
        const PointInfo& q = ap[static_cast<size_t>(j)];
        if (!samePlace(bp[i], q) || bp[i].type != q.type) {
            const double d = std::hypot(q.x - bp[i].x, q.y - bp[i].y);
            moved.push_back(std::to_string(i) + " -> " + std::to_string(j) + " " + bp[i].type +
                            (bp[i].type != q.type ? std::string("->") + q.type : std::string()) + " " +
                            at(bp[i], u) + " -> " + at(q, u) + ", " + mm(d) + " " + unit);
        }
    }
    for (size_t j = 0; j < ap.size(); ++j)
        if (!reached[j]) added.push_back(std::to_string(j) + " " + ap[j].type + " " + at(ap[j], u));

    bool linesSame = bl.size() == al.size();
    for (size_t k = 0; linesSame && k < bl.size(); ++k)
        linesSame = pairOf[k] == static_cast<int>(k) && bl[k].first == al[k].first && bl[k].last == al[k].last &&
                    std::fabs(bl[k].length - al[k].length) < kChangeTolerance;
    const double ob = outlineLength(b), oa = outlineLength(a);
    if (moved.empty() && removed.empty() && added.empty() && linesSame) {
        o << name << ": unchanged (" << bp.size() << " points, " << bl.size() << " lines, outline " << mm(ob) << " "
          << unit << ")\n";
        return o.str();
    }
    o << name << ": " << bp.size() << " -> " << ap.size() << " points, " << bl.size() << " -> " << al.size()
      << " lines\n";
    o << "  points paired "
      << (origin ? "as the store renumbered them" : "by their places (the run's edits were not followed)") << "\n";
    o << "  outline length: " << mm(ob) << " -> " << mm(oa) << " " << unit << " ("
      << u.signedText(oa - ob, kChangeTolerance) << ")\n";
    o << "  lines (before -> after: length before -> after, difference, " << unit << "):\n";
    std::vector<bool> paired(al.size(), false);
    for (size_t k = 0; k < bl.size(); ++k) {
        if (pairOf[k] < 0) {
            o << "    " << lineName(bl[k]) << ": " << mm(bl[k].length) << " -> removed\n";
            continue;
        }
        const LineInfo& l = al[static_cast<size_t>(pairOf[k])];
        paired[static_cast<size_t>(pairOf[k])] = true;
        o << "    " << lineName(bl[k]) << " -> " << l.index << " (points " << l.first << ".." << l.last
          << "): " << mm(bl[k].length) << " -> " << mm(l.length) << " ("
          << u.signedText(l.length - bl[k].length, kChangeTolerance) << ")\n";
    }
    for (size_t j = 0; j < al.size(); ++j)
        if (!paired[j]) o << "    new " << lineName(al[j]) << ": " << mm(al[j].length) << "\n";
    auto list = [&](const char* what, const std::vector<std::string>& items) {
        o << "  points " << what << ": " << (items.empty() ? "none" : std::to_string(items.size())) << "\n";
        for (const std::string& s : items) o << "    " << s << "\n";
    };
    list("moved (before -> after)", moved);
    list("added", added);
    list("removed", removed);
    return o.str();
}

std::string changeReport(const PatternDoc& before, const PatternDoc& after, const EditTrace* trace,
                         const Units& units) {
    std::string text;
    const std::vector<int> pairOf = pairPieces(before, after, trace);
    std::vector<bool> reported(static_cast<size_t>(before.pieceCount()), false);
    for (int a = 0; a < after.pieceCount(); ++a) {
        const int b = pairOf[static_cast<size_t>(a)];
        if (b >= 0) reported[static_cast<size_t>(b)] = true;
        const PieceOrigin* origin = trace ? trace->origin(after, a) : nullptr;
        text += pieceChangeReport(before, b, after, a, origin && origin->piece == b ? origin : nullptr, units);
    }
    for (int b = 0; b < before.pieceCount(); ++b)
        if (!reported[static_cast<size_t>(b)]) text += pieceChangeReport(before, b, after, -1, nullptr, units);
    return text;
}

}  // namespace host

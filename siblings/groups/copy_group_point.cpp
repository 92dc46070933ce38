// Qpkit4: qpCopyGroupPoint, copying a run of points from one piece into
// another (or the same) piece, each copy with its own coordinate and, where
// formulas are kept, its own Formula with copies of its texts.
//
// The source points first..last are taken in that order (descending when
// first > last). Everything the copies need is read before the first one is
// made, because making them may move the source piece.
//
// Modes:
//   1, 0x11  append: the copies go after the destination's last point (the
//            `after` argument is not needed), as new chains in new segments
//            that take the code, value and mark flag of the source segments;
//            consecutive copies whose sources are neighbours on one source
//            line are joined by a line of that line's kind. A chain's first
//            copy becomes S, its last K, copies where two copied lines meet
//            K, inner copies keep C or M, all in the source's case; so a
//            two-point part of an inner line arrives as an s..k line. Marks
//            keep their type and codes and get copies of their SPoints.
//   48, 16   insert: copy k goes after destination point after + k (after =
//            -1: at the start), with lines of its own and a tie to point
//            `after`; the rules are listed in store_extras.h. Marks cannot
//            be inserted.
// Formulas: the copies carry formulas when the destination does, or when it
// is empty and the source does. A source without formulas gives its copies
// texts that hold their coordinates as constants; a destination with points
// but no formulas stays without.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "siblings/records/store_internals.h"

namespace {

bool isCurveType(char type) {
    char t = typeLetter(type);
    return t == 'C' || t == 'M';
}

// What one source point brings along.
struct Source {
    int index = -1;
    Point point{};
    Coord coord{};
    bool hasFormula = false;
    Formula formula{};
    std::string xText, yText;  // with their terminating zero
    bool hasSeg = false;
    Seg seg{};
    std::vector<SPoint> spoints;
};

std::string textAt(Piece* piece, int offset, int length) {
    short n = 0;
    char* area = nullptr;
    qpGetCharLptr(piece, &n, &area);
    if (area == nullptr || offset < 0 || length < 1 || offset + length > n || area[offset + length - 1] != 0)
        return "";
    return std::string(area + offset, static_cast<size_t>(length));
}

// The SPoints of each source point, gathered in one pass (in SPoint order).
struct SPointsByPoint {
    int low = 0;
    std::vector<std::vector<SPoint>> of;  // by point index - low
    SPointsByPoint(Piece* piece, int low_, int high) : low(low_), of(static_cast<size_t>(high - low_ + 1)) {
        for (int k = 0; k < piece->sPointCount; ++k) {
            SPoint* sp = nullptr;
            qpGetSPointLptr(piece, static_cast<short>(k), &sp);
            if (sp != nullptr && sp->pointIndex >= low && sp->pointIndex <= high)
                of[static_cast<size_t>(sp->pointIndex - low)].push_back(*sp);
        }
    }
};

Source readSource(Piece* piece, int i, const SPointsByPoint& spoints) {
    Source s;
    s.index = i;
    Point* p = nullptr;
    qpGetPointLptr(piece, static_cast<short>(i), &p);
    s.point = *p;
    Coord* c = nullptr;
    if (p->coordIndex >= 0 && p->coordIndex < piece->coordCount) qpGetCoordLptr(piece, p->coordIndex, &c);
    if (c != nullptr) s.coord = *c;
    if (piece->formulaCount > 0 && p->formulaIndex >= 0 && p->formulaIndex < piece->formulaCount) {
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, p->formulaIndex, &f);
        s.formula = *f;
        s.xText = textAt(piece, f->xTextOffset, f->xTextLength);
        s.yText = textAt(piece, f->yTextOffset, f->yTextLength);
        s.hasFormula = !s.xText.empty() && !s.yText.empty();
    }
    Seg* g = nullptr;
    if (p->segIndex >= 0 && p->segIndex < piece->segCount) qpGetSegLptr(piece, p->segIndex, &g);
    if (g != nullptr) {
        s.hasSeg = true;
        s.seg = *g;
    }
    s.spoints = spoints.of[static_cast<size_t>(i - spoints.low)];
    return s;
}

// The source line on which two points are neighbours: the first line (in
// line order) of two points or more that holds both. Read once per line for
// the stretches low..high of the copied range.
class SharedLines {
public:
    SharedLines(const std::vector<Line>& lines, int low, int high)
        : low_(low), first_(static_cast<size_t>(high - low + 1), -1) {
        for (size_t L = 0; L < lines.size(); ++L) {
            if (lines[L].pointCount < 2) continue;
            const int from = std::max<int>(lines[L].firstPoint, low);
            const int to = std::min<int>(lines[L].firstPoint + lines[L].pointCount - 2, high);
            for (int k = from; k <= to; ++k)
                if (first_[static_cast<size_t>(k - low)] < 0) first_[static_cast<size_t>(k - low)] = static_cast<int>(L);
        }
    }
    // The line on which points a and b are neighbours, -1 if none.
    int operator()(const Source& a, const Source& b) const {
        if (isMarkType(a.point.type) || isMarkType(b.point.type)) return -1;
        int low = a.index < b.index ? a.index : b.index;
        int high = a.index < b.index ? b.index : a.index;
        if (high != low + 1 || low < low_ || low - low_ >= static_cast<int>(first_.size())) return -1;
        return first_[static_cast<size_t>(low - low_)];
    }

private:
    int low_;
    std::vector<int> first_;  // per stretch k, k + 1 from low_
};

// A coordinate as formula text, with its terminating zero.
std::string constantText(float millimetres) {
    char text[48];
    storeCoordinateText(millimetres, text, sizeof text);
    return std::string(text) + '\0';
}

// Gives destination points p0, p0 + 1, ... their own Coords (from
// sources[k]) and, when wanted, their own Formulas with their texts: the
// records one giving after another would append, with one move of the
// block per kind (the texts follow one by one, in the same order).
void giveCoordsAndFormulas(PatternBuffer* pattern, Piece* piece, int p0, const std::vector<Source>& sources,
                           bool formulas) {
    const int n = static_cast<int>(sources.size());
    if (n == 0) return;
    const int c0 = piece->coordCount, f0 = piece->formulaCount;
    storeIncreaseCoords(pattern, piece, static_cast<short>(n));
    if (formulas) storeIncreaseFormulas(pattern, piece, static_cast<short>(n));
    for (int k = 0; k < n; ++k) {
        const Source& s = sources[static_cast<size_t>(k)];
        Point* point = nullptr;
        qpGetPointLptr(piece, static_cast<short>(p0 + k), &point);
        point->coordIndex = static_cast<int16_t>(c0 + k);
        point->formulaIndex = static_cast<int16_t>(formulas ? f0 + k : -1);
        Coord* c = nullptr;
        qpGetCoordLptr(piece, static_cast<short>(c0 + k), &c);
        c->pointIndex = static_cast<int16_t>(p0 + k);
        c->x = s.coord.x;
        c->y = s.coord.y;
        if (!formulas) continue;
        c->formulaIndex = static_cast<int16_t>(f0 + k);
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, static_cast<short>(f0 + k), &f);
        if (s.hasFormula) *f = s.formula;
    }
    for (int k = 0; formulas && k < n; ++k) {
        const Source& s = sources[static_cast<size_t>(k)];
        const std::string x = s.hasFormula ? s.xText : constantText(s.coord.x);
        const std::string y = s.hasFormula ? s.yText : constantText(s.coord.y);
        short xOffset = -1, yOffset = -1;
        char* text = nullptr;
        qpIncreaseString(pattern, piece, static_cast<short>(x.size()), &xOffset, &text);
        std::memcpy(text, x.data(), x.size());
        qpIncreaseString(pattern, piece, static_cast<short>(y.size()), &yOffset, &text);
        std::memcpy(text, y.data(), y.size());
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, static_cast<short>(f0 + k), &f);
        f->xTextOffset = xOffset;
        f->xTextLength = static_cast<int16_t>(x.size());
        f->yTextOffset = yOffset;
        f->yTextLength = static_cast<int16_t>(y.size());
    }
}

Seg* segAt(Piece* piece, int s) {
    Seg* g = nullptr;
    qpGetSegLptr(piece, static_cast<short>(s), &g);
    return g;
}

// A new destination segment like the source's; returns its index.
int newSegmentLike(PatternBuffer* pattern, Piece* piece, const Source& s) {
    Seg* g = nullptr;
    qpIncreaseSegment(pattern, piece, &g);
    bool upper = isOutlineType(s.point.type);
    g->code = s.hasSeg ? s.seg.code : static_cast<int16_t>(upper ? 1 : 2);
    g->value = s.hasSeg ? s.seg.value : static_cast<int16_t>(upper ? 0 : 14);
    if (isMarkType(s.point.type) || (s.hasSeg && s.seg.markFlag != 0)) {
        g->markFlag = s.hasSeg && s.seg.markFlag != 0 ? s.seg.markFlag : 1;
        g->firstLine = piece->sPointCount;
    }
    return piece->segCount - 1;
}

// The points the append mode makes, held here until the last copy and then
// written behind the destination's points in one go. A point appended at
// the end moves no index, so the piece is what one qpIncreasePoint after
// another leaves, given the one thing those calls meet on the way: a line
// opened meanwhile renumbers the lines of the points made before it.
class MadePoints {
public:
    explicit MadePoints(const Piece* piece) : base_(piece->pointCount), highest_(storeHighestLineRef(piece)) {}
    // What qpIncreasePoint(seg, owner, kind) makes and does to its owner;
    // returns the new point's index.
    int make(Piece* piece, int seg, int owner, int kind) {
        const int n = base_ + static_cast<int>(points_.size());
        points_.push_back(storeNewPoint(piece, static_cast<short>(seg), static_cast<short>(owner),
                                        static_cast<short>(kind), n));
        return n;
    }
    // The point made last: the only one its caller writes after making it,
    // so every point before it is final (lineOpened relies on that).
    Point& last() { return points_.back(); }
    // shiftLineRefs(at, +1) of qpIncreaseLine, on the points made so far.
    // The highest line held by the final points is kept as they come, so
    // that a copy opening a line per few points does not walk them all per
    // line: they are walked only when one holds a line at or above `at`.
    void lineOpened(int at) {
        if (points_.empty()) return;
        while (final_ + 1 < points_.size()) holdsLines(points_[final_++]);
        if (highestHeld_ >= at) {
            highestHeld_ = -1;
            for (size_t i = 0; i < final_; ++i) {
                shift(points_[i], at);
                holdsLines(points_[i]);
            }
        }
        shift(points_.back(), at);
    }
    // Writes the points behind the destination's.
    void place(PatternBuffer* pattern, Piece* piece) {
        if (points_.empty()) return;
        Point* first = storeOpenPoints(pattern, piece, static_cast<short>(points_.size()));
        std::memcpy(first, points_.data(), points_.size() * sizeof(Point));
    }

    // The highest line any point of the piece holds, for storeIncreaseLineAbove.
    int* highest() { return &highest_; }

private:
    static void shift(Point& p, int at) {
        if (isMarkType(p.type)) return;
        if (p.lineIn >= at) ++p.lineIn;
        if (p.lineOut >= at) ++p.lineOut;
    }
    void holdsLines(const Point& p) {
        if (isMarkType(p.type)) return;
        highestHeld_ = std::max<int>(highestHeld_, std::max(p.lineIn, p.lineOut));
    }

    int base_;
    int highest_;
    std::vector<Point> points_;
    size_t final_ = 0;      // points_[0, final_) are in highestHeld_
    int highestHeld_ = -1;  // the highest line a final non-mark point holds
};

int newLine(PatternBuffer* pattern, Piece* piece, int s, int16_t kind, MadePoints& made) {
    Line* l = nullptr;
    storeIncreaseLineAbove(pattern, piece, segAt(piece, s), made.highest(), &l);
    l->kind = kind;
    Seg* g = segAt(piece, s);
    const int at = g->firstLine + g->lineCount - 1;
    made.lineOpened(at);
    return at;
}

void appendMark(PatternBuffer* pattern, Piece* piece, int s, const Source& src, MadePoints& points) {
    std::vector<int> made;  // the copies of the source's SPoints
    for (const SPoint& sp : src.spoints) {
        SPoint* copy = nullptr;
        qpIncreaseSPoint(pattern, piece, segAt(piece, s), &copy);
        *copy = sp;
        // A line index means nothing in another piece's numbering.
        if (copy->lineIndex >= piece->lineCount) copy->lineIndex = -1;
        Seg* g = segAt(piece, s);
        made.push_back(g->firstLine + g->lineCount - 1);
    }
    const int index = points.make(piece, s, made.empty() ? -1 : made.front(), 1);
    Point& p = points.last();
    p.type = src.point.type;
    p.lineIn = src.point.lineIn;
    p.lineOut = src.point.lineOut;
    for (int k : made) {
        SPoint* sp = nullptr;
        qpGetSPointLptr(piece, static_cast<short>(k), &sp);
        sp->pointIndex = static_cast<int16_t>(index);
    }
}

void appendCopies(PatternBuffer* pattern, Piece* piece, const std::vector<Source>& sources,
                  const std::vector<Line>& srcLines, const SharedLines& sharedLine, bool formulas) {
    size_t n = sources.size();
    // joined[k]: the source line that joins copy k - 1 to copy k, or -1.
    std::vector<int> joined(n, -1);
    for (size_t k = 1; k < n; ++k) {
        bool sameSeg = sources[k].point.segIndex == sources[k - 1].point.segIndex;
        if (sameSeg) joined[k] = sharedLine(sources[k - 1], sources[k]);
    }
    MadePoints made(piece);
    const int first = piece->pointCount;
    int seg = -1;
    int line = -1;
    for (size_t k = 0; k < n; ++k) {
        const Source& src = sources[k];
        if (k == 0 || src.point.segIndex != sources[k - 1].point.segIndex ||
            isMarkType(src.point.type) != isMarkType(sources[k - 1].point.type)) {
            seg = newSegmentLike(pattern, piece, src);
            line = -1;
        }
        if (isMarkType(src.point.type)) {
            appendMark(pattern, piece, seg, src, made);
            continue;
        }
        int in = joined[k];
        int out = k + 1 < n ? joined[k + 1] : -1;
        bool startsLine = out >= 0 && in != out;
        bool upper = isOutlineType(src.point.type);
        char letter;
        if (in < 0 && out < 0) letter = typeLetter(src.point.type) == 'S' ? 'S' : 'K';
        else if (in < 0) letter = 'S';
        else if (out < 0) letter = 'K';
        else if (in == out) letter = isCurveType(src.point.type) ? typeLetter(src.point.type) : 'C';
        else letter = 'K';

        int lineIn = -1, lineOut = -1;
        if (in >= 0) {
            lineIn = line;
        } else if (out >= 0) {
            line = newLine(pattern, piece, seg, srcLines[static_cast<size_t>(out)].kind, made);
        } else {
            line = -1;
        }
        const int index = made.make(piece, seg, line, 0);
        if (in >= 0 && startsLine) {
            // The copy where two copied lines meet also starts the next one.
            line = newLine(pattern, piece, seg, srcLines[static_cast<size_t>(out)].kind, made);
            Line* l = nullptr;
            qpGetLineLptr(piece, static_cast<short>(line), &l);
            l->firstPoint = static_cast<int16_t>(index);
            l->pointCount = 1;
        }
        if (out >= 0) lineOut = line;
        Point& p = made.last();
        p.type = upper ? letter : static_cast<char>(letter | 0x20);
        p.lineIn = static_cast<int16_t>(lineIn);
        p.lineOut = static_cast<int16_t>(lineOut);
    }
    made.place(pattern, piece);
    giveCoordsAndFormulas(pattern, piece, first, sources, formulas);
}

// The line that holds the stretch i..i + 1 of the piece, -1 if none.
int lineHolding(Piece* piece, int i) {
    if (i < 0 || i + 1 >= piece->pointCount) return -1;
    for (int k = 0; k < piece->lineCount; ++k) {
        Line* l = nullptr;
        qpGetLineLptr(piece, static_cast<short>(k), &l);
        if (l->pointCount >= 2 && l->firstPoint <= i && i < l->firstPoint + l->pointCount - 1) return k;
    }
    return -1;
}

// Where a new line of segment s that starts at point `start` goes: after
// every line that starts before it, kept inside the segment's range.
int linePositionFor(Piece* piece, int s, int start) {
    int at = 0;
    for (int k = 0; k < piece->lineCount; ++k) {
        Line* l = nullptr;
        qpGetLineLptr(piece, static_cast<short>(k), &l);
        if (l->firstPoint < start) at = k + 1;
    }
    Seg* g = segAt(piece, s);
    if (g->lineCount > 0) {
        if (at < g->firstLine) at = g->firstLine;
        if (at > g->firstLine + g->lineCount) at = g->firstLine + g->lineCount;
    }
    return at;
}

// A new line of segment s from point `first`, `count` points, of `kind`;
// the ends' lineOut and lineIn and the inner points are the caller's.
int insertLineAt(PatternBuffer* pattern, Piece* piece, int s, int first, int count, int16_t kind) {
    int at = linePositionFor(piece, s, first);
    Line* l = nullptr;
    storeInsertLine(pattern, piece, static_cast<short>(s), static_cast<short>(at), &l);
    if (l == nullptr) return -1;
    l->kind = kind;
    l->firstPoint = static_cast<int16_t>(first);
    l->pointCount = static_cast<int16_t>(count);
    return at;
}

// A line that copies make, from copy k to copy end, of the source line j;
// `line` is where it went.
struct CopiedLine {
    int k = 0, end = 0, j = 0;
    int line = -1;
};

// Inserts the lines of `copied` (copies from point f on, in rising order)
// where one insertLineAt after another would put them, with one
// renumbering; tieLine follows. false, with nothing changed, when the store
// refuses the batch (the caller then inserts them one by one).
bool insertCopiedLines(PatternBuffer* pattern, Piece* piece, int s, int f, std::vector<CopiedLine>& copied,
                       const std::vector<Line>& srcLines, int& tieLine) {
    if (copied.empty()) return true;
    // linePositionFor of each start on the lines as they will be: after the
    // last line that starts before it (old lines, or the previous new one,
    // which starts before it too), kept inside the segment's range.
    const int count = piece->lineCount;
    std::vector<int> lowestFrom(static_cast<size_t>(count) + 1, 0);  // min firstPoint of lines k..
    for (int k = count - 1; k >= 0; --k) {
        Line* l = nullptr;
        qpGetLineLptr(piece, static_cast<short>(k), &l);
        lowestFrom[static_cast<size_t>(k)] =
            k == count - 1 ? l->firstPoint : std::min<int>(l->firstPoint, lowestFrom[static_cast<size_t>(k) + 1]);
    }
    Seg* g = segAt(piece, s);
    int gFirst = g->firstLine, gCount = g->lineCount;
    std::vector<short> at(copied.size());
    int lastOld = -1;  // the last old line that starts before the start
    for (size_t r = 0; r < copied.size(); ++r) {
        const int start = f + copied[r].k;
        while (lastOld + 1 < count && lowestFrom[static_cast<size_t>(lastOld) + 1] < start) ++lastOld;
        int last = lastOld;
        if (r > 0) {
            const int oldBeforePrevious = at[r - 1] - static_cast<int>(r - 1);
            last = lastOld >= oldBeforePrevious ? lastOld + static_cast<int>(r) : at[r - 1];
        }
        int position = last + 1;
        if (gCount > 0) position = std::min(std::max(position, gFirst), gFirst + gCount);
        at[r] = static_cast<short>(position);
        const int had = gFirst;
        if (gFirst >= position) ++gFirst;
        if (gCount == 0 || position <= had) gFirst = position;
        ++gCount;
    }
    if (storeInsertLines(pattern, piece, static_cast<short>(s), static_cast<short>(at.size()), at.data()) == 0)
        return false;
    for (size_t r = 0; r < copied.size(); ++r) {
        CopiedLine& c = copied[r];
        c.line = at[r];
        Line* l = nullptr;
        qpGetLineLptr(piece, at[r], &l);
        l->kind = srcLines[static_cast<size_t>(c.j)].kind;
        l->firstPoint = static_cast<int16_t>(f + c.k);
        l->pointCount = static_cast<int16_t>(c.end - c.k + 1);
        if (tieLine >= at[r]) ++tieLine;
    }
    return true;
}

void setLines(Piece* piece, int p, int lineIn, int lineOut) {
    Point* pt = nullptr;
    qpGetPointLptr(piece, static_cast<short>(p), &pt);
    pt->lineIn = static_cast<int16_t>(lineIn);
    pt->lineOut = static_cast<int16_t>(lineOut);
}

void insertCopies(PatternBuffer* pattern, Piece* piece, int after, const std::vector<Source>& sources,
                  const std::vector<Line>& srcLines, const SharedLines& sharedLine, bool formulas) {
    const int n = static_cast<int>(sources.size());
    // What the copies land between, read before the first insert.
    const int held = lineHolding(piece, after);
    bool tie = false;
    if (after >= 0) {
        Point* a = nullptr;
        qpGetPointLptr(piece, static_cast<short>(after), &a);
        tie = a != nullptr && !isMarkType(a->type) && a->segIndex >= 0 && a->segIndex < piece->segCount;
    }
    // The copies, as one qpInsertPoint after another would make them: each
    // takes the segment of the point before it, the first one a new segment
    // when that point has none (or the piece was empty).
    const bool empty = piece->pointCount == 0;
    storeInsertPoints(pattern, piece, static_cast<short>(after), static_cast<short>(n));
    Point* made = nullptr;
    qpGetPointLptr(piece, static_cast<short>(after + 1), &made);
    if (empty || made->segIndex < 0) {
        const int seg = newSegmentLike(pattern, piece, sources[0]);
        for (int k = 0; k < n; ++k) {
            qpGetPointLptr(piece, static_cast<short>(after + 1 + k), &made);
            made->segIndex = static_cast<int16_t>(seg);
        }
    }
    giveCoordsAndFormulas(pattern, piece, after + 1, sources, formulas);
    const int f = after + 1, last = after + n;
    Point* firstCopy = nullptr;
    qpGetPointLptr(piece, static_cast<short>(f), &firstCopy);
    const int seg = firstCopy->segIndex;
    if (segAt(piece, seg)->markFlag != 0) tie = false;  // lines cannot join a mark segment

    // The line that held after..after + 1 took every copy as a curve point;
    // it now ends at the first copy, and its rest follows the last copy.
    int tail = -1, tailEnd = -1;
    int16_t tailKind = 1;
    int tieLine = -1;
    if (held >= 0 && tie) {
        Line* x = nullptr;
        qpGetLineLptr(piece, static_cast<short>(held), &x);
        tailEnd = x->firstPoint + x->pointCount - 1;
        tailKind = tailEnd - last + 1 > 2 ? x->kind : 1;
        x->pointCount = static_cast<int16_t>(f - x->firstPoint + 1);
        if (x->pointCount == 2) x->kind = 1;
        tieLine = held;
    } else if (held >= 0) {
        tie = false;  // copies stay curve points of a line they cannot be tied into
    } else if (tie) {
        tieLine = insertLineAt(pattern, piece, seg, after, 2, 1);
        if (tieLine >= 0) {
            Point* a = nullptr;
            qpGetPointLptr(piece, static_cast<short>(after), &a);
            a->lineOut = static_cast<int16_t>(tieLine);
            if (typeLetter(a->type) == 'C' || typeLetter(a->type) == 'M') {
                // An inner curve point cannot start a line: it ends its own here.
                a->type = withCaseOf(a->type, 'K');
            }
        } else {
            tie = false;
        }
    }
    if (held >= 0 && !tie) {
        // Inside a line it cannot cut: curve points of that line, M kept.
        for (int k = 0; k < n; ++k) {
            Point* p = nullptr;
            qpGetPointLptr(piece, static_cast<short>(f + k), &p);
            if (typeLetter(sources[static_cast<size_t>(k)].point.type) == 'M') p->type = withCaseOf(p->type, 'M');
        }
        return;
    }

    // joined[k]: the source line that joins copy k - 1 to copy k, or -1.
    std::vector<int> joined(static_cast<size_t>(n), -1);
    for (int k = 1; k < n; ++k)
        if (sources[static_cast<size_t>(k)].point.segIndex == sources[static_cast<size_t>(k - 1)].point.segIndex)
            joined[static_cast<size_t>(k)] =
                sharedLine(sources[static_cast<size_t>(k - 1)], sources[static_cast<size_t>(k)]);
    // The copied lines, in order: each starts at the copy where its run of
    // joined copies begins.
    std::vector<int> lineIn(static_cast<size_t>(n), -1), lineOut(static_cast<size_t>(n), -1);
    std::vector<CopiedLine> copied;
    for (int k = 0; k + 1 < n; ++k) {
        int j = joined[static_cast<size_t>(k + 1)];
        if (j < 0 || (k > 0 && joined[static_cast<size_t>(k)] == j)) continue;
        int end = k + 1;
        while (end + 1 < n && joined[static_cast<size_t>(end + 1)] == j) ++end;
        copied.push_back(CopiedLine{k, end, j});
    }
    if (insertCopiedLines(pattern, piece, seg, f, copied, srcLines, tieLine)) {
        for (const CopiedLine& c : copied) {
            lineOut[static_cast<size_t>(c.k)] = c.line;
            for (int q = c.k + 1; q < c.end; ++q) lineIn[static_cast<size_t>(q)] = lineOut[static_cast<size_t>(q)] = c.line;
            lineIn[static_cast<size_t>(c.end)] = c.line;
        }
        copied.clear();
    }
    for (const CopiedLine& c : copied) {
        const int k = c.k, end = c.end, j = c.j;
        int line = insertLineAt(pattern, piece, seg, f + k, end - k + 1, srcLines[static_cast<size_t>(j)].kind);
        if (line < 0) continue;
        // Lines already noted at or after this position moved up by one.
        for (int q = 0; q < n; ++q) {
            if (lineIn[static_cast<size_t>(q)] >= line) ++lineIn[static_cast<size_t>(q)];
            if (lineOut[static_cast<size_t>(q)] >= line) ++lineOut[static_cast<size_t>(q)];
        }
        if (tieLine >= line) ++tieLine;
        lineOut[static_cast<size_t>(k)] = line;
        for (int q = k + 1; q < end; ++q) lineIn[static_cast<size_t>(q)] = lineOut[static_cast<size_t>(q)] = line;
        lineIn[static_cast<size_t>(end)] = line;
    }
    if (tailEnd > last) {
        tail = insertLineAt(pattern, piece, seg, last, tailEnd - last + 1, tailKind);
        if (tail >= 0) {
            for (int q = last + 1; q < tailEnd; ++q) setLines(piece, q, tail, tail);
            Point* endPoint = nullptr;
            qpGetPointLptr(piece, static_cast<short>(tailEnd), &endPoint);
            endPoint->lineIn = static_cast<int16_t>(tail);
            lineOut[static_cast<size_t>(n - 1)] = tail;
        }
    }
    if (tie) lineIn[0] = tieLine;
    for (int k = 0; k < n; ++k) {
        const Source& src = sources[static_cast<size_t>(k)];
        int in = lineIn[static_cast<size_t>(k)], out = lineOut[static_cast<size_t>(k)];
        char letter;
        if (in >= 0 && in == out) letter = isCurveType(src.point.type) ? typeLetter(src.point.type) : 'C';
        else if (in < 0 && out >= 0) letter = 'S';
        else letter = 'K';
        Point* p = nullptr;
        qpGetPointLptr(piece, static_cast<short>(f + k), &p);
        p->type = isOutlineType(src.point.type) ? letter : static_cast<char>(letter | 0x20);
        p->lineIn = static_cast<int16_t>(in);
        p->lineOut = static_cast<int16_t>(out);
    }
}

}  // namespace

QP_SIBLING_EXPORT void qpCopyGroupPoint(PatternBuffer* /*srcPattern*/, Piece* srcPiece, short first, short last,
                                        PatternBuffer* dstPattern, Piece* dstPiece, short after, short mode) {
    if (srcPiece == nullptr || dstPiece == nullptr || dstPattern == nullptr) {
        storeReport("store: qpCopyGroupPoint: needs a source piece and a destination pattern and piece");
        return;
    }
    bool append = mode == 1 || mode == 0x11;
    if (!append && mode != 48 && mode != 16) {
        storeReport("store: qpCopyGroupPoint: unknown mode %d (48, 16, 1 or 0x11)", mode);
        return;
    }
    int count = srcPiece->pointCount;
    if (first < 0 || first >= count || last < 0 || last >= count) {
        storeReport("store: qpCopyGroupPoint: source points %d..%d out of range 0..%d", first, last, count - 1);
        return;
    }
    if (!append && (after < -1 || after >= dstPiece->pointCount)) {
        storeReport("store: qpCopyGroupPoint: destination index %d out of range -1..%d", after,
                    dstPiece->pointCount - 1);
        return;
    }
    std::vector<Source> sources;
    int step = first <= last ? 1 : -1;
    const int low = first <= last ? first : last, high = first <= last ? last : first;
    const SPointsByPoint spoints(srcPiece, low, high);
    for (int i = first;; i += step) {
        sources.push_back(readSource(srcPiece, i, spoints));
        if (i == last) break;
    }
    // A point on a line in a segment of SPoints is a damaged piece (the
    // checker refuses it): its copy would open a line in a mark segment,
    // which the store cannot hand back.
    for (const Source& s : sources)
        if (!isMarkType(s.point.type) && s.hasSeg && s.seg.markFlag != 0 &&
            (s.point.lineIn >= 0 || s.point.lineOut >= 0)) {
            storeReport("store: qpCopyGroupPoint: point %d holds a line but its segment %d holds SPoints", s.index,
                        s.point.segIndex);
            return;
        }
    if (!append)
        for (const Source& s : sources)
            if (isMarkType(s.point.type)) {
                storeReport("store: qpCopyGroupPoint: mark point %d cannot be inserted (mode %d)", s.index, mode);
                return;
            }
    std::vector<Line> srcLines(static_cast<size_t>(srcPiece->lineCount));
    for (size_t L = 0; L < srcLines.size(); ++L) {
        Line* l = nullptr;
        qpGetLineLptr(srcPiece, static_cast<short>(L), &l);
        srcLines[L] = *l;
    }
    bool formulas = dstPiece->formulaCount > 0 || (dstPiece->pointCount == 0 && srcPiece->formulaCount > 0);
    const SharedLines shared(srcLines, low, high);
    if (append) appendCopies(dstPattern, dstPiece, sources, srcLines, shared, formulas);
    else insertCopies(dstPattern, dstPiece, after, sources, srcLines, shared, formulas);
}

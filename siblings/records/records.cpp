// Qpkit1 record operations: get, append, insert and delete records of a
// piece, and its formula texts. The rules they keep are listed, one line
// each, at the top of store_extras.h.
//
// Every operation that adds or removes records goes through openRecords or
// closeRecords (store_memory.cpp), which move the rest of the piece and the
// later pieces within the pattern's block. Renumbering then walks every
// array that refers to the kind that changed.
#include <algorithm>
#include <cstring>
#include <vector>

#include "siblings/records/store_internals.h"
#include "siblings/records/store_layout.h"

using namespace store;

namespace {

bool havePiece(const char* op, const Piece* piece) {
    if (piece != nullptr) return true;
    storeReport("store: %s: no piece", op);
    return false;
}

bool inRange(const char* op, const char* what, int i, int low, int high) {
    if (i >= low && i <= high) return true;
    storeReport("store: %s: %s index %d out of range %d..%d", op, what, i, low, high);
    return false;
}

template <class T>
void clearCell(T** p) {
    if (p != nullptr) *p = nullptr;
}

// ---- renumbering -------------------------------------------------------------

// Every point index from `from` up moves by d.
void shiftPointRefs(Piece* piece, int from, int d) {
    for (Line& l : items<Line>(piece, kLines))
        if (l.firstPoint >= from) l.firstPoint = static_cast<int16_t>(l.firstPoint + d);
    for (Coord& c : items<Coord>(piece, kCoords))
        if (c.pointIndex >= from) c.pointIndex = static_cast<int16_t>(c.pointIndex + d);
    for (SPoint& s : items<SPoint>(piece, kSPoints))
        if (s.pointIndex >= from) s.pointIndex = static_cast<int16_t>(s.pointIndex + d);
    for (PRule& r : items<PRule>(piece, kPRules))
        if (r.pointIndex >= from) r.pointIndex = static_cast<int16_t>(r.pointIndex + d);
    for (Extwid& e : items<Extwid>(piece, kExtwids)) {
        if (e.fromPoint >= from) e.fromPoint = static_cast<int16_t>(e.fromPoint + d);
        if (e.toPoint >= from) e.toPoint = static_cast<int16_t>(e.toPoint + d);
    }
    for (Cutangl& c : items<Cutangl>(piece, kCutangls))
        if (c.pointIndex >= from) c.pointIndex = static_cast<int16_t>(c.pointIndex + d);
}

// Every line index from `from` up moves by d (marks and mark segments keep
// their own codes). walkPoints false: the caller knows no point holds one.
void shiftLineRefs(Piece* piece, int from, int d, bool walkPoints = true) {
    if (walkPoints) {
        for (Point& p : items<Point>(piece, kPoints)) {
            if (isMark(p.type)) continue;
            if (p.lineIn >= from) p.lineIn = static_cast<int16_t>(p.lineIn + d);
            if (p.lineOut >= from) p.lineOut = static_cast<int16_t>(p.lineOut + d);
        }
    }
    for (Seg& g : items<Seg>(piece, kSegs))
        if (g.markFlag == 0 && g.firstLine >= from) g.firstLine = static_cast<int16_t>(g.firstLine + d);
    for (SPoint& s : items<SPoint>(piece, kSPoints))
        if (s.lineIndex >= from) s.lineIndex = static_cast<int16_t>(s.lineIndex + d);
}

void clearLineRefs(Piece* piece, int line) {
    for (Point& p : items<Point>(piece, kPoints)) {
        if (isMark(p.type)) continue;
        if (p.lineIn == line) p.lineIn = -1;
        if (p.lineOut == line) p.lineOut = -1;
    }
    for (SPoint& s : items<SPoint>(piece, kSPoints))
        if (s.lineIndex == line) s.lineIndex = -1;
}

// The segment whose line range holds line L (mark segments hold SPoints).
int segmentOfLine(Piece* piece, int line) {
    Items<Seg> segs = items<Seg>(piece, kSegs);
    for (int k = 0; k < segs.count; ++k) {
        const Seg& g = segs[k];
        if (g.markFlag == 0 && g.lineCount > 0 && g.firstLine <= line &&
            line < g.firstLine + g.lineCount)
            return k;
    }
    return -1;
}

int markSegmentOfSPoint(Piece* piece, int sp) {
    Items<Seg> segs = items<Seg>(piece, kSegs);
    for (int k = 0; k < segs.count; ++k) {
        const Seg& g = segs[k];
        if (g.markFlag != 0 && g.lineCount > 0 && g.firstLine <= sp && sp < g.firstLine + g.lineCount)
            return k;
    }
    return -1;
}

// ---- removing records with their references ------------------------------------

void removeText(PatternBuffer* pattern, Piece* piece, int offset, int length) {
    shrinkText(pattern, piece, offset, length);
    for (Formula& f : items<Formula>(piece, kFormulas)) {
        if (f.xTextOffset >= offset + length) f.xTextOffset = static_cast<int16_t>(f.xTextOffset - length);
        if (f.yTextOffset >= offset + length) f.yTextOffset = static_cast<int16_t>(f.yTextOffset - length);
    }
}

bool textInside(const Piece* piece, int offset, int length) {
    return offset >= 0 && length > 0 && offset + length <= piece->charCount;
}

void removeFormula(PatternBuffer* pattern, Piece* piece, int fi) {
    // The texts go first; each removal lowers the other offsets, so the y
    // text is read again after the x text is gone.
    Formula* f = record<Formula>(piece, kFormulas, fi);
    if (textInside(piece, f->xTextOffset, f->xTextLength)) removeText(pattern, piece, f->xTextOffset, f->xTextLength);
    f = record<Formula>(piece, kFormulas, fi);
    if (textInside(piece, f->yTextOffset, f->yTextLength)) removeText(pattern, piece, f->yTextOffset, f->yTextLength);
    closeRecords(pattern, piece, kFormulas, fi, 1);
    for (Point& p : items<Point>(piece, kPoints)) {
        if (p.formulaIndex == fi) p.formulaIndex = -1;
        else if (p.formulaIndex > fi) --p.formulaIndex;
    }
    for (Coord& c : items<Coord>(piece, kCoords)) {
        if (c.formulaIndex == fi) c.formulaIndex = -1;
        else if (c.formulaIndex > fi) --c.formulaIndex;
    }
}

void removeCoord(PatternBuffer* pattern, Piece* piece, int ci) {
    closeRecords(pattern, piece, kCoords, ci, 1);
    for (Point& p : items<Point>(piece, kPoints)) {
        if (p.coordIndex == ci) p.coordIndex = -1;
        else if (p.coordIndex > ci) --p.coordIndex;
    }
}

void removeSPoint(PatternBuffer* pattern, Piece* piece, int sp) {
    int holder = markSegmentOfSPoint(piece, sp);
    if (holder >= 0) --record<Seg>(piece, kSegs, holder)->lineCount;
    for (Seg& g : items<Seg>(piece, kSegs))
        if (g.markFlag != 0 && g.firstLine > sp) --g.firstLine;
    closeRecords(pattern, piece, kSPoints, sp, 1);
}

void removePRule(PatternBuffer* pattern, Piece* piece, int pr) {
    for (Rule& r : items<Rule>(piece, kRules)) {
        if (r.pRuleCount > 0 && r.firstPRule <= pr && pr < r.firstPRule + r.pRuleCount)
            --r.pRuleCount;
        else if (r.firstPRule > pr)
            --r.firstPRule;
    }
    closeRecords(pattern, piece, kPRules, pr, 1);
}

void removeLine(PatternBuffer* pattern, Piece* piece, int line) {
    int holder = segmentOfLine(piece, line);
    if (holder >= 0) --record<Seg>(piece, kSegs, holder)->lineCount;
    clearLineRefs(piece, line);
    closeRecords(pattern, piece, kLines, line, 1);
    shiftLineRefs(piece, line + 1, -1);
}

// Where a new line of segment s goes: after its last line, or, for a segment
// without lines, after the lines of the segments before it.
int newLinePosition(Piece* piece, int s) {
    Items<Seg> segs = items<Seg>(piece, kSegs);
    const Seg& g = segs[s];
    if (g.lineCount > 0) return g.firstLine + g.lineCount;
    int position = 0;
    for (int k = 0; k < s; ++k)
        if (segs[k].markFlag == 0 && segs[k].lineCount > 0)
            position = std::max(position, segs[k].firstLine + segs[k].lineCount);
    return std::min(position, static_cast<int>(piece->lineCount));
}

bool outlineSegment(const Seg& g) { return g.code == 1 || g.code == 3; }

constexpr int16_t kArcKind = 3;  // Line.kind of an arc line

}  // namespace

// ---- getters -------------------------------------------------------------------

QP_SIBLING_EXPORT void qpGetPieceLptr(PatternBuffer* pattern, short i, Piece** p) {
    if (p == nullptr) return;
    *p = nullptr;
    if (pattern == nullptr || i < 0 || i >= pattern->pieceCount) return;
    *p = reinterpret_cast<Piece*>(reinterpret_cast<char*>(pattern) + pieceOffsets(pattern)[i]);
}

#define QP_GETTER(Name, Type, kind)                                        \
    QP_SIBLING_EXPORT void qpGet##Name##Lptr(Piece* piece, short i, Type** p) { \
        if (p != nullptr) *p = record<Type>(piece, kind, i);               \
    }
QP_GETTER(Point, Point, kPoints)
QP_GETTER(Coord, Coord, kCoords)
QP_GETTER(Seg, Seg, kSegs)
QP_GETTER(Line, Line, kLines)
QP_GETTER(Formula, Formula, kFormulas)
QP_GETTER(Rule, Rule, kRules)
QP_GETTER(PRule, PRule, kPRules)
QP_GETTER(FRule, FRule, kFRules)
QP_GETTER(Extwid, Extwid, kExtwids)
QP_GETTER(Cutangl, Cutangl, kCutangls)
QP_GETTER(SPoint, SPoint, kSPoints)
#undef QP_GETTER

QP_SIBLING_EXPORT void qpGetCharLptr(Piece* piece, short* n, char** base) {
    if (n != nullptr) *n = piece ? piece->charCount : 0;
    if (base != nullptr) *base = recordAt(piece, kChars, 0);
}

// ---- appending -------------------------------------------------------------------

QP_SIBLING_EXPORT void qpIncreaseCoord(PatternBuffer* pattern, Piece* piece, Coord** p) {
    clearCell(p);
    if (!havePiece("qpIncreaseCoord", piece)) return;
    auto* c = reinterpret_cast<Coord*>(openRecords(pattern, piece, kCoords, piece->coordCount, 1));
    c->pointIndex = -1;
    c->formulaIndex = -1;
    if (p != nullptr) *p = c;
}

QP_SIBLING_EXPORT Coord* storeIncreaseCoords(PatternBuffer* pattern, Piece* piece, short n) {
    if (!havePiece("storeIncreaseCoords", piece) || n <= 0) return nullptr;
    auto* c = reinterpret_cast<Coord*>(openRecords(pattern, piece, kCoords, piece->coordCount, n));
    for (int k = 0; k < n; ++k) c[k].pointIndex = c[k].formulaIndex = -1;
    return c;
}

QP_SIBLING_EXPORT Formula* storeIncreaseFormulas(PatternBuffer* pattern, Piece* piece, short n) {
    if (!havePiece("storeIncreaseFormulas", piece) || n <= 0) return nullptr;
    return reinterpret_cast<Formula*>(openRecords(pattern, piece, kFormulas, piece->formulaCount, n));
}

QP_SIBLING_EXPORT Point* storeOpenPoints(PatternBuffer* pattern, Piece* piece, short n) {
    if (!havePiece("storeOpenPoints", piece) || n <= 0) return nullptr;
    return reinterpret_cast<Point*>(openRecords(pattern, piece, kPoints, piece->pointCount, n));
}

QP_SIBLING_EXPORT void qpIncreaseFormula(PatternBuffer* pattern, Piece* piece, Formula** p) {
    clearCell(p);
    if (!havePiece("qpIncreaseFormula", piece)) return;
    auto* f = reinterpret_cast<Formula*>(openRecords(pattern, piece, kFormulas, piece->formulaCount, 1));
    if (p != nullptr) *p = f;
}

QP_SIBLING_EXPORT void qpIncreaseSegment(PatternBuffer* pattern, Piece* piece, Seg** p) {
    clearCell(p);
    if (!havePiece("qpIncreaseSegment", piece)) return;
    auto* g = reinterpret_cast<Seg*>(openRecords(pattern, piece, kSegs, piece->segCount, 1));
    g->code = 1;
    g->firstLine = piece->lineCount;
    if (p != nullptr) *p = g;
}

QP_SIBLING_EXPORT void qpIncreaseExtwid(PatternBuffer* pattern, Piece* piece, Extwid** p) {
    clearCell(p);
    if (!havePiece("qpIncreaseExtwid", piece)) return;
    auto* e = reinterpret_cast<Extwid*>(openRecords(pattern, piece, kExtwids, piece->extwidCount, 1));
    e->fromPoint = -1;
    e->toPoint = -1;
    if (p != nullptr) *p = e;
}

QP_SIBLING_EXPORT void qpIncreaseCutangl(PatternBuffer* pattern, Piece* piece, Cutangl** p) {
    clearCell(p);
    if (!havePiece("qpIncreaseCutangl", piece)) return;
    auto* c = reinterpret_cast<Cutangl*>(openRecords(pattern, piece, kCutangls, piece->cutanglCount, 1));
    c->pointIndex = -1;
    if (p != nullptr) *p = c;
}

QP_SIBLING_EXPORT void storeIncreaseRule(PatternBuffer* pattern, Piece* piece, Rule** p) {
    clearCell(p);
    if (!havePiece("storeIncreaseRule", piece)) return;
    auto* r = reinterpret_cast<Rule*>(openRecords(pattern, piece, kRules, piece->ruleCount, 1));
    r->firstPRule = piece->pRuleCount;
    if (p != nullptr) *p = r;
}

QP_SIBLING_EXPORT void storeIncreaseFRule(PatternBuffer* pattern, Piece* piece, FRule** p) {
    clearCell(p);
    if (!havePiece("storeIncreaseFRule", piece)) return;
    auto* f = reinterpret_cast<FRule*>(openRecords(pattern, piece, kFRules, piece->fRuleCount, 1));
    if (p != nullptr) *p = f;
}

namespace {

// qpIncreaseLine; *highest (when given) is the highest line index a non-mark
// point holds, and spares the walk over the points when the line goes above.
void increaseLine(PatternBuffer* pattern, Piece* piece, Seg* seg, int* highest, Line** p) {
    clearCell(p);
    if (!havePiece("qpIncreaseLine", piece)) return;
    int s = indexOf(piece, kSegs, seg);
    if (s < 0) {
        storeReport("store: qpIncreaseLine: the segment is not a segment of this piece");
        return;
    }
    if (seg->markFlag != 0) {
        storeReport("store: qpIncreaseLine: segment %d is a mark segment (it holds SPoints)", s);
        return;
    }
    int at = newLinePosition(piece, s);
    auto* l = reinterpret_cast<Line*>(openRecords(pattern, piece, kLines, at, 1));
    const bool walk = highest == nullptr || at <= *highest;
    shiftLineRefs(piece, at, +1, walk);
    if (walk && highest != nullptr) ++*highest;
    Seg* g = record<Seg>(piece, kSegs, s);
    if (g->lineCount == 0) g->firstLine = static_cast<int16_t>(at);
    ++g->lineCount;
    l->kind = 1;
    l->firstPoint = -1;
    l->joinPoint = -1;
    if (p != nullptr) *p = l;
}

}  // namespace

QP_SIBLING_EXPORT void qpIncreaseLine(PatternBuffer* pattern, Piece* piece, Seg* seg, Line** p) {
    increaseLine(pattern, piece, seg, nullptr, p);
}

QP_SIBLING_EXPORT int storeHighestLineRef(const Piece* piece) {
    int highest = -1;
    for (const Point& p : items<Point>(piece, kPoints))
        if (!isMark(p.type)) highest = std::max<int>(highest, std::max(p.lineIn, p.lineOut));
    return highest;
}

QP_SIBLING_EXPORT void storeIncreaseLineAbove(PatternBuffer* pattern, Piece* piece, Seg* seg, int* highest,
                                              Line** p) {
    increaseLine(pattern, piece, seg, highest, p);
}

QP_SIBLING_EXPORT Point storeNewPoint(Piece* piece, short s, short owner, short kind, int index) {
    Point pt{};
    pt.segIndex = s;
    pt.coordIndex = -1;
    pt.formulaIndex = -1;
    pt.lineIn = -1;
    pt.lineOut = -1;
    char letter = 'K';
    if (kind == 0 && owner >= 0) {
        Line* l = record<Line>(piece, kLines, owner);
        if (l->pointCount <= 0 || l->firstPoint < 0) {
            l->firstPoint = static_cast<int16_t>(index);
            l->pointCount = 1;
            letter = 'S';
        } else {
            ++l->pointCount;
        }
    } else if (kind == 1) {
        if (owner >= 0) record<SPoint>(piece, kSPoints, owner)->pointIndex = static_cast<int16_t>(index);
        letter = 'O';
    }
    pt.type = outlineSegment(*record<Seg>(piece, kSegs, s)) ? letter : static_cast<char>(letter | 0x20);
    return pt;
}

QP_SIBLING_EXPORT void qpIncreasePoint(PatternBuffer* pattern, Piece* piece, Seg* seg, short owner,
                                       short kind, Point** p) {
    clearCell(p);
    if (!havePiece("qpIncreasePoint", piece)) return;
    int s = indexOf(piece, kSegs, seg);
    if (s < 0) {
        storeReport("store: qpIncreasePoint: the segment is not a segment of this piece");
        return;
    }
    if (kind != 0 && kind != 1) {
        storeReport("store: qpIncreasePoint: owner kind %d is neither 0 (line) nor 1 (SPoint)", kind);
        return;
    }
    if (kind == 0 && !inRange("qpIncreasePoint", "line", owner, -1, piece->lineCount - 1)) return;
    if (kind == 1 && !inRange("qpIncreasePoint", "SPoint", owner, -1, piece->sPointCount - 1)) return;
    const int n = piece->pointCount;
    openRecords(pattern, piece, kPoints, n, 1);
    Point* pt = record<Point>(piece, kPoints, n);
    *pt = storeNewPoint(piece, static_cast<short>(s), owner, kind, n);
    if (p != nullptr) *p = pt;
}

QP_SIBLING_EXPORT void qpIncreaseSPoint(PatternBuffer* pattern, Piece* piece, Seg* seg, SPoint** p) {
    clearCell(p);
    if (!havePiece("qpIncreaseSPoint", piece)) return;
    int s = indexOf(piece, kSegs, seg);
    if (s < 0) {
        storeReport("store: qpIncreaseSPoint: the segment is not a segment of this piece");
        return;
    }
    if (seg->markFlag == 0 && seg->lineCount > 0) {
        storeReport("store: qpIncreaseSPoint: segment %d holds lines, not SPoints", s);
        return;
    }
    // A segment's SPoints stay contiguous: the new one follows its last.
    int at = (seg->markFlag != 0 && seg->lineCount > 0) ? seg->firstLine + seg->lineCount
                                                        : piece->sPointCount;
    at = std::min(std::max(at, 0), static_cast<int>(piece->sPointCount));
    auto* sp = reinterpret_cast<SPoint*>(openRecords(pattern, piece, kSPoints, at, 1));
    Items<Seg> segs = items<Seg>(piece, kSegs);
    for (int k = 0; k < segs.count; ++k)
        if (k != s && segs[k].markFlag != 0 && segs[k].firstLine >= at) ++segs[k].firstLine;
    Seg& g = segs[s];
    if (g.markFlag == 0 || g.lineCount == 0) {
        g.markFlag = 1;
        g.firstLine = static_cast<int16_t>(at);
        g.lineCount = 0;
    }
    ++g.lineCount;
    sp->lineIndex = -1;
    sp->pointIndex = -1;
    // A mark made without a size is drawn at the notch size.
    sp->size = 5.0f;
    if (p != nullptr) *p = sp;
}

QP_SIBLING_EXPORT void qpIncreaseString(PatternBuffer* pattern, Piece* piece, short length,
                                        short* offset, char** text) {
    if (offset != nullptr) *offset = -1;
    clearCell(text);
    if (!havePiece("qpIncreaseString", piece)) return;
    if (length < 0) {
        storeReport("store: qpIncreaseString: negative length %d", length);
        return;
    }
    int at = piece->charCount;
    char* t = growText(pattern, piece, length);
    if (offset != nullptr) *offset = static_cast<short>(at);
    if (text != nullptr) *text = t;
}

// ---- inserting ----------------------------------------------------------------

QP_SIBLING_EXPORT void qpInsertPoint(PatternBuffer* pattern, Piece* piece, short i, Point** p) {
    clearCell(p);
    if (!havePiece("qpInsertPoint", piece)) return;
    if (!inRange("qpInsertPoint", "point", i, -1, piece->pointCount - 1)) return;
    storeInsertPoints(pattern, piece, i, 1);
    if (p != nullptr) *p = record<Point>(piece, kPoints, i + 1);
}

QP_SIBLING_EXPORT void storeInsertPoints(PatternBuffer* pattern, Piece* piece, short i, short n) {
    if (!havePiece("storeInsertPoints", piece)) return;
    if (!inRange("storeInsertPoints", "point", i, -1, piece->pointCount - 1)) return;
    if (n <= 0) return;
    // Every one of the n calls of qpInsertPoint finds the line that held
    // i..i + 1 (or none) and copies the point before it, which from the
    // second call on is the previous new point: so the new points are alike.
    const int first = i + 1;
    int holder = -1;
    if (i >= 0) {
        Items<Line> lines = items<Line>(piece, kLines);
        for (int k = 0; k < lines.count; ++k)
            if (lines[k].pointCount >= 2 && lines[k].firstPoint <= i && i < lastPoint(lines[k])) {
                holder = k;
                break;
            }
    }
    Point made{};
    const bool haveBefore = piece->pointCount > 0;
    const Point before = haveBefore ? *record<Point>(piece, kPoints, i >= 0 ? i : 0) : Point{};
    made.coordIndex = -1;
    made.formulaIndex = -1;
    made.segIndex = haveBefore ? before.segIndex : -1;
    if (holder >= 0) {
        made.type = withCaseOf(before.type, 'C');
        made.lineIn = made.lineOut = static_cast<int16_t>(holder);
    } else {
        made.type = haveBefore ? before.type : 'K';
        made.lineIn = made.lineOut = -1;
    }
    openRecords(pattern, piece, kPoints, first, n);
    shiftPointRefs(piece, first, +n);
    Items<Point> points = items<Point>(piece, kPoints);
    for (int k = 0; k < n; ++k) points[first + k] = made;
    if (holder >= 0) record<Line>(piece, kLines, holder)->pointCount += n;
}

QP_SIBLING_EXPORT int storeInsertLines(PatternBuffer* pattern, Piece* piece, short s, short n, const short* at) {
    if (!havePiece("storeInsertLines", piece)) return 0;
    if (!inRange("storeInsertLines", "seg", s, 0, piece->segCount - 1)) return 0;
    if (n <= 0) return 1;
    Seg* g = record<Seg>(piece, kSegs, s);
    if (g->markFlag != 0) return 0;
    // The segment's range as each storeInsertLine would find and leave it.
    int gFirst = g->firstLine, gCount = g->lineCount, count = piece->lineCount;
    for (int r = 0; r < n; ++r) {
        const int a = at[r];
        if (r > 0 && a <= at[r - 1]) return 0;
        if (gCount > 0 ? (a < gFirst || a > gFirst + gCount) : (a < 0 || a > count)) return 0;
        const int had = gFirst;
        if (gFirst >= a) ++gFirst;
        if (gCount == 0 || a <= had) gFirst = a;
        ++gCount;
        ++count;
    }
    Items<Line> before = items<Line>(piece, kLines);
    const std::vector<Line> old(before.data, before.data + before.count);
    openRecords(pattern, piece, kLines, piece->lineCount, n);
    Items<Line> lines = items<Line>(piece, kLines);
    Line fresh{};
    fresh.kind = 1;
    fresh.firstPoint = -1;
    fresh.joinPoint = -1;
    for (int pos = 0, r = 0, o = 0; pos < lines.count; ++pos) {
        if (r < n && at[r] == pos) {
            lines[pos] = fresh;
            ++r;
        } else {
            lines[pos] = old[static_cast<size_t>(o++)];
        }
    }
    // A line index v moves up by the new lines placed before old line v:
    // new line r has at[r] - r old lines before it.
    std::vector<int> oldBefore(static_cast<size_t>(n));
    for (int r = 0; r < n; ++r) oldBefore[static_cast<size_t>(r)] = at[r] - r;
    auto moved = [&](int16_t v) {
        if (v < 0) return v;
        const long up = std::upper_bound(oldBefore.begin(), oldBefore.end(), static_cast<int>(v)) - oldBefore.begin();
        return static_cast<int16_t>(v + up);
    };
    for (Point& p : items<Point>(piece, kPoints)) {
        if (isMark(p.type)) continue;
        p.lineIn = moved(p.lineIn);
        p.lineOut = moved(p.lineOut);
    }
    Items<Seg> segs = items<Seg>(piece, kSegs);
    for (int k = 0; k < segs.count; ++k)
        if (k != s && segs[k].markFlag == 0) segs[k].firstLine = moved(segs[k].firstLine);
    for (SPoint& sp : items<SPoint>(piece, kSPoints)) sp.lineIndex = moved(sp.lineIndex);
    segs[s].firstLine = static_cast<int16_t>(gFirst);
    segs[s].lineCount = static_cast<int16_t>(gCount);
    return 1;
}

QP_SIBLING_EXPORT void qpInsertLine(PatternBuffer* pattern, Piece* piece, short c, Line** p) {
    clearCell(p);
    if (!havePiece("qpInsertLine", piece)) return;
    if (!inRange("qpInsertLine", "line", c, 0, piece->lineCount - 1)) return;
    Line copy = *record<Line>(piece, kLines, c);
    int end = lastPoint(copy);
    int holder = segmentOfLine(piece, c);
    auto* l = reinterpret_cast<Line*>(openRecords(pattern, piece, kLines, c + 1, 1));
    shiftLineRefs(piece, c + 1, +1);
    if (holder >= 0) ++record<Seg>(piece, kSegs, holder)->lineCount;
    *l = copy;
    l->firstPoint = static_cast<int16_t>(end);
    l->pointCount = 2;
    // A line that started at c's last point hands its first stretch over.
    Line* next = record<Line>(piece, kLines, c + 2);
    if (next != nullptr && c + 2 < piece->lineCount && next->firstPoint == end && next->pointCount >= 2) {
        ++next->firstPoint;
        --next->pointCount;
    }
    if (p != nullptr) *p = l;
}

QP_SIBLING_EXPORT void qpInsertPRule(PatternBuffer* pattern, Piece* piece, short i, PRule** p) {
    clearCell(p);
    if (!havePiece("qpInsertPRule", piece)) return;
    if (!arraysInside(piece, kPRules)) {
        storeReport("store: qpInsertPRule: the piece's PRule array lies past its end");
        return;
    }
    if (!inRange("qpInsertPRule", "PRule", i, -1, piece->pRuleCount - 1)) return;
    auto* r = reinterpret_cast<PRule*>(openRecords(pattern, piece, kPRules, i + 1, 1));
    r->pointIndex = -1;
    if (p != nullptr) *p = r;
}

// ---- deleting -----------------------------------------------------------------

QP_SIBLING_EXPORT void qpDeletePoint(PatternBuffer* pattern, Piece* piece, short i) {
    if (!havePiece("qpDeletePoint", piece)) return;
    if (!inRange("qpDeletePoint", "point", i, 0, piece->pointCount - 1)) return;
    const Point gone = *record<Point>(piece, kPoints, i);

    if (piece->formulaCount > 0 && gone.formulaIndex >= 0 && gone.formulaIndex < piece->formulaCount)
        removeFormula(pattern, piece, gone.formulaIndex);
    if (gone.coordIndex >= 0 && gone.coordIndex < piece->coordCount)
        removeCoord(pattern, piece, gone.coordIndex);
    for (int k = piece->sPointCount - 1; k >= 0; --k) {
        const SPoint* s = record<SPoint>(piece, kSPoints, k);
        if (s != nullptr && s->pointIndex == i) removeSPoint(pattern, piece, k);
    }
    if (arraysInside(piece, kPRules))
        for (int k = piece->pRuleCount - 1; k >= 0; --k)
            if (record<PRule>(piece, kPRules, k)->pointIndex == i) removePRule(pattern, piece, k);
    if (arraysInside(piece, kCutangls))
        for (int k = piece->cutanglCount - 1; k >= 0; --k)
            if (record<Cutangl>(piece, kCutangls, k)->pointIndex == i)
                closeRecords(pattern, piece, kCutangls, k, 1);

    std::vector<int> doomed;  // lines left with fewer than two points
    if (!isMark(gone.type)) {
        Items<Line> lines = items<Line>(piece, kLines);
        Items<Point> points = items<Point>(piece, kPoints);
        int ending = -1, starting = -1, inside = -1;
        for (int k = 0; k < lines.count; ++k) {
            const Line& l = lines[k];
            if (l.pointCount < 1) continue;
            if (l.pointCount >= 2 && lastPoint(l) == i && ending < 0) ending = k;
            else if (l.firstPoint == i && starting < 0) starting = k;
            else if (l.firstPoint < i && i < lastPoint(l) && inside < 0) inside = k;
        }
        if (inside >= 0) {
            --lines[inside].pointCount;
        } else if (ending >= 0 && starting >= 0) {
            // Two lines met here: the first absorbs the second, whose end and
            // join become its own.
            Line& a = lines[ending];
            const Line& b = lines[starting];
            int bEnd = lastPoint(b);
            // A straight two-point stretch (a dart's mouth) absorbed into
            // an arc leaves the arc: the merged line stays an arc.
            if (a.pointCount == 2 && a.kind != kArcKind && b.kind == kArcKind) a.kind = kArcKind;
            a.pointCount = static_cast<int16_t>(a.pointCount + b.pointCount - 2);
            a.joinKind = b.joinKind;
            a.joinCount = b.joinCount;
            a.joinPoint = b.joinPoint;
            for (int q = i + 1; q <= bEnd && q < points.count; ++q) {
                if (isMark(points[q].type)) continue;
                if (points[q].lineIn == starting) points[q].lineIn = static_cast<int16_t>(ending);
                if (points[q].lineOut == starting) points[q].lineOut = static_cast<int16_t>(ending);
            }
            // Notches on the absorbed line now lie on the merged one (their
            // position along it is the tools' to measure again).
            for (SPoint& s : items<SPoint>(piece, kSPoints))
                if (s.lineIndex == starting) s.lineIndex = static_cast<int16_t>(ending);
            doomed.push_back(starting);
        } else if (starting >= 0) {
            // The chain's start goes: the next point starts it.
            Line& b = lines[starting];
            if (b.pointCount >= 2 && i + 1 < points.count) {
                Point& next = points[i + 1];
                next.type = withCaseOf(next.type, typeLetter(gone.type) == 'S' ? 'S' : 'K');
                next.lineIn = -1;
            }
            if (--b.pointCount < 2) doomed.push_back(starting);
        } else if (ending >= 0) {
            // The chain's end goes: the point before ends it.
            Line& a = lines[ending];
            Point& before = points[i - 1];
            if (typeLetter(before.type) != 'S') before.type = withCaseOf(before.type, 'K');
            before.lineOut = -1;
            if (--a.pointCount < 2) doomed.push_back(ending);
        }
    }

    closeRecords(pattern, piece, kPoints, i, 1);
    for (Coord& c : items<Coord>(piece, kCoords))
        if (c.pointIndex == i) c.pointIndex = -1;
    shiftPointRefs(piece, i + 1, -1);
    // A seam-allowance stretch keeps its end at the place of the deleted point.
    int lastIndex = piece->pointCount - 1;
    for (Extwid& e : items<Extwid>(piece, kExtwids)) {
        if (e.fromPoint > lastIndex) e.fromPoint = static_cast<int16_t>(lastIndex);
        if (e.toPoint > lastIndex) e.toPoint = static_cast<int16_t>(lastIndex);
    }
    std::sort(doomed.rbegin(), doomed.rend());
    for (int line : doomed) removeLine(pattern, piece, line);
}

QP_SIBLING_EXPORT void qpDeleteLine(PatternBuffer* pattern, Piece* piece, short i) {
    if (!havePiece("qpDeleteLine", piece)) return;
    if (!inRange("qpDeleteLine", "line", i, 0, piece->lineCount - 1)) return;
    // A line its caller emptied (pointCount 0) is being joined into the next
    // line of its segment: the next line starts at its first point, and its
    // points that still name it name the next line.
    Line* l = record<Line>(piece, kLines, i);
    Line* next = i + 1 < piece->lineCount ? record<Line>(piece, kLines, i + 1) : nullptr;
    if (l->pointCount == 0 && l->firstPoint >= 0 && next != nullptr && next->firstPoint > l->firstPoint &&
        segmentOfLine(piece, i) == segmentOfLine(piece, i + 1)) {
        Items<Point> points = items<Point>(piece, kPoints);
        for (int q = l->firstPoint; q <= next->firstPoint && q < points.count; ++q) {
            if (isMark(points[q].type)) continue;
            if (points[q].lineIn == i) points[q].lineIn = static_cast<int16_t>(i + 1);
            if (points[q].lineOut == i) points[q].lineOut = static_cast<int16_t>(i + 1);
        }
        next->pointCount = static_cast<int16_t>(next->pointCount + next->firstPoint - l->firstPoint);
        next->firstPoint = l->firstPoint;
    }
    removeLine(pattern, piece, i);
}

QP_SIBLING_EXPORT void storeInsertLine(PatternBuffer* pattern, Piece* piece, short s, short at, Line** p) {
    clearCell(p);
    if (!havePiece("storeInsertLine", piece)) return;
    if (!inRange("storeInsertLine", "seg", s, 0, piece->segCount - 1)) return;
    Seg* g = record<Seg>(piece, kSegs, s);
    if (g->markFlag != 0) {
        storeReport("store: storeInsertLine: segment %d is a mark segment (it holds SPoints)", s);
        return;
    }
    int first = g->firstLine, had = g->lineCount;
    if (had > 0 && !inRange("storeInsertLine", "line position", at, first, first + had)) return;
    if (had == 0 && !inRange("storeInsertLine", "line position", at, 0, piece->lineCount)) return;
    auto* l = reinterpret_cast<Line*>(openRecords(pattern, piece, kLines, at, 1));
    shiftLineRefs(piece, at, +1);
    g = record<Seg>(piece, kSegs, s);
    if (had == 0 || at <= first) g->firstLine = static_cast<int16_t>(at);
    ++g->lineCount;
    l->kind = 1;
    l->firstPoint = -1;
    l->joinPoint = -1;
    if (p != nullptr) *p = l;
}

QP_SIBLING_EXPORT void qpDeleteExtwid(PatternBuffer* pattern, Piece* piece, short i) {
    if (!havePiece("qpDeleteExtwid", piece)) return;
    if (!arraysInside(piece, kExtwids)) {
        storeReport("store: qpDeleteExtwid: the piece's Extwid array lies past its end");
        return;
    }
    if (!inRange("qpDeleteExtwid", "Extwid", i, 0, piece->extwidCount - 1)) return;
    closeRecords(pattern, piece, kExtwids, i, 1);
}

QP_SIBLING_EXPORT void qpDeleteString(PatternBuffer* pattern, Piece* piece, short* n, short offset,
                                      short length) {
    if (!havePiece("qpDeleteString", piece)) return;
    if (offset < 0 || length < 0 || offset + length > piece->charCount) {
        storeReport("store: qpDeleteString: bytes %d..%d lie outside the text area of %d bytes",
                    offset, offset + length - 1, piece->charCount);
    } else if (length > 0) {
        removeText(pattern, piece, offset, length);
    }
    if (n != nullptr) *n = piece->charCount;
}

// Builds pieces from a description (outline chains, inner lines, marks and
// the other records) through the store's own operations, for the tests, the
// fixtures and the host's pattern loader. Building this way exercises the
// append operations every time a test makes a piece.
//
// The piece is built in a one-piece buffer of exactly the size it needs, run
// through the checker, and only then appended to the caller's pattern, so a
// refused description leaves the pattern as it was.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "siblings/records/store_internals.h"
#include "siblings/records/store_layout.h"

using namespace store;

namespace {

// Formula texts pass through 80-byte work buffers in the formula routines.
constexpr size_t kMaxFormulaText = 79;

struct Refusal {
    std::string* error;
    Piece* operator()(const std::string& reason) const {
        if (error != nullptr) *error = reason;
        return nullptr;
    }
};

std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* f, ...) {
    char line[256];
    va_list args;
    va_start(args, f);
    std::vsnprintf(line, sizeof line, f, args);
    va_end(args);
    return line;
}

std::string constantText(float millimetres) {
    char text[48];
    storeCoordinateText(millimetres, text, sizeof text);
    return text;
}

// Bytes of a point's two formula texts with their zeros; a missing text is
// written as the point's coordinate.
long textBytes(const ShapePoint& p) {
    return static_cast<long>((p.xFormula.empty() ? constantText(p.x) : p.xFormula).size() +
                             (p.yFormula.empty() ? constantText(p.y) : p.yFormula).size() + 2);
}

// Mark m opens a segment of its own: its code or value differs from the
// mark before it.
bool startsMarkSegment(const PieceShape& shape, size_t m) {
    return m == 0 || shape.marks[m].segCode != shape.marks[m - 1].segCode ||
           shape.marks[m].segValue != shape.marks[m - 1].segValue;
}

std::vector<std::vector<ShapePoint>> expandChains(const PieceShape& shape) {
    std::vector<std::vector<ShapePoint>> chains;
    for (const ShapeChain& c : shape.chains) {
        std::vector<ShapePoint> points = c.points;
        if (c.close && !points.empty()) {
            ShapePoint end = points.front();
            end.type = withCaseOf(end.type, 'K');
            points.push_back(end);
        }
        chains.push_back(points);
    }
    return chains;
}

std::string checkText(const std::string& text, const char* where) {
    if (text.size() > kMaxFormulaText)
        return format("%s: formula text of %d bytes, more than %d", where, static_cast<int>(text.size()),
                      static_cast<int>(kMaxFormulaText));
    if (text.find('\0') != std::string::npos) return format("%s: formula text holds a zero byte", where);
    return "";
}

// Returns the reason a description is refused, or "".
std::string validate(const PieceShape& shape, const std::vector<std::vector<ShapePoint>>& chains) {
    long points = 0, lines = 0, chars = 0;
    bool formulas = shape.formulas;
    for (size_t c = 0; c < chains.size(); ++c) {
        const std::vector<ShapePoint>& pts = chains[c];
        if (pts.size() < 2) return format("chain %d: %d points, a chain needs at least 2", static_cast<int>(c),
                                           static_cast<int>(pts.size()));
        bool upper = isOutlineType(pts.front().type);
        for (size_t k = 0; k < pts.size(); ++k) {
            char t = typeLetter(pts[k].type);
            std::string where = format("chain %d point %d", static_cast<int>(c), static_cast<int>(k));
            if (isOutlineType(pts[k].type) != upper)
                return where + ": type case differs from the chain's first point";
            if (k == 0 && t != 'S') return where + ": a chain starts with an S point";
            if (k + 1 == pts.size() && t != 'K') return where + ": a chain ends with a K point";
            if (k > 0 && k + 1 < pts.size() && t != 'K' && t != 'C' && t != 'M')
                return where + format(": type '%c' inside a chain (K, C or M expected)", pts[k].type);
            if (t == 'K' && k > 0 && k + 1 < pts.size()) ++lines;
            for (const std::string* text : {&pts[k].xFormula, &pts[k].yFormula}) {
                std::string reason = checkText(*text, where.c_str());
                if (!reason.empty()) return reason;
                if (!text->empty()) formulas = true;
            }
        }
        ++lines;
        points += static_cast<long>(pts.size());
    }
    for (size_t m = 0; m < shape.marks.size(); ++m) {
        const ShapeMark& mark = shape.marks[m];
        if (!isMark(mark.point.type)) return format("mark %d: type '%c' is not a mark (v, o, g, p)", static_cast<int>(m),
                                                 mark.point.type);
        for (const std::string* text : {&mark.point.xFormula, &mark.point.yFormula}) {
            std::string reason = checkText(*text, format("mark %d", static_cast<int>(m)).c_str());
            if (!reason.empty()) return reason;
            if (!text->empty()) formulas = true;
        }
        ++points;
    }
    for (size_t m = 0; m < shape.marks.size(); ++m)
        if (shape.marks[m].lineIndex < -1 || shape.marks[m].lineIndex >= lines)
            return format("mark %d: lineIndex %d out of range -1..%ld", static_cast<int>(m), shape.marks[m].lineIndex, lines - 1);
    auto pointOk = [&](int p) { return p >= 0 && p < points; };
    long pRules = 0;
    for (size_t r = 0; r < shape.rules.size(); ++r)
        for (size_t k = 0; k < shape.rules[r].pRules.size(); ++k, ++pRules)
            if (!pointOk(shape.rules[r].pRules[k].pointIndex))
                return format("rule %d prule %d: point %d out of range 0..%ld", static_cast<int>(r), static_cast<int>(k),
                              shape.rules[r].pRules[k].pointIndex, points - 1);
    for (size_t k = 0; k < shape.extwids.size(); ++k)
        if (!pointOk(shape.extwids[k].fromPoint) || !pointOk(shape.extwids[k].toPoint))
            return format("extwid %d: points %d..%d out of range 0..%ld", static_cast<int>(k), shape.extwids[k].fromPoint,
                          shape.extwids[k].toPoint, points - 1);
    for (size_t k = 0; k < shape.cutangls.size(); ++k)
        if (!pointOk(shape.cutangls[k].pointIndex))
            return format("cutangl %d: point %d out of range 0..%ld", static_cast<int>(k), shape.cutangls[k].pointIndex, points - 1);
    if (formulas) {
        for (const auto& pts : chains)
            for (const ShapePoint& p : pts) chars += textBytes(p);
        for (const ShapeMark& m : shape.marks) chars += textBytes(m.point);
    }
    // The formula texts share the piece's text area, whose offsets and
    // charCount are 16-bit: its limit is in bytes, not in records.
    if (chars > 32767)
        return format("piece: formula texts of %ld bytes, more than the 32767 bytes of a piece's formula-text area", chars);
    const struct {
        const char* kind;
        long count;
    } counts[] = {{"point", points},
                  {"line", lines},
                  {"prule", pRules},
                  {"rule", static_cast<long>(shape.rules.size())},
                  {"extwid", static_cast<long>(shape.extwids.size())},
                  {"cutangl", static_cast<long>(shape.cutangls.size())},
                  {"frule", static_cast<long>(shape.fRules.size())},
                  {"seg", static_cast<long>(chains.size() + shape.marks.size())}};
    for (const auto& c : counts)
        if (c.count > 32767) return format("piece: %ld %s records, more than the store's 32767 of a kind", c.count, c.kind);
    return "";
}

bool wantsFormulas(const PieceShape& shape, const std::vector<std::vector<ShapePoint>>& chains) {
    if (shape.formulas) return true;
    for (const auto& pts : chains)
        for (const ShapePoint& p : pts)
            if (!p.xFormula.empty() || !p.yFormula.empty()) return true;
    for (const ShapeMark& m : shape.marks)
        if (!m.point.xFormula.empty() || !m.point.yFormula.empty()) return true;
    return false;
}

// Bytes of the finished piece, so that its building buffer is exactly full.
long pieceBytes(const PieceShape& shape, const std::vector<std::vector<ShapePoint>>& chains, bool formulas) {
    long points = 0, lines = 0, segs = static_cast<long>(chains.size()), chars = 0, pRules = 0;
    for (const auto& pts : chains) {
        points += static_cast<long>(pts.size());
        for (size_t k = 1; k + 1 < pts.size(); ++k)
            if (typeLetter(pts[k].type) == 'K') ++lines;
        ++lines;
    }
    for (size_t m = 0; m < shape.marks.size(); ++m)
        if (startsMarkSegment(shape, m)) ++segs;
    points += static_cast<long>(shape.marks.size());
    if (formulas) {
        for (const auto& pts : chains)
            for (const ShapePoint& p : pts) chars += textBytes(p);
        for (const ShapeMark& m : shape.marks) chars += textBytes(m.point);
    }
    for (const ShapeRule& r : shape.rules) pRules += static_cast<long>(r.pRules.size());
    return kEmptyPieceSize + points * 12 * 2 + lines * 20 + segs * 12 +
           static_cast<long>(shape.marks.size()) * 12 + (formulas ? points * 40 : 0) + textSpan(chars) +
           static_cast<long>(shape.rules.size()) * 12 + pRules * 12 + static_cast<long>(shape.extwids.size()) * 12 +
           static_cast<long>(shape.cutangls.size()) * 12 + static_cast<long>(shape.fRules.size()) * 4;
}

Seg* segment(Piece* piece, int s) {
    Seg* g = nullptr;
    qpGetSegLptr(piece, static_cast<short>(s), &g);
    return g;
}

// Appends one point to line `line` of segment s; returns its index.
int appendPoint(PatternBuffer* buffer, Piece* piece, int s, int line, short kind) {
    Point* p = nullptr;
    qpIncreasePoint(buffer, piece, segment(piece, s), static_cast<short>(line), kind, &p);
    return piece->pointCount - 1;
}

int appendLine(PatternBuffer* buffer, Piece* piece, int s) {
    Line* l = nullptr;
    qpIncreaseLine(buffer, piece, segment(piece, s), &l);
    Seg* g = segment(piece, s);
    return g->firstLine + g->lineCount - 1;
}

void setText(PatternBuffer* buffer, Piece* piece, int f, const std::string& text, bool x) {
    short offset = -1;
    char* at = nullptr;
    qpIncreaseString(buffer, piece, static_cast<short>(text.size() + 1), &offset, &at);
    std::memcpy(at, text.c_str(), text.size() + 1);
    Formula* formula = nullptr;
    qpGetFormulaLptr(piece, static_cast<short>(f), &formula);
    if (x) {
        formula->xTextOffset = offset;
        formula->xTextLength = static_cast<int16_t>(text.size() + 1);
    } else {
        formula->yTextOffset = offset;
        formula->yTextLength = static_cast<int16_t>(text.size() + 1);
    }
}

// A one-piece buffer of `bytes` for the piece, holding an empty piece with
// the description's header fields; the store's own operations grow it up to
// exactly the finished size. Null when no block can be had.
PatternBuffer* newBuildingBuffer(const PieceShape& shape, long bytes) {
    PatternBuffer* buffer = storeNewPattern(kPatternHeaderFixed + 4 + bytes, kWorkBufferKind);
    if (buffer == nullptr) return nullptr;
    buffer->pieceCount = 1;
    buffer->headerSize = kPatternHeaderFixed + 4;
    pieceOffsets(buffer)[0] = kPatternHeaderFixed + 4;
    buffer->totalSize = kPatternHeaderFixed + 4 + kEmptyPieceSize;
    Piece* piece = nullptr;
    qpGetPieceLptr(buffer, 0, &piece);
    std::memset(piece, 0, kEmptyPieceSize);
    piece->byteSize = kEmptyPieceSize;
    piece->groupFlag = shape.groupFlag;
    std::memcpy(piece->placement, shape.placement, sizeof piece->placement);
    piece->foldAngleLow = shape.foldAngleLow;
    piece->foldAngleHigh = shape.foldAngleHigh;
    return buffer;
}

// One segment per chain, a line per run between its turning points, and its
// points; shapeOf gets each point's description, by point index.
void appendChains(PatternBuffer* buffer, Piece* piece, const PieceShape& shape,
                  const std::vector<std::vector<ShapePoint>>& chains, std::vector<const ShapePoint*>& shapeOf) {
    for (size_t c = 0; c < chains.size(); ++c) {
        const ShapeChain& chain = shape.chains[c];
        const std::vector<ShapePoint>& pts = chains[c];
        Seg* g = nullptr;
        qpIncreaseSegment(buffer, piece, &g);
        bool upper = isOutlineType(pts.front().type);
        g->code = chain.segCode != 0 ? chain.segCode : (upper ? 1 : 2);
        g->value = chain.segValue >= 0 ? chain.segValue : (upper ? 0 : 14);
        int s = piece->segCount - 1;
        int line = appendLine(buffer, piece, s);
        for (size_t k = 0; k < pts.size(); ++k) {
            int p = appendPoint(buffer, piece, s, line, 0);
            shapeOf.push_back(&pts[k]);
            if (k > 0 && k + 1 < pts.size() && typeLetter(pts[k].type) == 'K') {
                // A turning point inside the chain ends one line and starts the next.
                line = appendLine(buffer, piece, s);
                Line* l = nullptr;
                qpGetLineLptr(piece, static_cast<short>(line), &l);
                l->firstPoint = static_cast<int16_t>(p);
                l->pointCount = 1;
            }
        }
    }
}

// Line kinds (the chain's, else 1 for two points and 2 for a curve), every
// point's lineIn / lineOut from the lines now in place, and the points'
// types as described.
void finishLines(Piece* piece, const PieceShape& shape, const std::vector<const ShapePoint*>& shapeOf) {
    for (int L = 0; L < piece->lineCount; ++L) {
        Line* l = nullptr;
        qpGetLineLptr(piece, static_cast<short>(L), &l);
        int s = 0;
        for (int k = 0; k < piece->segCount; ++k) {
            Seg* g = segment(piece, k);
            if (g->firstLine <= L && L < g->firstLine + g->lineCount) s = k;
        }
        int16_t kind = shape.chains[static_cast<size_t>(s)].lineKind;
        l->kind = kind != 0 ? kind : (l->pointCount == 2 ? 1 : 2);
        Point* points = nullptr;
        qpGetPointLptr(piece, 0, &points);
        for (int p = l->firstPoint; p <= lastPoint(*l); ++p) {
            if (p > l->firstPoint) points[p].lineIn = static_cast<int16_t>(L);
            if (p < lastPoint(*l)) points[p].lineOut = static_cast<int16_t>(L);
        }
    }
    for (size_t p = 0; p < shapeOf.size(); ++p) {
        Point* point = nullptr;
        qpGetPointLptr(piece, static_cast<short>(p), &point);
        point->type = shapeOf[p]->type;
    }
}

// The marks: a mark segment per run of marks with the same code and value,
// and per mark its special point and its point.
void appendMarks(PatternBuffer* buffer, Piece* piece, const PieceShape& shape,
                 std::vector<const ShapePoint*>& shapeOf) {
    for (size_t m = 0; m < shape.marks.size(); ++m) {
        const ShapeMark& mark = shape.marks[m];
        if (startsMarkSegment(shape, m)) {
            Seg* g = nullptr;
            qpIncreaseSegment(buffer, piece, &g);
            g->code = mark.segCode;
            g->value = mark.segValue;
            g->markFlag = 1;
            g->firstLine = piece->sPointCount;
        }
        int s = piece->segCount - 1;
        SPoint* sp = nullptr;
        qpIncreaseSPoint(buffer, piece, segment(piece, s), &sp);
        sp->lineIndex = mark.lineIndex;
        sp->size = mark.size;
        sp->position = mark.position;
        int p = appendPoint(buffer, piece, s, piece->sPointCount - 1, 1);
        Point* point = nullptr;
        qpGetPointLptr(piece, static_cast<short>(p), &point);
        point->type = mark.point.type;
        point->lineIn = mark.lineIn;
        point->lineOut = mark.lineOut;
        shapeOf.push_back(&mark.point);
    }
}

// Point p's Coord is record p, and so is its Formula when the piece carries
// formulas (a missing text written as the coordinate).
void appendPositions(PatternBuffer* buffer, Piece* piece, const std::vector<const ShapePoint*>& shapeOf,
                     bool formulas) {
    for (size_t p = 0; p < shapeOf.size(); ++p) {
        Coord* c = nullptr;
        qpIncreaseCoord(buffer, piece, &c);
        c->pointIndex = static_cast<int16_t>(p);
        c->x = shapeOf[p]->x;
        c->y = shapeOf[p]->y;
        Point* point = nullptr;
        qpGetPointLptr(piece, static_cast<short>(p), &point);
        point->coordIndex = static_cast<int16_t>(p);
    }
    if (!formulas) return;
    for (size_t p = 0; p < shapeOf.size(); ++p) {
        Formula* f = nullptr;
        qpIncreaseFormula(buffer, piece, &f);
        int fi = piece->formulaCount - 1;
        const ShapePoint& ps = *shapeOf[p];
        setText(buffer, piece, fi, ps.xFormula.empty() ? constantText(ps.x) : ps.xFormula, true);
        setText(buffer, piece, fi, ps.yFormula.empty() ? constantText(ps.y) : ps.yFormula, false);
        Point* point = nullptr;
        qpGetPointLptr(piece, static_cast<short>(p), &point);
        point->formulaIndex = static_cast<int16_t>(fi);
        Coord* c = nullptr;
        qpGetCoordLptr(piece, static_cast<short>(p), &c);
        c->formulaIndex = static_cast<int16_t>(fi);
    }
}

// Grading rules with their steps, seam allowances, corners and FRules, as
// described.
void appendOtherRecords(PatternBuffer* buffer, Piece* piece, const PieceShape& shape) {
    for (const ShapeRule& r : shape.rules) {
        Rule* rule = nullptr;
        storeIncreaseRule(buffer, piece, &rule);
        rule->store0[0] = r.word0;
        rule->store0[1] = r.word2;
        int ri = piece->ruleCount - 1;
        for (const PRule& step : r.pRules) {
            PRule* pr = nullptr;
            qpInsertPRule(buffer, piece, static_cast<short>(piece->pRuleCount - 1), &pr);
            *pr = step;
            qpGetRuleLptr(piece, static_cast<short>(ri), &rule);
            ++rule->pRuleCount;
        }
    }
    for (const Extwid& e : shape.extwids) {
        Extwid* rec = nullptr;
        qpIncreaseExtwid(buffer, piece, &rec);
        *rec = e;
    }
    for (const Cutangl& c : shape.cutangls) {
        Cutangl* rec = nullptr;
        qpIncreaseCutangl(buffer, piece, &rec);
        *rec = c;
    }
    for (const FRule& f : shape.fRules) {
        FRule* rec = nullptr;
        storeIncreaseFRule(buffer, piece, &rec);
        *rec = f;
    }
}

}  // namespace

QP_STORE_CXX_EXPORT Piece* storeAppendPiece(PatternBuffer** cell, const PieceShape& shape, std::string* error) {
    Refusal refuse{error};
    if (cell == nullptr || *cell == nullptr) return refuse("storeAppendPiece: no pattern");
    std::string reason = storeCheckPatternFrame(*cell);
    if (!reason.empty()) return refuse("storeAppendPiece: the pattern is damaged: " + reason);
    std::vector<std::vector<ShapePoint>> chains = expandChains(shape);
    reason = validate(shape, chains);
    if (!reason.empty()) return refuse(reason);
    bool formulas = wantsFormulas(shape, chains);

    PatternBuffer* buffer = newBuildingBuffer(shape, pieceBytes(shape, chains, formulas));
    if (buffer == nullptr) return refuse("storeAppendPiece: no memory for the piece");
    Piece* piece = nullptr;
    qpGetPieceLptr(buffer, 0, &piece);
    std::vector<const ShapePoint*> shapeOf;  // per point index
    appendChains(buffer, piece, shape, chains, shapeOf);
    finishLines(piece, shape, shapeOf);
    appendMarks(buffer, piece, shape, shapeOf);
    appendPositions(buffer, piece, shapeOf, formulas);
    appendOtherRecords(buffer, piece, shape);

    reason = storeCheckPieceText(piece);
    if (!reason.empty()) {
        storeFreePattern(buffer);
        return refuse("storeAppendPiece: the built piece fails the checker: " + reason);
    }
    Piece* appended = storeAppendPieceCopy(cell, piece);
    storeFreePattern(buffer);
    return appended;
}

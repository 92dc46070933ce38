// The consistency checker: tells whether a piece, or a whole pattern, is in
// the shape the store and the tools rely on, and if not, names the first
// record that is wrong. Tests run it after every edit; the host after every
// load and tool run.
//
// It reads only: counts, block size, indices, the outline structure (lines
// over points, turning points shared by consecutive lines, point types that
// agree with lineIn and lineOut, each point in the segment of its line), the
// one-to-one ownership of coordinates and formulas, and the formula texts'
// places in the text area; and that every coordinate is finite and within
// 100 m of the piece's origin.
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

// Collects the first failure as one line.
class Verdict {
public:
    bool ok() const { return reason_.empty(); }
    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (!ok()) return false;
        char line[256];
        va_list args;
        va_start(args, format);
        std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        reason_ = line;
        return false;
    }
    const std::string& reason() const { return reason_; }

private:
    std::string reason_;
};

bool knownType(char type) {
    switch (typeLetter(type)) {
        case 'S': case 'K': case 'C': case 'M': case 'V': case 'O': case 'G': case 'P': return true;
        default: return false;
    }
}

const char* typeText(char type) {
    static char text[8];
    if (type >= 0x21 && type < 0x7F) std::snprintf(text, sizeof text, "'%c'", type);
    else std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned char>(type));
    return text;
}

bool checkCounts(const Piece* piece, Verdict& v) {
    for (int k = 0; k < kKindCount; ++k) {
        int n = countOf(piece, static_cast<Kind>(k));
        if (n < 0) return v.fail("piece: %s count %d is negative", kKindName[k], n);
    }
    long need = storePieceSize(piece);
    if (need != piece->byteSize)
        return v.fail("piece: byteSize %ld but its counts make %ld bytes", static_cast<long>(piece->byteSize),
                      need);
    return true;
}

bool checkPoints(const Piece* piece, Verdict& v) {
    Items<const Point> points = items<Point>(piece, kPoints);
    Items<const Coord> coords = items<Coord>(piece, kCoords);
    Items<const Line> lines = items<Line>(piece, kLines);
    bool formulas = piece->formulaCount > 0;
    std::vector<int> formulaOwner(static_cast<size_t>(piece->formulaCount), -1);
    for (int p = 0; p < points.count; ++p) {
        const Point& pt = points[p];
        if (!knownType(pt.type)) return v.fail("point %d: unknown type %s", p, typeText(pt.type));
        if (pt.segIndex < 0 || pt.segIndex >= piece->segCount)
            return v.fail("point %d: segIndex %d out of range 0..%d", p, pt.segIndex, piece->segCount - 1);
        if (pt.coordIndex < 0 || pt.coordIndex >= piece->coordCount)
            return v.fail("point %d: coordIndex %d out of range 0..%d", p, pt.coordIndex,
                          piece->coordCount - 1);
        if (coords[pt.coordIndex].pointIndex != p)
            return v.fail("point %d: its coord %d belongs to point %d", p, pt.coordIndex,
                          coords[pt.coordIndex].pointIndex);
        if (formulas) {
            if (pt.formulaIndex < 0 || pt.formulaIndex >= piece->formulaCount)
                return v.fail("point %d: formulaIndex %d out of range 0..%d", p, pt.formulaIndex,
                              piece->formulaCount - 1);
            int& owner = formulaOwner[static_cast<size_t>(pt.formulaIndex)];
            if (owner >= 0)
                return v.fail("point %d: formula %d also belongs to point %d", p, pt.formulaIndex, owner);
            owner = p;
        }
        if (isMark(pt.type)) continue;  // lineIn and lineOut hold the mark's codes
        if (pt.lineIn < -1 || pt.lineIn >= piece->lineCount)
            return v.fail("point %d: lineIn %d out of range -1..%d", p, pt.lineIn, piece->lineCount - 1);
        if (pt.lineOut < -1 || pt.lineOut >= piece->lineCount)
            return v.fail("point %d: lineOut %d out of range -1..%d", p, pt.lineOut, piece->lineCount - 1);
        if (isCurve(pt.type)) {
            if (pt.lineIn < 0 || pt.lineIn != pt.lineOut)
                return v.fail("point %d: curve point %s with lineIn %d and lineOut %d lies on no one line", p,
                              typeText(pt.type), pt.lineIn, pt.lineOut);
            const Line& l = lines[pt.lineIn];
            if (p < l.firstPoint || p > lastPoint(l))
                return v.fail("point %d: curve point on line %d, which runs %d..%d", p, pt.lineIn,
                              l.firstPoint, lastPoint(l));
            continue;
        }
        // A turning point ends its lineIn and starts its lineOut.
        if (typeLetter(pt.type) == 'S' && pt.lineIn >= 0)
            return v.fail("point %d: chain start %s has lineIn %d", p, typeText(pt.type), pt.lineIn);
        if (pt.lineIn >= 0 && lastPoint(lines[pt.lineIn]) != p)
            return v.fail("point %d: lineIn %d ends at point %d", p, pt.lineIn, lastPoint(lines[pt.lineIn]));
        if (pt.lineOut >= 0 && lines[pt.lineOut].firstPoint != p)
            return v.fail("point %d: lineOut %d starts at point %d", p, pt.lineOut,
                          lines[pt.lineOut].firstPoint);
    }
    return true;
}

bool checkCoords(const Piece* piece, Verdict& v) {
    Items<const Point> points = items<Point>(piece, kPoints);
    Items<const Coord> coords = items<Coord>(piece, kCoords);
    if (coords.count != points.count)
        return v.fail("piece: %d coords for %d points", coords.count, points.count);
    for (int c = 0; c < coords.count; ++c) {
        const Coord& co = coords[c];
        if (co.pointIndex < 0 || co.pointIndex >= points.count)
            return v.fail("coord %d: pointIndex %d out of range 0..%d", c, co.pointIndex, points.count - 1);
        if (points[co.pointIndex].coordIndex != c)
            return v.fail("coord %d: its point %d has coordIndex %d", c, co.pointIndex,
                          points[co.pointIndex].coordIndex);
        if (piece->formulaCount > 0 && co.formulaIndex != -1 &&
            co.formulaIndex != points[co.pointIndex].formulaIndex)
            return v.fail("coord %d: formulaIndex %d but its point %d has formula %d", c, co.formulaIndex,
                          co.pointIndex, points[co.pointIndex].formulaIndex);
    }
    return true;
}

// No tool may leave a coordinate that is not a number or lies farther from
// the piece's origin than any garment piece could: such a value is a broken
// computation (a division by almost zero, a typed "inf"), and saving it
// would carry it into every later drawing and measurement.
constexpr double kMaxCoordinateMm = 100000.0;  // 100 m

bool checkCoordRange(const Piece* piece, Verdict& v) {
    Items<const Coord> coords = items<Coord>(piece, kCoords);
    for (int c = 0; c < coords.count; ++c) {
        const double x = coords[c].x, y = coords[c].y;
        if (!std::isfinite(x) || !std::isfinite(y))
            return v.fail("coord %d: (%g, %g) is not finite", c, x, y);
        if (std::hypot(x, y) > kMaxCoordinateMm)
            return v.fail("coord %d: (%g, %g) lies more than 100 m from the piece's origin", c, x, y);
    }
    return true;
}

bool checkText(const Piece* piece, int f, char axis, int offset, int length, Verdict& v) {
    if (length < 1 || offset < 0 || offset + length > piece->charCount)
        return v.fail("formula %d: %c text at %d, %d bytes, lies outside the text area of %d bytes", f, axis,
                      offset, length, piece->charCount);
    const char* area = recordAt(piece, kChars, 0);
    if (area[offset + length - 1] != 0)
        return v.fail("formula %d: %c text at %d, %d bytes, is not zero-terminated at its end", f, axis, offset,
                      length);
    return true;
}

bool checkFormulas(const Piece* piece, Verdict& v) {
    if (piece->formulaCount == 0) {
        if (piece->charCount != 0)
            return v.fail("piece: %d bytes of formula text but no formulas", piece->charCount);
        return true;
    }
    if (piece->formulaCount != piece->pointCount)
        return v.fail("piece: %d formulas for %d points", piece->formulaCount, piece->pointCount);
    Items<const Formula> formulas = items<Formula>(piece, kFormulas);
    for (int f = 0; f < formulas.count; ++f) {
        if (!checkText(piece, f, 'x', formulas[f].xTextOffset, formulas[f].xTextLength, v)) return false;
        if (!checkText(piece, f, 'y', formulas[f].yTextOffset, formulas[f].yTextLength, v)) return false;
    }
    return true;
}

// A line being drawn point by point holds only its first point until the
// next click: legal as the last line of its segment, when that point is a
// chain start (S or s) with lineIn -1 and lineOut naming the line, and no
// other point naming it. Anywhere else a line of one point is damage.
bool openLine(const Piece* piece, int L) {
    Items<const Point> points = items<Point>(piece, kPoints);
    const Line& l = items<Line>(piece, kLines)[L];
    if (l.firstPoint < 0 || l.firstPoint >= points.count) return false;
    const Point& p = points[l.firstPoint];
    if (typeLetter(p.type) != 'S' || p.lineIn != -1 || p.lineOut != L) return false;
    for (int q = 0; q < points.count; ++q)  // no other point claims the line
        if (q != l.firstPoint && !isMark(points[q].type) && (points[q].lineIn == L || points[q].lineOut == L))
            return false;
    for (const Seg& g : items<Seg>(piece, kSegs))
        if (g.markFlag == 0 && g.lineCount > 0 && g.firstLine <= L && L < g.firstLine + g.lineCount)
            return L == g.firstLine + g.lineCount - 1;
    return false;
}

bool checkLines(const Piece* piece, Verdict& v) {
    Items<const Point> points = items<Point>(piece, kPoints);
    Items<const Line> lines = items<Line>(piece, kLines);
    for (int L = 0; L < lines.count; ++L) {
        const Line& l = lines[L];
        if (l.pointCount == 1 && openLine(piece, L)) continue;
        if (l.pointCount < 2) return v.fail("line %d: %d points, fewer than 2", L, l.pointCount);
        if (l.firstPoint < 0 || lastPoint(l) >= points.count)
            return v.fail("line %d: points %d..%d out of range 0..%d", L, l.firstPoint, lastPoint(l),
                          points.count - 1);
        const Point& first = points[l.firstPoint];
        if (isMark(first.type) || first.lineOut != L)
            return v.fail("line %d: its first point %d has lineOut %d", L, l.firstPoint, first.lineOut);
        const Point& last = points[lastPoint(l)];
        if (isMark(last.type) || last.lineIn != L)
            return v.fail("line %d: its last point %d has lineIn %d", L, lastPoint(l), last.lineIn);
        for (int p = l.firstPoint + 1; p < lastPoint(l); ++p) {
            const Point& in = points[p];
            if (!isCurve(in.type) || in.lineIn != L || in.lineOut != L)
                return v.fail("line %d: inner point %d is %s with lineIn %d and lineOut %d", L, p,
                              typeText(in.type), in.lineIn, in.lineOut);
        }
        if (L > 0 && l.firstPoint < lastPoint(lines[L - 1]))
            return v.fail("line %d: starts at point %d, before line %d ends at %d", L, l.firstPoint, L - 1,
                          lastPoint(lines[L - 1]));
    }
    return true;
}

bool checkSegments(const Piece* piece, Verdict& v) {
    Items<const Seg> segs = items<Seg>(piece, kSegs);
    std::vector<int> holder(static_cast<size_t>(piece->lineCount), -1);
    for (int s = 0; s < segs.count; ++s) {
        const Seg& g = segs[s];
        bool mark = g.markFlag != 0;
        int limit = mark ? piece->sPointCount : piece->lineCount;
        const char* what = mark ? "SPoints" : "lines";
        if (g.lineCount < 0 || g.firstLine < 0 || g.firstLine + g.lineCount > limit)
            return v.fail("seg %d: %s %d..%d out of range 0..%d", s, what, g.firstLine,
                          g.firstLine + g.lineCount - 1, limit - 1);
        if (mark) continue;
        for (int L = g.firstLine; L < g.firstLine + g.lineCount; ++L) {
            int& h = holder[static_cast<size_t>(L)];
            if (h >= 0) return v.fail("seg %d: line %d also belongs to seg %d", s, L, h);
            h = s;
        }
    }
    for (int L = 0; L < piece->lineCount; ++L)
        if (holder[static_cast<size_t>(L)] < 0) return v.fail("line %d: belongs to no segment", L);
    return true;
}

// A point of a line belongs to the segment that holds the line: a point
// written through a stale record pointer breaks this first.
bool checkPointSegments(const Piece* piece, Verdict& v) {
    Items<const Seg> segs = items<Seg>(piece, kSegs);
    std::vector<int> holder(static_cast<size_t>(piece->lineCount), -1);
    for (int s = 0; s < segs.count; ++s) {
        if (segs[s].markFlag != 0) continue;
        for (int L = segs[s].firstLine; L < segs[s].firstLine + segs[s].lineCount; ++L)
            holder[static_cast<size_t>(L)] = s;
    }
    Items<const Point> points = items<Point>(piece, kPoints);
    for (int p = 0; p < points.count; ++p) {
        const Point& pt = points[p];
        if (isMark(pt.type)) continue;
        const int line = pt.lineOut >= 0 ? pt.lineOut : pt.lineIn;
        if (line < 0) continue;
        const int s = holder[static_cast<size_t>(line)];
        if (pt.segIndex != s)
            return v.fail("point %d: segIndex %d but its line %d belongs to seg %d", p, pt.segIndex, line, s);
    }
    return true;
}

bool pointInRange(const Piece* piece, int p) { return p >= 0 && p < piece->pointCount; }

bool checkOthers(const Piece* piece, Verdict& v) {
    Items<const SPoint> spoints = items<SPoint>(piece, kSPoints);
    for (int k = 0; k < spoints.count; ++k) {
        if (!pointInRange(piece, spoints[k].pointIndex))
            return v.fail("spoint %d: pointIndex %d out of range 0..%d", k, spoints[k].pointIndex,
                          piece->pointCount - 1);
        if (spoints[k].lineIndex < -1 || spoints[k].lineIndex >= piece->lineCount)
            return v.fail("spoint %d: lineIndex %d out of range -1..%d", k, spoints[k].lineIndex,
                          piece->lineCount - 1);
    }
    Items<const Rule> rules = items<Rule>(piece, kRules);
    for (int k = 0; k < rules.count; ++k) {
        const Rule& r = rules[k];
        if (r.pRuleCount < 0 || r.firstPRule < 0 || r.firstPRule + r.pRuleCount > piece->pRuleCount)
            return v.fail("rule %d: prules %d..%d out of range 0..%d", k, r.firstPRule,
                          r.firstPRule + r.pRuleCount - 1, piece->pRuleCount - 1);
    }
    Items<const PRule> prules = items<PRule>(piece, kPRules);
    for (int k = 0; k < prules.count; ++k)
        if (!pointInRange(piece, prules[k].pointIndex))
            return v.fail("prule %d: pointIndex %d out of range 0..%d", k, prules[k].pointIndex,
                          piece->pointCount - 1);
    Items<const Extwid> extwids = items<Extwid>(piece, kExtwids);
    for (int k = 0; k < extwids.count; ++k)
        if (!pointInRange(piece, extwids[k].fromPoint) || !pointInRange(piece, extwids[k].toPoint))
            return v.fail("extwid %d: points %d..%d out of range 0..%d", k, extwids[k].fromPoint,
                          extwids[k].toPoint, piece->pointCount - 1);
    Items<const Cutangl> cutangls = items<Cutangl>(piece, kCutangls);
    for (int k = 0; k < cutangls.count; ++k)
        if (!pointInRange(piece, cutangls[k].pointIndex))
            return v.fail("cutangl %d: pointIndex %d out of range 0..%d", k, cutangls[k].pointIndex,
                          piece->pointCount - 1);
    return true;
}

bool checkPiece(const Piece* piece, Verdict& v) {
    if (piece == nullptr) return v.fail("piece: null");
    // Counts and size first: everything after reads the arrays they place.
    return checkCounts(piece, v) && checkSegments(piece, v) && checkLines(piece, v) &&
           checkPoints(piece, v) && checkPointSegments(piece, v) && checkCoords(piece, v) &&
           checkCoordRange(piece, v) && checkFormulas(piece, v) && checkOthers(piece, v);
}

// deep: every piece's records too; otherwise the header, the offsets and
// the pieces' sizes only (what moving pieces around relies on).
bool checkPattern(const PatternBuffer* pattern, Verdict& v, bool deep) {
    if (pattern == nullptr) return v.fail("pattern: null");
    int n = pattern->pieceCount;
    if (n < 0) return v.fail("pattern: pieceCount %d is negative", n);
    long header = kPatternHeaderFixed + 4L * n;
    if (pattern->headerSize != header)
        return v.fail("pattern: headerSize %d for %d pieces (expected %ld)", pattern->headerSize, n, header);
    long block = storeBlockSize(pattern);
    if (block >= 0 && (pattern->totalSize > block || header > block))
        return v.fail("pattern: totalSize %ld but the block holds %ld", static_cast<long>(pattern->totalSize),
                      block);
    const int32_t* offsets = pieceOffsets(pattern);
    long expected = header;
    for (int k = 0; k < n; ++k) {
        if (offsets[k] != expected)
            return v.fail("pattern: pieceOffset[%d] %ld, expected %ld (pieces back to back)", k,
                          static_cast<long>(offsets[k]), expected);
        if (block >= 0 && expected + kEmptyPieceSize > block)
            return v.fail("pattern: piece %d starts at %ld, past the block of %ld", k, expected, block);
        const auto* piece = reinterpret_cast<const Piece*>(reinterpret_cast<const char*>(pattern) + offsets[k]);
        if (piece->byteSize < kEmptyPieceSize || (block >= 0 && expected + piece->byteSize > block))
            return v.fail("piece %d: byteSize %ld does not fit the block", k, static_cast<long>(piece->byteSize));
        Verdict inner;
        if (deep && !checkPiece(piece, inner)) return v.fail("piece %d: %s", k, inner.reason().c_str());
        expected += piece->byteSize;
    }
    if (pattern->totalSize != expected)
        return v.fail("pattern: totalSize %ld, pieces end at %ld", static_cast<long>(pattern->totalSize), expected);
    return true;
}

int answer(const Verdict& v, char* message, int size) {
    if (message != nullptr && size > 0) {
        size_t n = std::min(v.reason().size(), static_cast<size_t>(size - 1));
        std::memcpy(message, v.reason().data(), n);
        message[n] = 0;
    }
    return v.ok() ? 1 : 0;
}

}  // namespace

QP_SIBLING_EXPORT int storeCheckPiece(const Piece* piece, char* message, int size) {
    Verdict v;
    checkPiece(piece, v);
    return answer(v, message, size);
}

QP_SIBLING_EXPORT int storeCheckPattern(const PatternBuffer* pattern, char* message, int size) {
    Verdict v;
    checkPattern(pattern, v, true);
    return answer(v, message, size);
}

QP_STORE_CXX_EXPORT std::string storeCheckPieceText(const Piece* piece) {
    Verdict v;
    checkPiece(piece, v);
    return v.reason();
}

QP_STORE_CXX_EXPORT std::string storeCheckPatternText(const PatternBuffer* pattern) {
    Verdict v;
    checkPattern(pattern, v, true);
    return v.reason();
}

QP_STORE_CXX_EXPORT std::string storeCheckPatternFrame(const PatternBuffer* pattern) {
    Verdict v;
    checkPattern(pattern, v, false);
    return v.reason();
}

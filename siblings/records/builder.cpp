// Builds pieces from a description (outline chains, inner lines, marks and
// the other records), for the tests, the fixtures and the host's pattern
// loader: the records the store's append operations would make, laid out in
// one block in linear time.
//
// The piece is built in a block of exactly the size it needs, run through
// the checker, and only then appended to the caller's pattern, so a refused
// description leaves the pattern as it was.
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

// The text a point's formula is written with: the given one, else the
// coordinate itself.
std::string formulaText(const std::string& given, float millimetres) {
    return given.empty() ? constantText(millimetres) : given;
}

// Bytes of a point's two formula texts with their zeros.
long textBytes(const ShapePoint& p) {
    return static_cast<long>(formulaText(p.xFormula, p.x).size() + formulaText(p.yFormula, p.y).size() + 2);
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

// Every record of the piece, worked out before the block is laid out:
// exactly those the append operations would leave, in their order
// (qpIncreaseSegment and qpIncreaseLine per chain, qpIncreasePoint per point
// with its line grown, qpIncreaseSPoint per mark, then qpIncreaseCoord,
// qpIncreaseFormula with qpIncreaseString per text, storeIncreaseRule with
// its PRules). Appending record by record would move every later array at
// each append and renumber every point at each line: a chain of n points
// would cost n squared.
struct Records {
    std::vector<Point> points;
    std::vector<Coord> coords;
    std::vector<Line> lines;
    std::vector<Seg> segs;
    std::vector<SPoint> sPoints;
    std::vector<Formula> formulas;
    std::string texts;  // the text area: each text with its zero
    std::vector<Rule> rules;
    std::vector<PRule> pRules;
    std::vector<const ShapePoint*> shapeOf;  // each point's description, by point index
    bool withFormulas = false;

    // A point of segment `seg`, its Coord and Formula record p, lines to be set.
    Point& addPoint(const ShapePoint& s, int16_t seg) {
        const auto p = static_cast<int16_t>(points.size());
        Point pt{};
        pt.type = s.type;
        pt.coordIndex = p;
        pt.formulaIndex = withFormulas ? p : int16_t(-1);
        pt.segIndex = seg;
        pt.lineIn = pt.lineOut = -1;
        points.push_back(pt);
        shapeOf.push_back(&s);
        return points.back();
    }
    // A line of one point so far, starting at point `first`.
    void openLine(int16_t first) {
        Line l{};
        l.kind = 1;
        l.firstPoint = first;
        l.pointCount = 1;
        l.joinPoint = -1;
        lines.push_back(l);
    }
};

// One segment per chain, a line per run between its turning points, and its
// points with their lineIn / lineOut; line kinds are the chain's, else 1 for
// two points and 2 for a curve.
void addChains(Records& r, const PieceShape& shape, const std::vector<std::vector<ShapePoint>>& chains) {
    for (size_t c = 0; c < chains.size(); ++c) {
        const ShapeChain& chain = shape.chains[c];
        const std::vector<ShapePoint>& pts = chains[c];
        const bool upper = isOutlineType(pts.front().type);
        Seg g{};
        g.code = chain.segCode != 0 ? chain.segCode : (upper ? 1 : 2);
        g.value = chain.segValue >= 0 ? chain.segValue : (upper ? 0 : 14);
        g.firstLine = static_cast<int16_t>(r.lines.size());
        const auto s = static_cast<int16_t>(r.segs.size());
        r.segs.push_back(g);
        for (size_t k = 0; k < pts.size(); ++k) {
            const auto p = static_cast<int16_t>(r.points.size());
            if (k == 0) r.openLine(p);
            else ++r.lines.back().pointCount;
            const auto line = static_cast<int16_t>(r.lines.size() - 1);
            Point& pt = r.addPoint(pts[k], s);
            pt.lineIn = k > 0 ? line : int16_t(-1);
            const bool last = k + 1 == pts.size();
            if (k > 0 && !last && typeLetter(pts[k].type) == 'K') {
                // A turning point inside the chain ends one line and starts the next.
                pt.lineOut = static_cast<int16_t>(line + 1);
                r.openLine(p);
            } else {
                pt.lineOut = last ? int16_t(-1) : line;
            }
        }
        Seg& made = r.segs.back();
        made.lineCount = static_cast<int16_t>(r.lines.size() - static_cast<size_t>(made.firstLine));
        for (size_t L = static_cast<size_t>(made.firstLine); L < r.lines.size(); ++L)
            r.lines[L].kind = chain.lineKind != 0 ? chain.lineKind : (r.lines[L].pointCount == 2 ? 1 : 2);
    }
}

// The marks: a mark segment per run of marks with the same code and value,
// and per mark its special point and its point.
void addMarks(Records& r, const PieceShape& shape) {
    for (size_t m = 0; m < shape.marks.size(); ++m) {
        const ShapeMark& mark = shape.marks[m];
        if (startsMarkSegment(shape, m)) {
            Seg g{};
            g.code = mark.segCode;
            g.value = mark.segValue;
            g.markFlag = 1;
            g.firstLine = static_cast<int16_t>(r.sPoints.size());
            r.segs.push_back(g);
        }
        ++r.segs.back().lineCount;
        SPoint sp{};
        sp.lineIndex = mark.lineIndex;
        sp.pointIndex = static_cast<int16_t>(r.points.size());
        sp.size = mark.size;
        sp.position = mark.position;
        r.sPoints.push_back(sp);
        Point& pt = r.addPoint(mark.point, static_cast<int16_t>(r.segs.size() - 1));
        pt.lineIn = mark.lineIn;
        pt.lineOut = mark.lineOut;
    }
}

// Point p's Coord is record p, and so is its Formula when the piece carries
// formulas (a missing text written as the coordinate).
void addPositions(Records& r) {
    for (size_t p = 0; p < r.shapeOf.size(); ++p) {
        const ShapePoint& s = *r.shapeOf[p];
        Coord c{};
        c.pointIndex = static_cast<int16_t>(p);
        c.formulaIndex = r.withFormulas ? static_cast<int16_t>(p) : int16_t(-1);
        c.x = s.x;
        c.y = s.y;
        r.coords.push_back(c);
        if (!r.withFormulas) continue;
        Formula f{};
        auto text = [&](const std::string& t, int16_t& offset, int16_t& length) {
            offset = static_cast<int16_t>(r.texts.size());
            length = static_cast<int16_t>(t.size() + 1);
            r.texts += t;
            r.texts += '\0';
        };
        text(formulaText(s.xFormula, s.x), f.xTextOffset, f.xTextLength);
        text(formulaText(s.yFormula, s.y), f.yTextOffset, f.yTextLength);
        r.formulas.push_back(f);
    }
}

// Grading rules with their steps.
void addRules(Records& r, const PieceShape& shape) {
    for (const ShapeRule& rule : shape.rules) {
        Rule made{};
        made.store0[0] = rule.word0;
        made.store0[1] = rule.word2;
        made.firstPRule = static_cast<int16_t>(r.pRules.size());
        made.pRuleCount = static_cast<int16_t>(rule.pRules.size());
        r.rules.push_back(made);
        r.pRules.insert(r.pRules.end(), rule.pRules.begin(), rule.pRules.end());
    }
}

// The block the store lays out for the records' counts, zeroed and 4-byte
// aligned, the description's header fields set and each array written once
// where the store's layout puts it (seam allowances, corners and FRules as
// described).
std::vector<uint32_t> layOut(const PieceShape& shape, const Records& r) {
    Piece header;
    std::memset(&header, 0, sizeof header);
    header.pointCount = header.coordCount = static_cast<int16_t>(r.points.size());
    header.lineCount = static_cast<int16_t>(r.lines.size());
    header.segCount = static_cast<int16_t>(r.segs.size());
    header.sPointCount = static_cast<int16_t>(r.sPoints.size());
    header.formulaCount = static_cast<int16_t>(r.formulas.size());
    header.charCount = static_cast<int16_t>(r.texts.size());
    header.ruleCount = static_cast<int16_t>(r.rules.size());
    header.pRuleCount = static_cast<int16_t>(r.pRules.size());
    header.extwidCount = static_cast<int16_t>(shape.extwids.size());
    header.cutanglCount = static_cast<int16_t>(shape.cutangls.size());
    header.fRuleCount = static_cast<int16_t>(shape.fRules.size());
    header.groupFlag = shape.groupFlag;
    std::memcpy(header.placement, shape.placement, sizeof header.placement);
    header.foldAngleLow = shape.foldAngleLow;
    header.foldAngleHigh = shape.foldAngleHigh;
    header.byteSize = static_cast<int32_t>(storePieceSize(&header));
    std::vector<uint32_t> block((static_cast<size_t>(header.byteSize) + 3) / 4, 0u);
    Piece* piece = reinterpret_cast<Piece*>(block.data());
    std::memcpy(piece, &header, sizeof header);
    auto put = [piece](Kind kind, const auto& records) {
        if (!records.empty())
            std::memcpy(array<char>(piece, kind), records.data(), records.size() * sizeof records[0]);
    };
    put(kPoints, r.points);
    put(kCoords, r.coords);
    put(kLines, r.lines);
    put(kSegs, r.segs);
    put(kSPoints, r.sPoints);
    put(kFormulas, r.formulas);
    put(kChars, r.texts);
    put(kRules, r.rules);
    put(kPRules, r.pRules);
    put(kExtwids, shape.extwids);
    put(kCutangls, shape.cutangls);
    put(kFRules, shape.fRules);
    return block;
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

    Records records;
    records.withFormulas = wantsFormulas(shape, chains);
    addChains(records, shape, chains);
    addMarks(records, shape);
    addPositions(records);
    addRules(records, shape);
    std::vector<uint32_t> block = layOut(shape, records);
    Piece* piece = reinterpret_cast<Piece*>(block.data());

    reason = storeCheckPieceText(piece);
    if (!reason.empty()) return refuse("storeAppendPiece: the built piece fails the checker: " + reason);
    return storeAppendPieceCopy(cell, piece);
}

// A pattern in the store: a PatternModel built through the store operations,
// read back into one, and judged by the store's consistency checker, whose
// verdicts are mapped to the file's field paths.
#include "host/pattern_store.h"

#include <cstring>
#include <utility>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/record_fields.h"
#include "siblings/records/store_extras.h"

namespace host {

namespace {

// Room left in the pattern block beyond what the file needs: the tools add
// records in place (the store aborts rather than overrun a full block), and
// a pleat spread or a dart fold appends whole pieces.
constexpr long kSpareBytes = 4L << 20;
// Generous bytes per record of any kind, texts included.
constexpr long kBytesPerRecord = 256;

long estimateBytes(const PatternModel& model) {
    long bytes = kPatternHeaderFixed + 4L * static_cast<long>(model.pieces.size());
    for (const PieceModel& p : model.pieces) {
        long records = static_cast<long>(p.points.size() + p.lines.size() + p.segments.size() +
                                         p.specialPoints.size() + p.rules.size() + p.pRules.size() +
                                         p.seamAllowances.size() + p.corners.size() + p.fRules.size());
        for (const auto& c : p.outline) records += 3 * static_cast<long>(c.size() + 1);
        for (const auto& c : p.inner) records += 3 * static_cast<long>(c.size());
        records += 3 * static_cast<long>(p.marks.size());
        bytes += kEmptyPieceSize + kBytesPerRecord * records;
    }
    return bytes + kSpareBytes;
}

// The piece's path, and the record's within it when the verdict names one
// the file gave.
std::string placeOf(const std::string& where, const std::string& verdict, bool shorthand) {
    const std::string path = verdictPath(verdict, shorthand);
    return path.empty() ? where : where + "." + path;
}

// A piece's formula texts, zeros included, fit 16-bit offsets into its text
// area.
constexpr long kTextAreaBytes = 32767;

// The piece's name as a message names it: ` "name"`, or nothing.
std::string nameOf(const PieceModel& m) { return m.name.empty() ? std::string() : " \"" + m.name + "\""; }

ShapePoint pointShape(const ChainPoint& p) {
    ShapePoint s;
    s.type = p.type;
    s.x = p.x;
    s.y = p.y;
    s.xFormula = p.fx.value_or("");
    s.yFormula = p.fy.value_or("");
    return s;
}

// The value of a formula text in millimetres, on the store's measurement
// table. The reader has made sure that every name the text uses is one of
// the file's measurements.
float formulaMm(Piece* piece, const std::string& text) {
    float cm = qpFormulaCalculation(piece, text.c_str());
    return cm * 10.0f;
}

void setText(PatternBuffer* pattern, Piece* piece, const std::string& text, int16_t& offset, int16_t& length) {
    short off = 0;
    char* dest = nullptr;
    short len = static_cast<short>(text.size() + 1);
    qpIncreaseString(pattern, piece, len, &off, &dest);
    std::memcpy(dest, text.c_str(), text.size() + 1);
    offset = off;
    length = len;
}

// Builds a records-form piece through the store's append operations; every
// field is then written from the model in one pass, so the defaults and the
// bookkeeping the store applies on the way do not matter.
void buildRecords(PatternDoc& doc, const PieceModel& m, const std::string& where) {
    if (!m.lines.empty() && m.segments.empty())
        throw UserError(where + ".segments", "a piece with lines needs at least one segment");
    if (m.lines.empty() && !m.points.empty())
        throw UserError(where + ".lines", "a piece needs at least one line");
    Piece* piece = nullptr;
    qpIncreasePiece(doc.pattern, &piece);
    const short index = static_cast<short>(doc.pieceCount() - 1);
    auto fetch = [&]() {
        qpGetPieceLptr(doc.pattern, index, &piece);
        return piece;
    };
    const bool formulas = !m.points.empty() && m.points[0].fx.has_value();
    // Every point's two texts, each with its zero, go to the piece's text
    // area, whose offsets and charCount are 16-bit: refused before any record
    // is built, with the piece, its bytes and the limit named.
    long textBytes = 0;
    if (formulas)
        for (const FilePoint& p : m.points) textBytes += static_cast<long>(p.fx->size() + p.fy->size() + 2);
    if (textBytes > kTextAreaBytes)
        throw UserError(where, "the piece" + nameOf(m) + " has formula texts of " + std::to_string(textBytes) +
                                   " bytes, more than the " + std::to_string(kTextAreaBytes) +
                                   " bytes of a piece's formula-text area");

    // The store appends lines and points to a line segment and special
    // points to a mark segment: the first of each kind takes them all on the
    // way, and every segment's own fields are written at the end.
    short lineSeg = -1, markSeg = -1;
    for (size_t i = 0; i < m.segments.size(); ++i) {
        if (m.segments[i].markFlag && markSeg < 0) markSeg = static_cast<short>(i);
        if (!m.segments[i].markFlag && lineSeg < 0) lineSeg = static_cast<short>(i);
    }
    if (!m.lines.empty() && lineSeg < 0)
        throw UserError(where + ".segments", "the piece's lines need a line segment (markFlag 0)");
    if (!m.specialPoints.empty() && markSeg < 0)
        throw UserError(where + ".segments", "the piece's special points need a mark segment (markFlag 1)");
    for (size_t i = 0; i < m.segments.size(); ++i) {
        Seg* s = nullptr;
        qpIncreaseSegment(doc.pattern, fetch(), &s);
        s->code = m.segments[i].code;
        s->value = m.segments[i].value;
        s->markFlag = m.segments[i].markFlag;
        if (s->markFlag) {
            s->firstLine = 0;
            s->lineCount = 0;
        }
    }
    auto seg = [&](short i) {
        Seg* s = nullptr;
        qpGetSegLptr(fetch(), i, &s);
        return s;
    };
    for (size_t i = 0; i < m.lines.size(); ++i) {
        Line* l = nullptr;
        Seg* s = seg(lineSeg);
        qpIncreaseLine(doc.pattern, piece, s, &l);
    }
    for (size_t i = 0; i < m.points.size(); ++i) {
        Point* p = nullptr;
        Seg* s = seg(lineSeg);
        qpIncreasePoint(doc.pattern, piece, s, 0, 0, &p);
        Coord* c = nullptr;
        qpIncreaseCoord(doc.pattern, fetch(), &c);
        if (formulas) {
            Formula* f = nullptr;
            qpIncreaseFormula(doc.pattern, fetch(), &f);
            int16_t off = 0, len = 0;
            setText(doc.pattern, fetch(), *m.points[i].fx, off, len);
            qpGetFormulaLptr(fetch(), static_cast<short>(i), &f);
            f->xTextOffset = off;
            f->xTextLength = len;
            setText(doc.pattern, fetch(), *m.points[i].fy, off, len);
            qpGetFormulaLptr(fetch(), static_cast<short>(i), &f);
            f->yTextOffset = off;
            f->yTextLength = len;
        }
    }
    for (size_t i = 0; i < m.specialPoints.size(); ++i) {
        SPoint* sp = nullptr;
        Seg* s = seg(markSeg);
        qpIncreaseSPoint(doc.pattern, piece, s, &sp);
    }
    for (size_t i = 0; i < m.rules.size(); ++i) {
        Rule* r = nullptr;
        storeIncreaseRule(doc.pattern, fetch(), &r);
    }
    for (size_t i = 0; i < m.pRules.size(); ++i) {
        PRule* r = nullptr;
        qpInsertPRule(doc.pattern, fetch(), static_cast<short>(i - 1), &r);
    }
    for (size_t i = 0; i < m.seamAllowances.size(); ++i) {
        Extwid* e = nullptr;
        qpIncreaseExtwid(doc.pattern, fetch(), &e);
    }
    for (size_t i = 0; i < m.corners.size(); ++i) {
        Cutangl* c = nullptr;
        qpIncreaseCutangl(doc.pattern, fetch(), &c);
    }
    for (size_t i = 0; i < m.fRules.size(); ++i) {
        FRule* r = nullptr;
        storeIncreaseFRule(doc.pattern, fetch(), &r);
    }

    // Every record now exists; write the fields. No store operation runs
    // from here on, so the pointers stay valid.
    piece = fetch();
    bool taken = piece->pointCount == static_cast<int16_t>(m.points.size());
    forEachRecordList(m, [&](const auto& kind, const auto& records) {
        taken = taken && piece->*kind.count == static_cast<int16_t>(records.size());
    });
    if (!taken) throw UserError(where, "the store did not take every record of the piece");
    std::memcpy(piece->placement, m.placement.data(), sizeof piece->placement);
    piece->groupFlag = m.groupFlag;
    forEachRecordList(m, [&](const auto& kind, const auto& records) {
        for (size_t i = 0; i < records.size(); ++i) {
            typename std::decay_t<decltype(records)>::value_type* r = nullptr;
            kind.get(piece, static_cast<short>(i), &r);
            copyFields(kind, records[i], *r);
        }
    });
    for (size_t i = 0; i < m.points.size(); ++i) {
        const FilePoint& r = m.points[i];
        Point* p = nullptr;
        qpGetPointLptr(piece, static_cast<short>(i), &p);
        copyFields(kPoints, r.record, *p);
        p->type = r.record.type;
        p->coordIndex = static_cast<int16_t>(i);
        p->formulaIndex = formulas ? static_cast<int16_t>(i) : int16_t(-1);
        Coord* c = nullptr;
        qpGetCoordLptr(piece, static_cast<short>(i), &c);
        c->pointIndex = static_cast<int16_t>(i);
        c->formulaIndex = formulas ? static_cast<int16_t>(i) : int16_t(-1);
        c->x = r.xFromFormula ? formulaMm(piece, *r.fx) : r.x;
        c->y = r.yFromFormula ? formulaMm(piece, *r.fy) : r.y;
    }
}

// The shorthand goes through the store's chain builder, the one place that
// turns chains into points, lines and segments.
void buildShorthand(PatternDoc& doc, const PieceModel& m, const std::string& where) {
    PieceShape shape;
    for (const auto& chain : m.outline) {
        ShapeChain c;
        for (const auto& p : chain) c.points.push_back(pointShape(p));
        // An outline is closed: the builder appends the closing K on the
        // first point unless the chain already ends there.
        const ChainPoint& a = chain.front();
        const ChainPoint& b = chain.back();
        bool closedByHand = a.x == b.x && a.y == b.y && a.fx == b.fx && a.fy == b.fy;
        c.close = !closedByHand;
        shape.chains.push_back(std::move(c));
    }
    for (const auto& chain : m.inner) {
        ShapeChain c;
        for (const auto& p : chain) c.points.push_back(pointShape(p));
        shape.chains.push_back(std::move(c));
    }
    for (const FileMark& mk : m.marks) {
        shape.marks.push_back(mk.mark);
        shape.marks.back().point = pointShape(mk.point);
    }
    shape.extwids = m.seamAllowances;
    shape.cutangls = m.corners;
    shape.fRules = m.fRules;
    for (size_t i = 0; i < m.rules.size(); ++i) {
        ShapeRule r;
        const Rule& rm = m.rules[i];
        if (rm.firstPRule < 0 || rm.pRuleCount < 0 ||
            rm.firstPRule + rm.pRuleCount > static_cast<int>(m.pRules.size()))
            throw UserError(where + ".rules[" + std::to_string(i) + "]",
                            "its point rules run past the piece's " + std::to_string(m.pRules.size()) + " pRules");
        for (int k = rm.firstPRule; k < rm.firstPRule + rm.pRuleCount; ++k)
            r.pRules.push_back(m.pRules[static_cast<size_t>(k)]);
        shape.rules.push_back(std::move(r));
    }
    for (int i = 0; i < 9; ++i) shape.placement[i] = m.placement[static_cast<size_t>(i)];
    shape.groupFlag = m.groupFlag;
    std::string error;
    Piece* piece = storeAppendPiece(&doc.pattern, shape, &error);
    if (!piece) throw UserError(placeOf(where, error, true), "the store refused the piece" + nameOf(m) + ": " + error);
    // Points given only by formulas: their coordinates are the formulas'
    // values, now that the measurement table is set.
    short index = static_cast<short>(doc.pieceCount() - 1);
    short k = 0;
    auto fix = [&](const ChainPoint& p, const std::string& pw) {
        Point* pt = nullptr;
        qpGetPieceLptr(doc.pattern, index, &piece);
        qpGetPointLptr(piece, k, &pt);
        if (pt && (p.xFromFormula || p.yFromFormula)) {
            Coord* c = nullptr;
            qpGetCoordLptr(piece, pt->coordIndex, &c);
            if (c && p.xFromFormula) c->x = formulaMm(piece, *p.fx);
            if (c && p.yFromFormula) c->y = formulaMm(piece, *p.fy);
        }
        ++k;
    };
    for (size_t ci = 0; ci < m.outline.size(); ++ci) {
        for (size_t i = 0; i < m.outline[ci].size(); ++i)
            fix(m.outline[ci][i], where + ".outline[" + std::to_string(ci) + "][" + std::to_string(i) + "]");
        if (shape.chains[ci].close) fix(m.outline[ci][0], where + ".outline[" + std::to_string(ci) + "][0]");
    }
    for (size_t ci = 0; ci < m.inner.size(); ++ci)
        for (size_t i = 0; i < m.inner[ci].size(); ++i)
            fix(m.inner[ci][i], where + ".inner[" + std::to_string(ci) + "][" + std::to_string(i) + "]");
    for (size_t i = 0; i < m.marks.size(); ++i) fix(m.marks[i].point, where + ".marks[" + std::to_string(i) + "]");
}

}  // namespace

PatternDoc::~PatternDoc() {
    if (pattern) storeFreePattern(pattern);
}

PatternDoc::PatternDoc(PatternDoc&& other) noexcept
    : pattern(std::exchange(other.pattern, nullptr)), names(std::move(other.names)) {}

PatternDoc& PatternDoc::operator=(PatternDoc&& other) noexcept {
    if (this != &other) {
        if (pattern) storeFreePattern(pattern);
        pattern = std::exchange(other.pattern, nullptr);
        names = std::move(other.names);
    }
    return *this;
}

int PatternDoc::pieceCount() const { return pattern ? pattern->pieceCount : 0; }

Piece* PatternDoc::piece(int i) const {
    if (!pattern || i < 0 || i >= pattern->pieceCount) return nullptr;
    Piece* p = nullptr;
    qpGetPieceLptr(pattern, static_cast<short>(i), &p);
    return p;
}

std::string PatternDoc::pieceName(int i) const {
    if (i >= 0 && i < static_cast<int>(names.size()) && !names[static_cast<size_t>(i)].empty())
        return names[static_cast<size_t>(i)];
    return "piece " + std::to_string(i);
}

PatternDoc buildPattern(const PatternModel& model, const std::string& file) {
    storeClearParameters();
    for (const auto& [name, value] : model.measurements) {
        if (!storeSetParameter(name.c_str(), value))
            throw UserError(file + ": measurements." + name, "the store refused the measurement");
    }
    PatternDoc doc;
    doc.pattern = storeNewPattern(estimateBytes(model), model.kind);
    if (!doc.pattern) throw UserError(file, "cannot allocate the pattern");
    for (size_t i = 0; i < model.pieces.size(); ++i) {
        const PieceModel& m = model.pieces[i];
        std::string where = file + ": pieces[" + std::to_string(i) + "]";
        if (m.shorthand) buildShorthand(doc, m, where);
        else buildRecords(doc, m, where);
        doc.names.push_back(m.name);
        std::string verdict = checkPiece(doc, static_cast<int>(i));
        if (!verdict.empty())
            throw UserError(placeOf(where, verdict, m.shorthand),
                            "the consistency checker refuses the piece: " + verdict);
    }
    std::string verdict = checkPattern(doc);
    if (!verdict.empty()) throw UserError(file, "the consistency checker refuses the pattern: " + verdict);
    return doc;
}

PatternDoc loadPattern(const std::string& path) { return buildPattern(readPatternFile(path), path); }

PatternModel readPatternBack(const PatternDoc& doc) {
    PatternModel model;
    model.kind = doc.pattern->kind;
    for (int i = 0, n = storeParameterCount(); i < n; ++i) {
        char name[3] = {0, 0, 0};
        float value = 0.0f;
        if (storeGetParameter(i, name, &value)) model.measurements[name] = value;
    }
    for (int pi = 0; pi < doc.pieceCount(); ++pi) {
        Piece* piece = doc.piece(pi);
        PieceModel m;
        m.name = pi < static_cast<int>(doc.names.size()) ? doc.names[static_cast<size_t>(pi)] : "";
        std::memcpy(m.placement.data(), piece->placement, sizeof piece->placement);
        m.groupFlag = piece->groupFlag;
        char* texts = nullptr;
        short charCount = 0;
        qpGetCharLptr(piece, &charCount, &texts);
        auto text = [&](int16_t offset, int16_t length) {
            // Lengths count the terminating zero; a text is never read past
            // the piece's text area.
            if (!texts || offset < 0 || length <= 0 || offset + length > piece->charCount) return std::string();
            return std::string(texts + offset, strnlen(texts + offset, static_cast<size_t>(length)));
        };
        for (short i = 0; i < piece->pointCount; ++i) {
            Point* p = nullptr;
            qpGetPointLptr(piece, i, &p);
            FilePoint r;
            r.record.type = p->type;
            copyFields(kPoints, *p, r.record);
            Coord* c = nullptr;
            if (p->coordIndex >= 0 && p->coordIndex < piece->coordCount) qpGetCoordLptr(piece, p->coordIndex, &c);
            if (c) {
                r.x = c->x;
                r.y = c->y;
            }
            if (piece->formulaCount > 0) {
                Formula* f = nullptr;
                if (p->formulaIndex >= 0 && p->formulaIndex < piece->formulaCount)
                    qpGetFormulaLptr(piece, p->formulaIndex, &f);
                r.fx = f ? text(f->xTextOffset, f->xTextLength) : std::string();
                r.fy = f ? text(f->yTextOffset, f->yTextLength) : std::string();
            }
            m.points.push_back(r);
        }
        forEachRecordList(m, [&](const auto& kind, auto& records) {
            using R = typename std::decay_t<decltype(records)>::value_type;
            for (short i = 0; i < piece->*kind.count; ++i) {
                R* stored = nullptr;
                kind.get(piece, i, &stored);
                R r{};
                copyFields(kind, *stored, r);
                records.push_back(r);
            }
        });
        model.pieces.push_back(std::move(m));
    }
    return model;
}

std::string checkPiece(const PatternDoc& doc, int piece) {
    Piece* p = doc.piece(piece);
    if (!p) return "no piece " + std::to_string(piece);
    return storeCheckPieceText(p);
}

std::string checkPattern(const PatternDoc& doc) {
    if (!doc.pattern) return "no pattern";
    return storeCheckPatternText(doc.pattern);
}

}  // namespace host

// A pattern in the store: a PatternModel built through the store operations,
// read back into one, and judged by the store's consistency checker, whose
// verdicts are mapped to the file's field paths.
#include "host/pattern_store.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "frame/room.h"
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

// Builds a records-form piece in one pass: the store sizes the piece block
// for the model's counts, every record is written once where the store's
// getters place it, and the block is handed to the store with
// qpAddPiece2Buffer. Appending record by record would move the rest of the
// piece at every append. Record bytes the file does not describe stay zero,
// as the store's appends leave them.
void buildRecords(PatternDoc& doc, const PieceModel& m, const std::string& where) {
    if (!m.lines.empty() && m.segments.empty())
        throw UserError(where + ".segments", "a piece with lines needs at least one segment");
    if (m.lines.empty() && !m.points.empty())
        throw UserError(where + ".lines", "a piece needs at least one line");
    const bool formulas = !m.points.empty() && m.points[0].fx.has_value();
    // Every point's two texts, each with its zero, go to the piece's text
    // area, whose offsets and charCount are 16-bit: refused before any record
    // is built, with the piece, its bytes and the limit named.
    long textBytes = 0;
    if (formulas)
        for (const FilePoint& p : m.points) textBytes += static_cast<long>(p.fx->size() + p.fy->size() + 2);
    if (textBytes > frame::kMaxTextAreaBytes)
        throw UserError(where, "the piece" + nameOf(m) + " has formula texts of " + std::to_string(textBytes) +
                                   " bytes, more than the " + std::to_string(frame::kMaxTextAreaBytes) +
                                   " bytes of a piece's formula-text area");

    // Lines need a line segment and special points a mark segment.
    bool lineSeg = false, markSeg = false;
    for (const Seg& g : m.segments) (g.markFlag ? markSeg : lineSeg) = true;
    if (!m.lines.empty() && !lineSeg)
        throw UserError(where + ".segments", "the piece's lines need a line segment (markFlag 0)");
    if (!m.specialPoints.empty() && !markSeg)
        throw UserError(where + ".segments", "the piece's special points need a mark segment (markFlag 1)");
    // Counts are 16-bit: the first kind past them is named with its count.
    const auto tooMany = [](size_t n) { return n > static_cast<size_t>(frame::kMaxPieceRecords); };
    std::string over;
    if (tooMany(m.points.size())) over = "points: " + std::to_string(m.points.size());
    forEachRecordList(m, [&](const auto& kind, const auto& records) {
        if (over.empty() && tooMany(records.size())) over = std::string(kind.list) + ": " + std::to_string(records.size());
    });
    if (!over.empty())
        throw UserError(where, "the piece" + nameOf(m) + " has " + over + " records, more than the store's " +
                                   std::to_string(frame::kMaxPieceRecords) + " of a kind");

    Piece header;
    std::memset(&header, 0, sizeof header);
    const auto n = static_cast<int16_t>(m.points.size());
    header.pointCount = header.coordCount = n;
    header.formulaCount = formulas ? n : int16_t(0);
    header.charCount = static_cast<int16_t>(textBytes);
    forEachRecordList(m, [&](const auto& kind, const auto& records) {
        header.*kind.count = static_cast<int16_t>(records.size());
    });
    std::memcpy(header.placement, m.placement.data(), sizeof header.placement);
    header.groupFlag = m.groupFlag;
    // The block the store lays out for these counts, zeroed and 4-byte
    // aligned; each array is reached through the store's getter of its first
    // record, and a kind's records lie back to back.
    header.byteSize = static_cast<int32_t>(storePieceSize(&header));
    std::vector<uint32_t> block((static_cast<size_t>(header.byteSize) + 3) / 4, 0u);
    Piece* made = reinterpret_cast<Piece*>(block.data());
    std::memcpy(made, &header, sizeof header);
    forEachRecordList(m, [&](const auto& kind, const auto& records) {
        typename std::decay_t<decltype(records)>::value_type* first = nullptr;
        kind.get(made, 0, &first);
        for (size_t i = 0; i < records.size(); ++i) copyFields(kind, records[i], first[i]);
    });
    Point* point = nullptr;
    Coord* coord = nullptr;
    Formula* formula = nullptr;
    qpGetPointLptr(made, 0, &point);
    qpGetCoordLptr(made, 0, &coord);
    qpGetFormulaLptr(made, 0, &formula);
    short areaBytes = 0;
    char* text = nullptr;
    qpGetCharLptr(made, &areaBytes, &text);
    int16_t textAt = 0;
    auto putText = [&](const std::string& t, int16_t& offset, int16_t& length) {
        offset = textAt;
        length = static_cast<int16_t>(t.size() + 1);
        std::memcpy(text + textAt, t.c_str(), t.size() + 1);
        textAt = static_cast<int16_t>(textAt + length);
    };
    for (int16_t i = 0; i < n; ++i) {
        const FilePoint& r = m.points[static_cast<size_t>(i)];
        copyFields(kPoints, r.record, point[i]);
        point[i].type = r.record.type;
        point[i].coordIndex = i;
        point[i].formulaIndex = formulas ? i : int16_t(-1);
        coord[i].pointIndex = i;
        coord[i].formulaIndex = formulas ? i : int16_t(-1);
        coord[i].x = r.x;
        coord[i].y = r.y;
        if (formulas) {
            putText(*r.fx, formula[i].xTextOffset, formula[i].xTextLength);
            putText(*r.fy, formula[i].yTextOffset, formula[i].yTextLength);
        }
    }

    Piece* piece = nullptr;
    qpAddPiece2Buffer(nullptr, &made, &doc.pattern, &piece, 0);
    if (!piece) throw UserError(where, "the store did not take every record of the piece");
    // Coordinates given only by formulas: their values, on the piece in its
    // pattern, once the piece holds its texts.
    for (int16_t i = 0; i < n; ++i) {
        const FilePoint& r = m.points[static_cast<size_t>(i)];
        if (!r.xFromFormula && !r.yFromFormula) continue;
        Coord* c = nullptr;
        qpGetCoordLptr(piece, i, &c);
        if (r.xFromFormula) c->x = formulaMm(piece, *r.fx);
        if (r.yFromFormula) c->y = formulaMm(piece, *r.fy);
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
    auto fix = [&](const ChainPoint& p) {
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
        for (const ChainPoint& p : m.outline[ci]) fix(p);
        if (shape.chains[ci].close) fix(m.outline[ci][0]);
    }
    for (const auto& chain : m.inner)
        for (const ChainPoint& p : chain) fix(p);
    for (const auto& mark : m.marks) fix(mark.point);
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

std::map<std::string, float> readMeasurements() {
    std::map<std::string, float> measurements;
    for (int i = 0, n = storeParameterCount(); i < n; ++i) {
        char name[3] = {0, 0, 0};
        float value = 0.0f;
        if (storeGetParameter(i, name, &value)) measurements[name] = value;
    }
    return measurements;
}

PatternModel readPatternBack(const PatternDoc& doc) {
    PatternModel model;
    model.kind = doc.pattern->kind;
    model.measurements = readMeasurements();
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

// The reader has made sure that every name a file's text uses is one of the
// file's measurements.
float formulaMm(Piece* piece, const std::string& text) {
    float cm = qpFormulaCalculation(piece, text.c_str());
    return cm * 10.0f;
}

void forEachFormulaPoint(Piece* piece, const std::function<void(short point, Coord& at, float x, float y)>& visit) {
    for (short i = 0; i < piece->pointCount; ++i) {
        Point* p = nullptr;
        Coord* c = nullptr;
        qpGetPointLptr(piece, i, &p);
        if (!p || p->formulaIndex < 0 || p->formulaIndex >= piece->formulaCount) continue;
        qpGetCoordLptr(piece, p->coordIndex, &c);
        if (!c) continue;
        visit(i, *c, formulaMm(piece, storeFormulaText(piece, p->formulaIndex, 0)),
              formulaMm(piece, storeFormulaText(piece, p->formulaIndex, 1)));
    }
}

std::vector<FormulaMiss> formulaMisses(Piece* piece) {
    std::vector<FormulaMiss> misses;
    forEachFormulaPoint(piece, [&](short i, Coord& at, float x, float y) {
        if (std::fabs(x - at.x) <= kFormulaToleranceMm && std::fabs(y - at.y) <= kFormulaToleranceMm) return;
        Point* p = nullptr;
        qpGetPointLptr(piece, i, &p);
        misses.push_back(FormulaMiss{i, at.x, at.y, x, y, storeFormulaText(piece, p->formulaIndex, 0),
                                     storeFormulaText(piece, p->formulaIndex, 1)});
    });
    return misses;
}

std::vector<short> pointsOffFormulas(Piece* piece) {
    std::vector<short> off;
    for (const FormulaMiss& m : formulaMisses(piece)) off.push_back(m.point);
    return off;
}

std::string formulaMissText(const FormulaMiss& m) {
    auto axis = [](const char* name, float at, float value, const std::string& text) {
        char line[160];
        std::snprintf(line, sizeof line, "%s %.2f mm where f%s \"%s\" gives %.2f mm", name, at, name, text.c_str(),
                      value);
        return std::string(line);
    };
    std::string text = "point " + std::to_string(m.point) + ": ";
    const bool xMisses = std::fabs(m.fx - m.x) > kFormulaToleranceMm;
    if (xMisses) text += axis("x", m.x, m.fx, m.textX);
    if (std::fabs(m.fy - m.y) > kFormulaToleranceMm) text += (xMisses ? "; " : "") + axis("y", m.y, m.fy, m.textY);
    return text;
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

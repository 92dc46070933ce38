// Pattern files, reading: JSON text -> PatternModel. Checks the file's form
// (JSON syntax, keys, types, 16-bit ranges, formula texts and the names they
// use) and names the place of each fault: the line and column for a syntax
// error, the field path (pieces[2].points[5].type) for everything else.
// Record indices are the store checker's to judge, once the piece is built
// (pattern_store.cpp).
#include "host/pattern_json.h"

#include <algorithm>
#include <stdexcept>
#include <cctype>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "frame/room.h"
#include "host/host_io.h"
#include "host/record_fields.h"
#include "siblings/geometry/formula_parse.h"
#include "siblings/records/store_extras.h"

namespace host {

using nlohmann::json;

namespace {

// A formula text with its terminating zero must fit the library's 100-byte
// copy buffers (same-point insertion) and its 80-byte working texts.
constexpr size_t kMaxFormulaText = 79;

// One place in the file, for messages: "pieces[2].points[5].type". The path
// is spelled out only when a message needs it: a place is its parent, plus
// a key or an index. A place lives no longer than its parent (a local made
// from a longer-lived place, or a temporary argument).
class Field {
public:
    Field(const std::string& file, std::string path) : file_(file), key_(std::move(path)) {}
    Field key(const std::string& k) const { return Field(file_, this, k, kNoIndex); }
    Field at(size_t i) const { return Field(file_, this, std::string(), i); }
    [[noreturn]] void fail(const std::string& what) const {
        const std::string path = this->path();
        throw UserError(file_ + ": " + (path.empty() ? std::string("top level") : path), what);
    }

private:
    static constexpr size_t kNoIndex = static_cast<size_t>(-1);
    Field(const std::string& file, const Field* parent, std::string key, size_t index)
        : file_(file), parent_(parent), key_(std::move(key)), index_(index) {}
    std::string path() const {
        std::string path = parent_ ? parent_->path() : std::string();
        if (index_ != kNoIndex) return path + "[" + std::to_string(index_) + "]";
        if (!parent_ || path.empty()) return path + key_;
        return path + "." + key_;
    }

    const std::string& file_;
    const Field* parent_ = nullptr;
    std::string key_;  // the root's path, or this place's key
    size_t index_ = kNoIndex;
};

const char* typeName(const json& v) {
    switch (v.type()) {
        case json::value_t::null: return "null";
        case json::value_t::boolean: return "true/false";
        case json::value_t::string: return "a text";
        case json::value_t::array: return "a list";
        case json::value_t::object: return "an object";
        default: return "a number";
    }
}

void requireObject(const json& v, const Field& f, const std::set<std::string>& allowed) {
    if (!v.is_object()) f.fail(std::string("expected an object, found ") + typeName(v));
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (!allowed.count(it.key())) {
            std::string list;
            for (const auto& a : allowed) list += (list.empty() ? "" : ", ") + a;
            f.key(it.key()).fail("unknown field (expected one of: " + list + ")");
        }
    }
}

float number(const json& v, const Field& f) {
    if (!v.is_number()) f.fail(std::string("expected a number, found ") + typeName(v));
    double d = v.get<double>();
    if (!std::isfinite(d) || std::fabs(d) > 1.0e7)
        f.fail("the number is out of range (at most 10000000 in size)");
    return static_cast<float>(d);
}

int16_t int16(const json& v, const Field& f) {
    if (!v.is_number_integer()) f.fail(std::string("expected a whole number, found ") + typeName(v));
    long long n = v.get<long long>();
    if (n < -32768 || n > 32767) f.fail("out of the 16-bit range -32768 .. 32767");
    return static_cast<int16_t>(n);
}

const json& member(const json& obj, const char* name, const Field& f) {
    auto it = obj.find(name);
    if (it == obj.end()) f.fail(std::string("missing field \"") + name + "\"");
    return *it;
}

void optInt16(const json& obj, const char* name, const Field& f, int16_t& out) {
    auto it = obj.find(name);
    if (it != obj.end()) out = int16(*it, f.key(name));
}

char pointType(const json& v, const Field& f) {
    if (!v.is_string()) f.fail(std::string("expected a one-letter point type, found ") + typeName(v));
    std::string s = v.get<std::string>();
    if (s.size() != 1 || !std::isalpha(static_cast<unsigned char>(s[0])))
        f.fail("a point type is one letter (K, C, S, M, s, k, c, m, v, o, g, p), found \"" + s + "\"");
    return s[0];
}

std::string formulaText(const json& v, const Field& f) {
    if (!v.is_string()) f.fail(std::string("expected a formula text, found ") + typeName(v));
    std::string s = v.get<std::string>();
    if (s.size() > kMaxFormulaText)
        f.fail("the formula text is " + std::to_string(s.size()) + " characters long; at most " +
               std::to_string(kMaxFormulaText) + " fit the library's formula buffers");
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || c == '+' || c == '-' || c == '*' || c == '/' || c == '(' || c == ')' ||
              c == '.'))
            f.fail(std::string("the formula text \"") + s + "\" has the character '" + c +
                   "'; formulas use letters, digits, . + - * / ( ) and no blanks");
    }
    return s;
}

template <typename T, typename ReadOne>
void readList(const json& obj, const char* name, const Field& f, std::vector<T>& out, ReadOne one) {
    auto it = obj.find(name);
    if (it == obj.end()) return;
    Field lf = f.key(name);
    if (!it->is_array()) lf.fail(std::string("expected a list, found ") + typeName(*it));
    if (it->size() > static_cast<size_t>(frame::kMaxPieceRecords))
        lf.fail(std::to_string(it->size()) + " records, more than the store's " +
                std::to_string(frame::kMaxPieceRecords) + " of a kind (16-bit counts)");
    for (size_t i = 0; i < it->size(); ++i) out.push_back(one((*it)[i], lf.at(i)));
}

// A point with its formulas: either x or fx (or both) must be there.
template <typename P>
void readCoordinates(const json& xv, const json* fxv, const json& yv, const json* fyv, const Field& fx,
                     const Field& fy, const Field& ffx, const Field& ffy, P& p) {
    if (fxv) p.fx = formulaText(*fxv, ffx);
    if (fyv) p.fy = formulaText(*fyv, ffy);
    if (xv.is_null()) {
        if (!p.fx) fx.fail("missing: give the x coordinate (mm) or its formula fx (cm)");
        p.xFromFormula = true;
    } else {
        p.x = number(xv, fx);
    }
    if (yv.is_null()) {
        if (!p.fy) fy.fail("missing: give the y coordinate (mm) or its formula fy (cm)");
        p.yFromFormula = true;
    } else {
        p.y = number(yv, fy);
    }
    if (p.fx.has_value() != p.fy.has_value())
        (p.fx ? ffy : ffx).fail("a point with formulas needs both fx and fy");
}

// The object's fields through the kind's table: names it does not know are
// refused, required ones must be there, the rest keep the file's defaults.
// A pair kind (FRule) is a list of its fields' values instead.
template <typename R>
void readFields(const json& v, const Field& f, const RecordKind<R>& kind, R& r,
                std::initializer_list<const char*> alsoAllowed = {}) {
    if (kind.pair) {
        if (!v.is_array() || v.size() != kind.fieldCount) f.fail("an FRule is two whole numbers [a, b]");
        for (size_t i = 0; i < kind.fieldCount; ++i) r.*kind.fields[i].whole = int16(v[i], f.at(i));
        return;
    }
    // One pass over the object's keys finds each field's value and whether
    // every key is known (the set of names is built only for a refusal's
    // list); the fields are then read in the table's order, so the first
    // fault named is the table's first.
    constexpr size_t kMostFields = 16;  // the longest table has 7
    if (kind.fieldCount > kMostFields) throw std::logic_error("record field table longer than kMostFields");
    const json* value[kMostFields] = {};
    bool known = v.is_object();
    for (auto it = v.begin(); known && it != v.end(); ++it) {
        const std::string& k = it.key();
        const RecordField<R>* field =
            std::find_if(kind.begin(), kind.end(), [&](const RecordField<R>& fd) { return k == fd.json; });
        if (field != kind.end()) value[field - kind.begin()] = &*it;
        else known = std::any_of(alsoAllowed.begin(), alsoAllowed.end(), [&](const char* a) { return k == a; });
    }
    if (!known) {
        std::set<std::string> allowed(alsoAllowed.begin(), alsoAllowed.end());
        for (const RecordField<R>& field : kind) allowed.insert(field.json);
        requireObject(v, f, allowed);
    }
    for (size_t i = 0; i < kind.fieldCount; ++i) {
        const RecordField<R>& field = kind.fields[i];
        if (value[i] == nullptr) {
            if (field.required) member(v, field.json, f);
            continue;
        }
        if (field.whole) r.*field.whole = int16(*value[i], f.key(field.json));
        else r.*field.number = number(*value[i], f.key(field.json));
    }
}

template <typename R>
R readRecord(const json& v, const Field& f, const RecordKind<R>& kind) {
    R r = defaultRecord(kind);
    readFields(v, f, kind, r);
    return r;
}

FilePoint readPoint(const json& v, const Field& f) {
    FilePoint p;
    p.record = defaultRecord(kPoints);
    readFields(v, f, kPoints, p.record, {"type", "x", "y", "fx", "fy"});
    p.record.type = pointType(member(v, "type", f), f.key("type"));
    static const json null;
    auto get = [&](const char* k) -> const json* {
        auto it = v.find(k);
        return it == v.end() ? nullptr : &*it;
    };
    const json *x = get("x"), *y = get("y");
    readCoordinates(x ? *x : null, get("fx"), y ? *y : null, get("fy"), f.key("x"), f.key("y"), f.key("fx"),
                    f.key("fy"), p);
    return p;
}

// Shorthand points: ["K", x, y] or ["K", x, y, "fx", "fy"], or an object
// {"type", "x", "y", "fx", "fy"}; in inner lines the type may be left out
// ([x, y], [x, y, "fx", "fy"]) and is derived.
ChainPoint readChainPoint(const json& v, const Field& f, bool typeOptional, char defaultType) {
    ChainPoint p;
    p.type = defaultType;
    static const json null;
    if (v.is_object()) {
        requireObject(v, f, {"type", "x", "y", "fx", "fy"});
        if (v.contains("type")) p.type = pointType(v["type"], f.key("type"));
        else if (!typeOptional) f.fail("missing field \"type\"");
        auto get = [&](const char* k) -> const json* {
            auto it = v.find(k);
            return it == v.end() ? nullptr : &*it;
        };
        readCoordinates(get("x") ? *get("x") : null, get("fx"), get("y") ? *get("y") : null, get("fy"),
                        f.key("x"), f.key("y"), f.key("fx"), f.key("fy"), p);
        return p;
    }
    if (!v.is_array()) f.fail(std::string("expected a point [type, x, y] or an object, found ") + typeName(v));
    size_t at = 0;
    if (!v.empty() && v[0].is_string()) {
        p.type = pointType(v[0], f.at(0));
        at = 1;
    } else if (!typeOptional) {
        f.fail("a point starts with its type letter: [\"K\", x, y] or [\"K\", x, y, \"fx\", \"fy\"]");
    }
    size_t n = v.size() - at;
    if (n != 2 && n != 4)
        f.fail("a point is [type, x, y] or [type, x, y, fx, fy]; found " + std::to_string(v.size()) +
               " entries");
    const json* fxv = n == 4 ? &v[at + 2] : nullptr;
    const json* fyv = n == 4 ? &v[at + 3] : nullptr;
    readCoordinates(v[at], fxv, v[at + 1], fyv, f.at(at), f.at(at + 1), f.at(at + 2), f.at(at + 3), p);
    return p;
}

std::vector<std::vector<ChainPoint>> readChains(const json& obj, const char* name, const Field& f,
                                                bool inner) {
    std::vector<std::vector<ChainPoint>> chains;
    auto it = obj.find(name);
    if (it == obj.end()) return chains;
    Field lf = f.key(name);
    if (!it->is_array()) lf.fail(std::string("expected a list of point lists, found ") + typeName(*it));
    for (size_t c = 0; c < it->size(); ++c) {
        const json& chain = (*it)[c];
        Field cf = lf.at(c);
        if (!chain.is_array()) cf.fail(std::string("expected a list of points, found ") + typeName(chain));
        if (chain.size() < 2) cf.fail("a line needs at least two points");
        std::vector<ChainPoint> points;
        for (size_t i = 0; i < chain.size(); ++i) {
            char def = inner ? (i == 0 ? 's' : (i + 1 == chain.size() ? 'k' : 'c')) : 'K';
            points.push_back(readChainPoint(chain[i], cf.at(i), inner, def));
        }
        chains.push_back(std::move(points));
    }
    return chains;
}

PieceModel readPiece(const json& v, const Field& f) {
    requireObject(v, f,
                  {"name", "placement", "group", "points", "lines", "segments", "specialPoints", "rules",
                   "pRules", "seamAllowances", "corners", "fRules", "outline", "inner", "marks"});
    PieceModel piece;
    if (v.contains("name")) {
        if (!v["name"].is_string()) f.key("name").fail("expected a text");
        piece.name = v["name"].get<std::string>();
    }
    if (v.contains("placement")) {
        const json& m = v["placement"];
        Field mf = f.key("placement");
        if (!m.is_array() || m.size() != 9)
            mf.fail("expected 9 numbers (a 3x3 matrix, row by row, translation in the third row)");
        for (size_t i = 0; i < 9; ++i) piece.placement[i] = number(m[i], mf.at(i));
    }
    optInt16(v, "group", f, piece.groupFlag);

    bool records = v.contains("points") || v.contains("lines") || v.contains("segments") ||
                   v.contains("specialPoints");
    bool chains = v.contains("outline") || v.contains("inner") || v.contains("marks");
    if (records && chains)
        f.fail("a piece is given either by records (points, lines, segments, specialPoints) or by the "
               "shorthand (outline, inner, marks), not both");
    if (!records && !chains) f.fail("a piece needs \"points\" (records) or \"outline\" (shorthand)");
    piece.shorthand = chains;
    if (chains) {
        piece.outline = readChains(v, "outline", f, false);
        piece.inner = readChains(v, "inner", f, true);
        if (piece.outline.empty()) f.key("outline").fail("the shorthand needs at least one outline chain");
        readList(v, "marks", f, piece.marks, [](const json& r, const Field& rf) {
            FileMark m;
            m.mark = defaultRecord(kMarks);
            readFields(r, rf, kMarks, m.mark, {"type", "x", "y", "fx", "fy"});
            json pointPart = json::object();
            for (const char* k : {"type", "x", "y", "fx", "fy"})
                if (r.contains(k)) pointPart[k] = r[k];
            m.point = readChainPoint(pointPart, rf, false, 'o');
            if (!isMarkType(m.point.type)) rf.key("type").fail("a mark is of type v, o, g or p");
            return m;
        });
    }

    readList(v, "points", f, piece.points, readPoint);
    forEachRecordList(piece, [&](const auto& kind, auto& list) {
        readList(v, kind.list, f, list, [&](const json& r, const Field& rf) { return readRecord(r, rf, kind); });
    });

    if (!chains) {
        if (piece.points.empty()) f.key("points").fail("a piece needs at least two points");
        bool anyFormula = false, allFormula = true;
        for (const auto& p : piece.points) {
            anyFormula = anyFormula || p.fx.has_value();
            allFormula = allFormula && p.fx.has_value();
        }
        if (anyFormula && !allFormula) {
            for (size_t i = 0; i < piece.points.size(); ++i)
                if (!piece.points[i].fx)
                    f.key("points").at(i).fail(
                        "the piece carries formulas, so every point needs fx and fy (a constant such as "
                        "\"12.5\" will do)");
        }
    }
    return piece;
}

std::string lineColumn(const std::string& text, size_t byte) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < byte && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The measurement names a formula text uses: one letter, or two letters of
// the same case (the evaluator's reading of a name).
std::vector<std::string> formulaNames(const std::string& text) {
    std::vector<std::string> names;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t n = storeParameterNameAt(text, i);
        if (n == 0) continue;
        names.push_back(text.substr(i, n));
        i += n - 1;
    }
    return names;
}

// Why a formula text does not give a value on the file's measurements, or
// "" when it does: read by the evaluator the library itself uses, so that a
// text loaded is a text the tools and grading can evaluate. (The names are
// known to be the file's by then.)
std::string formulaFault(const std::string& text, const std::map<std::string, float>& measurements) {
    if (text.empty()) return "the formula is empty";
    const std::string quoted = "the formula \"" + text + "\"";
    if (!qpformula::wellFormed(text.c_str())) {
        long depth = 0;
        for (char c : text) {
            depth += c == '(' ? 1 : c == ')' ? -1 : 0;
            if (depth < 0) break;
        }
        if (depth != 0) return quoted + " does not evaluate: its brackets do not pair up";
        const char last = text.back();
        if (last == '+' || last == '-' || last == '*' || last == '/' || last == '(')
            return quoted + " does not evaluate: it ends after '" + std::string(1, last) + "'";
        return quoted + " does not evaluate: it is not numbers and measurements joined by + - * / and brackets";
    }
    auto value = [&](char first, char second) {
        const char name[3] = {first, second, 0};
        const auto it = measurements.find(name);
        return it == measurements.end() ? 0.0 : static_cast<double>(it->second);
    };
    bool ok = false;
    qpformula::evaluate(text.c_str(), value, &ok);
    if (!ok) return quoted + " does not evaluate on the file's measurements: it divides by zero";
    return "";
}

// Every formula text of the file: the names it uses are the file's
// measurements, and it evaluates on them. An empty text is a fault but in
// the shorthand beside a number, where it asks for the number as a constant
// formula (the store's builder writes it).
void checkFormulas(const PatternModel& model, const std::string& fileName) {
    auto check = [&](const std::optional<std::string>& text, bool numberGiven, bool shorthand,
                     const std::string& where) {
        if (!text) return;
        if (text->empty()) {
            if (shorthand && numberGiven) return;
            throw UserError(fileName + ": " + where,
                            shorthand ? "the formula is empty and the coordinate is left out: give one of them"
                                      : "the formula is empty: a piece with formulas needs a text for every coordinate "
                                        "(a constant such as \"12.5\" will do)");
        }
        for (const auto& name : formulaNames(*text))
            if (!model.measurements.count(name))
                throw UserError(fileName + ": " + where,
                                "the formula \"" + *text + "\" uses the measurement " + name +
                                    ", which the file's \"measurements\" do not give");
        const std::string fault = formulaFault(*text, model.measurements);
        if (!fault.empty()) throw UserError(fileName + ": " + where, fault);
    };
    auto point = [&](const auto& p, bool shorthand, const std::string& where) {
        check(p.fx, !p.xFromFormula, shorthand, where + ".fx");
        check(p.fy, !p.yFromFormula, shorthand, where + ".fy");
    };
    for (size_t pi = 0; pi < model.pieces.size(); ++pi) {
        const PieceModel& p = model.pieces[pi];
        std::string w = "pieces[" + std::to_string(pi) + "]";
        for (size_t i = 0; i < p.points.size(); ++i)
            point(p.points[i], false, w + ".points[" + std::to_string(i) + "]");
        auto chains = [&](const std::vector<std::vector<ChainPoint>>& list, const char* key) {
            for (size_t c = 0; c < list.size(); ++c)
                for (size_t i = 0; i < list[c].size(); ++i)
                    point(list[c][i], true, w + "." + key + "[" + std::to_string(c) + "][" + std::to_string(i) + "]");
        };
        chains(p.outline, "outline");
        chains(p.inner, "inner");
        for (size_t i = 0; i < p.marks.size(); ++i)
            point(p.marks[i].point, true, w + ".marks[" + std::to_string(i) + "]");
    }
}

}  // namespace

PatternModel parsePatternJson(const std::string& text, const std::string& fileName) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error& e) {
        std::string what = e.what();
        // nlohmann's text: "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
        size_t colon = what.find(": ");
        size_t at = what.find(" at line ");
        std::string reason = colon == std::string::npos ? what : what.substr(colon + 2);
        (void)at;
        throw UserError(fileName + ": " + lineColumn(text, e.byte == 0 ? 0 : e.byte - 1),
                        "not valid JSON: " + reason);
    } catch (const json::exception& e) {
        // A number out of range ("1E9999") is valid JSON syntax that the
        // reader cannot hold: refused like any other bad file, not a crash.
        std::string what = e.what();
        const size_t close = what.find("] ");
        throw UserError(fileName, "not a readable JSON file: " +
                                      (close == std::string::npos ? what : what.substr(close + 2)));
    }
    Field top(fileName, "");
    requireObject(root, top, {"format", "kind", "measurements", "pieces"});
    if (root.contains("format")) {
        const json& fm = root["format"];
        if (!fm.is_string() || fm.get<std::string>() != kPatternFormat)
            top.key("format").fail(std::string("this is not a pattern file of this version (expected \"") +
                                   kPatternFormat + "\")");
    }
    PatternModel model;
    optInt16(root, "kind", top, model.kind);
    if (root.contains("measurements")) {
        const json& m = root["measurements"];
        Field mf = top.key("measurements");
        if (!m.is_object()) mf.fail("expected an object of name: value in centimetres");
        for (auto it = m.begin(); it != m.end(); ++it) {
            if (!storeIsParameterName(it.key()))
                mf.key(it.key()).fail("a measurement name is one letter, or two letters of the same case");
            model.measurements[it.key()] = number(it.value(), mf.key(it.key()));
        }
    }
    const json& pieces = member(root, "pieces", top);
    Field pf = top.key("pieces");
    if (!pieces.is_array()) pf.fail(std::string("expected a list of pieces, found ") + typeName(pieces));
    if (pieces.empty()) pf.fail("a pattern needs at least one piece");
    for (size_t i = 0; i < pieces.size(); ++i) {
        model.pieces.push_back(readPiece(pieces[i], pf.at(i)));
    }
    checkFormulas(model, fileName);
    return model;
}

PatternModel readPatternFile(const std::string& path) { return parsePatternJson(readFile(path), path); }

}  // namespace host

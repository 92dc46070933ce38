#include "host/pattern_json.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/host_io.h"
#include "siblings/records/store_extras.h"

namespace host {

using nlohmann::json;

namespace {

constexpr const char* kFormat = "qpkit-pattern 1";
// A formula text with its terminating zero must fit the library's 100-byte
// copy buffers (same-point insertion) and its 80-byte working texts.
constexpr size_t kMaxFormulaText = 79;

// One place in the file, for messages: "pieces[2].points[5].type".
class Field {
public:
    Field(const std::string& file, std::string path) : file_(file), path_(std::move(path)) {}
    Field key(const std::string& k) const { return Field(file_, path_.empty() ? k : path_ + "." + k); }
    Field at(size_t i) const { return Field(file_, path_ + "[" + std::to_string(i) + "]"); }
    [[noreturn]] void fail(const std::string& what) const {
        throw UserError(file_ + ": " + (path_.empty() ? std::string("top level") : path_), what);
    }
    const std::string& path() const { return path_; }

private:
    const std::string& file_;
    std::string path_;
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

void optNumber(const json& obj, const char* name, const Field& f, float& out) {
    auto it = obj.find(name);
    if (it != obj.end()) out = number(*it, f.key(name));
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
    if (it->size() > 30000) lf.fail("too many records for a piece (16-bit indices)");
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

PointModel readPoint(const json& v, const Field& f) {
    requireObject(v, f, {"type", "x", "y", "fx", "fy", "lineIn", "lineOut", "seg"});
    PointModel p;
    p.type = pointType(member(v, "type", f), f.key("type"));
    static const json null;
    auto get = [&](const char* k) -> const json* {
        auto it = v.find(k);
        return it == v.end() ? nullptr : &*it;
    };
    readCoordinates(get("x") ? *get("x") : null, get("fx"), get("y") ? *get("y") : null, get("fy"),
                    f.key("x"), f.key("y"), f.key("fx"), f.key("fy"), p);
    optInt16(v, "lineIn", f, p.lineIn);
    optInt16(v, "lineOut", f, p.lineOut);
    optInt16(v, "seg", f, p.seg);
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
            requireObject(r, rf,
                          {"type", "x", "y", "fx", "fy", "lineIn", "lineOut", "code", "value", "line", "size",
                           "position"});
            MarkModel m;
            json pointPart = json::object();
            for (const char* k : {"type", "x", "y", "fx", "fy"})
                if (r.contains(k)) pointPart[k] = r[k];
            m.point = readChainPoint(pointPart, rf, false, 'o');
            char t = static_cast<char>(m.point.type & 0x5F);
            if (!(t == 'V' || t == 'O' || t == 'G' || t == 'P'))
                rf.key("type").fail("a mark is of type v, o, g or p");
            optInt16(r, "lineIn", rf, m.lineIn);
            optInt16(r, "lineOut", rf, m.lineOut);
            optInt16(r, "code", rf, m.code);
            optInt16(r, "value", rf, m.value);
            optInt16(r, "line", rf, m.line);
            optNumber(r, "size", rf, m.size);
            optNumber(r, "position", rf, m.position);
            return m;
        });
    }

    readList(v, "points", f, piece.points, readPoint);
    readList(v, "lines", f, piece.lines, [](const json& r, const Field& rf) {
        requireObject(r, rf, {"kind", "flags", "first", "count", "joinKind", "joinCount", "joinPoint"});
        LineModel l;
        l.first = int16(member(r, "first", rf), rf.key("first"));
        l.count = int16(member(r, "count", rf), rf.key("count"));
        optInt16(r, "kind", rf, l.kind);
        optInt16(r, "flags", rf, l.flags);
        optInt16(r, "joinKind", rf, l.joinKind);
        optInt16(r, "joinCount", rf, l.joinCount);
        optInt16(r, "joinPoint", rf, l.joinPoint);
        return l;
    });
    readList(v, "segments", f, piece.segments, [](const json& r, const Field& rf) {
        requireObject(r, rf, {"code", "markFlag", "value", "firstLine", "lineCount"});
        SegModel s;
        s.code = int16(member(r, "code", rf), rf.key("code"));
        s.firstLine = int16(member(r, "firstLine", rf), rf.key("firstLine"));
        s.lineCount = int16(member(r, "lineCount", rf), rf.key("lineCount"));
        optInt16(r, "markFlag", rf, s.markFlag);
        optInt16(r, "value", rf, s.value);
        return s;
    });
    readList(v, "specialPoints", f, piece.specialPoints, [](const json& r, const Field& rf) {
        requireObject(r, rf, {"line", "point", "size", "position"});
        SPointModel s;
        s.line = int16(member(r, "line", rf), rf.key("line"));
        s.point = int16(member(r, "point", rf), rf.key("point"));
        optNumber(r, "size", rf, s.size);
        optNumber(r, "position", rf, s.position);
        return s;
    });
    readList(v, "rules", f, piece.rules, [](const json& r, const Field& rf) {
        requireObject(r, rf, {"firstPRule", "pRuleCount"});
        RuleModel m;
        m.firstPRule = int16(member(r, "firstPRule", rf), rf.key("firstPRule"));
        m.pRuleCount = int16(member(r, "pRuleCount", rf), rf.key("pRuleCount"));
        return m;
    });
    readList(v, "pRules", f, piece.pRules, [](const json& r, const Field& rf) {
        requireObject(r, rf, {"code", "point", "dx", "dy"});
        PRuleModel m;
        m.point = int16(member(r, "point", rf), rf.key("point"));
        optInt16(r, "code", rf, m.code);
        optNumber(r, "dx", rf, m.dx);
        optNumber(r, "dy", rf, m.dy);
        return m;
    });
    readList(v, "seamAllowances", f, piece.seamAllowances, [](const json& r, const Field& rf) {
        requireObject(r, rf, {"from", "to", "fromWidth", "toWidth"});
        ExtwidModel m;
        m.from = int16(member(r, "from", rf), rf.key("from"));
        m.to = int16(member(r, "to", rf), rf.key("to"));
        optNumber(r, "fromWidth", rf, m.fromWidth);
        optNumber(r, "toWidth", rf, m.toWidth);
        return m;
    });
    readList(v, "corners", f, piece.corners, [](const json& r, const Field& rf) {
        requireObject(r, rf, {"side", "point", "first", "second"});
        CutanglModel m;
        m.point = int16(member(r, "point", rf), rf.key("point"));
        optInt16(r, "side", rf, m.side);
        optNumber(r, "first", rf, m.first);
        optNumber(r, "second", rf, m.second);
        return m;
    });
    readList(v, "fRules", f, piece.fRules, [](const json& r, const Field& rf) {
        if (!r.is_array() || r.size() != 2) rf.fail("an FRule is two whole numbers [a, b]");
        FRuleModel m;
        m.field0 = int16(r[0], rf.at(0));
        m.field2 = int16(r[1], rf.at(1));
        return m;
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
        checkPieceIndices(piece, f.path().empty() ? "" : f.path());
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

void checkFormulaNames(const PatternModel& model, const std::string& fileName) {
    auto check = [&](const std::optional<std::string>& text, const std::string& where) {
        if (!text) return;
        for (const auto& name : formulaNames(*text))
            if (!model.measurements.count(name))
                throw UserError(fileName + ": " + where,
                                "the formula \"" + *text + "\" uses the measurement " + name +
                                    ", which the file's \"measurements\" do not give");
    };
    for (size_t pi = 0; pi < model.pieces.size(); ++pi) {
        const PieceModel& p = model.pieces[pi];
        std::string w = "pieces[" + std::to_string(pi) + "]";
        for (size_t i = 0; i < p.points.size(); ++i) {
            std::string pw = w + ".points[" + std::to_string(i) + "]";
            check(p.points[i].fx, pw + ".fx");
            check(p.points[i].fy, pw + ".fy");
        }
        auto chains = [&](const std::vector<std::vector<ChainPoint>>& list, const char* key) {
            for (size_t c = 0; c < list.size(); ++c)
                for (size_t i = 0; i < list[c].size(); ++i) {
                    std::string pw = w + "." + key + "[" + std::to_string(c) + "][" + std::to_string(i) + "]";
                    check(list[c][i].fx, pw + ".fx");
                    check(list[c][i].fy, pw + ".fy");
                }
        };
        chains(p.outline, "outline");
        chains(p.inner, "inner");
        for (size_t i = 0; i < p.marks.size(); ++i) {
            std::string pw = w + ".marks[" + std::to_string(i) + "]";
            check(p.marks[i].point.fx, pw + ".fx");
            check(p.marks[i].point.fy, pw + ".fy");
        }
    }
}

// --- writing ----------------------------------------------------------------

std::string q(const std::string& s) { return json(s).dump(); }
std::string n(float v) { return floatText(v); }
std::string n(int v) { return std::to_string(v); }

}  // namespace

void checkPieceIndices(const PieceModel& piece, const std::string& where) {
    // Messages name the piece's field path; the file name is put in front by
    // the caller's Field when there is one.
    auto fail = [&](const std::string& field, const std::string& what) {
        throw UserError(where.empty() ? field : where + "." + field, what);
    };
    const int points = static_cast<int>(piece.points.size());
    const int lines = static_cast<int>(piece.lines.size());
    const int segs = static_cast<int>(piece.segments.size());
    const int sPoints = static_cast<int>(piece.specialPoints.size());
    const int pRules = static_cast<int>(piece.pRules.size());
    auto at = [](const char* list, size_t i) { return std::string(list) + "[" + std::to_string(i) + "]"; };
    for (size_t i = 0; i < piece.points.size(); ++i) {
        const PointModel& p = piece.points[i];
        char t = static_cast<char>(p.type & 0x5F);
        // Marks (v, o, g, p) keep codes and angles in lineIn and lineOut;
        // every other point names lines there.
        bool mark = t == 'V' || t == 'O' || t == 'G' || t == 'P';
        if (!mark) {
            if (p.lineIn >= lines)
                fail(at("points", i) + ".lineIn", "line " + std::to_string(p.lineIn) + " does not exist (the piece has " +
                                                   std::to_string(lines) + " lines)");
            if (p.lineOut >= lines)
                fail(at("points", i) + ".lineOut", "line " + std::to_string(p.lineOut) +
                                                    " does not exist (the piece has " + std::to_string(lines) +
                                                    " lines)");
        }
        if (p.seg < 0 || (segs > 0 && p.seg >= segs) || (segs == 0 && p.seg != 0))
            fail(at("points", i) + ".seg", "segment " + std::to_string(p.seg) + " does not exist (the piece has " +
                                            std::to_string(segs) + " segments)");
    }
    for (size_t i = 0; i < piece.lines.size(); ++i) {
        const LineModel& l = piece.lines[i];
        if (l.count < 1) fail(at("lines", i) + ".count", "a line has at least one point");
        if (l.first < 0 || l.first + l.count > points)
            fail(at("lines", i), "points " + std::to_string(l.first) + " .. " + std::to_string(l.first + l.count - 1) +
                                     " run past the piece's last point (" + std::to_string(points - 1) + ")");
    }
    for (size_t i = 0; i < piece.segments.size(); ++i) {
        const SegModel& s = piece.segments[i];
        int limit = s.markFlag ? sPoints : lines;
        const char* what = s.markFlag ? "special points" : "lines";
        if (s.lineCount < 0 || s.firstLine < 0 || s.firstLine + s.lineCount > limit)
            fail(at("segments", i), std::string(what) + " " + std::to_string(s.firstLine) + " .. " +
                                        std::to_string(s.firstLine + s.lineCount - 1) + " run past the piece's " +
                                        std::to_string(limit) + " " + what);
    }
    for (size_t i = 0; i < piece.specialPoints.size(); ++i) {
        const SPointModel& s = piece.specialPoints[i];
        // A negative index means none: a mark that lies on no line.
        if (s.line >= lines)
            fail(at("specialPoints", i) + ".line", "line " + std::to_string(s.line) + " does not exist");
        if (s.point >= points)
            fail(at("specialPoints", i) + ".point", "point " + std::to_string(s.point) + " does not exist");
    }
    for (size_t i = 0; i < piece.rules.size(); ++i) {
        const RuleModel& r = piece.rules[i];
        if (r.pRuleCount < 0 || r.firstPRule < 0 || r.firstPRule + r.pRuleCount > pRules)
            fail(at("rules", i), "its point rules run past the piece's " + std::to_string(pRules) + " pRules");
    }
    for (size_t i = 0; i < piece.pRules.size(); ++i)
        if (piece.pRules[i].point < 0 || piece.pRules[i].point >= points)
            fail(at("pRules", i) + ".point", "point " + std::to_string(piece.pRules[i].point) + " does not exist");
    for (size_t i = 0; i < piece.seamAllowances.size(); ++i) {
        const ExtwidModel& e = piece.seamAllowances[i];
        if (e.from < 0 || e.from >= points)
            fail(at("seamAllowances", i) + ".from", "point " + std::to_string(e.from) + " does not exist");
        if (e.to < 0 || e.to >= points)
            fail(at("seamAllowances", i) + ".to", "point " + std::to_string(e.to) + " does not exist");
    }
    for (size_t i = 0; i < piece.corners.size(); ++i)
        if (piece.corners[i].point < 0 || piece.corners[i].point >= points)
            fail(at("corners", i) + ".point", "point " + std::to_string(piece.corners[i].point) + " does not exist");
}

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
        if (!fm.is_string() || fm.get<std::string>() != kFormat)
            top.key("format").fail(std::string("this is not a pattern file of this version (expected \"") +
                                   kFormat + "\")");
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
        try {
            model.pieces.push_back(readPiece(pieces[i], pf.at(i)));
        } catch (const UserError& e) {
            // checkPieceIndices names fields without the file; put it in front.
            if (e.where().rfind(fileName + ": ", 0) == 0) throw;
            throw UserError(fileName + ": " + e.where(), e.what());
        }
    }
    checkFormulaNames(model, fileName);
    return model;
}

PatternModel readPatternFile(const std::string& path) { return parsePatternJson(readFile(path), path); }

std::string patternJson(const PatternModel& model) {
    std::ostringstream o;
    o << "{\n  \"format\": " << q(kFormat) << ",\n  \"kind\": " << model.kind << ",\n  \"measurements\": {";
    bool first = true;
    for (const auto& [name, value] : model.measurements) {
        o << (first ? "" : ", ") << q(name) << ": " << n(value);
        first = false;
    }
    o << "},\n  \"pieces\": [";
    for (size_t pi = 0; pi < model.pieces.size(); ++pi) {
        const PieceModel& p = model.pieces[pi];
        // The writer writes records; a shorthand piece is built in the store
        // and read back (readPatternBack) before it is written.
        if (p.shorthand)
            throw UserError("pieces[" + std::to_string(pi) + "]", "a shorthand piece cannot be written as records");
        o << (pi ? "," : "") << "\n    {\n      \"name\": " << q(p.name) << ",\n      \"placement\": [";
        for (int i = 0; i < 9; ++i) o << (i ? ", " : "") << n(p.placement[i]);
        o << "],\n      \"group\": " << p.groupFlag;
        auto list = [&](const char* name, size_t count, auto one) {
            o << ",\n      \"" << name << "\": [";
            for (size_t i = 0; i < count; ++i) o << (i ? "," : "") << "\n        " << one(i);
            o << (count ? "\n      ]" : "]");
        };
        list("points", p.points.size(), [&](size_t i) {
            const PointModel& r = p.points[i];
            std::string s = "{\"type\": " + q(std::string(1, r.type)) + ", \"x\": " + n(r.x) + ", \"y\": " + n(r.y);
            if (r.fx) s += ", \"fx\": " + q(*r.fx) + ", \"fy\": " + q(r.fy.value_or(""));
            s += ", \"lineIn\": " + n(r.lineIn) + ", \"lineOut\": " + n(r.lineOut) + ", \"seg\": " + n(r.seg) + "}";
            return s;
        });
        list("lines", p.lines.size(), [&](size_t i) {
            const LineModel& r = p.lines[i];
            return "{\"kind\": " + n(r.kind) + ", \"flags\": " + n(r.flags) + ", \"first\": " + n(r.first) +
                   ", \"count\": " + n(r.count) + ", \"joinKind\": " + n(r.joinKind) + ", \"joinCount\": " +
                   n(r.joinCount) + ", \"joinPoint\": " + n(r.joinPoint) + "}";
        });
        list("segments", p.segments.size(), [&](size_t i) {
            const SegModel& r = p.segments[i];
            return "{\"code\": " + n(r.code) + ", \"markFlag\": " + n(r.markFlag) + ", \"value\": " + n(r.value) +
                   ", \"firstLine\": " + n(r.firstLine) + ", \"lineCount\": " + n(r.lineCount) + "}";
        });
        list("specialPoints", p.specialPoints.size(), [&](size_t i) {
            const SPointModel& r = p.specialPoints[i];
            return "{\"line\": " + n(r.line) + ", \"point\": " + n(r.point) + ", \"size\": " + n(r.size) +
                   ", \"position\": " + n(r.position) + "}";
        });
        list("rules", p.rules.size(), [&](size_t i) {
            return "{\"firstPRule\": " + n(p.rules[i].firstPRule) + ", \"pRuleCount\": " + n(p.rules[i].pRuleCount) +
                   "}";
        });
        list("pRules", p.pRules.size(), [&](size_t i) {
            const PRuleModel& r = p.pRules[i];
            return "{\"code\": " + n(r.code) + ", \"point\": " + n(r.point) + ", \"dx\": " + n(r.dx) +
                   ", \"dy\": " + n(r.dy) + "}";
        });
        list("seamAllowances", p.seamAllowances.size(), [&](size_t i) {
            const ExtwidModel& r = p.seamAllowances[i];
            return "{\"from\": " + n(r.from) + ", \"to\": " + n(r.to) + ", \"fromWidth\": " + n(r.fromWidth) +
                   ", \"toWidth\": " + n(r.toWidth) + "}";
        });
        list("corners", p.corners.size(), [&](size_t i) {
            const CutanglModel& r = p.corners[i];
            return "{\"side\": " + n(r.side) + ", \"point\": " + n(r.point) + ", \"first\": " + n(r.first) +
                   ", \"second\": " + n(r.second) + "}";
        });
        list("fRules", p.fRules.size(),
             [&](size_t i) { return "[" + n(p.fRules[i].field0) + ", " + n(p.fRules[i].field2) + "]"; });
        o << "\n    }";
    }
    o << "\n  ]\n}\n";
    return o.str();
}

void writePatternFile(const std::string& path, const PatternModel& model) {
    writeFileAtomic(path, patternJson(model));
}

}  // namespace host

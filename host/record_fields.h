// One table per record kind of a pattern file: for every field its name in
// the file, the record member it fills (the store's own record types of
// frame/records.h), the member's name as the store's checker spells it, and
// its value when the file leaves it out. The JSON reader and writer, the
// building of a piece in the store and its reading back all walk these
// tables, so a new field is one line here. Fields no table names (the
// store's own words, a point's coordIndex and formulaIndex) are the store's.
//
// Memory: the tables are static; records are copied by value.
// Units: as the records: millimetres, 16-bit indices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/records.h"
#include "frame/siblings.h"
#include "host/pattern_model.h"

namespace host {

template <typename R>
struct RecordField {
    const char* json;        // the name in the file
    const char* member;      // the record member, as the checker names it
    int16_t R::*whole;       // the member: a whole number ...
    float R::*number;        // ... or a float (exactly one is set)
    bool required;           // the file must give it
    float fallback;          // its value when the file leaves it out
};

template <typename R>
constexpr RecordField<R> wholeField(const char* json, const char* member, int16_t R::*m, bool required,
                                    int16_t fallback = 0) {
    return RecordField<R>{json, member, m, nullptr, required, static_cast<float>(fallback)};
}
template <typename R>
constexpr RecordField<R> numberField(const char* json, const char* member, float R::*m, float fallback = 0.0f) {
    return RecordField<R>{json, member, nullptr, m, false, fallback};
}

template <typename R>
struct RecordKind {
    const char* list;     // the piece's field in the file
    const char* checker;  // the record kind in the checker's verdicts
    const RecordField<R>* fields;
    size_t fieldCount;
    bool pair;            // written as a list [a, b] instead of an object
    void (*get)(Piece*, short, R**);
    int16_t Piece::*count;

    const RecordField<R>* begin() const { return fields; }
    const RecordField<R>* end() const { return fields + fieldCount; }
};

// clang-format off
// A point's type and coordinates are read and written by hand (type letters,
// formulas); these are the rest of its Point record.
inline constexpr RecordField<Point> kPointFields[] = {
    wholeField("lineIn", "lineIn", &Point::lineIn, false, -1),
    wholeField("lineOut", "lineOut", &Point::lineOut, false, -1),
    wholeField("seg", "segIndex", &Point::segIndex, false, 0),
};
inline constexpr RecordField<Line> kLineFields[] = {
    wholeField("kind", "kind", &Line::kind, false, 1),
    wholeField("flags", "flags", &Line::flags, false),
    wholeField("first", "firstPoint", &Line::firstPoint, true),
    wholeField("count", "pointCount", &Line::pointCount, true),
    wholeField("joinKind", "joinKind", &Line::joinKind, false),
    wholeField("joinCount", "joinCount", &Line::joinCount, false),
    wholeField("joinPoint", "joinPoint", &Line::joinPoint, false),
};
inline constexpr RecordField<Seg> kSegFields[] = {
    wholeField("code", "code", &Seg::code, true),
    wholeField("markFlag", "markFlag", &Seg::markFlag, false),
    wholeField("value", "value", &Seg::value, false),
    wholeField("firstLine", "firstLine", &Seg::firstLine, true),
    wholeField("lineCount", "lineCount", &Seg::lineCount, true),
};
inline constexpr RecordField<SPoint> kSPointFields[] = {
    wholeField("line", "lineIndex", &SPoint::lineIndex, true),
    wholeField("point", "pointIndex", &SPoint::pointIndex, true),
    numberField("size", "size", &SPoint::size, 5.0f),
    numberField("position", "position", &SPoint::position),
};
inline constexpr RecordField<Rule> kRuleFields[] = {
    wholeField("firstPRule", "firstPRule", &Rule::firstPRule, true),
    wholeField("pRuleCount", "pRuleCount", &Rule::pRuleCount, true),
};
inline constexpr RecordField<PRule> kPRuleFields[] = {
    wholeField("code", "code", &PRule::code, false),
    wholeField("point", "pointIndex", &PRule::pointIndex, true),
    numberField("dx", "dx", &PRule::dx),
    numberField("dy", "dy", &PRule::dy),
};
inline constexpr RecordField<Extwid> kExtwidFields[] = {
    wholeField("from", "fromPoint", &Extwid::fromPoint, true),
    wholeField("to", "toPoint", &Extwid::toPoint, true),
    numberField("fromWidth", "fromWidth", &Extwid::fromWidth),
    numberField("toWidth", "toWidth", &Extwid::toWidth),
};
inline constexpr RecordField<Cutangl> kCutanglFields[] = {
    wholeField("side", "side", &Cutangl::side, false, 1),
    wholeField("point", "pointIndex", &Cutangl::pointIndex, true),
    numberField("first", "first", &Cutangl::first),
    numberField("second", "second", &Cutangl::second),
};
// Written as [field0, field2].
inline constexpr RecordField<FRule> kFRuleFields[] = {
    wholeField("0", "field0", &FRule::field0, true),
    wholeField("1", "field2", &FRule::field2, true),
};
// A shorthand mark: its codes, its segment and its SPoint (the builder's
// ShapeMark); the point itself is read like a chain point.
inline constexpr RecordField<ShapeMark> kMarkFields[] = {
    wholeField("lineIn", "lineIn", &ShapeMark::lineIn, false, 0),
    wholeField("lineOut", "lineOut", &ShapeMark::lineOut, false, 0),
    wholeField("code", "segCode", &ShapeMark::segCode, false, 15),
    wholeField("value", "segValue", &ShapeMark::segValue, false, 12),
    wholeField("line", "lineIndex", &ShapeMark::lineIndex, false, -1),
    numberField("size", "size", &ShapeMark::size, 5.0f),
    numberField("position", "position", &ShapeMark::position),
};

#define QP_KIND(R, list, checker, table, pair, get, count) \
    RecordKind<R>{list, checker, table, sizeof table / sizeof table[0], pair, get, &Piece::count}
inline const RecordKind<Point> kPoints = QP_KIND(Point, "points", "point", kPointFields, false, qpGetPointLptr, pointCount);
inline const RecordKind<Line> kLines = QP_KIND(Line, "lines", "line", kLineFields, false, qpGetLineLptr, lineCount);
inline const RecordKind<Seg> kSegments = QP_KIND(Seg, "segments", "seg", kSegFields, false, qpGetSegLptr, segCount);
inline const RecordKind<SPoint> kSpecialPoints =
    QP_KIND(SPoint, "specialPoints", "spoint", kSPointFields, false, qpGetSPointLptr, sPointCount);
inline const RecordKind<Rule> kRules = QP_KIND(Rule, "rules", "rule", kRuleFields, false, qpGetRuleLptr, ruleCount);
inline const RecordKind<PRule> kPRules = QP_KIND(PRule, "pRules", "prule", kPRuleFields, false, qpGetPRuleLptr, pRuleCount);
inline const RecordKind<Extwid> kSeamAllowances =
    QP_KIND(Extwid, "seamAllowances", "extwid", kExtwidFields, false, qpGetExtwidLptr, extwidCount);
inline const RecordKind<Cutangl> kCorners =
    QP_KIND(Cutangl, "corners", "cutangl", kCutanglFields, false, qpGetCutanglLptr, cutanglCount);
inline const RecordKind<FRule> kFRules = QP_KIND(FRule, "fRules", "frule", kFRuleFields, true, qpGetFRuleLptr, fRuleCount);
#undef QP_KIND
inline const RecordKind<ShapeMark> kMarks{"marks", "", kMarkFields, sizeof kMarkFields / sizeof kMarkFields[0],
                                          false, nullptr, nullptr};
// clang-format on

// A record as the file's defaults make it: zeroed, then every field's fallback.
template <typename R>
R defaultRecord(const RecordKind<R>& kind) {
    R r{};
    for (const RecordField<R>& f : kind) {
        if (f.whole) r.*f.whole = static_cast<int16_t>(f.fallback);
        else r.*f.number = f.fallback;
    }
    return r;
}

// Copies the fields the table names, and only those.
template <typename R>
void copyFields(const RecordKind<R>& kind, const R& from, R& to) {
    for (const RecordField<R>& f : kind) {
        if (f.whole) to.*f.whole = from.*f.whole;
        else to.*f.number = from.*f.number;
    }
}

// Calls visit(kind, list) for every record kind of a piece kept as a plain
// list of records, in file order (points, which carry texts, come first and
// are not among them).
template <typename Model, typename Visit>
void forEachRecordList(Model& piece, Visit&& visit) {
    visit(kLines, piece.lines);
    visit(kSegments, piece.segments);
    visit(kSpecialPoints, piece.specialPoints);
    visit(kRules, piece.rules);
    visit(kPRules, piece.pRules);
    visit(kSeamAllowances, piece.seamAllowances);
    visit(kCorners, piece.corners);
    visit(kFRules, piece.fRules);
}

// The file path of the record a checker verdict names, for messages:
// "extwid 0: points 0..9 out of range 0..2" -> "seamAllowances[0]",
// "point 3: lineOut 5 out of range -1..2" -> "points[3].lineOut". Empty when
// the verdict names no record of the file (a coord, a formula text, the
// piece). `shorthand`: only the kinds a shorthand piece gives record by
// record (seam allowances, corners) are named.
std::string verdictPath(const std::string& verdict, bool shorthand);

}  // namespace host

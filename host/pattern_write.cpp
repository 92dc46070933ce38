// Pattern files, writing: PatternModel -> JSON text. Every record of the
// model, one record to a line, its fields in table order (record_fields.h),
// numbers in the shortest text that reads back as the same float, so that
// reading what it wrote gives the same model.
#include <sstream>

#include <nlohmann/json.hpp>

#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/record_fields.h"

namespace host {

namespace {

std::string q(const std::string& s) { return nlohmann::json(s).dump(); }
std::string n(float v) { return floatText(v); }
std::string n(int v) { return std::to_string(v); }

// The table's fields of one record: ", \"name\": value" each, or the values
// alone (", value") for a pair kind.
template <typename R>
std::string fieldsText(const RecordKind<R>& kind, const R& r) {
    std::string s;
    for (const RecordField<R>& f : kind) {
        s += ", ";
        if (!kind.pair) s += q(f.json) + ": ";
        s += f.whole ? n(r.*f.whole) : n(r.*f.number);
    }
    return s;
}

template <typename R>
std::string recordText(const RecordKind<R>& kind, const R& r) {
    const std::string fields = fieldsText(kind, r).substr(2);
    return kind.pair ? "[" + fields + "]" : "{" + fields + "}";
}

std::string pointText(const FilePoint& r) {
    std::string s = "{\"type\": " + q(std::string(1, r.record.type)) + ", \"x\": " + n(r.x) + ", \"y\": " + n(r.y);
    if (r.fx) s += ", \"fx\": " + q(*r.fx) + ", \"fy\": " + q(r.fy.value_or(""));
    return s + fieldsText(kPoints, r.record) + "}";
}

}  // namespace

std::string patternJson(const PatternModel& model) {
    std::ostringstream o;
    o << "{\n  \"format\": " << q(kPatternFormat) << ",\n  \"kind\": " << model.kind << ",\n  \"measurements\": {";
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
        auto list = [&](const char* name, const auto& records, auto one) {
            o << ",\n      \"" << name << "\": [";
            for (size_t i = 0; i < records.size(); ++i) o << (i ? "," : "") << "\n        " << one(records[i]);
            o << (records.empty() ? "]" : "\n      ]");
        };
        list("points", p.points, pointText);
        forEachRecordList(p, [&](const auto& kind, const auto& records) {
            list(kind.list, records, [&](const auto& r) { return recordText(kind, r); });
        });
        o << "\n    }";
    }
    o << "\n  ]\n}\n";
    return o.str();
}

void writePatternFile(const std::string& path, const PatternModel& model) {
    // What is written must read back: the text goes through the reader
    // first, and what the reader would refuse (a count past the store's
    // limit, a formula that does not evaluate, a coordinate out of range)
    // is refused here, naming the place, with nothing written.
    std::string text = patternJson(model);
    try {
        parsePatternJson(text, path);
    } catch (const UserError& e) {
        throw UserError(e.where(), std::string(e.what()) + "; not written, as the file would not read back");
    }
    writeFileAtomic(path, text);
}

}  // namespace host

// Two patterns compared record by record (see compare.h).
#include "host/compare.h"

#include <cmath>
#include <cstdio>
#include <type_traits>

#include "host/host_io.h"
#include "host/pattern_store.h"
#include "host/record_fields.h"

namespace host {

namespace {

constexpr size_t kShownDifferences = 50;

class Comparer {
public:
    Comparer(double tolerance, Comparison& result) : tolerance_(tolerance), result_(result) {}

    void whole(const std::string& path, long a, long b) {
        if (a != b) differ(path, std::to_string(a), std::to_string(b));
    }
    void text(const std::string& path, const std::string& a, const std::string& b) {
        if (a != b) differ(path, quoted(a), quoted(b));
    }
    // A number within the tolerance; `coordinate`: a point's x or y, which
    // the largest difference is kept for.
    void number(const std::string& path, float a, float b, bool coordinate = false) {
        const double apart = std::fabs(static_cast<double>(a) - static_cast<double>(b));
        if (coordinate && apart > result_.largestCoordinate) {
            result_.largestCoordinate = apart;
            result_.largestAt = path;
        }
        // Not within: also a NaN on either side that the other does not share.
        const bool same = apart <= tolerance_ || (std::isnan(a) && std::isnan(b));
        if (!same) differ(path, floatText(a), floatText(b) + " (" + floatText(static_cast<float>(apart)) + " apart)");
    }
    // Counts first: records past the shorter list are named by the count.
    bool count(const std::string& path, size_t a, size_t b) {
        whole(path + " count", static_cast<long>(a), static_cast<long>(b));
        return a == b;
    }

    // Values as they are given (a measurement one pattern lacks).
    void differ(const std::string& path, const std::string& a, const std::string& b) {
        result_.differences.push_back(path + ": " + a + " vs " + b);
    }

    template <typename R>
    void record(const RecordKind<R>& kind, const std::string& path, const R& a, const R& b) {
        for (const RecordField<R>& f : kind) {
            const std::string at = path + "." + f.json;
            if (f.whole) whole(at, a.*f.whole, b.*f.whole);
            else number(at, a.*f.number, b.*f.number);
        }
    }

private:
    static std::string quoted(const std::string& s) { return "\"" + s + "\""; }

    double tolerance_;
    Comparison& result_;
};

void comparePoint(Comparer& c, const std::string& path, const FilePoint& a, const FilePoint& b) {
    c.text(path + ".type", std::string(1, a.record.type), std::string(1, b.record.type));
    c.number(path + ".x", a.x, b.x, true);
    c.number(path + ".y", a.y, b.y, true);
    // A point without formulas reads as having none, not an empty text.
    c.text(path + ".fx", a.fx.value_or("(none)"), b.fx.value_or("(none)"));
    c.text(path + ".fy", a.fy.value_or("(none)"), b.fy.value_or("(none)"));
    c.record(kPoints, path, a.record, b.record);
}

// A piece's list of R records: each kind has a record type of its own.
template <typename R>
const std::vector<R>& listOf(const PieceModel& piece) {
    const std::vector<R>* found = nullptr;
    forEachRecordList(piece, [&](const auto&, const auto& list) {
        if constexpr (std::is_same_v<std::decay_t<decltype(list)>, std::vector<R>>) found = &list;
    });
    return *found;
}

void comparePiece(Comparer& c, const std::string& path, const PieceModel& a, const PieceModel& b) {
    c.text(path + ".name", a.name, b.name);
    c.whole(path + ".groupFlag", a.groupFlag, b.groupFlag);
    for (size_t i = 0; i < a.placement.size(); ++i)
        c.number(path + ".placement[" + std::to_string(i) + "]", a.placement[i], b.placement[i]);
    if (c.count(path + ".points", a.points.size(), b.points.size()))
        for (size_t i = 0; i < a.points.size(); ++i)
            comparePoint(c, path + ".points[" + std::to_string(i) + "]", a.points[i], b.points[i]);
    forEachRecordList(a, [&](const auto& kind, const auto& as) {
        const auto& bs = listOf<typename std::decay_t<decltype(as)>::value_type>(b);
        const std::string list = path + "." + kind.list;
        if (!c.count(list, as.size(), bs.size())) return;
        for (size_t i = 0; i < as.size(); ++i) c.record(kind, list + "[" + std::to_string(i) + "]", as[i], bs[i]);
    });
}

}  // namespace

Comparison comparePatterns(const PatternModel& a, const PatternModel& b, double tolerance) {
    Comparison result;
    Comparer c(tolerance, result);
    c.whole("kind", a.kind, b.kind);
    for (const auto& [name, value] : a.measurements) {
        auto other = b.measurements.find(name);
        if (other == b.measurements.end()) c.differ("measurements." + name, floatText(value), "(none)");
        else c.number("measurements." + name, value, other->second);
    }
    for (const auto& [name, value] : b.measurements)
        if (!a.measurements.count(name)) c.differ("measurements." + name, "(none)", floatText(value));
    if (c.count("pieces", a.pieces.size(), b.pieces.size()))
        for (size_t i = 0; i < a.pieces.size(); ++i)
            comparePiece(c, "pieces[" + std::to_string(i) + "]", a.pieces[i], b.pieces[i]);
    return result;
}

int cmdCompare(const std::string& pathA, const std::string& pathB, double tolerance, std::ostream& out) {
    // Each read back before the next is loaded: the store holds one
    // measurement table at a time.
    const PatternModel a = readPatternBack(loadPattern(pathA));
    const PatternModel b = readPatternBack(loadPattern(pathB));
    const Comparison r = comparePatterns(a, b, tolerance);
    for (size_t i = 0; i < r.differences.size() && i < kShownDifferences; ++i) out << r.differences[i] << "\n";
    if (r.differences.size() > kShownDifferences)
        out << "... and " << r.differences.size() - kShownDifferences << " more differences\n";
    char largest[64];
    std::snprintf(largest, sizeof largest, "%.3g", r.largestCoordinate);
    out << "largest coordinate difference: " << largest << " mm"
        << (r.largestAt.empty() ? std::string() : " (" + r.largestAt + ")") << "\n";
    if (!r.differences.empty()) {
        out << pathA << " and " << pathB << " differ: " << r.differences.size() << " differences beyond "
            << floatText(static_cast<float>(tolerance)) << " mm or in records and texts\n";
        return kPatternsDiffer;
    }
    out << pathA << " and " << pathB << " hold the same records, every number within "
        << floatText(static_cast<float>(tolerance)) << " mm\n";
    return 0;
}

}  // namespace host

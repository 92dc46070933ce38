// The checker's verdicts mapped to file paths, through the field tables.
#include "host/record_fields.h"

#include <cstdlib>
#include <cstring>

namespace host {

namespace {

// "kind N: member ..." -> list[N] and, when the member is one the table
// names, .json.
template <typename R>
bool matchKind(const RecordKind<R>& kind, const std::string& verdict, std::string& path) {
    const size_t n = std::strlen(kind.checker);
    if (verdict.compare(0, n, kind.checker) != 0 || verdict.size() <= n + 1 || verdict[n] != ' ') return false;
    char* end = nullptr;
    const long index = std::strtol(verdict.c_str() + n + 1, &end, 10);
    if (end == verdict.c_str() + n + 1 || *end != ':' || index < 0) return false;
    path = std::string(kind.list) + "[" + std::to_string(index) + "]";
    const std::string rest(end + 1);
    for (const RecordField<R>& f : kind) {
        const std::string word = std::string(" ") + f.member + " ";
        if (rest.compare(0, word.size(), word) == 0 && !kind.pair) path += std::string(".") + f.json;
    }
    return true;
}

}  // namespace

std::string verdictPath(const std::string& verdict, bool shorthand) {
    std::string path;
    if (matchKind(kSeamAllowances, verdict, path) || matchKind(kCorners, verdict, path)) return path;
    if (shorthand) return "";
    if (matchKind(kPoints, verdict, path) || matchKind(kLines, verdict, path) || matchKind(kSegments, verdict, path) ||
        matchKind(kSpecialPoints, verdict, path) || matchKind(kRules, verdict, path) ||
        matchKind(kPRules, verdict, path) || matchKind(kFRules, verdict, path))
        return path;
    return "";
}

}  // namespace host

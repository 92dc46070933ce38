// The measurement table: the pattern's parameters (body measurements) that
// formula texts name, with their values for the current size in centimetres.
//
// One table for the process, filled by the host (storeSetParameter); the
// piece argument of qpGetParaNameLptr is not needed to find it. Records live
// in a deque so that a ParaName pointer handed out stays valid while later
// lookups add names; storeClearParameters ends every such pointer.
#include <cstring>
#include <deque>

#include "siblings/records/store_internals.h"

namespace {

std::deque<ParaName>& parameterTable() {
    static std::deque<ParaName> records;
    return records;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }

ParaName* findParameter(char first, char second) {
    for (ParaName& p : parameterTable())
        if (p.name[0] == first && p.name[1] == second) return &p;
    return nullptr;
}

ParaName* addParameter(char first, char second, float value) {
    ParaName record{};
    record.name[0] = first;
    record.name[1] = second;
    record.value = value;
    parameterTable().push_back(record);
    return &parameterTable().back();
}

}  // namespace

QP_SIBLING_EXPORT void qpGetParaNameLptr(Piece* /*piece*/, char first, char second, ParaName** p) {
    if (p == nullptr) return;
    *p = nullptr;
    if (!isLetter(first) || (second != 0 && !isLetter(second))) {
        char name[3] = {first ? first : '?', second, 0};
        storeReport("store: qpGetParaNameLptr: \"%s\" is not a parameter name", name);
        return;
    }
    // An unknown name joins the table with the value 0, so that every caller
    // gets a record; the host may give it a value later.
    ParaName* found = findParameter(first, second);
    *p = found ? found : addParameter(first, second, 0.0f);
}

QP_SIBLING_EXPORT int storeSetParameter(const char* name, float value) {
    // Any other name could never be looked up by a formula text.
    if (!storeIsParameterName(name ? name : "")) {
        storeReport("store: storeSetParameter: \"%s\" is not a name of one letter or two of one case",
                    name ? name : "");
        return 0;
    }
    char second = name[1];  // 0 for a one-letter name
    ParaName* found = findParameter(name[0], second);
    if (found != nullptr) found->value = value;
    else addParameter(name[0], second, value);
    return 1;
}

QP_STORE_CXX_EXPORT size_t storeParameterNameAt(const std::string& text, size_t i) {
    if (i >= text.size() || !isLetter(text[i])) return 0;
    const bool pair = i + 1 < text.size() && isLetter(text[i + 1]) && isUpper(text[i + 1]) == isUpper(text[i]);
    return pair ? 2 : 1;
}

QP_STORE_CXX_EXPORT bool storeIsParameterName(const std::string& name) {
    return !name.empty() && storeParameterNameAt(name, 0) == name.size();
}

QP_SIBLING_EXPORT void storeClearParameters(void) { parameterTable().clear(); }

QP_SIBLING_EXPORT int storeParameterCount(void) { return static_cast<int>(parameterTable().size()); }

QP_SIBLING_EXPORT int storeGetParameter(int i, char name[3], float* value) {
    if (i < 0 || i >= storeParameterCount()) return 0;
    const ParaName& p = parameterTable()[static_cast<size_t>(i)];
    if (name != nullptr) {
        name[0] = p.name[0];
        name[1] = p.name[1];
        name[2] = 0;
    }
    if (value != nullptr) *value = p.value;
    return 1;
}

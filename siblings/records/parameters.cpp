// The measurement table: the pattern's parameters (body measurements) that
// formula texts name, with their values for the current size in centimetres.
//
// One table for the process, filled by the host (storeSetParameter); the
// piece argument of qpGetParaNameLptr is not needed to find it. Records live
// in a deque so that a ParaName pointer handed out stays valid while later
// lookups add names; storeClearParameters ends every such pointer.
#include <cstring>
#include <deque>

#include "siblings/records/store_extras.h"

namespace {

std::deque<ParaName>& table() {
    static std::deque<ParaName> records;
    return records;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

ParaName* find(char first, char second) {
    for (ParaName& p : table())
        if (p.name[0] == first && p.name[1] == second) return &p;
    return nullptr;
}

ParaName* add(char first, char second, float value) {
    ParaName record{};
    record.name[0] = first;
    record.name[1] = second;
    record.value = value;
    table().push_back(record);
    return &table().back();
}

}  // namespace

QP_SIBLING_EXPORT void qpGetParaNameLptr(Piece* piece, char first, char second, ParaName** p) {
    if (p == nullptr) return;
    *p = nullptr;
    if (!isLetter(first) || (second != 0 && !isLetter(second))) {
        char name[3] = {first ? first : '?', second, 0};
        storeReport("store: qpGetParaNameLptr: \"%s\" is not a parameter name", name);
        return;
    }
    // An unknown name joins the table with the value 0, so that every caller
    // gets a record; the host may give it a value later.
    ParaName* found = find(first, second);
    *p = found ? found : add(first, second, 0.0f);
}

QP_SIBLING_EXPORT int storeSetParameter(const char* name, float value) {
    size_t length = name ? std::strlen(name) : 0;
    // Formula texts name a parameter by one letter or by two letters of the
    // same case; any other name could never be looked up.
    bool twoOfOneCase = length == 2 && isLetter(name[1]) && ((name[0] ^ name[1]) & 0x20) == 0;
    if (length < 1 || length > 2 || !isLetter(name[0]) || (length == 2 && !twoOfOneCase)) {
        storeReport("store: storeSetParameter: \"%s\" is not a name of one letter or two of one case",
                    name ? name : "");
        return 0;
    }
    char second = length == 2 ? name[1] : 0;
    ParaName* found = find(name[0], second);
    if (found != nullptr) found->value = value;
    else add(name[0], second, value);
    return 1;
}

QP_SIBLING_EXPORT void storeClearParameters(void) { table().clear(); }

QP_SIBLING_EXPORT int storeParameterCount(void) { return static_cast<int>(table().size()); }

QP_SIBLING_EXPORT int storeGetParameter(int i, char name[3], float* value) {
    if (i < 0 || i >= storeParameterCount()) return 0;
    const ParaName& p = table()[static_cast<size_t>(i)];
    if (name != nullptr) {
        name[0] = p.name[0];
        name[1] = p.name[1];
        name[2] = 0;
    }
    if (value != nullptr) *value = p.value;
    return 1;
}

// Shared by the formula-text tests: runs a routine on a text held the way
// callers hold it (a 100-byte buffer, or the text and its NUL when longer)
// with guard bytes behind it, and the example-table row type.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace ftext_test {

constexpr size_t kCallerBuffer = 100;
constexpr size_t kGuard = 64;
constexpr unsigned char kUnusedByte = 0xA5;  // bytes behind the NUL
constexpr unsigned char kGuardByte = 0x5A;   // bytes behind the buffer

struct Run {
    std::string text;
    short status = 0;
    bool guardIntact = true;    // nothing written past the buffer
    bool bufferUnchanged = true;  // every byte of the buffer as before
};

template <class Routine>
Run RunOnText(const std::string& input, Routine routine) {
    const size_t size = input.size() + 1 > kCallerBuffer ? input.size() + 1 : kCallerBuffer;
    std::vector<char> memory(size, static_cast<char>(kUnusedByte));
    memory.insert(memory.end(), kGuard, static_cast<char>(kGuardByte));
    std::memcpy(memory.data(), input.c_str(), input.size() + 1);
    const std::vector<char> before(memory);

    Run r;
    r.status = routine(memory.data());
    r.text = std::string(memory.data(), strnlen(memory.data(), size));
    for (size_t i = size; i < memory.size(); ++i)
        if (memory[i] != before[i]) r.guardIntact = false;
    for (size_t i = 0; i < size; ++i)
        if (memory[i] != before[i]) r.bufferUnchanged = false;
    return r;
}

// One exact example: the text in, the text out and the status. A row whose
// behaviour is odd but intended says why.
struct TextRow {
    std::string input;
    std::string expected;
    short status;
    const char* why = "";
};

inline void PrintTo(const TextRow& row, std::ostream* os) {
    *os << "\"" << row.input << "\" -> \"" << row.expected << "\" (" << row.status << ")";
    if (row.why[0] != '\0') *os << " [" << row.why << "]";
}

// Checks a run against a row: the text, the status, nothing written past the
// buffer, and a refused text left exactly as it was.
inline void ExpectRow(const TextRow& row, const Run& run) {
    EXPECT_EQ(run.text, row.expected);
    EXPECT_EQ(run.status, row.status);
    EXPECT_TRUE(run.guardIntact) << "wrote past the caller's buffer";
    if (row.status == 0) {
        EXPECT_TRUE(run.bufferUnchanged) << "a refused text must stay untouched";
    }
}

// A term of exactly `length` characters: name "*1.000..." (value 1 times
// the name), so that texts of a chosen length pack predictably.
inline std::string OneTerm(const std::string& name, size_t length) {
    std::string t = name + "*1.";
    while (t.size() < length) t += '0';
    return t.substr(0, length);
}

}  // namespace ftext_test

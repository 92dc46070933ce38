// Shared by the fuzz harnesses of the formula-text routines: the input, cut
// to 99 bytes and NUL-terminated, becomes a caller's 100-byte text in a heap
// block of exactly that size, so that AddressSanitizer sees any write past
// it. Besides the sanitizers, each run checks the routines' promises and
// traps when one is broken; for the rewriting routines that includes the
// value: a text they accept must read as a formula, and what they write must
// have its value (times the factor) at three parameter points drawn from the
// input, within the three-decimal rounding of each written number.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "siblings/geometry/formula_parse.h"

namespace fuzz_text {

constexpr size_t kCallerText = 100;

inline void Require(bool promise) {
    if (!promise) __builtin_trap();
}

// Parameter values of one point: every name gets its own, from the seed,
// between -60 and 60 (centimetres).
struct Point {
    uint32_t seed;
    double operator()(char first, char second) const {
        uint32_t h = seed ^ (static_cast<uint8_t>(first) * 2654435761u) ^ (static_cast<uint8_t>(second) * 40503u);
        h ^= h >> 15;
        h *= 2246822519u;
        h ^= h >> 13;
        return (h % 12001u) / 100.0 - 60.0;
    }
};

// |p| summed over a text's name occurrences plus 1 for each number (each
// may carry its own rounding), and its largest number.
inline void Measure(const char* t, const Point& p, double* names, double* largest) {
    for (size_t i = 0; t[i] != '\0';) {
        if (qpformula::isLetter(t[i])) {
            const char second = qpformula::isLetter(t[i + 1]) ? t[i + 1] : 0;
            *names += std::fabs(p(t[i], second));
            i += second ? 2 : 1;
        } else if (qpformula::isDigit(t[i]) || t[i] == '.') {
            size_t j = i;
            while (qpformula::isDigit(t[j]) || t[j] == '.') ++j;
            *largest = std::max(*largest, std::atof(std::string(t + i, j - i).c_str()));
            *names += 1.0;
            i = j;
        } else {
            ++i;
        }
    }
}

inline double ValueOf(const char* t, const Point& p) {
    return t[0] == '\0' ? 0.0 : qpformula::evaluate(t, p);
}

// A value kept: `before` the input, `after` the routine's result.
inline void RequireValueKept(const char* before, const char* after, double factor, uint32_t seed) {
    Require(before[0] == '\0' || qpformula::wellFormed(before));
    Require(after[0] == '\0' || qpformula::wellFormed(after));
    for (uint32_t k = 1; k <= 3; ++k) {
        const Point p{seed * 7919u + k};
        double names = 0.0, largest = 1.0;
        Measure(before, p, &names, &largest);
        Measure(after, p, &names, &largest);
        largest *= std::max(1.0, factor);
        const double expected = ValueOf(before, p) * factor;
        const double tol = (0.0005 + 2e-7 * largest) * (2.0 + names) + 1e-9 * std::fabs(expected);
        Require(std::fabs(ValueOf(after, p) - expected) <= tol);
    }
}

// Calls routine(text) on the input and checks: the status is 1, 0 or -1;
// the text is still terminated within its buffer and at most maxLength long
// when the routine succeeded; a refused text (status 0) is untouched, every
// byte of the buffer included.
// With `factor` (not NaN), status 1 must also keep the value: the result is
// worth the input times factor.
template <class Routine>
void RunText(const uint8_t* data, size_t size, size_t maxLength, Routine routine,
             double factor = std::nan("")) {
    char* text = static_cast<char*>(std::malloc(kCallerText));
    char before[kCallerText];
    // Bytes behind the NUL get a pattern, so that a refusal that scribbles
    // there is seen as well.
    for (size_t i = 0; i < kCallerText; ++i) text[i] = static_cast<char>(0xA5 ^ i);
    const size_t n = size < kCallerText - 1 ? size : kCallerText - 1;
    std::memcpy(text, data, n);
    text[n] = '\0';
    std::memcpy(before, text, kCallerText);

    const short status = routine(text);
    Require(status == 1 || status == 0 || status == -1);
    const void* end = std::memchr(text, '\0', kCallerText);
    Require(end != nullptr);
    if (status == 0) {
        Require(std::memcmp(before, text, kCallerText) == 0);
    } else {
        Require(static_cast<size_t>(static_cast<const char*>(end) - text) <= maxLength);
    }
    if (status == 1 && !std::isnan(factor)) {
        uint32_t seed = 2166136261u;
        for (size_t i = 0; i < n; ++i) seed = (seed ^ data[i]) * 16777619u;
        RequireValueKept(before, text, factor, seed);
    }
    std::free(text);
}

}  // namespace fuzz_text

// Shared by the fuzz harnesses of the formula-text routines: the input, cut
// to 99 bytes and NUL-terminated, becomes a caller's 100-byte text in a heap
// block of exactly that size, so that AddressSanitizer sees any write past
// it. Besides the sanitizers, each run checks the routines' promises and
// traps when one is broken.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace fuzz_text {

constexpr size_t kCallerText = 100;

inline void Require(bool promise) {
    if (!promise) __builtin_trap();
}

// Calls routine(text) on the input and checks: the status is 1, 0 or -1;
// the text is still terminated within its buffer and at most maxLength long
// when the routine succeeded; a refused text (status 0) is untouched, every
// byte of the buffer included.
template <class Routine>
void RunText(const uint8_t* data, size_t size, size_t maxLength, Routine routine) {
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
    std::free(text);
}

}  // namespace fuzz_text

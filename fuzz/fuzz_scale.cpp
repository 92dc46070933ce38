// Fuzz harness: qpCalcuSubExpression. The first input byte is the operator
// (any byte, so that wrong operators are tried too), the next four the bits
// of the float factor (NaN, infinities and negatives included); the rest is
// the text, up to 99 bytes. A scaled text never exceeds 79 characters.
#include <cstring>

#include "frame/exports.h"
#include "fuzz/text_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const char op = static_cast<char>(data[0]);
    float factor;
    std::memcpy(&factor, data + 1, sizeof factor);
    fuzz_text::RunText(data + 5, size - 5, 79,
                       [&](char* text) { return qpCalcuSubExpression(text, op, factor); });
    return 0;
}

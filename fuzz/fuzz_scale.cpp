// Fuzz harness: qpCalcuSubExpression. The first input byte is the operator
// (any byte, so that wrong operators are tried too), the next four the bits
// of the float factor (NaN, infinities and negatives included); the rest is
// the text, up to 99 bytes. A scaled text never exceeds 79 characters, and
// keeps its value times the factor.
#include <cmath>
#include <cstring>

#include "frame/exports.h"
#include "fuzz/text_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const char op = static_cast<char>(data[0]);
    float factor;
    std::memcpy(&factor, data + 1, sizeof factor);
    // An accepted text is worth the input times the factor (divided by it
    // for '/'); a refused operator or factor never gets that far.
    const double times = op == '/' ? 1.0 / static_cast<double>(factor) : static_cast<double>(factor);
    fuzz_text::RunText(
        data + 5, size - 5, 79, [&](char* text) { return qpCalcuSubExpression(text, op, factor); },
        std::isfinite(times) ? times : std::nan(""));
    return 0;
}

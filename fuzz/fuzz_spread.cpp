// Fuzz harness: qpSpreadBracketsExpression on any text of up to 99 bytes; a
// text it accepts keeps its value.
#include "frame/exports.h"
#include "fuzz/text_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_text::RunText(data, size, fuzz_text::kCallerText - 1,
                       [](char* text) { return qpSpreadBracketsExpression(text); }, 1.0);
    return 0;
}

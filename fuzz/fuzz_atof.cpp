// Fuzz harness: qpAtof on any text of up to 99 bytes.
#include <cmath>

#include "frame/exports.h"
#include "fuzz/text_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_text::RunText(data, size, fuzz_text::kCallerText - 1, [](char* text) -> short {
        // The reader never yields NaN: digits only ever add to one side.
        fuzz_text::Require(!std::isnan(qpAtof(text)));
        return 1;
    });
    return 0;
}

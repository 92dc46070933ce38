// Fuzz harness: a pattern file, from its bytes to the store and back.
//
// Any text is read as a pattern file; a file the reader or the store refuses
// must be refused with the host's one-line user error, and a file it accepts
// must build a pattern that passes the consistency checker and that writes
// back to a file which reads again to the same records. Anything else (a
// crash, a sanitizer report, another exception, a written file the reader
// refuses, a round trip that changes the pattern) is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string written;
    try {
        const host::PatternModel model = host::parsePatternJson(text, "fuzz.json");
        host::PatternDoc doc = host::buildPattern(model, "fuzz.json");
        if (!host::checkPattern(doc).empty())
            std::abort();  // the loader promised a consistent pattern
        written = host::patternJson(host::readPatternBack(doc));
    } catch (const host::UserError&) {
        return 0;  // a refused file: the host reports it and writes nothing
    }
    try {
        const host::PatternModel again = host::parsePatternJson(written, "again.json");
        host::PatternDoc docAgain = host::buildPattern(again, "again.json");
        if (host::patternJson(host::readPatternBack(docAgain)) != written)
            std::abort();  // load, save and load again must be lossless
    } catch (const host::UserError&) {
        std::abort();  // what was read and written must read back
    }
    return 0;
}

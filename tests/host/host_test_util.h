// Helpers of the host tests: temporary folders, running the built qpkit,
// loading patterns from text, and the consistency check every edit ends with.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "host/pattern_store.h"

namespace hosttest {

// A fresh folder under the system's temporary folder, removed with its
// files when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

struct RunResult {
    int status = -1;
    std::string output;  // stdout and stderr together
};
// Runs bin/qpkit with `args` (already shell-quoted where needed).
RunResult runQpkit(const std::string& args);

bool fileExists(const std::string& path);
std::string slurp(const std::string& path);
void spit(const std::string& path, const std::string& text);

std::string examplesDir();

// Every piece and the buffer pass the store's consistency checker.
::testing::AssertionResult patternConsistent(const host::PatternDoc& doc);
// Every point with formulas lies where its formulas put it (within 0.1 mm),
// on the store's measurement table.
::testing::AssertionResult followsItsFormulas(const host::PatternDoc& doc);

}  // namespace hosttest

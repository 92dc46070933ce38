#include <gtest/gtest.h>

#include "host_test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "siblings/records/store_extras.h"

namespace hosttest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/qpkit-test-XXXXXX";
    char* made = mkdtemp(&templ[0]);
    path_ = made ? made : "";
}

TempDir::~TempDir() {
    if (!path_.empty()) {
        std::string cmd = "rm -rf '" + path_ + "'";
        int rc = std::system(cmd.c_str());
        (void)rc;
    }
}

RunResult runQpkit(const std::string& args) {
    RunResult r;
    std::string cmd = std::string("'") + QPKIT_BINARY + "' " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool fileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void spit(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string examplesDir() { return std::string(QP_SOURCE_DIR) + "/examples"; }

::testing::AssertionResult patternConsistent(const host::PatternDoc& doc) {
    for (int i = 0; i < doc.pieceCount(); ++i) {
        char message[256] = {0};
        if (!storeCheckPiece(doc.piece(i), message, sizeof message))
            return ::testing::AssertionFailure() << "piece " << i << ": " << message;
    }
    char message[256] = {0};
    if (!storeCheckPattern(doc.pattern, message, sizeof message))
        return ::testing::AssertionFailure() << "pattern: " << message;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult followsItsFormulas(const host::PatternDoc& doc) {
    for (int i = 0; i < doc.pieceCount(); ++i) {
        const std::vector<short> off = host::pointsOffFormulas(doc.piece(i));
        if (!off.empty())
            return ::testing::AssertionFailure() << "piece " << i << ": point " << off[0] << " is not where its formulas put it";
    }
    return ::testing::AssertionSuccess();
}

}  // namespace hosttest

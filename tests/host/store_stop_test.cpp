// A tool's edit that the pattern store stops, replayed by qpkit: one line
// naming the script line, status 2, and no file touched.
//
// The tools plan with the store's real limits and refuse first, so the store
// is made stricter for the run: its text area takes only 4 bytes more than
// the loaded sleeve holds (QP_STORE_TEXT_AREA_LIMIT), and the sleeve cap's
// twin, whose formula texts are copied, overflows it inside the handler.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/host_io.h"
#include "host/pattern_store.h"
#include "host/replay.h"
#include "host/script.h"
#include "host_test_util.h"
#include "siblings/records/store_extras.h"
#include "win/win32.h"

namespace {

std::string q(const std::string& s) { return "'" + s + "'"; }

int loadedTextBytes(const std::string& path) {
    host::PatternDoc doc = host::loadPattern(path);
    return doc.piece(0)->charCount;
}

TEST(StoreStop, ATextAreaOverflowInAToolRunEndsQpkitWithTheScriptLineAndWritesNothing) {
    hosttest::TempDir dir;
    const std::string pattern = dir.file("sleeve.json"), out = dir.file("out.json"), svg = dir.file("out.svg");
    const std::string original = hosttest::slurp(hosttest::examplesDir() + "/sleeve.json");
    hosttest::spit(pattern, original);
    const std::string script = hosttest::examplesDir() + "/sleeve-cap.txt";
    const int chars = loadedTextBytes(pattern);
    ASSERT_GT(chars, 0);
    setenv("QP_STORE_TEXT_AREA_LIMIT", std::to_string(chars + 4).c_str(), 1);
    const auto r = hosttest::runQpkit("run " + q(pattern) + " " + q(script) + " -o " + q(out) + " --svg " + q(svg));
    unsetenv("QP_STORE_TEXT_AREA_LIMIT");
    EXPECT_EQ(r.status, 2) << r.output;
    // The error is the output's last line, and its only "qpkit:" line.
    const size_t at = r.output.find("qpkit: ");
    ASSERT_NE(at, std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("qpkit: ", at + 1), std::string::npos) << r.output;
    const std::string line = r.output.substr(at);
    EXPECT_EQ(line.find('\n'), line.size() - 1) << r.output;
    EXPECT_EQ(line.rfind("qpkit: " + script + ": line 10: the pattern store stopped the sleeve cap edit: store: text area full", 0), 0u)
        << line;
    EXPECT_EQ(hosttest::slurp(pattern), original);
    EXPECT_FALSE(hosttest::fileExists(out));
    EXPECT_FALSE(hosttest::fileExists(svg));
    // With the store's real limit the same run is an ordinary one.
    EXPECT_EQ(hosttest::runQpkit("run " + q(pattern) + " " + q(script) + " -o " + q(out)).status, 0);
}

// Unwinding leaves the document owning a live block: the point-increase
// tool first moves a pattern without room to a larger block (the host's
// cells follow), then the store stops its click. The session takes the new
// block over, so the document frees that one, and nothing else, at the end.
TEST(StoreStop, TheDocumentKeepsTheBlockTheToolMovedThePatternTo) {
    host::PatternDoc doc = host::loadPattern(hosttest::examplesDir() + "/basic-block.json");
    // A block that holds the pattern exactly.
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(doc.pattern->totalSize));
    auto* tight = static_cast<PatternBuffer*>(GlobalLock(h));
    qpMemcpy(tight, doc.pattern, doc.pattern->totalSize);
    storeFreePattern(doc.pattern);
    doc.pattern = tight;
    storeSetTextAreaLimit(doc.piece(0)->charCount + 4);
    const auto script = host::parseScript("tool increase\nhosttext 0.6\nset increaseMode 14\nclick 100 300\nend\n",
                                          "drill.txt");
    try {
        host::HostSession session(doc, nullptr);
        session.play(script, "drill.txt");
        ADD_FAILURE() << "the store did not stop the edit";
    } catch (const host::EditFailure& e) {
        EXPECT_EQ(e.oneLine().rfind("drill.txt: line 4: the pattern store stopped the point increase edit: "
                                    "store: text area full",
                                    0),
                  0u)
            << e.oneLine();
    }
    storeSetTextAreaLimit(0);
    EXPECT_NE(doc.pattern, tight);
    EXPECT_GE(storeBlockSize(doc.pattern), static_cast<long>(doc.pattern->totalSize));
    EXPECT_EQ(storeSetFailureHook(nullptr), nullptr);
}

// The session installs its hook for its lifetime only: outside it the store
// stops the program as before (the library's last line of defence).
TEST(StoreStop, TheSessionRestoresTheStoresOwnFailure) {
    host::PatternDoc doc = host::loadPattern(hosttest::examplesDir() + "/sleeve.json");
    ASSERT_EQ(storeSetFailureHook(nullptr), nullptr);
    {
        host::HostSession session(doc, nullptr);
        StoreFailureHook installed = storeSetFailureHook(nullptr);
        EXPECT_NE(installed, nullptr);
        storeSetFailureHook(installed);
    }
    EXPECT_EQ(storeSetFailureHook(nullptr), nullptr);
}

}  // namespace

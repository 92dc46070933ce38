// What a run changed: the change report and the overlay of the old outline,
// on the sleeve cap run (a twin inserted, the cap reshaped) and on a point
// deleted by hand.
#include <gtest/gtest.h>

#include <string>

#include "host/change_report.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/replay.h"
#include "host/script.h"
#include "host_test_util.h"

using namespace host;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ChangeReport, APatternAgainstItselfIsUnchanged) {
    PatternDoc doc = loadPattern(hosttest::examplesDir() + "/basic-block.json");
    const std::string report = changeReport(doc, doc);
    for (int i = 0; i < doc.pieceCount(); ++i)
        EXPECT_TRUE(has(report, "piece " + std::to_string(i) + " \"" + doc.pieceName(i) + "\": unchanged")) << report;
}

// The cap line is 15 mm longer (within the tool's 0.05 mm), every other
// line keeps its length, the cut point's twin is the one point added (after
// its original), and the curve points moved.
TEST(ChangeReport, TheSleeveCapRun) {
    const std::string file = hosttest::examplesDir() + "/sleeve.json";
    PatternDoc before = loadPattern(file);
    PatternDoc after = loadPattern(file);
    {
        HostSession session(after, nullptr);
        session.play(readScriptFile(hosttest::examplesDir() + "/sleeve-cap.txt"), "sleeve-cap.txt");
    }
    const std::string report = changeReport(before, after);
    EXPECT_TRUE(has(report, "piece 0 \"sleeve\": 14 -> 15 points, 5 -> 5 lines")) << report;
    EXPECT_TRUE(has(report, "outline line 0 (points 0..8) -> 0 (points 0..9): 454.82 -> 469.80 (+14.98)")) << report;
    for (const char* kept : {"416.34 -> 416.34 (0.00)", "220.00 -> 220.00 (0.00)", "360.00 -> 360.00 (0.00)"})
        EXPECT_TRUE(has(report, kept)) << kept << "\n" << report;
    EXPECT_TRUE(has(report, "points moved (before -> after): 7")) << report;
    EXPECT_TRUE(has(report, "points added: 1\n    5 C (167.76, 154.85)")) << report;
    EXPECT_TRUE(has(report, "points removed: none")) << report;
}

// A point deleted from the outline: reported removed, the lines around it
// merged into one, nothing moved.
TEST(ChangeReport, ADeletedPoint) {
    const std::string file = hosttest::examplesDir() + "/sleeve.json";
    PatternDoc before = loadPattern(file);
    PatternDoc after = loadPattern(file);
    qpDeletePoint(after.pattern, after.piece(0), 10);
    ASSERT_TRUE(hosttest::patternConsistent(after));
    const std::string report = changeReport(before, after);
    EXPECT_TRUE(has(report, "14 -> 13 points, 5 -> 4 lines")) << report;
    EXPECT_TRUE(has(report, "points removed: 1\n    10 K")) << report;
    EXPECT_TRUE(has(report, "points moved (before -> after): none")) << report;
    EXPECT_TRUE(has(report, "-> removed")) << report;
}

TEST(ChangeReport, RunReportAndRenderBeforeFromTheCommandLine) {
    hosttest::TempDir dir;
    const std::string sleeve = hosttest::examplesDir() + "/sleeve.json";
    auto r = hosttest::runQpkit("run '" + sleeve + "' '" + hosttest::examplesDir() + "/sleeve-cap.txt' -o '" +
                                dir.file("out.json") + "' --report");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r.output, "what changed:\npiece 0 \"sleeve\": 14 -> 15 points")) << r.output;
    r = hosttest::runQpkit("render '" + dir.file("out.json") + "' -o '" + dir.file("o.svg") + "' --before '" +
                           sleeve + "'");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string svg = hosttest::slurp(dir.file("o.svg"));
    const size_t old = svg.find("class=\"before\"");
    ASSERT_NE(old, std::string::npos);
    EXPECT_LT(old, svg.find("class=\"outline\"")) << "the old outline goes underneath";
    r = hosttest::runQpkit("render '" + sleeve + "' -o '" + dir.file("p.svg") + "'");
    EXPECT_FALSE(has(hosttest::slurp(dir.file("p.svg")), "class=\"before\""));
}

}  // namespace

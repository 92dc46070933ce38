// Comparing two patterns (qpkit compare): every kind of difference named by
// its field path with both values, numbers within the tolerance kept quiet
// but measured, and the status a script reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/compare.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host_test_util.h"

using namespace host;

namespace {

PatternModel bodiceBlock() { return readPatternBack(loadPattern(hosttest::examplesDir() + "/basic-block.json")); }

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

TEST(Compare, NamesEachDifferenceByItsPlaceWithBothValues) {
    const PatternModel a = bodiceBlock();
    PatternModel b = a;
    PieceModel& bodice = b.pieces[0];
    const float x3 = bodice.points[3].x;
    bodice.points[3].x += 0.0002f;         // beyond 0.1 micrometre
    bodice.points[5].y += 0.00005f;        // within: measured, not a difference
    *bodice.points[7].fx += "+0";          // a text is compared byte for byte
    bodice.lines[2].firstPoint += 1;       // a whole-number field
    bodice.specialPoints[0].position += 1; // a number of another record kind
    b.measurements.erase("W");
    b.pieces[2].points.pop_back();         // counts first; records past them are not paired

    const Comparison r = comparePatterns(a, b, 1e-4);
    const std::vector<std::string> starts = {
        "measurements.W: 68 vs (none)",
        "pieces[0].points[3].x: " + floatText(x3) + " vs " + floatText(x3 + 0.0002f) + " (",
        "pieces[0].points[7].fx: \"" + *a.pieces[0].points[7].fx + "\" vs \"" + *a.pieces[0].points[7].fx + "+0\"",
        "pieces[0].lines[2].first: ",
        "pieces[0].specialPoints[0].position: ",
        "pieces[2].points count: " + std::to_string(a.pieces[2].points.size()) + " vs " +
            std::to_string(a.pieces[2].points.size() - 1),
    };
    ASSERT_EQ(r.differences.size(), starts.size()) << ::testing::PrintToString(r.differences);
    for (size_t i = 0; i < starts.size(); ++i)
        EXPECT_TRUE(startsWith(r.differences[i], starts[i])) << r.differences[i] << "\nwanted: " << starts[i];
    EXPECT_NEAR(r.largestCoordinate, 0.0002, 2e-5);
    EXPECT_EQ(r.largestAt, "pieces[0].points[3].x");

    // A pattern and itself: nothing, and nothing apart.
    const Comparison same = comparePatterns(a, a, 0.0);
    EXPECT_TRUE(same.differences.empty());
    EXPECT_EQ(same.largestCoordinate, 0.0);
}

TEST(Compare, StatusThreeWhenDifferentAndAShorthandFileEqualsItsRecords) {
    hosttest::TempDir dir;
    const std::string shorthand = hosttest::examplesDir() + "/basic-block.json", records = dir.file("records.json");
    PatternModel model = bodiceBlock();
    writePatternFile(records, model);
    auto r = hosttest::runQpkit("compare '" + shorthand + "' '" + records + "'");
    EXPECT_EQ(r.status, 0) << r.output;
    model.pieces[1].points[4].y += 1.0f;
    writePatternFile(records, model);
    r = hosttest::runQpkit("compare '" + shorthand + "' '" + records + "' --tolerance 0.5");
    EXPECT_EQ(r.status, kPatternsDiffer) << r.output;
    EXPECT_NE(r.output.find("pieces[1].points[4].y: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("largest coordinate difference: 1 mm (pieces[1].points[4].y)"), std::string::npos)
        << r.output;
}

}  // namespace

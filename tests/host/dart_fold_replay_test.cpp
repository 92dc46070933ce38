// The dart fold through the host: a run the host ends between the legs and
// the fold click leaves the pattern as it was (the host's stop path has the
// tool take its middle point out again); a run that folds without unfolding
// leaves the fold piece current.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/pattern_store.h"
#include "host/replay.h"
#include "host/script.h"
#include "host_test_util.h"

using namespace host;

namespace {

std::vector<char> pieceBytes(const PatternDoc& doc, int i) {
    const char* b = reinterpret_cast<const char*>(doc.piece(i));
    return std::vector<char>(b, b + doc.piece(i)->byteSize);
}

const char* const kLegs =
    "tool dart-fold\n"
    "move 10 10\n"
    "click 119.4 330\n"
    "click 135.7 320\n";  // neighbouring legs: the middle point is in

TEST(DartFoldReplay, TheHostEndingARunBeforeTheFoldLeavesThePatternAsItWas) {
    const ToolEntry* tool = findTool("dart-fold");
    if (!tool || !tool->available()) GTEST_SKIP() << "the library has no dart-fold tool";
    const std::string file = hosttest::examplesDir() + "/basic-block.json";
    PatternDoc untouched = loadPattern(file);
    for (const char* ending : {"end\n", ""}) {  // the host's `end`, or the script's end
        SCOPED_TRACE(ending);
        PatternDoc doc = loadPattern(file);
        ReplayResult result;
        {
            HostSession session(doc, nullptr);
            result = session.play(parseScript(std::string(kLegs) + ending, "legs.txt"), "legs.txt");
        }
        EXPECT_FALSE(result.runFinished);
        ASSERT_EQ(doc.pieceCount(), untouched.pieceCount());
        EXPECT_EQ(pieceBytes(doc, 0), pieceBytes(untouched, 0));
        EXPECT_TRUE(hosttest::patternConsistent(doc));
    }

    PatternDoc doc = loadPattern(file);
    {
        HostSession session(doc, nullptr);
        session.play(parseScript(std::string(kLegs) + "move 118 240\nclick 118 240\nmove 140 390\nclick 140 390\n",
                                 "fold.txt"),
                     "fold.txt");
        EXPECT_EQ(session.pieceIndex, untouched.pieceCount());  // the fold piece is current
    }
    EXPECT_EQ(doc.pieceCount(), untouched.pieceCount() + 1);
    EXPECT_EQ(doc.piece(0)->pointCount, untouched.piece(0)->pointCount + 1);
    EXPECT_TRUE(hosttest::patternConsistent(doc));
}

}  // namespace

// A long session on one pattern, as a user's working day: thousands of clicks of
// the point-increase tool over the half back in every mode, the host picking
// the tool anew every few clicks (as a user switches tools), then a sleeve
// cap, a dart fold and its unfold, a dart transfer, a pleat spread and a
// symmetry on the result. The global blocks alive stay few (the pattern, the
// undo copy, a run's snapshot: nothing piles up), the store's checker passes
// throughout, every later tool still makes its edit, and once the pattern is
// freed no block is left.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "frame/texts.h"
#include "host/host_io.h"
#include "host/pattern_store.h"
#include "host/replay.h"
#include "host/script.h"
#include "pieces/point_increase.h"
#include "host_test_util.h"
#include "win/desktop.h"

using namespace host;

namespace {

// 10,000 clicks by default (about 7 s); QP_SOAK_CLICKS sets another count.
// Each click costs time in proportion to the piece, so the session grows
// with the square of the clicks until the text area is full. Under
// AddressSanitizer 10,000 clicks take about 30 s: the sanitized suite plays
// 2,000 to stay quick, and the fuzz stage plays the full 10,000.
#if defined(__SANITIZE_ADDRESS__)
#define QP_SOAK_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QP_SOAK_UNDER_ASAN 1
#endif
#endif
#if defined(QP_SOAK_UNDER_ASAN)
constexpr int kDefaultClicks = 2000;
#else
constexpr int kDefaultClicks = 10000;
#endif
int clickCount() {
    const char* n = std::getenv("QP_SOAK_CLICKS");
    return n && std::atoi(n) > 0 ? std::atoi(n) : kDefaultClicks;
}
constexpr int kClicksPerRun = 8;     // clicks before the host picks the tool anew
constexpr int kCheckEvery = 500;     // clicks between two runs of the checker
constexpr size_t kMostBlocks = 4;    // pattern, undo copy, snapshot, and one spare
// Every new point brings two formula texts; the piece's 16-bit text area
// (32,767 bytes) is full after some 2,200 points, about 3,000 clicks here.
// Later clicks are refused with the no-room message and change nothing.
constexpr int kTextAreaNearlyFull = 32767 - 1024;

ScriptCommand command(ScriptOp op, const std::string& word = "", int number = 0) {
    ScriptCommand c;
    c.op = op;
    c.word = word;
    c.number = number;
    return c;
}

std::vector<char> patternBytes(const PatternDoc& doc) {
    const char* b = reinterpret_cast<const char*>(doc.pattern);
    return std::vector<char>(b, b + doc.pattern->totalSize);
}

TEST(LongSession, ThousandsOfIncreaseClicksThenEveryToolKeepThePatternSoundAndTheBlocksFew) {
    for (const char* name : {"increase", "italy", "dart-fold", "dart-transfer", "pleat", "symmetry"}) {
        const ToolEntry* tool = findTool(name);
        if (!tool || !tool->available()) GTEST_SKIP() << "the library has no " << name << " tool";
    }
    const std::string dir = hosttest::examplesDir() + "/";
    deskReset();  // a fresh desktop: no blocks, no queued answers
    const size_t earlier = deskLiveBlocks().size();
    {
        PatternDoc doc = loadPattern(dir + "basic-block.json");
        HostSession s(doc, nullptr);
        s.begin();
        s.step(command(ScriptOp::Piece, "", 3), "soak");  // the half back: 0..232 by 0..400 mm
        std::mt19937 random(19);
        std::uniform_real_distribution<float> x(-10.0f, 245.0f), y(-10.0f, 410.0f);
        std::uniform_int_distribution<int> mode(1, 21);
        const std::vector<std::string> sizes = {"0.6", "1.5", "10"};
        size_t mostBlocks = 0;
        const int clicks = clickCount();
        const int before = doc.piece(3)->pointCount;
        for (int click = 0; click < clicks; ++click) {
            if (click % kClicksPerRun == 0) {
                // The host ends the run and starts a new one in another mode;
                // the drill mark's size and a distance for the by-length modes.
                s.step(command(ScriptOp::End), "soak");
                s.step(command(ScriptOp::Tool, "increase"), "soak");
                s.step(command(ScriptOp::Set, "increaseMode", mode(random)), "soak");
                ScriptCommand text = command(ScriptOp::HostText);
                text.text = sizes[static_cast<size_t>(click / kClicksPerRun) % sizes.size()];
                s.step(text, "soak");
            }
            if (s.view.increaseMode == 0) s.step(command(ScriptOp::Set, "increaseMode", mode(random)), "soak");
            // One answer waits for the by-length modes' dialog at a time.
            const int now = s.view.increaseMode;
            const bool byLength = increase::isMode(now) && increase::traitsOf(now).mayGoAlong();
            if (byLength && deskQueuedDialogAnswers() == 0) {
                ScriptCommand answer = command(ScriptOp::Answer);
                answer.text = "2";
                s.step(answer, "soak");
            }
            ScriptCommand c = command(click % 5 == 4 ? ScriptOp::RightClick : ScriptOp::Click);
            c.target.given = true;
            c.target.x = x(random);
            c.target.y = y(random);
            try {
                s.step(c, "soak");
            } catch (const UserError&) {
                // A position outside the window: the host refuses the line.
            }
            const size_t blocks = deskLiveBlocks().size() - earlier;
            if (blocks > mostBlocks) mostBlocks = blocks;
            ASSERT_LE(blocks, kMostBlocks) << "after click " << click;
            if (click % kCheckEvery == kCheckEvery - 1) {
                ASSERT_TRUE(hosttest::patternConsistent(doc)) << click;
            }
        }
        s.step(command(ScriptOp::End), "soak");
        EXPECT_LE(mostBlocks, kMostBlocks);
        const int grown = doc.piece(3)->pointCount;
        const bool full = doc.piece(3)->charCount > kTextAreaNearlyFull;
        EXPECT_TRUE(grown > before + clicks / 4 || full) << "the clicks should have added points";
        size_t noRoom = 0;
        for (const DeskMessageBox& box : deskMessageBoxes()) noRoom += box.text == kIncreaseNoRoom;
        EXPECT_TRUE(noRoom == 0 || full) << "a click refused for room with room left in the text area";
        std::printf("long session: %d clicks, the half back grew from %d to %d points, %zu clicks refused for room\n",
                    clicks, before, grown, noRoom);
        ASSERT_TRUE(hosttest::patternConsistent(doc));

        // Every tool on the result, each an edit of the pattern, each checked.
        // The example scripts pick lines by number, and the dart fold puts a
        // point into the bodice's shoulder, so the dart transfer after it
        // clicks its legs and line by position.
        const std::string transferAfterFold =
            "piece 0\ntool dart-transfer\nclick 119 312.5\nclick 134 312.5\nclick 173 185\n";
        for (const char* script : {"basic-block-sleeve-cap.txt", "basic-block-dart-fold.txt",
                                   "dart transfer after the fold", "basic-block-pleat.txt",
                                   "basic-block-symmetry.txt"}) {
            SCOPED_TRACE(script);
            const std::vector<char> before = patternBytes(doc);
            s.step(command(ScriptOp::Piece, "", 0), "soak");  // scripts without a piece line work on piece 0
            const std::vector<ScriptCommand> commands = std::string(script).find(".txt") == std::string::npos
                                                            ? parseScript(transferAfterFold, script)
                                                            : readScriptFile(dir + script);
            for (const ScriptCommand& c : commands) s.step(c, script);
            s.step(command(ScriptOp::End), "soak");
            EXPECT_NE(patternBytes(doc), before) << "the tool made no edit";
            EXPECT_TRUE(hosttest::patternConsistent(doc));
            EXPECT_LE(deskLiveBlocks().size() - earlier, kMostBlocks);
        }
        EXPECT_GE(doc.pieceCount(), 4);
        s.finish();
    }
    EXPECT_EQ(deskLiveBlocks().size(), earlier) << "blocks left after the pattern was freed";
    deskReset();  // an answer no dialog took must not reach the next test
}

}  // namespace

// Replay: scripts parsed line by line, the sleeve-cap run replayed end to
// end through the desktop stand-in, and the example corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>
#include <nlohmann/json.hpp>

#include "frame/siblings.h"
#include "frame/texts.h"
#include "host/host_io.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host_test_util.h"
#include "win/desktop.h"

using namespace host;

namespace {

struct ScriptRow {
    const char* name;
    const char* text;
    ScriptOp op;
    int number;
    const char* word;
};

const ScriptRow kScripts[] = {
    {"tool", "tool italy", ScriptOp::Tool, 0, "italy"},
    {"tool upper case", "TOOL Italy", ScriptOp::Tool, 0, "italy"},
    {"piece", "piece 3", ScriptOp::Piece, 3, ""},
    {"key by name", "key F24", ScriptOp::Key, 0x87, ""},
    {"key F23", "key f23", ScriptOp::Key, 0x86, ""},
    {"key by code", "key 0x87", ScriptOp::Key, 0x87, ""},
    {"key up", "key up", ScriptOp::Key, 0x26, ""},
    {"key down", "key down  # next row", ScriptOp::Key, 0x28, ""},
    {"straight on", "straight on", ScriptOp::Straight, 1, ""},
    {"straight off", "straight off", ScriptOp::Straight, 0, ""},
    {"set", "set increaseMode 9", ScriptOp::Set, 9, "increaseMode"},
    {"set fold phase", "set foldPhase 2", ScriptOp::Set, 2, "foldPhase"},
    {"button", "button apply", ScriptOp::Button, 0, "apply"},
    {"cell", "cell 2 end", ScriptOp::Cell, 2, "end"},
    {"leave", "leave", ScriptOp::Leave, 0, ""},
    {"end", "end", ScriptOp::End, 0, ""},
    {"message", "message wm_cancelmode", ScriptOp::Message, 0x1F, "WM_CANCELMODE"},
    {"message with parameters", "message WM_SIZE 0 0x03840258", ScriptOp::Message, 0x05, "WM_SIZE"},
};

class ScriptRowTest : public ::testing::TestWithParam<ScriptRow> {};

TEST_P(ScriptRowTest, Parses) {
    const ScriptRow& row = GetParam();
    auto commands = parseScript(std::string("# a comment line\n\n") + row.text + "\n", "s.txt");
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].line, 3);
    EXPECT_EQ(commands[0].op, row.op);
    EXPECT_EQ(commands[0].number, row.number);
    EXPECT_EQ(commands[0].word, row.word);
}

INSTANTIATE_TEST_SUITE_P(Rows, ScriptRowTest, ::testing::ValuesIn(kScripts),
                         [](const ::testing::TestParamInfo<ScriptRow>& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(Script, TargetsInMillimetresOrAtPointsOrAlongLines) {
    auto c = parseScript("click 12.5 -40\nmove point 7\nclick\nrclick point 0\nclick line 3\nmove LINE 0 0.25\n", "s.txt");
    ASSERT_EQ(c.size(), 6u);
    EXPECT_TRUE(c[4].target.onLine);
    EXPECT_EQ(c[4].target.line, 3);
    EXPECT_FLOAT_EQ(c[4].target.fraction, 0.5f);  // the middle when T is left out
    EXPECT_EQ(c[5].target.line, 0);
    EXPECT_FLOAT_EQ(c[5].target.fraction, 0.25f);
    EXPECT_TRUE(c[0].target.given);
    EXPECT_FALSE(c[0].target.atPoint);
    EXPECT_FLOAT_EQ(c[0].target.x, 12.5f);
    EXPECT_FLOAT_EQ(c[0].target.y, -40.0f);
    EXPECT_TRUE(c[1].target.atPoint);
    EXPECT_EQ(c[1].target.point, 7);
    EXPECT_FALSE(c[2].target.given);  // click where the cursor is
    EXPECT_EQ(c[3].op, ScriptOp::RightClick);
}

TEST(Script, TypedTextAndAnswersKeepTheirCharacters) {
    auto c = parseScript("type 1.5\nanswer \"12 # cm\"\nanswer\n", "s.txt");
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].text, "1.5");
    EXPECT_EQ(c[1].text, "12 # cm");  // a quoted # is text, not a comment
    EXPECT_EQ(c[2].text, "");         // an empty answer
}

struct BadScript {
    const char* name;
    const char* text;
    const char* what;
};

const BadScript kBadScripts[] = {
    {"unknown command", "jump 1 2", "unknown command 'jump'"},
    {"move without target", "move", "needs a position"},
    {"one coordinate", "click 10", "expected a position X Y"},
    {"coordinate not a number", "click ten 20", "'ten' is not a number"},
    {"point without number", "click point", "expected 'point N'"},
    {"line without number", "move line", "expected 'line N [T]'"},
    {"line fraction past the end", "click line 2 1.5", "'1.5' is not a fraction from 0 to 1"},
    {"line fraction before the start", "click line 2 -0.1", "not a fraction from 0 to 1"},
    {"line with more", "click line 2 0.5 1", "expected 'line N [T]'"},
    {"unknown key", "key F99", "unknown key 'F99'"},
    {"key out of range", "key 300", "unknown key '300'"},
    {"empty type", "type", "expected 'type TEXT'"},
    {"straight maybe", "straight maybe", "'straight on' or 'straight off'"},
    {"set unknown word", "set speed 3", "unknown word 'speed'"},
    {"set not a number", "set pickState x", "not a 16-bit whole number"},
    {"set a mode no host sets", "set increaseMode 99", "increaseMode 99 is a value the host never sets: it sets 1 .. 21"},
    {"set a step no host sets", "set italyStep 4", "italyStep 4 is a value the host never sets: it sets 0 .. 1"},
    {"coordinate out of range", "click 1e30 0", "'1e30' is out of range (X in millimetres"},
    {"coordinate past a double", "click 0 -1e400", "'-1e400' is out of range (Y in millimetres"},
    {"coordinate not a number either", "click 0 nan", "'nan' is not a number (Y in millimetres)"},
    {"button ok", "button ok", "'button apply' or 'button cancel'"},
    {"cell row 20", "cell 20 start", "ROW 0 .. 19"},
    {"piece negative", "piece -1", "expected 'piece N'"},
    {"message not forwarded unasked", "message WM_LBUTTONDOWN", "NAME one of WM_CANCELMODE, WM_PAINT"},
    {"message parameter too wide", "message WM_TIMER 0x100000000", "not a 32-bit whole number (WPARAM)"},
    {"message with three parameters", "message WM_TIMER 1 2 3", "expected 'message NAME"},
};

class BadScriptTest : public ::testing::TestWithParam<BadScript> {};

TEST_P(BadScriptTest, NamesTheLine) {
    const BadScript& row = GetParam();
    try {
        parseScript(std::string("tool italy\n") + row.text + "\n", "s.txt");
        FAIL() << "accepted";
    } catch (const UserError& e) {
        EXPECT_EQ(e.where(), "s.txt: line 2");
        EXPECT_NE(std::string(e.what()).find(row.what), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BadScriptTest, ::testing::ValuesIn(kBadScripts),
                         [](const ::testing::TestParamInfo<BadScript>& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

std::string example(const char* name) { return hosttest::examplesDir() + "/" + name; }

bool italyAvailable() {
    const ToolEntry* t = findTool("italy");
    return t && t->available();
}

TEST(Replay, SleeveCapLengthensTheCapToItsTarget) {
    if (!italyAvailable()) GTEST_SKIP() << "the library has no sleeve-cap tool";
    PatternDoc doc = loadPattern(example("sleeve.json"));
    const double before = lengthAlong(doc.piece(0), 0, 8);
    double s0x, s0y, e0x, e0y;
    pointPosition(doc.piece(0), 0, s0x, s0y);
    pointPosition(doc.piece(0), 8, e0x, e0y);
    ReplayResult result;
    {
        HostSession session(doc, nullptr);
        result = session.play(readScriptFile(example("sleeve-cap.txt")), "sleeve-cap.txt");
    }
    EXPECT_TRUE(result.runFinished);
    Piece* sleeve = doc.piece(0);
    EXPECT_EQ(sleeve->pointCount, 15);  // the cut point's twin
    // The cap through the twin is the old length plus the 1.5 cm typed,
    // within the length loop's 0.02 mm.
    EXPECT_NEAR(lengthAlong(sleeve, 0, 9), before + 15.0, 0.025);
    // Both ends of the cap stay where they were.
    double s1x, s1y, e1x, e1y;
    pointPosition(sleeve, 0, s1x, s1y);
    pointPosition(sleeve, 9, e1x, e1y);
    EXPECT_EQ(s1x, s0x);
    EXPECT_EQ(s1y, s0y);
    EXPECT_EQ(e1x, e0x);
    EXPECT_EQ(e1y, e0y);
    // What the user saw, converted from GBK.
    ASSERT_GE(result.printed.size(), 3u);
    EXPECT_EQ(result.printed[0], "prompt: 请指定袖山曲线端点！");
    EXPECT_EQ(result.printed[1], "prompt: 请指定袖山曲线切开点！");
    bool lengthShown = false;
    for (const auto& line : result.printed) lengthShown = lengthShown || line == "text: 45.482";
    EXPECT_TRUE(lengthShown);
    EXPECT_TRUE(hosttest::patternConsistent(doc));
    EXPECT_EQ(deskCheckDiscipline(), "");
}

TEST(Replay, ClicksLandOnThePiecePositionWhateverTheView) {
    PatternDoc doc = loadPattern(example("basic-block.json"));
    HostSession session(doc, nullptr);
    session.play(parseScript("piece 2\n", "s.txt"), "s.txt");
    // The skirt panel's corners map inside the window and invert back to
    // within one pixel's worth of millimetres.
    POINT a = session.clientOf(0, 0), b = session.clientOf(275, 600);
    EXPECT_GT(a.y, b.y);  // y up in the piece, down on the screen
    EXPECT_LT(a.x, b.x);
    EXPECT_GT(a.x, 0);
    EXPECT_LT(b.x, kClientWidth);
    EXPECT_GT(b.y, 30);  // below the prompt bar
    EXPECT_LT(a.y, kClientHeight - 49);  // above the result box
    EXPECT_TRUE(hosttest::patternConsistent(doc));
}

TEST(Replay, CommandsThePatternCannotTakeNameTheirLine) {
    PatternDoc doc = loadPattern(example("sleeve.json"));
    struct Row {
        const char* script;
        const char* where;
        const char* what;
    } rows[] = {
        {"move 0 0\n", "line 1", "no tool is chosen"},
        {"tool lasso\n", "line 1", "unknown tool 'lasso'"},
        {"piece 4\n", "line 1", "piece 4 does not exist"},
        {"tool italy\nmove point 99\n", "line 2", "point 99 does not exist"},
        {"tool italy\nclick line 5 0.2\n", "line 2", "line 5 does not exist in piece 0 (it has 5 lines)"},
        {"tool italy\nmove 90000 0\n", "line 2",
         "the position (90000.0, 0.0) mm lies outside the window, which shows piece 0 from x "},
    };
    for (const auto& row : rows) {
        if (std::string(row.script).find("italy") != std::string::npos && !italyAvailable()) continue;
        try {
            HostSession session(doc, nullptr);
            session.play(parseScript(row.script, "s.txt"), "s.txt");
            ADD_FAILURE() << "accepted: " << row.script;
        } catch (const UserError& e) {
            EXPECT_EQ(e.where(), std::string("s.txt: ") + row.where) << row.script;
            EXPECT_NE(std::string(e.what()).find(row.what), std::string::npos) << e.what();
        }
    }
    // Nothing was edited by the refused scripts.
    EXPECT_EQ(doc.piece(0)->pointCount, 14);
    EXPECT_TRUE(hosttest::patternConsistent(doc));
}

// A click that picks nothing is said, with -v and without: the half back's
// symmetry takes an outline line, and the click lies far inside the piece.
// The click on the centre back then picks its axis: no note for it.
TEST(Replay, AClickThatPicksNothingIsSaid) {
    for (bool verbose : {false, true}) {
        PatternDoc doc = loadPattern(example("basic-block.json"));
        const double halfArea = outlineArea(doc.piece(2));
        ReplayResult result;
        {
            HostSession session(doc, nullptr, verbose);
            result = session.play(parseScript("piece 2\ntool symmetry\nclick 137 300\nclick line 0\n", "s.txt"),
                                  "s.txt");
        }
        ASSERT_EQ(result.notes.size(), 1u) << verbose;
        EXPECT_EQ(result.notes[0].kind, RunNote::kPickedNothing);
        const std::string line = "line 3: the click at (137.0, 300.0) mm picked nothing within 30 mm";
        EXPECT_EQ(std::count(result.printed.begin(), result.printed.end(), line), 1) << verbose;
        EXPECT_TRUE(result.runFinished);
        EXPECT_NEAR(outlineArea(doc.piece(2)), 2 * halfArea, 1.0);  // mm2: the panel made whole
        EXPECT_TRUE(hosttest::patternConsistent(doc));
    }
}

// A refusal a tool completes with its own figures is read by the table
// text it begins with: a pleat apply that spreads one row and skips the
// other (its widths differ by more than twice its length) finishes the run
// and says the skipped row, once, as a refusal.
TEST(Replay, APleatRowSkippedIsSaidAsARefusal) {
    PatternDoc doc = loadPattern(example("basic-block.json"));
    const int pieces = doc.pieceCount();
    ReplayResult result;
    {
        HostSession session(doc, nullptr, false);
        result = session.play(parseScript("piece 2\ntool pleat\nmove point 0\nclick line 5\ntype 1\nkey F24\n"
                                          "type 3\nclick line 6\ntype 0\nkey F24\ntype 130\nbutton apply\n",
                                          "s.txt"),
                              "s.txt");
    }
    ASSERT_EQ(result.notes.size(), 1u);
    const RunNote& note = result.notes[0];
    EXPECT_EQ(note.kind, RunNote::kRefused);
    EXPECT_EQ(note.line, 12);
    const SystemText* skipped = nullptr;
    for (const SystemText& t : kSystemTexts)
        if (std::string(t.gbk) == kFoldRowsSkipped) skipped = &t;
    ASSERT_TRUE(skipped && skipped->refusal);
    EXPECT_EQ(note.what, "the pleat spread refused: " + std::string(skipped->reading) + " (prompt: " +
                             gbkToUtf8(kFoldRowsSkipped) + " 9-10:2)");
    EXPECT_TRUE(result.runFinished);
    EXPECT_EQ(doc.pieceCount(), pieces);
    EXPECT_TRUE(hosttest::patternConsistent(doc));
}

// What the window tells it saw, on which "picked nothing" rests: a line (a
// path call, which the stand-in hands over instead of logging), a shape;
// a pen moved alone draws nothing.
TEST(Replay, TheWindowSeesWhatIsDrawnIntoIt) {
    HostWindow window(kClientWidth, kClientHeight, nullptr);
    HDC hdc = GetDC(window.handle());
    const struct {
        const char* what;
        void (*draw)(HDC);
        bool drew;
    } rows[] = {
        {"a move", [](HDC h) { MoveToEx(h, 10, 10, nullptr); }, false},
        {"a line", [](HDC h) { LineTo(h, 20, 20); }, true},
        {"an ellipse", [](HDC h) { Ellipse(h, 0, 0, 5, 5); }, true},
    };
    for (const auto& row : rows) {
        window.watch();
        row.draw(hdc);
        EXPECT_EQ(window.seen().drew, row.drew) << row.what;
    }
    ReleaseDC(window.handle(), hdc);
}

// `line N T` is the point T x L along the line as the service measures it:
// measured back from the line's first point, the length to it is T x L.
TEST(Replay, APositionAlongALineIsAtItsFractionOfTheLength) {
    PatternDoc doc = loadPattern(example("sleeve.json"));
    Piece* sleeve = doc.piece(0);
    const double capLength = lineLength(sleeve, 0);  // the cap curve, points 0 .. 8
    for (double t : {0.0, 0.3, 0.5, 1.0}) {
        double x = 0, y = 0;
        ASSERT_TRUE(pointAlongLine(sleeve, 0, t, x, y));
        short index = -1;
        float along = 0.0f, fx = static_cast<float>(x), fy = static_cast<float>(y);
        qpCurve(nullptr, sleeve, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kSnapAllLinesDefault, 0, 9, qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index,
                &along, &fx, &fy, qpcurve::kIdentity);
        EXPECT_NEAR(along, t * capLength, 0.01) << t;
        EXPECT_NEAR(std::hypot(fx - x, fy - y), 0.0, 0.01) << t;  // on the line
    }
    double x = 0, y = 0;
    pointAlongLine(sleeve, 0, 1.0, x, y);
    EXPECT_NEAR(x, 320.0, 0.01);  // the line's last point
    EXPECT_FALSE(pointAlongLine(sleeve, 5, 0.5, x, y));
}

TEST(Replay, ExampleCorpus) {
    if (!italyAvailable()) GTEST_SKIP() << "the library has no sleeve-cap tool";
    nlohmann::json corpus = nlohmann::json::parse(hosttest::slurp(example("corpus.json")));
    ASSERT_FALSE(corpus["cases"].empty());
    for (const auto& c : corpus["cases"]) {
        const std::string script = c["script"];
        SCOPED_TRACE(script);
        const double tolerance = c["tolerance"];
        PatternDoc doc = loadPattern(example(c["pattern"].get<std::string>().c_str()));
        for (const auto& m : c["before"])
            EXPECT_NEAR(lengthAlong(doc.piece(m["piece"]), m["from"], m["to"]), m["mm"].get<double>(), tolerance);
        ReplayResult result;
        {
            HostSession session(doc, nullptr);
            result = session.play(readScriptFile(example(script.c_str())), script);
        }
        // A run the host ends itself (the point-increase tool's) finishes no step.
        if (!c.value("hostEnds", false)) {
            EXPECT_TRUE(result.runFinished);
        }
        // No refusal, no click that picked nothing, no run left open.
        for (const RunNote& note : result.notes) ADD_FAILURE() << "line " << note.line << ": " << note.what;
        for (const auto& m : c["after"])
            EXPECT_NEAR(lengthAlong(doc.piece(m["piece"]), m["from"], m["to"]), m["mm"].get<double>(), tolerance);
        // Straight distances between two points: the openings of a cut.
        for (const auto& g : c.value("gaps", nlohmann::json::array())) {
            double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
            Piece* piece = doc.piece(g["piece"]);
            ASSERT_NE(piece, nullptr);
            ASSERT_TRUE(pointPosition(piece, g["from"], x0, y0));
            ASSERT_TRUE(pointPosition(piece, g["to"], x1, y1));
            EXPECT_NEAR(std::hypot(x1 - x0, y1 - y0), g["mm"].get<double>(), tolerance);
        }
        const auto& counts = c["pointCounts"];
        ASSERT_EQ(static_cast<int>(counts.size()), doc.pieceCount());
        for (int i = 0; i < doc.pieceCount(); ++i) EXPECT_EQ(doc.piece(i)->pointCount, counts[i].get<int>());
        EXPECT_TRUE(hosttest::patternConsistent(doc));
    }
}

// The system cancels the window's modes by itself (a dialog box opens) at
// any moment of a run: every corpus run with WM_CANCELMODE sent after any
// one of its lines, its later clicks played as they come, leaves every
// piece consistent and on its formulas. (A dart fold cancelled between its
// middle point and its direction click folded with stale indices.)
TEST(Replay, ACancelModeAtAnyStepLeavesEveryPieceSound) {
    nlohmann::json corpus = nlohmann::json::parse(hosttest::slurp(example("corpus.json")));
    int runs = 0;
    for (const auto& c : corpus["cases"]) {
        const std::string script = c["script"];
        const std::vector<ScriptCommand> commands = readScriptFile(example(script.c_str()));
        const ScriptCommand cancel = parseScript("message WM_CANCELMODE\n", "cancel.txt")[0];
        bool folds = false;
        for (const ScriptCommand& command : commands)
            folds = folds || (command.op == ScriptOp::Tool && std::string(findTool(command.word)->name) == "dart-fold");
        std::vector<std::pair<double, double>> sourcePoints;
        if (folds) {
            PatternDoc doc = loadPattern(example(c["pattern"].get<std::string>().c_str()));
            for (short i = 0; i < doc.piece(0)->pointCount; ++i) {
                double x = 0, y = 0;
                if (pointPosition(doc.piece(0), i, x, y)) sourcePoints.emplace_back(x, y);
            }
        }
        for (size_t at = 0; at < commands.size(); ++at) {
            if (commands[at].op == ScriptOp::Piece) continue;  // no tool yet
            SCOPED_TRACE(script + ", after line " + std::to_string(commands[at].line));
            PatternDoc doc = loadPattern(example(c["pattern"].get<std::string>().c_str()));
            {
                HostSession session(doc, nullptr);
                session.begin();
                try {
                    for (size_t i = 0; i < commands.size(); ++i) {
                        session.step(commands[i], script);
                        if (i == at && session.tool) session.step(cancel, script);
                    }
                } catch (const UserError&) {
                    // A later line names a point the cancelled run never
                    // made, or a tool whose run is over: the host stops there.
                }
                session.finish();
            }
            EXPECT_TRUE(hosttest::patternConsistent(doc));
            EXPECT_TRUE(hosttest::followsItsFormulas(doc));
            if (folds) {
                // Nothing is trued between the fold and the unfold: every
                // point of the folded piece is back where it was, in its
                // order, with at most the mouth's middle point between.
                Piece* piece = doc.piece(0);
                size_t matched = 0;
                int extra = 0;
                for (short i = 0; i < piece->pointCount && matched < sourcePoints.size(); ++i) {
                    double x = 0, y = 0;
                    pointPosition(piece, i, x, y);
                    const auto& [sx, sy] = sourcePoints[matched];
                    if (std::hypot(x - sx, y - sy) < 1e-3) ++matched;
                    else ++extra;
                }
                EXPECT_EQ(matched, sourcePoints.size());
                EXPECT_LE(extra, 1);
            }
            ++runs;
        }
    }
    EXPECT_GT(runs, 100);
}

}  // namespace

namespace {

// The words a script may set are the host's own and the tool entries', each
// once, and each reaches its record.
TEST(ToolTable, EverySetWordReachesItsRecord) {
    const std::set<std::string> parsed(host::scriptSetWords().begin(), host::scriptSetWords().end());
    EXPECT_EQ(parsed.size(), host::scriptSetWords().size()) << "a word given twice";
    EXPECT_EQ(parsed, (std::set<std::string>{"pickState", "lengthUnit", "italyStep", "symmetryStep",
                                             "pieceFoldStep", "increaseMode", "gapMoveStep", "gapFoldStep",
                                             "foldPhase"}));
    host::PatternDoc doc = host::loadPattern(hosttest::examplesDir() + "/sleeve.json");
    host::HostSession session(doc, nullptr);
    host::findSetWord("italyStep")->set(session, 4);
    host::findSetWord("foldPhase")->set(session, 2);
    host::findSetWord("lengthUnit")->set(session, -1);
    EXPECT_EQ(session.view.italyStep, 4);
    EXPECT_EQ(session.fold.foldPhase, 2);
    EXPECT_EQ(session.hostDoc.lengthUnit, -1);
    EXPECT_EQ(host::findSetWord("noSuchWord"), nullptr);
}

}  // namespace

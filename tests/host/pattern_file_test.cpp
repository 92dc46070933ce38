// Pattern files: the round trip through the store, and every kind of bad
// file refused with a message that names the file, the place and the fault.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "host/demo.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host_test_util.h"

using namespace host;

namespace {

// Builds text in the store, reads it back and writes it as records.
std::string throughStore(const std::string& text, const std::string& name) {
    PatternDoc doc = buildPattern(parsePatternJson(text, name), name);
    EXPECT_TRUE(hosttest::patternConsistent(doc));
    return patternJson(readPatternBack(doc));
}

TEST(PatternFile, ShorthandBuildsTheRecordsTheStoreDerives) {
    PatternDoc doc = buildPattern(parsePatternJson(demoPatternJson(), "demo"), "demo");
    ASSERT_EQ(doc.pieceCount(), 4);
    EXPECT_EQ(doc.pieceName(1), "sleeve");
    // The sleeve: 11 chain points, the closing K on the first, a 2-point grain line.
    Piece* sleeve = doc.piece(1);
    EXPECT_EQ(sleeve->pointCount, 14);
    EXPECT_GT(sleeve->formulaCount, 0);
    // Points given by formula only get the formula's value: B/4+10 = 32 cm.
    double x, y;
    ASSERT_TRUE(pointPosition(sleeve, 8, x, y));
    EXPECT_FLOAT_EQ(static_cast<float>(x), 320.0f);
    EXPECT_TRUE(hosttest::patternConsistent(doc));
}

TEST(PatternFile, LoadSaveLoadIsLossless) {
    std::string first = throughStore(demoPatternJson(), "demo");
    std::string second = throughStore(first, "first");
    EXPECT_EQ(first, second);
    // The records form keeps formulas, measurements, names and placements.
    EXPECT_NE(first.find("\"fx\": \"B/4+10\""), std::string::npos);
    EXPECT_NE(first.find("\"SL\": 56"), std::string::npos);
    EXPECT_NE(first.find("\"name\": \"skirt panel\""), std::string::npos);
}

TEST(PatternFile, RoundTripAfterAToolRunKeepsTheEditedGeometry) {
    // After the sleeve cap, the twin point's coordinate and formula records
    // sit at the end of their arrays; the file still says the same pattern.
    PatternDoc doc = loadPattern(hosttest::examplesDir() + "/sleeve.json");
    {
        HostSession session(doc, nullptr);
        session.play(readScriptFile(hosttest::examplesDir() + "/sleeve-cap.txt"), "sleeve-cap.txt");
    }
    ASSERT_TRUE(hosttest::patternConsistent(doc));
    std::string edited = patternJson(readPatternBack(doc));
    double before = lengthAlong(doc.piece(0), 0, 9);
    PatternDoc again = buildPattern(parsePatternJson(edited, "edited"), "edited");
    EXPECT_TRUE(hosttest::patternConsistent(again));
    EXPECT_EQ(patternJson(readPatternBack(again)), edited);
    EXPECT_DOUBLE_EQ(lengthAlong(again.piece(0), 0, 9), before);
}

TEST(PatternFile, RecordsFormKeepsEveryRecordKind) {
    const std::string text = R"({
      "format": "qpkit-pattern 1", "kind": 13, "measurements": {"H": 94},
      "pieces": [{
        "name": "panel", "placement": [1, 0, 0, 0, 1, 0, 500, 20, 1], "group": 1,
        "points": [
          {"type": "S", "x": 0, "y": 0, "fx": "0", "fy": "0", "lineIn": -1, "lineOut": 0, "seg": 0},
          {"type": "K", "x": 100, "y": 0, "fx": "H/4-13.5", "fy": "0", "lineIn": 0, "lineOut": 1, "seg": 0},
          {"type": "K", "x": 100, "y": 200, "fx": "10", "fy": "20", "lineIn": 1, "lineOut": 2, "seg": 0},
          {"type": "K", "x": 0, "y": 0, "fx": "0", "fy": "0", "lineIn": 2, "lineOut": -1, "seg": 0},
          {"type": "v", "x": 50, "y": 0, "fx": "5", "fy": "0", "lineIn": 0, "lineOut": 1571, "seg": 1}
        ],
        "lines": [
          {"kind": 1, "flags": 32, "first": 0, "count": 2, "joinKind": 1, "joinCount": 2, "joinPoint": 1},
          {"kind": 1, "flags": 0, "first": 1, "count": 2, "joinKind": 0, "joinCount": 0, "joinPoint": 0},
          {"kind": 1, "flags": 0, "first": 2, "count": 2, "joinKind": 0, "joinCount": 0, "joinPoint": 0}
        ],
        "segments": [
          {"code": 1, "markFlag": 0, "value": 0, "firstLine": 0, "lineCount": 3},
          {"code": 16, "markFlag": 1, "value": 0, "firstLine": 0, "lineCount": 1}
        ],
        "specialPoints": [{"line": 0, "point": 4, "size": 5, "position": 50}],
        "rules": [{"firstPRule": 0, "pRuleCount": 2}],
        "pRules": [{"code": 0, "point": 1, "dx": 2.5, "dy": 0}, {"code": 205, "point": 2, "dx": 2.5, "dy": 1}],
        "seamAllowances": [{"from": 0, "to": 2, "fromWidth": 10, "toWidth": 12}],
        "corners": [{"side": 2, "point": 1, "first": 3, "second": 4}],
        "fRules": [[7, 9]]
      }]
    })";
    std::string first = throughStore(text, "records");
    EXPECT_EQ(throughStore(first, "first"), first);
    for (const char* expected :
         {"\"kind\": 13", "\"group\": 1", "500, 20, 1", "\"flags\": 32", "\"joinPoint\": 1", "\"lineOut\": 1571",
          "\"markFlag\": 1", "\"position\": 50", "\"code\": 205", "\"toWidth\": 12", "\"second\": 4", "[7, 9]",
          "\"fx\": \"H/4-13.5\""})
        EXPECT_NE(first.find(expected), std::string::npos) << expected;
}

struct BadFile {
    const char* name;
    const char* text;
    const char* where;  // the place the message names
    const char* what;   // what it says is wrong
};

// A minimal valid piece to vary.
#define PIECE_OK                                                                         \
    R"({"outline": [[["S", 0, 0], ["K", 100, 0], ["K", 100, 100]]]})"

const BadFile kBadFiles[] = {
    {"syntax", "{\n  \"pieces\": [\n    {,\n", "line 3, column 6", "not valid JSON"},
    {"number beyond range", R"({"kind": 1E9999, "pieces": [)" PIECE_OK "]}", "bad.json",
     "number overflow"},
    {"not an object", "[1, 2]", "top level", "expected an object"},
    {"other format", R"({"format": "pattern 9", "pieces": [)" PIECE_OK "]}", "format", "not a pattern file"},
    {"no pieces", R"({"kind": 1})", "top level", "missing field \"pieces\""},
    {"empty pieces", R"({"pieces": []})", "pieces", "at least one piece"},
    {"unknown top field", R"({"piece": []})", "piece", "unknown field"},
    {"unknown piece field", R"({"pieces": [{"colour": 1, "outline": [[["S", 0, 0], ["K", 1, 1]]]}]})",
     "pieces[0].colour", "unknown field"},
    {"kind too big", R"({"kind": 40000, "pieces": [)" PIECE_OK "]}", "kind", "16-bit"},
    {"measurement name", R"({"measurements": {"Bust": 88}, "pieces": [)" PIECE_OK "]}", "measurements.Bust",
     "one letter, or two letters"},
    {"measurement value", R"({"measurements": {"B": "88"}, "pieces": [)" PIECE_OK "]}", "measurements.B",
     "expected a number"},
    {"records and shorthand", R"({"pieces": [{"points": [], "outline": []}]})", "pieces[0]",
     "either by records"},
    {"neither form", R"({"pieces": [{"name": "x"}]})", "pieces[0]", "needs \"points\""},
    {"chain of one point", R"({"pieces": [{"outline": [[["S", 0, 0]]]}]})", "pieces[0].outline[0]",
     "at least two points"},
    {"point without type", R"({"pieces": [{"outline": [[[0, 0], ["K", 1, 1]]]}]})", "pieces[0].outline[0][0]",
     "starts with its type letter"},
    {"type of two letters", R"({"pieces": [{"outline": [[["SK", 0, 0], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0][0]", "one letter"},
    {"x not a number", R"({"pieces": [{"outline": [[["S", "a", 0], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0][1]", "expected a number"},
    {"point of three entries", R"({"pieces": [{"outline": [[["S", 0], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0]", "found 2 entries"},
    {"formula with blank", R"({"measurements": {"H": 1}, "pieces": [{"outline": [[["S", 0, 0, "H / 4", "0"], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0][3]", "has the character ' '"},
    {"unknown measurement", R"({"measurements": {"H": 94}, "pieces": [{"outline": [[["S", 0, 0, "H/4+X", "0"], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0].fx", "uses the measurement X"},
    // Formulas are evaluated on load: one that gives no value is refused,
    // not loaded as 0.
    {"formula divides by zero", R"({"measurements": {"W": 68}, "pieces": [{"outline": [[["S", null, 0, "W/0", "0"], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0].fx", "\"W/0\" does not evaluate on the file's measurements: it divides by zero"},
    {"formula ends after an operator", R"({"measurements": {"W": 68}, "pieces": [{"outline": [[["S", 0, 0, "W/4+", "0"], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0].fx", "\"W/4+\" does not evaluate: it ends after '+'"},
    {"formula brackets unpaired", R"({"measurements": {"W": 68}, "pieces": [{"outline": [[["S", 0, 0, "0", "((W"], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0].fy", "\"((W\" does not evaluate: its brackets do not pair up"},
    {"empty formula and no x", R"({"pieces": [{"outline": [[["S", null, 0, "", "0"], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0].fx", "the formula is empty and the coordinate is left out"},
    {"empty formula in records", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "fx": "", "fy": "0"}]}]})",
     "pieces[0].points[0].fx", "the formula is empty: a piece with formulas needs a text"},
    {"formula too long",
     R"({"pieces": [{"outline": [[["S", 0, 0, "1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1", "0"], ["K", 1, 1]]]}]})",
     "pieces[0].outline[0][0][3]", "at most 79"},
    {"fx without fy", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "fx": "0"}]}]})",
     "pieces[0].points[0].fy", "both fx and fy"},
    {"no x and no fx", R"({"pieces": [{"points": [{"type": "S", "y": 0}]}]})", "pieces[0].points[0].x",
     "give the x coordinate"},
    {"formulas on some points", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "fx": "0", "fy": "0"}, {"type": "K", "x": 1, "y": 1}]}]})",
     "pieces[0].points[1]", "every point needs fx and fy"},
    {"lineOut past the lines", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "lineOut": 0}, {"type": "K", "x": 1, "y": 1, "lineIn": 0, "lineOut": 3}], "lines": [{"first": 0, "count": 2}], "segments": [{"code": 1, "firstLine": 0, "lineCount": 1}]}]})",
     "pieces[0].points[1].lineOut", "lineOut 3 out of range -1..0"},
    {"line past the points", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0}, {"type": "K", "x": 1, "y": 1}], "lines": [{"first": 1, "count": 2}], "segments": [{"code": 1, "firstLine": 0, "lineCount": 1}]}]})",
     "pieces[0].lines[0]", "points 1..2 out of range 0..1"},
    {"segment past the lines", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0}, {"type": "K", "x": 1, "y": 1}], "lines": [{"first": 0, "count": 2}], "segments": [{"code": 1, "firstLine": 0, "lineCount": 2}]}]})",
     "pieces[0].segments[0]", "lines 0..1 out of range 0..0"},
    {"seg index too big", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "seg": 70000}]}]})",
     "pieces[0].points[0].seg", "16-bit"},
    {"rule past its pRules", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "lineOut": 0}, {"type": "K", "x": 1, "y": 1, "lineIn": 0}], "lines": [{"first": 0, "count": 2}], "segments": [{"code": 1, "firstLine": 0, "lineCount": 1}], "rules": [{"firstPRule": 0, "pRuleCount": 1}]}]})",
     "pieces[0].rules[0]", "prules 0..0 out of range"},
    {"pRule on no point", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "lineOut": 0}, {"type": "K", "x": 1, "y": 1, "lineIn": 0}], "lines": [{"first": 0, "count": 2}], "segments": [{"code": 1, "firstLine": 0, "lineCount": 1}], "pRules": [{"point": 9}]}]})",
     "pieces[0].pRules[0].point", "pointIndex 9 out of range 0..1"},
    {"seam allowance on no point", R"({"pieces": [{"outline": [[["S", 0, 0], ["K", 1, 1]]], "seamAllowances": [{"from": 0, "to": 9}]}]})",
     "pieces[0].seamAllowances[0]", "extwid 0: points 0..9 out of range"},
    {"mark of a wrong type", R"({"pieces": [{"outline": [[["S", 0, 0], ["K", 1, 1]]], "marks": [{"type": "k", "x": 0, "y": 0}]}]})",
     "pieces[0].marks[0].type", "v, o, g or p"},
    {"lines without a line segment", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0}, {"type": "K", "x": 1, "y": 1}], "lines": [{"first": 0, "count": 2}]}]})",
     "pieces[0].segments", "needs at least one segment"},
    {"store refuses the chain", R"({"pieces": [{"outline": [[["K", 0, 0], ["S", 100, 0], ["K", 100, 100]]]}]})",
     "pieces[0]", "the store refused the piece"},
    {"checker refuses the records", R"({"pieces": [{"points": [{"type": "S", "x": 0, "y": 0, "lineOut": 0}, {"type": "K", "x": 1, "y": 1, "lineIn": 0}, {"type": "K", "x": 2, "y": 2}], "lines": [{"first": 0, "count": 3}], "segments": [{"code": 1, "firstLine": 0, "lineCount": 1}]}]})",
     "pieces[0]", "consistency checker refuses"},
};

class BadFileTest : public ::testing::TestWithParam<BadFile> {};

TEST_P(BadFileTest, IsRefusedWithAOneLineMessage) {
    const BadFile& row = GetParam();
    const std::string file = "bad.json";
    try {
        PatternModel model = parsePatternJson(row.text, file);
        PatternDoc doc = buildPattern(model, file);
        FAIL() << "accepted: " << row.name;
    } catch (const UserError& e) {
        std::string line = e.oneLine();
        EXPECT_EQ(line.rfind(file + ": ", 0), 0u) << line;
        EXPECT_NE(line.find(row.where), std::string::npos) << "where: " << row.where << "\n  got: " << line;
        EXPECT_NE(line.find(row.what), std::string::npos) << "what: " << row.what << "\n  got: " << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, BadFileTest, ::testing::ValuesIn(kBadFiles),
                         [](const ::testing::TestParamInfo<BadFile>& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

// The formula-text area of a piece holds 32767 bytes (each text and its
// zero). A closed outline of n points on a circle, every formula text 7
// characters, takes (n + 1) x 16 bytes with the closing point: 2046 points
// fill 32752 bytes and load; 16 bytes more are refused in either form, with
// the piece, its bytes and the limit named.
std::string formulaCircle(int n) {
    std::string text = R"({"pieces": [{"name": "big cap", "outline": [[)";
    for (int i = 0; i < n; ++i) {
        const double t = 6.283185307179586 * i / n;
        char point[96];
        std::snprintf(point, sizeof point, R"(%s["%c", null, null, "%.3f", "%.3f"])", i ? ", " : "", i ? 'C' : 'S',
                      150.0 + 40.0 * std::cos(t), 150.0 + 40.0 * std::sin(t));
        text += point;
    }
    return text + "]]}]}";
}

TEST(PatternFile, FormulaTextsBeyondTheTextAreaAreRefusedByName) {
    const std::string full = formulaCircle(2046);
    const std::string records = throughStore(full, "full");
    // One more point, and the records form with two texts 8 bytes longer.
    std::string longer = records;
    for (int k = 0; k < 2; ++k) longer.replace(longer.find("\"fx\": \"1"), 8, "\"fx\": \"0+0+0+0+1");
    const struct {
        const char* form;
        std::string text;
    } rows[] = {{"shorthand", formulaCircle(2047)}, {"records", longer}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.form);
        try {
            buildPattern(parsePatternJson(row.text, "big.json"), "big.json");
            ADD_FAILURE() << "accepted";
        } catch (const UserError& e) {
            const std::string line = e.oneLine();
            for (const char* part : {"big.json: pieces[0]", "\"big cap\"", "32768 bytes", "32767 bytes of a piece's formula-text area"})
                EXPECT_NE(line.find(part), std::string::npos) << part << "\n  got: " << line;
        }
    }
}

// A list past the records a piece takes names itself and its count.
TEST(PatternFile, AListOfTooManyRecordsIsRefusedWithItsCount) {
    nlohmann::json pattern = nlohmann::json::parse(throughStore(formulaCircle(8), "small"));
    pattern["pieces"][0]["fRules"] = nlohmann::json::array();
    for (int k = 0; k < 32768; ++k) pattern["pieces"][0]["fRules"].push_back({0, 0});
    try {
        buildPattern(parsePatternJson(pattern.dump(), "many.json"), "many.json");
        ADD_FAILURE() << "accepted";
    } catch (const UserError& e) {
        EXPECT_EQ(e.oneLine(), "many.json: pieces[0].fRules: 32768 records, more than the store's 32767 of a kind "
                               "(16-bit counts)");
    }
}

// One limit, the store's 32767 records of a kind, for both forms and the
// writer: a closed chain of 32767 points (the closing one included) is
// written and read back the same; one point more is refused by the store's
// chain builder, and the writer refuses a model the records reader would
// refuse (with the reader's words), writing nothing.
TEST(PatternFile, ThePieceAtTheRecordLimitReadsBack) {
    auto chain = [](int points) {  // a closed polygon of `points` points, the closing one included
        std::string text = R"({"pieces": [{"name": "limit", "outline": [[)";
        for (int i = 0; i + 1 < points; ++i) {
            const double t = 6.283185307179586 * i / (points - 1);
            text += (i ? ", [\"K\", " : "[\"S\", ") + std::to_string(500.0 * std::cos(t)) + ", " +
                    std::to_string(500.0 * std::sin(t)) + "]";
        }
        return text + "]]}]}";
    };
    hosttest::TempDir dir;
    PatternDoc doc = buildPattern(parsePatternJson(chain(32767), "limit.json"), "limit.json");
    ASSERT_EQ(doc.piece(0)->pointCount, 32767);
    const PatternModel model = readPatternBack(doc);
    writePatternFile(dir.file("limit.json"), model);
    PatternDoc back = loadPattern(dir.file("limit.json"));
    EXPECT_TRUE(hosttest::patternConsistent(back));
    EXPECT_EQ(patternJson(readPatternBack(back)), hosttest::slurp(dir.file("limit.json")));

    auto refusal = [](const std::function<void()>& load) {
        try {
            load();
        } catch (const UserError& e) {
            return e.oneLine();
        }
        return std::string("accepted");
    };
    const std::string shorthand =
        refusal([&] { buildPattern(parsePatternJson(chain(32768), "over.json"), "over.json"); });
    EXPECT_NE(shorthand.find("over.json: pieces[0]: the store refused the piece \"limit\": piece: 32768 point records, "
                             "more than the store's 32767 of a kind"),
              std::string::npos)
        << shorthand;
    PatternModel over = readPatternBack(buildPattern(parsePatternJson(chain(4), "small.json"), "small.json"));
    over.pieces[0].fRules.assign(32768, FRule{1, 2});
    EXPECT_EQ(refusal([&] { writePatternFile(dir.file("over.json"), over); }),
              dir.file("over.json") + ": pieces[0].fRules: 32768 records, more than the store's 32767 of a kind "
                                      "(16-bit counts); not written, as the file would not read back");
    EXPECT_FALSE(hosttest::fileExists(dir.file("over.json")));
}

// Every pattern file in examples/ is consistent: each point's formulas give
// its coordinates.
TEST(PatternFile, EveryExampleFollowsItsFormulas) {
    int patterns = 0;
    for (const auto& entry : std::filesystem::directory_iterator(hosttest::examplesDir())) {
        const std::string file = entry.path().filename().string();
        if (entry.path().extension() != ".json" || file == "corpus.json") continue;
        PatternDoc doc = loadPattern(entry.path().string());
        EXPECT_TRUE(hosttest::followsItsFormulas(doc)) << file;
        ++patterns;
    }
    EXPECT_GE(patterns, 3);
}

TEST(HostText, GbkPromptsAreShownAsUtf8) {
    // "请指定袖山曲线端点！" (pick the sleeve-cap curve's end points)
    const std::string gbk = "\xC7\xEB\xD6\xB8\xB6\xA8\xD0\xE4\xC9\xBD\xC7\xFA\xCF\xDF\xB6\xCB\xB5\xE3\xA3\xA1";
    EXPECT_EQ(gbkToUtf8(gbk), "请指定袖山曲线端点！");
    // A byte that is not GBK is kept visible, not dropped.
    EXPECT_EQ(gbkToUtf8("a\xFF" "b"), "a\\xFFb");
    std::string back;
    ASSERT_TRUE(utf8ToGbk("请指定袖山曲线端点！", back));
    EXPECT_EQ(back, gbk);
}

TEST(HostText, FloatsAreWrittenShortAndExact) {
    for (float v : {0.0f, 12.3f, -413.33f, 146.67f, 1.0f / 3.0f, 1e-7f, 123456.7f}) {
        std::string t = floatText(v);
        EXPECT_EQ(std::strtof(t.c_str(), nullptr), v) << t;
    }
    EXPECT_EQ(floatText(12.3f), "12.3");
    EXPECT_EQ(floatText(-0.0f), "0");
}

}  // namespace

// Sizes: the size syntax (options and charts) with its one-line errors,
// grading (every point by its formulas, a notch's position along its line,
// points without formulas kept), and every example script completing the
// same steps one size down and one size up.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host/sizes.h"
#include "host_test_util.h"

using namespace host;

namespace {

const std::map<std::string, float> kBase = {{"B", 88.0f}, {"W", 68.0f}, {"BL", 38.0f}};

std::string example(const std::string& name) { return hosttest::examplesDir() + "/" + name; }

TEST(SizeOption, ReadsTheNameAndFillsTheRestFromTheBase) {
    Size s = parseSizeOption(" 40 : B = 92.5,W=72 ", kBase);
    EXPECT_EQ(s.name, "40");
    EXPECT_EQ(s.measurements, (std::map<std::string, float>{{"B", 92.5f}, {"W", 72.0f}, {"BL", 38.0f}}));
    EXPECT_FALSE(s.base);
    // No values, or the base's own: the base.
    EXPECT_TRUE(parseSizeOption("38:", kBase).base);
    EXPECT_TRUE(parseSizeOption("38:B=88", kBase).base);
}

TEST(SizeOption, BadInputIsOneLineNamingTheOption) {
    struct Row {
        const char* text;
        const char* says;
    } rows[] = {
        {":B=90", "a size needs a name"},
        {"4,0:B=90", "has a character a name cannot have"},
        {"40:X=1", "the pattern has no measurement \"X\" (it has B, BL, W)"},
        {"40:B", "\"B\" is not NAME=VALUE"},
        {"40:B=90,,W=70", "an empty measurement between commas"},
        {"40:B=90,B=91", "the measurement B is given twice"},
        {"40:B=", "the value of B is empty"},
        {"40:B=9x", "the value of B, \"9x\", is not a number of centimetres"},
        {"40:B=1e2", "is not a number"},  // no exponents, as typed numbers
        {"40:B=nan", "is not a number"},
        {"40:B=1.2.3", "is not a number"},
        {"40:B=1000.5", "out of range (0 to 1000 cm)"},
        {"40:W=-1", "out of range"},
    };
    for (const auto& row : rows) {
        try {
            parseSizeOption(row.text, kBase);
            ADD_FAILURE() << "accepted: " << row.text;
        } catch (const UserError& e) {
            EXPECT_EQ(e.where(), std::string("--size ") + row.text);
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << row.text << ": " << e.what();
        }
    }
}

TEST(SizeChart, ReadsWhatSpreadsheetsWrite) {
    // A UTF-8 mark, CRLF ends, quoted cells, a comment and a blank line;
    // the column left out (BL) keeps the base's value.
    const std::string text = "\xEF\xBB\xBF\"size\",B,W\r\n# from the shop's table\r\n\r\n36,84,64\r\n\"38\",88,68\r\n";
    std::vector<Size> sizes = parseSizeChart(text, "c.csv", kBase);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0].name, "36");
    EXPECT_EQ(sizes[0].measurements, (std::map<std::string, float>{{"B", 84.0f}, {"W", 64.0f}, {"BL", 38.0f}}));
    EXPECT_TRUE(sizes[1].base);
}

TEST(SizeChart, FaultsNameTheLineAndColumn) {
    struct Row {
        const char* text;
        const char* where;
        const char* says;
    } rows[] = {
        {"size,B,Q\n36,84,1\n", "c.csv: line 1, column 3", "no measurement \"Q\""},
        {"size,B,B\n", "c.csv: line 1, column 3", "the measurement B has two columns"},
        {"size\n36\n", "c.csv: line 1", "at least one measurement"},
        {"size,B,W\n36,84,64\n38,88\n", "c.csv: line 3", "2 cells where the header has 3"},
        {"size,B,W\n36,84,x\n", "c.csv: line 2, column 3", "the value of W, \"x\", is not a number"},
        {"size,B,W\n36,,64\n", "c.csv: line 2, column 2", "the value of B is empty"},
        {"size,B\n36,84\n\n36,86\n", "c.csv: line 4, column 1", "the size \"36\" is given twice (first on line 2)"},
        {"size,B\n,84\n", "c.csv: line 2, column 1", "a size needs a name"},
        {"size,B\n", "c.csv", "a header but no sizes"},
        {"\n# nothing\n", "c.csv", "the chart is empty"},
    };
    for (const auto& row : rows) {
        try {
            parseSizeChart(row.text, "c.csv", kBase);
            ADD_FAILURE() << "accepted: " << row.text;
        } catch (const UserError& e) {
            EXPECT_EQ(e.where(), row.where) << row.text;
            EXPECT_NE(std::string(e.what()).find(row.says), std::string::npos) << row.text << ": " << e.what();
        }
    }
}

TEST(Sizes, OptionsPickFromTheChartOrAddToIt) {
    SizeOptions options;
    options.chart = example("sizes.csv");
    const std::map<std::string, float> base = readPatternFile(example("sleeve.json")).measurements;
    EXPECT_EQ(sizeNames(readSizes(options, base)), "36, 38 (base), 40");
    options.sizes = {"44:B=100"};
    EXPECT_EQ(sizeNames(readSizes(options, base)), "36, 38 (base), 40, 44");
    options.sizes = {"40", "36"};  // picks, in their order
    EXPECT_EQ(sizeNames(readSizes(options, base)), "40, 36");
    EXPECT_EQ(sizeNames(withBase(readSizes(options, base), base)), "base (base), 40, 36");
    for (const auto& [sizes, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"42"}, "has no size \"42\" (it has 36, 38, 40)"}, {{"40:B=92"}, "the size \"40\" is given twice"}}) {
        options.sizes = sizes;
        try {
            readSizes(options, base);
            ADD_FAILURE() << "accepted " << sizes[0];
        } catch (const UserError& e) {
            EXPECT_EQ(e.where(), "--size " + sizes[0]);
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    }
}

// The chart's sizes either side of the base (36 and 40).
std::vector<Size> sizesAround(const std::map<std::string, float>& base) {
    SizeOptions options;
    options.chart = example("sizes.csv");
    options.sizes = {"36", "40"};
    return readSizes(options, base);
}

// Grading to a size and back to the base from the written file gives the
// pattern back; the graded file holds the size's measurements, its points
// follow their formulas there, and the pocket (no formulas) stays put.
TEST(Grade, ThereAndBackGivesThePatternBack) {
    const PatternModel model = readPatternFile(example("group-backs.json"));
    PatternDoc base = buildPattern(model, "base");
    const Size baseSize = withBase({}, model.measurements)[0];
    for (const Size& size : sizesAround(model.measurements)) {
        SCOPED_TRACE(size.name);
        PatternDoc graded = gradedPattern(model, "g", size);
        EXPECT_TRUE(hosttest::followsItsFormulas(graded));
        EXPECT_TRUE(hosttest::patternConsistent(graded));
        const PatternModel written = parsePatternJson(patternJson(readPatternBack(graded)), "g.json");
        EXPECT_EQ(written.measurements, size.measurements);
        EXPECT_EQ(pointsWithoutFormulas(graded.piece(2)), 5);
        double moved = 0.0;
        PatternDoc back = gradedPattern(written, "g.json", baseSize);
        for (int pi = 0; pi < base.pieceCount(); ++pi)
            for (short i = 0; i < base.piece(pi)->pointCount; ++i) {
                double x0, y0, x1, y1, x2, y2;
                pointPosition(base.piece(pi), i, x0, y0);
                pointPosition(graded.piece(pi), i, x1, y1);
                pointPosition(back.piece(pi), i, x2, y2);
                if (pi == 2) {
                    EXPECT_TRUE(x1 == x0 && y1 == y0) << "pocket point " << i;
                }
                moved = std::max(moved, std::hypot(x1 - x0, y1 - y0));
                EXPECT_NEAR(x2, x0, kFormulaToleranceMm);
                EXPECT_NEAR(y2, y0, kFormulaToleranceMm);
            }
        EXPECT_GT(moved, 5.0);  // B and W change by 4 cm: a quarter of that at least
    }
}

// A notch keeps its place on its line: after grading, its position walked
// along the graded line lands on the point of the line nearest its graded
// point. (The point itself follows the formulas the tool wrote, relative to
// a neighbouring point, so it may lie a little off the graded curve.)
TEST(Grade, ANotchPositionFollowsItsLine) {
    PatternDoc doc = loadPattern(example("basic-block.json"));
    {
        HostSession session(doc, nullptr);
        session.play(readScriptFile(example("increase-notch.txt")), "increase-notch.txt");
    }
    const PatternModel notched = readPatternBack(doc);
    for (const Size& size : sizesAround(notched.measurements)) {
        PatternDoc graded = gradedPattern(notched, "notched", size);
        Piece* piece = graded.piece(0);
        SPoint* notch = nullptr;
        for (short s = 0; s < piece->sPointCount && !(notch && notch->lineIndex >= 0); ++s)
            qpGetSPointLptr(piece, s, &notch);
        ASSERT_TRUE(notch && notch->lineIndex >= 0);
        Line* line = nullptr;
        qpGetLineLptr(piece, notch->lineIndex, &line);
        double nx, ny;
        pointPosition(piece, notch->pointIndex, nx, ny);
        auto curve = [&](long flags, float& length, float& x, float& y) {
            short index = -1;
            qpCurve(nullptr, piece, qpcurve::kOpSearch, flags, qpcurve::kStylePlain, qpcurve::kSnapAllLinesDefault,
                    line->firstPoint, line->pointCount, qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index,
                    &length, &x, &y, qpcurve::kIdentity);
        };
        float along = notch->position, ax = 0, ay = 0, unused = 0;
        float cx = static_cast<float>(nx), cy = static_cast<float>(ny);
        curve(qpcurve::kPointAtLength, along, ax, ay);
        curve(qpcurve::kNearestOnLines, unused, cx, cy);
        EXPECT_LT(std::hypot(ax - cx, ay - cy), kFormulaToleranceMm) << size.name;
        EXPECT_LT(std::hypot(cx - nx, cy - ny), 1.0) << size.name;
        EXPECT_TRUE(hosttest::patternConsistent(graded));
    }
}

// What a user sees of a run, less the texts that show values (a length
// differs by size): the prompts, message boxes and the host's lines.
std::vector<std::string> steps(const ReplayResult& result) {
    std::vector<std::string> kept;
    for (const std::string& line : result.printed)
        if (line.rfind("text: ", 0) != 0) kept.push_back(line);
    return kept;
}

TEST(Examples, EveryScriptTakesTheSameStepsOneSizeDownAndUp) {
    const nlohmann::json corpus = nlohmann::json::parse(hosttest::slurp(example("corpus.json")));
    for (const auto& c : corpus["cases"]) {
        const std::string script = c["script"];
        SCOPED_TRACE(script);
        const PatternModel model = readPatternFile(example(c["pattern"]));
        std::vector<ReplayResult> runs;
        std::vector<std::vector<int>> points;  // per run, each piece's point count after it
        std::vector<Size> sizes = sizesAround(model.measurements);
        sizes.push_back(withBase({}, model.measurements)[0]);
        for (const Size& size : sizes) {
            PatternDoc doc = gradedPattern(model, "graded", size);
            {
                HostSession session(doc, nullptr);
                runs.push_back(session.play(readScriptFile(example(script)), script));
            }
            points.emplace_back();
            for (int i = 0; i < doc.pieceCount(); ++i) points.back().push_back(doc.piece(i)->pointCount);
            EXPECT_TRUE(hosttest::patternConsistent(doc)) << size.name;
        }
        // The base's run is the corpus's; the others do the same.
        for (size_t k = 0; k + 1 < runs.size(); ++k) {
            EXPECT_EQ(steps(runs[k]), steps(runs.back())) << sizes[k].name;
            EXPECT_EQ(runs[k].runFinished, runs.back().runFinished) << sizes[k].name;
            EXPECT_EQ(points[k], points.back()) << sizes[k].name;
        }
    }
}

}  // namespace

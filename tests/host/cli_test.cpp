// The qpkit program as a user runs it: exit statuses, one-line errors, no
// half-written outputs, and the demo page with its pictures.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "frame/texts.h"
#include "host/host_io.h"
#include "host/replay.h"
#include "host/svg.h"
#include "pieces/point_increase.h"
#include "host_test_util.h"

using hosttest::runQpkit;

namespace {

std::string q(const std::string& s) { return "'" + s + "'"; }

TEST(Cli, EverySubcommandHasHelp) {
    for (const char* sub : {"", "render", "info", "points", "grade", "measure", "run", "tools", "demo", "formula",
                            "formula pack", "formula scale"}) {
        auto r = runQpkit(std::string(sub) + " --help");
        EXPECT_EQ(r.status, 0) << sub << ": " << r.output;
        EXPECT_NE(r.output.find("Usage"), std::string::npos) << sub;
    }
}

TEST(Cli, AUserErrorIsOneLineAndStatus1) {
    hosttest::TempDir dir;
    struct Row {
        std::string args;
        std::string says;
    } rows[] = {
        {"", "subcommand"},
        {"info " + q(dir.file("missing.json")), "missing.json: cannot read the file"},
        {"measure " + q(hosttest::examplesDir() + "/sleeve.json") + " --piece 0 --from 0 --to 40", "--to: point 40"},
        {"measure " + q(hosttest::examplesDir() + "/sleeve.json") + " --piece 5 --from 0 --to 1", "piece 5 does not"},
        // From the outline into the grain line: no chain of lines joins them.
        {"measure " + q(hosttest::examplesDir() + "/sleeve.json") + " --piece 0 --from 13 --to 3",
         "--from: point 13 is not on the chain of lines from point 3: it ends at point 11"},
        {"formula scale H+1 x 2", "OPERATOR"},
        {"render " + q(hosttest::examplesDir() + "/sleeve-cap.txt") + " -o " + q(dir.file("x.svg")),
         "sleeve-cap.txt: line 1, column 1: not valid JSON"},
        {"run " + q(hosttest::examplesDir() + "/sleeve.json") + " " + q(hosttest::examplesDir() + "/sleeve.json") +
             " -o " + q(dir.file("y.json")),
         "sleeve.json: line 1: unknown command '{'"},
    };
    for (const auto& row : rows) {
        auto r = runQpkit(row.args);
        EXPECT_EQ(r.status, 1) << row.args << "\n" << r.output;
        EXPECT_NE(r.output.find(row.says), std::string::npos) << row.args << "\n" << r.output;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    }
    // Refused runs leave no output behind.
    EXPECT_FALSE(hosttest::fileExists(dir.file("x.svg")));
    EXPECT_FALSE(hosttest::fileExists(dir.file("y.json")));
}

TEST(Cli, AnOutputThatCannotBeWrittenLeavesNothing) {
    hosttest::TempDir dir;
    auto r = runQpkit("render " + q(hosttest::examplesDir() + "/sleeve.json") + " -o " +
                      q(dir.file("no/such/folder/x.svg")));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("cannot write the file"), std::string::npos) << r.output;
}

TEST(Cli, RenderInfoMeasureFormula) {
    hosttest::TempDir dir;
    const std::string sleeve = q(hosttest::examplesDir() + "/sleeve.json");
    auto r = runQpkit("render " + sleeve + " -o " + q(dir.file("s.svg")));
    ASSERT_EQ(r.status, 0) << r.output;
    std::string svg = hosttest::slurp(dir.file("s.svg"));
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("class=\"outline\""), std::string::npos);
    EXPECT_NE(svg.find("class=\"inner\""), std::string::npos);
    EXPECT_NE(svg.find(">0,11</text>"), std::string::npos);  // coincident start and closing points

    r = runQpkit("info " + sleeve);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("piece 0 \"sleeve\": 14 points, 5 lines"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("line 0: points 0..8, 454.82 mm"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("consistency checker: consistent"), std::string::npos) << r.output;
    r = runQpkit("info --json " + sleeve);
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("\"consistent\": true"), std::string::npos) << r.output;

    r = runQpkit("measure " + sleeve + " --piece 0 --from 8 --to 0");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "piece 0, points 0 .. 8: 454.82 mm (45.48 cm)\n");

    struct Row {
        const char* args;
        const char* out;
    } rows[] = {
        {"formula pack H+H", "text: 2*H\nstatus: 1 (done)\n"},
        {"formula pack-brackets 'a+2*(b+c)+a-3'", "text: 2*(b+c)+2*a-3\nstatus: 1 (done)\n"},
        {"formula pack-brackets '2*(b+c'", "text: 2*(b+c\nstatus: 0 (refused, text left unchanged)\n"},
        {"formula spread '2*(H/4+2)'", "text: H*0.5+4\nstatus: 1 (done)\n"},
        {"formula scale 'H+3' / 2", "text: 0.5*H+1.5\nstatus: 1 (done)\n"},
        {"formula atof 12a", "value: 169\n"},
    };
    for (const auto& row : rows) {
        r = runQpkit(row.args);
        EXPECT_EQ(r.status, 0) << row.args;
        EXPECT_EQ(r.output, row.out) << row.args;
    }
}

// The length of the outline polylines of an SVG text (mm), and how many
// points each has.
double outlineLength(const std::string& svg, std::vector<size_t>* pointsPerLine = nullptr) {
    double length = 0;
    for (size_t at = svg.find("class=\"outline\""); at != std::string::npos;
         at = svg.find("class=\"outline\"", at + 1)) {
        const size_t from = svg.find("points=\"", at) + 8;
        std::istringstream list(svg.substr(from, svg.find('"', from) - from));
        std::vector<double> xy;
        double x, y;
        char comma;
        while (list >> x >> comma >> y) xy.insert(xy.end(), {x, y});
        for (size_t k = 2; k + 1 < xy.size(); k += 2) length += std::hypot(xy[k] - xy[k - 2], xy[k + 1] - xy[k - 1]);
        if (pointsPerLine) pointsPerLine->push_back(xy.size() / 2);
    }
    return length;
}

// The number of an attribute of the tag that starts at `at`.
double attribute(const std::string& svg, size_t at, const std::string& name) {
    const size_t end = svg.find('>', at), from = svg.find(" " + name + "=\"", at);
    if (from == std::string::npos || from > end) return NAN;
    return std::strtod(svg.c_str() + from + name.size() + 3, nullptr);
}

// Every point number's box (svg.h: as wide as host::textWidth reckons, one
// font size high, centred 0.35 font sizes above the baseline) lies inside
// the picture and overlaps no other; every title and caption fits the
// picture's width.
::testing::AssertionResult readable(const std::string& svg) {
    const double width = attribute(svg, svg.find("<svg"), "width"), height = attribute(svg, svg.find("<svg"), "height");
    struct Box {
        double x0, y0, x1, y1;
        std::string text;
    };
    std::vector<Box> boxes;
    for (size_t g = svg.find("<g class=\"numbers\""); g != std::string::npos; g = svg.find("<g class=\"numbers\"", g + 1)) {
        const double font = attribute(svg, g, "font-size");
        const size_t end = svg.find("</g>", g);
        for (size_t t = svg.find("<text", g); t < end; t = svg.find("<text", t + 1)) {
            const std::string text = svg.substr(svg.find('>', t) + 1, svg.find("</text>", t) - svg.find('>', t) - 1);
            const double w = host::textWidth(text, font), x = attribute(svg, t, "x"), y = attribute(svg, t, "y") - 0.35 * font;
            boxes.push_back(Box{x - w / 2, y - font / 2, x + w / 2, y + font / 2, text});
        }
    }
    for (const Box& b : boxes)
        if (b.x0 < 0 || b.y0 < 0 || b.x1 > width || b.y1 > height)
            return ::testing::AssertionFailure() << "number " << b.text << " lies outside the picture";
    for (size_t i = 0; i < boxes.size(); ++i)
        for (size_t j = i + 1; j < boxes.size(); ++j)
            if (boxes[i].x0 < boxes[j].x1 && boxes[j].x0 < boxes[i].x1 && boxes[i].y0 < boxes[j].y1 && boxes[j].y0 < boxes[i].y1)
                return ::testing::AssertionFailure() << "numbers " << boxes[i].text << " and " << boxes[j].text << " overlap";
    for (const char* kind : {"class=\"title\"", "class=\"caption\""})
        for (size_t t = svg.find(kind); t != std::string::npos; t = svg.find(kind, t + 1)) {
            const size_t tag = svg.rfind('<', t);
            const std::string text = svg.substr(svg.find('>', t) + 1, svg.find("</text>", t) - svg.find('>', t) - 1);
            const double right = attribute(svg, tag, "x") + host::textWidth(text, attribute(svg, tag, "font-size"));
            if (right > width) return ::testing::AssertionFailure() << "\"" << text << "\" runs past the picture";
        }
    return ::testing::AssertionSuccess() << boxes.size() << " numbers";
}

// The picture's outline: a straight line is one segment, and the drawn
// outline's length matches `qpkit info` within 0.01%: the sleeve, and a
// thousand points on a circle, where the samples rounded to a hundredth of
// a millimetre once drew a staircase 0.84% too long. Its numbers crowd:
// they go out on leader lines, never over each other, and the caption says
// how many found no room.
TEST(Cli, RenderedOutlineIsLeanAndMeasuresAsInfo) {
    hosttest::TempDir dir;
    std::string circle = R"({"pieces": [{"name": "circle", "outline": [[)";
    for (int i = 0; i < 1000; ++i)
        circle += std::string(i ? ", [\"K\", " : "[\"S\", ") + std::to_string(250 * std::cos(i * M_PI / 500)) + ", " +
                  std::to_string(250 * std::sin(i * M_PI / 500)) + "]";
    hosttest::spit(dir.file("circle.json"), circle + "]]}]}");
    for (const std::string& pattern : {hosttest::examplesDir() + "/sleeve.json", dir.file("circle.json")}) {
        SCOPED_TRACE(pattern);
        ASSERT_EQ(runQpkit("render " + q(pattern) + " -o " + q(dir.file("s.svg"))).status, 0);
        const std::string svg = hosttest::slurp(dir.file("s.svg"));
        std::vector<size_t> pointsPerLine;
        const double drawn = outlineLength(svg, &pointsPerLine);
        const auto info = runQpkit("info " + q(pattern));
        std::smatch m;
        ASSERT_TRUE(std::regex_search(info.output, m, std::regex("outline length ([0-9.]+) mm")));
        EXPECT_NEAR(drawn, std::stod(m[1]), std::stod(m[1]) * 0.0001);
        EXPECT_TRUE(readable(svg));
        if (pattern.find("sleeve") != std::string::npos) {
            // Line 0 is the cap curve; lines 1 .. 3 are straight.
            ASSERT_EQ(pointsPerLine.size(), 4u);
            EXPECT_GT(pointsPerLine[0], 8u);
            for (size_t l = 1; l < 4; ++l) EXPECT_EQ(pointsPerLine[l], 2u) << "line " << l;
        } else {
            EXPECT_EQ(pointsPerLine, std::vector<size_t>(1000, 2u));
            EXPECT_NE(svg.find("numbers left out where points crowd"), std::string::npos);
        }
    }
}

// The outlines of piece 0 drawn for one size of a nest, summed (mm).
double nestOutline(const std::string& svg, const std::string& size) {
    const size_t from = svg.find("data-size=\"" + size + "\"", svg.find("id=\"piece-0\""));
    return outlineLength(svg.substr(from, svg.find("</g>", from) - from));
}

// grade, info --sizes and the nest agree: the graded file carries the size's
// measurements, and the nest draws each size's outline as long as the table
// says.
TEST(Cli, SizesGradeTabulateAndNest) {
    hosttest::TempDir dir;
    const std::string block = q(hosttest::examplesDir() + "/basic-block.json");
    const std::string chart = " --sizes " + q(hosttest::examplesDir() + "/sizes.csv");
    auto r = runQpkit("grade " + block + chart + " --size 40 -o " + q(dir.file("40.json")));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("consistency checker: every piece consistent"), std::string::npos) << r.output;
    r = runQpkit("info " + q(dir.file("40.json")));
    EXPECT_NE(r.output.find("measurements (cm): AH=45 B=92 BL=38.5 H=98 S=40 SK=60 SL=56.5 W=72"), std::string::npos)
        << r.output;

    r = runQpkit("info " + block + chart);
    ASSERT_EQ(r.status, 0) << r.output;
    const size_t row = r.output.find("\n  40 ");
    ASSERT_NE(row, std::string::npos) << r.output;
    const double table = std::strtod(r.output.c_str() + row + 6, nullptr);  // size 40's outline, mm
    ASSERT_EQ(runQpkit("render " + block + chart + " -o " + q(dir.file("nest.svg"))).status, 0);
    const std::string svg = hosttest::slurp(dir.file("nest.svg"));
    for (const char* legend : {">36</text>", ">38 (base)</text>", ">40</text>"})
        EXPECT_NE(svg.find(legend), std::string::npos) << legend;
    EXPECT_NEAR(nestOutline(svg, "40"), table, table * 0.001);
    EXPECT_GT(nestOutline(svg, "40") - nestOutline(svg, "36"), 50.0);  // 4 cm more bust and waist

    r = runQpkit("info " + q(hosttest::examplesDir() + "/group-backs.json"));
    EXPECT_NE(r.output.find("piece 2 \"pocket\": 5 points, 4 lines, 1 segments\n  outline length 520.00 mm, area "
                            "168.00 cm2\n  5 points without formulas do not grade"),
              std::string::npos)
        << r.output;

    // A chart of three sizes is not one size: one line, status 1, no file.
    r = runQpkit("grade " + block + chart + " -o " + q(dir.file("x.json")));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("/sizes.csv: grade writes one size, and 3 are given (36, 38 (base), 40)"), std::string::npos)
        << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_FALSE(hosttest::fileExists(dir.file("x.json")));
}

// A point whose x its formula contradicts (W/4+2 gives 190 mm where x says
// 195): info lists it, run warns once for its piece and keeps the x, grade
// without a size puts it where the formula says. A point doubled on the
// sleeve's outline makes a 0 mm line: a warning on the checker's verdict
// line, not a refusal.
TEST(Cli, FormulasAgainstCoordinatesAndDuplicatePoints) {
    hosttest::TempDir dir;
    std::string backs = hosttest::slurp(hosttest::examplesDir() + "/group-backs.json");
    backs.replace(backs.find("\"W/4+2.5\""), 9, "\"W/4+2\"");
    hosttest::spit(dir.file("off.json"), backs);
    const std::string line = "point 4: x 195.00 mm where fx \"W/4+2\" gives 190.00 mm";
    auto r = runQpkit("info " + q(dir.file("off.json")));
    EXPECT_NE(r.output.find("1 point is off its formulas by more than 0.1 mm; the pattern keeps the coordinates, "
                            "`qpkit grade` without a size moves them where the formulas say:\n    " + line),
              std::string::npos)
        << r.output;
    r = runQpkit("run " + q(dir.file("off.json")) + " /dev/null -o " + q(dir.file("run.json")));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("warning: " + dir.file("off.json") + ": piece 1 \"back body (half)\": 1 point is off its "
                            "formulas by more than 0.1 mm and keeps its coordinates (" + line + ")\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find("warning:"), r.output.rfind("warning:")) << "once per piece\n" << r.output;
    r = runQpkit("grade " + q(dir.file("off.json")) + " -o " + q(dir.file("rebuilt.json")));
    EXPECT_NE(r.output.find("every point where its formulas put it (1 point moved more than 0.1 mm)"), std::string::npos)
        << r.output;
    r = runQpkit("info " + q(dir.file("rebuilt.json")) + " --json");
    EXPECT_NE(r.output.find("\"pointsOffFormulas\": []"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("\"fxValue\""), std::string::npos) << r.output;

    std::string sleeve = hosttest::slurp(hosttest::examplesDir() + "/sleeve.json");
    const size_t k = sleeve.find("[\"K\"");
    sleeve.insert(k, sleeve.substr(k, sleeve.find(']', k) + 1 - k) + ", ");
    hosttest::spit(dir.file("twin.json"), sleeve);
    r = runQpkit("info " + q(dir.file("twin.json")));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("consistency checker: consistent; warning: line 1 (points 8..9) is 0 mm long: a "
                            "duplicate point\n"),
              std::string::npos)
        << r.output;
    r = runQpkit("run " + q(dir.file("twin.json")) + " /dev/null -o " + q(dir.file("twin-out.json")));
    EXPECT_NE(r.output.find("consistency checker: every piece consistent; piece 0 \"sleeve\": warning: line 1"),
              std::string::npos)
        << r.output;
}

TEST(Cli, RunWritesThePatternAndItsPicture) {
    hosttest::TempDir dir;
    auto r = runQpkit("run " + q(hosttest::examplesDir() + "/sleeve.json") + " " +
                      q(hosttest::examplesDir() + "/sleeve-cap.txt") + " -o " + q(dir.file("out.json")) + " --svg " +
                      q(dir.file("out.svg")));
    if (r.output.find("has no sleeve cap tool") != std::string::npos) GTEST_SKIP() << r.output;
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("prompt: 请指定袖山曲线端点！"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("consistency checker: every piece consistent"), std::string::npos);
    r = runQpkit("measure " + q(dir.file("out.json")) + " --piece 0 --from 0 --to 9");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output, "piece 0, points 0 .. 9: 469.80 mm (46.98 cm)\n");
    EXPECT_TRUE(hosttest::fileExists(dir.file("out.svg")));
}

// A refusal is said in English beside the tool's own text, at its script
// line; the run writes its outputs and ends with status 3, or 0 when the
// script expects it. Here the dart's new line is picked on the outline
// (line 0 of the bodice), where no new dart can go; the run is then left
// unfinished too.
TEST(Cli, ARefusalIsSaidInEnglishAndEndsWithItsOwnStatus) {
    hosttest::TempDir dir;
    hosttest::spit(dir.file("s.txt"), "piece 0\ntool dart-transfer\nclick line 9\nclick line 10\nclick line 0\n");
    const std::string args = "run " + q(hosttest::examplesDir() + "/basic-block.json") + " " + q(dir.file("s.txt")) +
                             " -o " + q(dir.file("out.json"));
    const SystemText* text = nullptr;
    for (const SystemText& t : kSystemTexts)
        if (std::string(t.name) == "kGapMoveNoOutlinePoint") text = &t;
    ASSERT_TRUE(text && text->refusal);
    const std::string refusal = "line 5: the dart transfer refused: " + std::string(text->reading) +
                                " (message box: " + host::gbkToUtf8(text->gbk) + ")";
    auto r = runQpkit(args);
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find(refusal + "\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("line 5: the script ended before the dart transfer run finished; the host ends it\n"),
              std::string::npos)
        << r.output;
    // The last line, on stderr: the first refusal, naming the script.
    const size_t last = r.output.rfind('\n', r.output.size() - 2) + 1;
    EXPECT_EQ(r.output.substr(last), "qpkit: " + dir.file("s.txt") + ": " + refusal +
                                         " (and 1 more above); --expect-refusal when the script means it\n");
    EXPECT_TRUE(hosttest::fileExists(dir.file("out.json")));
    r = runQpkit(args + " --expect-refusal");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find(refusal), std::string::npos) << r.output;
}

// Help for script writers: the version; every point with its formulas and
// the lines through it; every tool with the point-increase modes, whose
// table in docs/replay-scripts.md is the tool's own.
TEST(Cli, VersionPointsAndTools) {
    auto r = runQpkit("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_match(r.output, std::regex("qpkit [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << r.output;

    r = runQpkit("points " + q(hosttest::examplesDir() + "/sleeve.json") + " --piece 0");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(r.output.rfind("piece 0 \"sleeve\": 14 points (x, y: mm; fx, fy: cm)\n", 0), 0u) << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 16) << r.output;  // a title, a header, 14 points
    // The cap's back end: where the cap (line 0) meets the underarm seam (line 1).
    EXPECT_NE(r.output.find("\n      8 K        320.00       0.00  B/4+10    0           0 1\n"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("\n     12 s        160.00    -300.00  B/8+5     -30         4\n"), std::string::npos);

    r = runQpkit("tools");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string lines = "\n" + r.output;
    for (const host::ToolEntry& t : host::toolTable())
        EXPECT_NE(lines.find(std::string("\n") + t.name + " (or " + t.alias + "): " + t.title + ", " + t.handler),
                  std::string::npos)
            << t.name;
    const std::string docs = hosttest::slurp(std::string(QP_SOURCE_DIR) + "/docs/replay-scripts.md");
    for (const increase::ModeText& m : increase::kModeTexts) {
        char row[40];
        std::snprintf(row, sizeof row, "    %3d  %-20s", static_cast<int>(m.mode), m.name);
        EXPECT_NE(r.output.find(std::string(row) + m.click + "\n"), std::string::npos) << m.name;
        EXPECT_NE(docs.find("\n| " + std::to_string(m.mode) + " | " + m.name + " | " + m.click + " |\n"),
                  std::string::npos)
            << "docs/replay-scripts.md lacks mode " << m.mode << " as the tool names it";
    }
}

// --inch: lengths in the inch the library knows (25.4 mm), areas in in2.
TEST(Cli, InchesOnMeasureInfoAndReports) {
    hosttest::TempDir dir;
    const std::string sleeve = q(hosttest::examplesDir() + "/sleeve.json");
    auto r = runQpkit("measure " + sleeve + " --piece 0 --from 0 --to 8 --inch");
    EXPECT_EQ(r.output, "piece 0, points 0 .. 8: 17.906 in\n");  // 454.82 mm
    r = runQpkit("info " + sleeve + " --inch");
    EXPECT_NE(r.output.find("  outline length 59.351 in, area 219.94 in2\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("  line 0: points 0..8, 17.906 in\n"), std::string::npos) << r.output;
    r = runQpkit("run " + sleeve + " " + q(hosttest::examplesDir() + "/sleeve-cap.txt") + " -o " +
                 q(dir.file("out.json")) + " --report --inch");
    if (r.output.find("has no sleeve cap tool") != std::string::npos) GTEST_SKIP() << r.output;
    // The cap grew by the 1.5 cm typed: 0.590 in.
    EXPECT_NE(r.output.find("  outline length: 59.351 -> 59.941 in (+0.590)\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("    outline line 1 (points 8..9) -> 1 (points 9..10): 16.391 -> 16.391 (0.000)\n"),
              std::string::npos)
        << r.output;
}

// A small XML well-formedness check: every tag closed in order, every
// attribute quoted; enough to catch a page a browser would have to guess at.
::testing::AssertionResult wellFormed(const std::string& text) {
    std::vector<std::string> open;
    size_t i = 0;
    while ((i = text.find('<', i)) != std::string::npos) {
        size_t end = text.find('>', i);
        if (end == std::string::npos) return ::testing::AssertionFailure() << "unclosed tag at " << i;
        std::string tag = text.substr(i + 1, end - i - 1);
        i = end + 1;
        if (tag.empty()) return ::testing::AssertionFailure() << "empty tag";
        if (tag[0] == '!' || tag[0] == '?') continue;
        if (tag[0] == '/') {
            std::string name = tag.substr(1);
            if (open.empty() || open.back() != name)
                return ::testing::AssertionFailure() << "</" << name << "> closes " << (open.empty() ? "nothing" : open.back());
            open.pop_back();
            continue;
        }
        bool selfClosed = tag.back() == '/';
        std::string name = tag.substr(0, tag.find_first_of(" /"));
        if (std::count(tag.begin(), tag.end(), '"') % 2)
            return ::testing::AssertionFailure() << "unbalanced quotes in <" << tag << ">";
        if (!selfClosed) open.push_back(name);
    }
    if (!open.empty()) return ::testing::AssertionFailure() << "<" << open.back() << "> never closed";
    return ::testing::AssertionSuccess();
}

TEST(Cli, DemoWritesAWellFormedPageWithItsPictures) {
    hosttest::TempDir dir;
    const std::string out = dir.file("demo");
    auto r = runQpkit("demo --out " + q(out));
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("wrote " + out + "/index.html"), std::string::npos) << r.output;
    const std::string html = hosttest::slurp(out + "/index.html");
    EXPECT_TRUE(wellFormed(html));
    std::regex ref("(src|href)=\"([^\"#]+)\"");
    std::set<std::string> files;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), ref); it != std::sregex_iterator(); ++it)
        files.insert((*it)[2]);
    EXPECT_TRUE(files.count("pattern.svg"));
    // Every piece of the pattern has seam allowances: its cut line is drawn.
    const std::string whole = hosttest::slurp(out + "/pattern.svg");
    size_t cut = 0;
    for (size_t at = whole.find("class=\"cut\""); at != std::string::npos; at = whole.find("class=\"cut\"", at + 1)) ++cut;
    EXPECT_EQ(cut, 4u);
    EXPECT_TRUE(files.count("pattern.json"));
    int svgs = 0;
    for (const auto& f : files) {
        ASSERT_TRUE(hosttest::fileExists(out + "/" + f)) << f;
        if (f.size() > 4 && f.substr(f.size() - 4) == ".svg") {
            ++svgs;
            std::string svg = hosttest::slurp(out + "/" + f);
            EXPECT_TRUE(wellFormed(svg)) << f;
            EXPECT_NE(svg.find("<polyline"), std::string::npos) << f;
            EXPECT_TRUE(readable(svg)) << f;
        }
        // A run's pictures before, after and of the change share one frame,
        // so they show at one scale side by side.
        const size_t before = f.find("-before.svg");
        if (before != std::string::npos) {
            const std::string run = out + "/" + f.substr(0, before);
            auto size = [](const std::string& svg) {
                const size_t at = svg.find("<svg");
                return std::make_pair(attribute(svg, at, "width"), attribute(svg, at, "height"));
            };
            const auto frame = size(hosttest::slurp(run + "-before.svg"));
            EXPECT_EQ(size(hosttest::slurp(run + "-after.svg")), frame) << f;
            EXPECT_EQ(size(hosttest::slurp(run + "-change.svg")), frame) << f;
        }
    }
    // Every tool the library has gets a section with a before and an after.
    if (html.find("id=\"sleeve-cap\"") != std::string::npos) {
        EXPECT_TRUE(files.count("sleeve-cap-before.svg"));
        EXPECT_TRUE(files.count("sleeve-cap-after.svg"));
        EXPECT_TRUE(files.count("sleeve-cap-nest.svg"));
        EXPECT_NE(html.find("target length"), std::string::npos);
        EXPECT_EQ(html.find("class=\"bad\""), std::string::npos);
        EXPECT_GE(svgs, 3);
    }
    // The pattern the page offers loads.
    r = runQpkit("info " + q(out + "/pattern.json"));
    EXPECT_EQ(r.status, 0) << r.output;
}

}  // namespace

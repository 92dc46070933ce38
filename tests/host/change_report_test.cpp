// What a run changed: the change report and the overlay of the old outline,
// on the sleeve cap run (a twin inserted, the cap reshaped), on a point
// deleted by hand, and on every tool's demo run, its points paired as the
// store renumbered them, against the answer worked out by hand.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "host/change_report.h"
#include "host/edit_trace.h"
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

// The points of a report: what moved, was added, was removed.
std::string pointsPart(const std::string& report) { return report.substr(report.find("  points moved")); }

// Each tool's demo run on the basic block, followed through the store's
// edits. The answers by hand: which point of the piece before the run each
// point after it is, from what the tool does.
TEST(ChangeReport, EveryToolsDemoRunPairsItsPointsAsTheStoreRenumberedThem) {
    struct Run {
        const char* script;
        int piece, afterPiece;
        const char* points;
    } runs[] = {
        // The cap's top, 4, gets its twin right after it (5): 1 .. 4 swing
        // with the front half, 5 .. 7 with the back half one place on.
        {"basic-block-sleeve-cap.txt", 1, 1,
         "  points moved (before -> after): 7\n"
         "    1 -> 1 C (25.00, 28.00) -> (23.52, 29.28), 1.95 mm\n"
         "    2 -> 2 C (55.00, 78.00) -> (50.91, 80.80), 4.96 mm\n"
         "    3 -> 3 C (95.00, 125.00) -> (88.44, 129.84), 8.16 mm\n"
         "    4 -> 4 C (160.00, 146.67) -> (152.24, 154.85), 11.28 mm\n"
         "    5 -> 6 C (225.00, 125.00) -> (231.56, 129.84), 8.16 mm\n"
         "    6 -> 7 C (265.00, 78.00) -> (269.09, 80.80), 4.96 mm\n"
         "    7 -> 8 C (295.00, 28.00) -> (296.48, 29.28), 1.95 mm\n"
         "  points added: 1\n"
         "    5 C (167.76, 154.85)\n"
         "  points removed: none\n"},
        // The panel is rebuilt as the last piece. Each pleat line opens: the
        // waist and hem get the opening's two edges (2 .. 5, 10 .. 13), the
        // part beyond each line turns away with the line itself (2 .. 5 ->
        // 6 .. 9, the lines 7 .. 10 -> 15 .. 18), and a mark is laid where
        // each line was (19 .. 22).
        {"basic-block-pleat.txt", 2, 3,
         "  points moved (before -> after): 8\n"
         "    2 -> 6 K (190.00, 610.00) -> (219.64, 616.20), 30.28 mm\n"
         "    3 -> 7 C (222.00, 520.00) -> (254.60, 527.31), 33.41 mm\n"
         "    4 -> 8 K (245.00, 420.00) -> (280.91, 428.13), 36.81 mm\n"
         "    5 -> 9 K (275.00, 0.00) -> (324.81, 9.36), 50.68 mm\n"
         "    7 -> 15 s (60.00, 603.16) -> (69.99, 603.57), 10.00 mm\n"
         "    8 -> 16 k (75.00, 0.00) -> (104.97, 1.24), 30.00 mm\n"
         "    9 -> 17 s (125.00, 606.58) -> (154.79, 610.63), 30.06 mm\n"
         "    10 -> 18 k (150.00, 0.00) -> (199.88, 5.21), 50.15 mm\n"
         "  points added: 12\n"
         "    2 C (60.00, 603.16)\n    3 C (69.99, 603.57)\n    4 C (134.85, 609.01)\n    5 C (154.80, 610.50)\n"
         "    10 C (199.88, 5.28)\n    11 C (179.93, 3.79)\n    12 C (104.97, 1.24)\n    13 C (75.00, 0.00)\n"
         "    19 s (60.00, 603.16)\n    20 k (75.00, 0.00)\n    21 s (134.85, 609.01)\n    22 k (179.93, 3.79)\n"
         "  points removed: none\n"},
        // The shoulder dart closes: its second leg's outline point 6 goes,
        // the outline from the shoulder tip to the side point (7 .. 12)
        // turns about the bust point one place down, the side point's place
        // keeps a point of its own (13) below the new mouth's middle (12),
        // the old second leg now ends on the side seam (17 -> 18), and the
        // new dart gets its centre line (23 .. 24).
        {"basic-block-dart-transfer.txt", 0, 0,
         "  points moved (before -> after): 7\n"
         "    7 -> 6 K (195.00, 362.00) -> (168.77, 375.04), 29.30 mm\n"
         "    8 -> 7 C (190.00, 300.00) -> (176.39, 313.31), 19.03 mm\n"
         "    9 -> 8 C (200.00, 245.00) -> (197.30, 261.46), 16.68 mm\n"
         "    10 -> 9 C (218.00, 212.00) -> (221.59, 232.78), 21.09 mm\n"
         "    11 -> 10 K (235.00, 200.00) -> (240.67, 224.46), 25.11 mm\n"
         "    12 -> 11 K (228.00, 130.00) -> (247.95, 154.49), 31.59 mm\n"
         "    17 -> 18 s (150.00, 385.00) -> (247.95, 154.49), 250.46 mm\n"
         "  points added: 4\n"
         "    12 K (250.27, 132.23)\n    13 K (228.00, 130.00)\n    23 s (118.00, 240.00)\n    24 k (250.27, 132.23)\n"
         "  points removed: 1\n"
         "    6 K (150.00, 385.00)\n"},
        // Folded and unfolded unchanged: only the mouth's middle point (6).
        {"basic-block-dart-fold.txt", 0, 0,
         "  points moved (before -> after): none\n"
         "  points added: 1\n"
         "    6 K (135.00, 385.00)\n"
         "  points removed: none\n"},
        // A turn point 10 cm up the side seam (13), a notch, a drill mark and
        // an inner line of three points; nothing moves.
        {"basic-block-increase.txt", 0, 0,
         "  points moved (before -> after): none\n"
         "  points added: 6\n"
         "    13 K (224.95, 99.50)\n    23 v (190.57, 291.66)\n    24 o (99.78, 300.25)\n"
         "    25 s (40.03, 149.87)\n    26 c (120.03, 170.13)\n    27 k (223.96, 89.61)\n"
         "  points removed: none\n"},
        // The half keeps its points where they were; the mirrored outline
        // (1 .. 7) and inner line (19 .. 20) are new.
        {"basic-block-symmetry.txt", 3, 3,
         "  points moved (before -> after): none\n"
         "  points added: 9\n"
         "    1 K (-210.00, 0.00)\n    2 K (-232.00, 200.00)\n    3 C (-206.00, 250.00)\n    4 C (-196.00, 310.00)\n"
         "    5 K (-200.00, 372.00)\n    6 K (-75.00, 400.00)\n    7 C (-40.00, 386.00)\n"
         "    19 s (-100.00, 60.00)\n    20 k (-100.00, 300.00)\n"
         "  points removed: none\n"},
    };
    const std::string block = hosttest::examplesDir() + "/basic-block.json";
    for (const Run& run : runs) {
        SCOPED_TRACE(run.script);
        PatternDoc before = loadPattern(block);
        PatternDoc after = loadPattern(block);
        EditTrace trace(after);
        {
            HostSession session(after, nullptr);
            session.play(readScriptFile(hosttest::examplesDir() + "/" + run.script), run.script);
        }
        ASSERT_TRUE(hosttest::patternConsistent(after));
        const PieceOrigin* origin = trace.origin(after, run.afterPiece);
        ASSERT_NE(origin, nullptr) << "the trace lost the piece";
        EXPECT_EQ(origin->piece, run.piece);
        const std::string report = changeReport(before, after, &trace);
        EXPECT_TRUE(has(report, "points paired as the store renumbered them")) << report;
        EXPECT_EQ(pointsPart(pieceChangeReport(before, run.piece, after, run.afterPiece, origin)), run.points);
    }
}

// The points of the polylines inside one piece's group of an SVG, those of
// the "before" group or the piece's own.
std::set<std::string> groupPoints(const std::string& svg, int piece, bool before) {
    std::set<std::string> points;
    const size_t from = svg.find("id=\"piece-" + std::to_string(piece) + "\"");
    const size_t to = svg.find("<g class=\"piece\"", from + 1);
    const size_t old = svg.find("class=\"before\"", from), oldEnd = svg.find("</g>", old);
    for (size_t at = svg.find("points=\"", from); at < to; at = svg.find("points=\"", at + 1)) {
        if ((at > old && at < oldEnd) != before) continue;
        std::istringstream list(svg.substr(at + 8, svg.find('"', at + 8) - at - 8));
        for (std::string p; list >> p;) points.insert(p);
    }
    return points;
}

// `run --report`, then `render --before` of what it wrote over the pattern
// it read: the report, and the picture's text.
struct RunAndPicture {
    std::string report;
    std::string svg;
};
RunAndPicture runAndRender(const hosttest::TempDir& dir, const std::string& pattern, const std::string& script) {
    auto r = hosttest::runQpkit("run '" + pattern + "' '" + hosttest::examplesDir() + "/" + script + "' -o '" +
                                dir.file("out.json") + "' --report");
    EXPECT_EQ(r.status, 0) << r.output;
    auto picture = hosttest::runQpkit("render '" + dir.file("out.json") + "' -o '" + dir.file("o.svg") + "' --before '" +
                                      pattern + "'");
    EXPECT_EQ(picture.status, 0) << picture.output;
    return RunAndPicture{r.output, hosttest::slurp(dir.file("o.svg"))};
}

TEST(ChangeReport, RunReportAndRenderBeforeFromTheCommandLine) {
    hosttest::TempDir dir;
    const std::string sleeve = hosttest::examplesDir() + "/sleeve.json";
    const RunAndPicture run = runAndRender(dir, sleeve, "sleeve-cap.txt");
    EXPECT_TRUE(has(run.report, "what changed:\npiece 0 \"sleeve\": 14 -> 15 points")) << run.report;
    const size_t old = run.svg.find("class=\"before\"");
    ASSERT_NE(old, std::string::npos);
    EXPECT_LT(old, run.svg.find("class=\"outline\"")) << "the old outline goes underneath";
    hosttest::runQpkit("render '" + sleeve + "' -o '" + dir.file("p.svg") + "'");
    EXPECT_FALSE(has(hosttest::slurp(dir.file("p.svg")), "class=\"before\""));
}

// After a pleat spread the skirt panel is the last piece and the back moves
// up one: the report and the picture over the old pattern pair each piece
// with itself, not with the piece of its old number.
TEST(ChangeReport, PiecesArePairedByWhatTheyAre) {
    hosttest::TempDir dir;
    const RunAndPicture run = runAndRender(dir, hosttest::examplesDir() + "/basic-block.json", "basic-block-pleat.txt");
    EXPECT_TRUE(has(run.report, "piece 2 -> 3 \"skirt panel\": 11 -> 23 points")) << run.report;
    EXPECT_TRUE(has(run.report, "piece 3 -> 2 \"back (half)\": unchanged")) << run.report;
    const std::set<std::string> back = groupPoints(run.svg, 2, false), old = groupPoints(run.svg, 2, true);
    ASSERT_FALSE(old.empty());
    for (const std::string& p : old) EXPECT_TRUE(back.count(p)) << p << ": the back was drawn over another piece";
}

}  // namespace

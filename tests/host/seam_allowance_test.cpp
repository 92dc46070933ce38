// The cut line: the outline offset outward by its seam allowances, its
// corners by hand on straight pieces, and on curved pieces the offset
// distance itself (nothing nearer the outline than its width, every outline
// point at its width from the cut line) and a line that never crosses
// itself.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "frame/siblings.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/seam_allowance.h"
#include "host_test_util.h"

using namespace host;

namespace {

PatternDoc pieceOf(const std::string& piece) {
    return buildPattern(parsePatternJson(R"({"pieces": [)" + piece + "]}", "cut.json"), "cut.json");
}

double distanceToSegment(Pt p, Pt a, Pt b) {
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0.0;
    t = std::max(0.0, std::min(1.0, t));
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

double distanceToPolyline(Pt p, const Polyline& line) {
    double best = 1e30;
    for (size_t i = 0; i + 1 < line.size(); ++i) best = std::min(best, distanceToSegment(p, line[i], line[i + 1]));
    return best;
}

double area(const Polyline& closed) {
    double twice = 0;
    for (size_t i = 0; i + 1 < closed.size(); ++i) twice += closed[i].x * closed[i + 1].y - closed[i + 1].x * closed[i].y;
    return twice / 2;
}

// The cut line's points from its first, each as "(x, y)" to 0.001 mm.
std::string pointsOf(const CutLine& cut) {
    std::string s;
    char t[64];
    for (size_t i = 0; i + 1 < cut.points.size(); ++i) {
        std::snprintf(t, sizeof t, "(%.3f, %.3f) ", cut.points[i].x + 0.0, cut.points[i].y + 0.0);
        s += t;
    }
    return s;
}

constexpr const char* kRectangle = R"("outline": [[["S", 0, 0], ["K", 100, 0], ["K", 100, 50], ["K", 0, 50]]])";

TEST(SeamAllowance, APieceWithoutAllowancesHasNoCutLine) {
    PatternDoc doc = pieceOf(std::string("{") + kRectangle + "}");
    EXPECT_TRUE(cutLines(doc.piece(0)).empty());
}

// Record 0 all round: the rectangle grows by 10 mm on every side, its
// corners mitred; each stretch belongs to the line it offsets.
TEST(SeamAllowance, RecordZeroIsThePiecesOwnWidthAllRound) {
    PatternDoc doc = pieceOf(std::string("{") + kRectangle +
                             R"(, "seamAllowances": [{"from": 0, "to": 0, "fromWidth": 10, "toWidth": 99}]})");
    const std::vector<CutLine> cut = cutLines(doc.piece(0));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(pointsOf(cut[0]), "(-10.000, -10.000) (110.000, -10.000) (110.000, 60.000) (-10.000, 60.000) ");
    EXPECT_DOUBLE_EQ(area(cut[0].points), 120.0 * 70.0);
    for (size_t i = 0; i < cut[0].parts.size(); ++i) EXPECT_EQ(cut[0].parts[i].line, static_cast<short>(i)) << i;
}

// A stretch of its own, 10 mm at point 0 growing to 20 mm at point 1, the
// rest of the outline without allowance: the cut line runs on the outline
// there and leaves it at the stretch's ends.
TEST(SeamAllowance, AStretchGrowsFromOneWidthToTheOther) {
    PatternDoc doc = pieceOf(std::string("{") + kRectangle +
                             R"(, "seamAllowances": [{"from": 0, "to": 0, "fromWidth": 0, "toWidth": 0},
                                                      {"from": 0, "to": 1, "fromWidth": 10, "toWidth": 20}]})");
    const std::vector<CutLine> cut = cutLines(doc.piece(0));
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(pointsOf(cut[0]), "(0.000, -10.000) (100.000, -20.000) (100.000, 50.000) (0.000, 50.000) ");
}

// A corner of 63.4 degrees at (0, 0) between the stretch coming in along
// the x axis and the one going out towards (50, 100), 10 mm all round:
// the mitre meets at (6.180, -10); squared to the incoming stretch the cut
// leaves its allowance at x = 10 sqrt(5) / 2 = 11.180, where the outgoing
// allowance line crosses the x axis; squared to the outgoing one it leaves
// the incoming allowance at (-5, -10), where the outgoing stretch's line
// extended crosses it, and runs square to that stretch, 10 mm out.
TEST(SeamAllowance, CornersAreMitredOrSquaredAsTheirRecordsSay) {
    const std::string piece = R"({"outline": [[["S", -100, 0], ["K", 0, 0], ["K", 50, 100], ["K", -100, 100]]],
                                  "seamAllowances": [{"from": 0, "to": 0, "fromWidth": 10, "toWidth": 10}])";
    struct Row {
        const char* corners;
        const char* around;  // the cut line from the corner at point 0 on
    } rows[] = {
        {"", "(6.180, -10.000) (66.180, 110.000) "},
        {R"(, "corners": [{"side": 1, "point": 1, "first": 3, "second": 5}])",
         "(11.180, -10.000) (11.180, 0.000) (66.180, 110.000) "},
        {R"(, "corners": [{"side": 2, "point": 1, "first": 3, "second": 5}])",
         "(-5.000, -10.000) (3.944, -14.472) (66.180, 110.000) "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.corners);
        PatternDoc doc = pieceOf(piece + row.corners + "}");
        const std::vector<CutLine> cut = cutLines(doc.piece(0));
        ASSERT_EQ(cut.size(), 1u);
        const std::string points = pointsOf(cut[0]);
        EXPECT_NE(points.find(std::string("(-110.000, -10.000) ") + row.around), std::string::npos) << points;
        const bool squared = row.corners[0] != '\0';
        size_t joins = 0;
        for (const CutPart& part : cut[0].parts) joins += part.corner == 1 ? 1 : 0;
        EXPECT_EQ(joins, squared ? 1u : 0u) << "the square cut is the corner's";
    }
}

// A dart 10 mm deep in the top of a 200 x 100 block: with 5 mm all round
// its legs' allowances meet 5 / sin 63.43 = 5.59 mm above its tip, (100,
// 95.590); with 100 mm they would meet 111.8 mm above it, beyond the top's
// own allowance, and the loop they make is cut out: the cut line runs
// straight over the dart (the top's left-hand part begins at the mitre of
// its allowance with the right leg's, 103.607).
TEST(SeamAllowance, TheLoopsOfAnInwardTurnAreCutOut) {
    for (const char* width : {"5", "100"}) {
        SCOPED_TRACE(width);
        PatternDoc doc = pieceOf(R"({"outline": [[["S", 0, 0], ["K", 200, 0], ["K", 200, 100], ["K", 120, 100],
                                                  ["K", 100, 90], ["K", 80, 100], ["K", 0, 100]]],
                                     "seamAllowances": [{"from": 0, "to": 0, "fromWidth": )" +
                                 std::string(width) + R"(, "toWidth": 0}]})");
        const std::vector<CutLine> cut = cutLines(doc.piece(0));
        ASSERT_EQ(cut.size(), 1u);
        EXPECT_EQ(pointsOf(cut[0]), std::string(width) == "5"
                                        ? "(-5.000, -5.000) (205.000, -5.000) (205.000, 105.000) (118.820, 105.000) "
                                          "(100.000, 95.590) (81.180, 105.000) (-5.000, 105.000) "
                                        : "(-100.000, -100.000) (300.000, -100.000) (300.000, 200.000) "
                                          "(103.607, 200.000) (-100.000, 200.000) ");
    }
}

// On the curved pieces of the examples, 12 mm all round: no point of the
// cut line is nearer the outline than 12 mm, every stretch of it that
// belongs to a line runs 12 mm out from a stretch of that line, parallel to
// it, and it never crosses itself (the loops at the inward corners are cut
// out).
TEST(SeamAllowance, OnCurvedPiecesTheCutLineKeepsItsDistance) {
    nlohmann::json block = nlohmann::json::parse(hosttest::slurp(hosttest::examplesDir() + "/basic-block.json"));
    for (auto& piece : block["pieces"]) {
        piece.erase("corners");
        piece["seamAllowances"] = {{{"from", 0}, {"to", 0}, {"fromWidth", 12}, {"toWidth", 12}}};
    }
    PatternDoc doc = buildPattern(parsePatternJson(block.dump(), "block.json"), "block.json");
    for (int pi = 0; pi < doc.pieceCount(); ++pi) {
        SCOPED_TRACE(doc.pieceName(pi));
        Piece* piece = doc.piece(pi);
        const std::vector<CutLine> cut = cutLines(piece);
        ASSERT_EQ(cut.size(), outlineSegments(piece).size());
        Seg* seg = nullptr;
        qpGetSegLptr(piece, cut[0].segment, &seg);
        Polyline outline;
        std::map<short, Polyline> lines;
        for (short li = seg->firstLine; li < seg->firstLine + seg->lineCount; ++li) {
            Line* l = nullptr;
            qpGetLineLptr(piece, li, &l);
            for (const Polyline& part : modelLines(piece, l->firstPoint, l->pointCount)) {
                outline.insert(outline.end(), part.begin(), part.end());
                lines[li].insert(lines[li].end(), part.begin(), part.end());
            }
        }
        const Polyline& c = cut[0].points;
        const double outside = area(outline) > 0 ? -1.0 : 1.0;  // the side the allowance lies on, as a cross product's sign
        double nearest = 1e30;
        size_t off = 0;
        for (size_t i = 0; i + 1 < c.size(); ++i) {
            const Pt middle{(c[i].x + c[i + 1].x) / 2, (c[i].y + c[i + 1].y) / 2};
            nearest = std::min({nearest, distanceToPolyline(c[i], outline), distanceToPolyline(middle, outline)});
            if (cut[0].parts[i].line < 0) continue;
            // Parallel to a stretch of its line, 12 mm out.
            const Polyline& own = lines[cut[0].parts[i].line];
            bool found = false;
            for (size_t e = 0; e + 1 < own.size() && !found; ++e) {
                const double dx = own[e + 1].x - own[e].x, dy = own[e + 1].y - own[e].y, len = std::hypot(dx, dy);
                if (len < 1e-9) continue;
                auto out = [&](Pt p) { return outside * (dx * (p.y - own[e].y) - dy * (p.x - own[e].x)) / len; };
                found = std::fabs(out(c[i]) - 12.0) < 0.01 && std::fabs(out(c[i + 1]) - 12.0) < 0.01;
            }
            off += found ? 0 : 1;
        }
        EXPECT_GT(nearest, 12.0 - 0.01);
        EXPECT_EQ(off, 0u);
        for (size_t i = 0; i + 1 < c.size(); ++i)
            for (size_t j = i + 2; j + 1 < c.size(); ++j) {
                if (i == 0 && j + 2 == c.size()) continue;
                const double d1 = (c[i + 1].x - c[i].x) * (c[j].y - c[i].y) - (c[i + 1].y - c[i].y) * (c[j].x - c[i].x);
                const double d2 = (c[i + 1].x - c[i].x) * (c[j + 1].y - c[i].y) - (c[i + 1].y - c[i].y) * (c[j + 1].x - c[i].x);
                const double d3 = (c[j + 1].x - c[j].x) * (c[i].y - c[j].y) - (c[j + 1].y - c[j].y) * (c[i].x - c[j].x);
                const double d4 = (c[j + 1].x - c[j].x) * (c[i + 1].y - c[j].y) - (c[j + 1].y - c[j].y) * (c[i + 1].x - c[j].x);
                ASSERT_FALSE(d1 * d2 < 0 && d3 * d4 < 0) << "stretches " << i << " and " << j << " cross";
            }
    }
    EXPECT_TRUE(hosttest::patternConsistent(doc));
}

}  // namespace

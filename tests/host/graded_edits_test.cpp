// Graded edits: every tool's sample script, played on a pattern whose every
// point is graded by a rule, reaches the same pattern at another size both
// ways: "run, then grade" (the run at the base, its result evaluated at the
// size) and "grade, then run" (the pattern evaluated at the size, the same
// script played there; it picks by point and line number, so it follows the
// size). Sizes: one and two steps either way of the rule's driving
// measurements (4 cm of the bust or the waist a step). The test prints the worst distance per tool and holds each
// to its limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "frame/siblings.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host/sizes.h"
#include "host_test_util.h"

using namespace host;

namespace {

// ---- grade rules ---------------------------------------------------------------

// A rule's formula for one coordinate: cm per cm of each measurement.
struct Slopes {
    std::map<std::string, double> perCm;
};

// A grade rule: the measurements a size step moves (cm per step), and each
// point's slopes from where it lies in its piece (tx, ty: 0 on the piece's
// left and bottom edges, 1 on its right and top ones; a half piece has its
// centre line on the left).
struct GradeRule {
    const char* name;
    std::map<std::string, float> stepCm;
    std::function<void(double tx, double ty, Slopes& x, Slopes& y)> slopes;
};

const std::vector<GradeRule>& gradeRules() {
    static const std::vector<GradeRule> rules = {
        // Per cm of bust the side seam moves out a quarter of a cm, points
        // nearer the centre line proportionally less; lengths grow a little.
        {"bust", {{"B", 4.0f}},
         [](double tx, double ty, Slopes& x, Slopes& y) {
             x.perCm["B"] = 0.25 * tx;
             y.perCm["B"] = 0.05 * ty;
         }},
        // The same by the waist, with lengths growing more.
        {"waist", {{"W", 4.0f}},
         [](double tx, double ty, Slopes& x, Slopes& y) {
             x.perCm["W"] = 0.25 * tx;
             y.perCm["W"] = 0.12 * ty;
         }},
        // Two driving measurements: the top follows the bust, the bottom
        // the waist, blended by height; lengths follow the bust. The chart
        // grades the waist faster than the bust.
        {"bust and waist", {{"B", 4.0f}, {"W", 6.0f}},
         [](double tx, double ty, Slopes& x, Slopes& y) {
             x.perCm["B"] = 0.25 * tx * ty;
             x.perCm["W"] = 0.25 * tx * (1 - ty);
             y.perCm["B"] = 0.08 * ty;
         }},
    };
    return rules;
}

// "0.183*B+0.05*W-14.2": the rule's text for a coordinate of v mm, its
// numbers to three decimals and the constant fitted to the base.
std::string ruleText(double vMm, const Slopes& s, const std::map<std::string, float>& base) {
    std::string text;
    double constant = vMm / 10.0;
    char number[40];
    for (const auto& [name, slope] : s.perCm) {
        const double c = std::round(slope * 1000.0) / 1000.0;
        if (c == 0.0) continue;
        std::snprintf(number, sizeof number, "%s%.3f*", text.empty() ? "" : "+", c);
        text += number + name;
        constant -= c * base.at(name);
    }
    std::snprintf(number, sizeof number, text.empty() ? "%.3f" : "%+.3f", constant);
    return text + number;
}

// Every point of a piece, in whichever form the file gave it.
template <class Visit>
void forEachModelPoint(PieceModel& piece, Visit visit) {
    for (FilePoint& p : piece.points) visit(p);
    for (auto* chains : {&piece.outline, &piece.inner})
        for (auto& chain : *chains)
            for (ChainPoint& p : chain) visit(p);
    for (FileMark& m : piece.marks) visit(m.point);
}

// The model with every point of every piece graded by the rule.
PatternModel graded(PatternModel model, const GradeRule& rule) {
    for (PieceModel& piece : model.pieces) {
        double x0 = 1e30, y0 = 1e30, x1 = -1e30, y1 = -1e30;
        forEachModelPoint(piece, [&](auto& p) {
            x0 = std::min<double>(x0, p.x), x1 = std::max<double>(x1, p.x);
            y0 = std::min<double>(y0, p.y), y1 = std::max<double>(y1, p.y);
        });
        forEachModelPoint(piece, [&](auto& p) {
            Slopes sx, sy;
            rule.slopes((p.x - x0) / std::max(x1 - x0, 1.0), (p.y - y0) / std::max(y1 - y0, 1.0), sx, sy);
            p.fx = ruleText(p.x, sx, model.measurements);
            p.fy = ruleText(p.y, sy, model.measurements);
            p.xFromFormula = p.yFromFormula = false;
        });
    }
    return model;
}

// The rule's sizes: 1 and 2 steps down and up.
std::vector<Size> sizesOf(const GradeRule& rule, const std::map<std::string, float>& base) {
    std::vector<Size> sizes;
    for (int step : {-2, -1, 1, 2}) {
        Size s;
        s.name = (step > 0 ? "+" : "") + std::to_string(step);
        s.measurements = base;
        for (const auto& [name, cm] : rule.stepCm) s.measurements[name] += cm * static_cast<float>(step);
        sizes.push_back(s);
    }
    return sizes;
}

// ---- tools ---------------------------------------------------------------------

struct Sample {
    const char* tool;  // as the table names it
    const char* pattern;
    const char* script;
    bool foldOnly;        // the script without its unfold
    bool backToOriginal;  // also compared with the original pattern, point by point
    double limitMm;       // worst distance allowed, over every rule and size
};

// Limits: the graded tools within 0.5 mm (single symmetry 0.05; the unfold
// also within 0.01 mm of the original, with its very texts). Symmetry's
// group mode, which does not grade its copies yet, is held to the figure it
// has, so that it gets no worse.
const Sample kSamples[] = {
    {"symmetry, single piece", "basic-block.json", "basic-block-symmetry.txt", false, false, 0.05},
    {"symmetry, group mode", "group-backs.json", "group-backs-symmetry.txt", false, false, 0.5},
    // The skirt's side seam turns with the size (its hip and hem grade
    // apart): a mirror about a turning axis is not linear in the sizes, as
    // texts are. What stays is second order, a quarter of it a size away
    // (0.31 mm; 1.23 mm two sizes away when the bust and the waist both grade).
    {"symmetry, slanted axis", "basic-block.json", "skirt-side-symmetry.txt", false, false, 1.3},
    {"dart transfer", "basic-block.json", "basic-block-dart-transfer.txt", false, false, 0.5},
    {"dart fold (fold only)", "basic-block.json", "basic-block-dart-fold.txt", true, false, 0.5},
    {"dart fold, then unfold", "basic-block.json", "basic-block-dart-fold.txt", false, true, 0.5},
    {"pleat spread", "basic-block.json", "basic-block-pleat.txt", false, false, 0.5},
    {"sleeve cap", "sleeve.json", "sleeve-cap.txt", false, false, 0.5},
    {"point increase by length", "basic-block.json", "increase-side-seam.txt", false, false, 0.5},
};

std::string example(const std::string& name) { return hosttest::examplesDir() + "/" + name; }

std::vector<ScriptCommand> scriptOf(const Sample& sample) {
    std::vector<ScriptCommand> script = readScriptFile(example(sample.script));
    if (sample.foldOnly)
        script.erase(std::remove_if(script.begin(), script.end(),
                                    [](const ScriptCommand& c) { return c.op == ScriptOp::Unfold; }),
                     script.end());
    return script;
}

void play(PatternDoc& doc, const std::vector<ScriptCommand>& script, const std::string& name) {
    HostSession session(doc, nullptr);
    session.play(script, name);
}

double distanceOf(Piece* a, short i, Piece* b, short j) {
    double ax, ay, bx, by;
    if (!pointPosition(a, i, ax, ay) || !pointPosition(b, j, bx, by)) return 1e9;
    return std::hypot(ax - bx, ay - by);
}

// The worst distance between the same points of two patterns that must
// have the same pieces and points.
double worstBetween(const PatternDoc& a, const PatternDoc& b) {
    EXPECT_EQ(a.pieceCount(), b.pieceCount());
    double worst = 0;
    for (int pi = 0; pi < std::min(a.pieceCount(), b.pieceCount()); ++pi) {
        EXPECT_EQ(a.piece(pi)->pointCount, b.piece(pi)->pointCount) << "piece " << pi;
        for (short i = 0; i < std::min(a.piece(pi)->pointCount, b.piece(pi)->pointCount); ++i)
            worst = std::max(worst, distanceOf(a.piece(pi), i, b.piece(pi), i));
    }
    return worst;
}

char typeOf(Piece* piece, short i) {
    Point* p = nullptr;
    qpGetPointLptr(piece, i, &p);
    return p ? p->type : 0;
}

// Where each point of `before` stands in `after`, which may hold points the
// run inserted: at the base, a kept point is the next one of its type at its
// place.
std::vector<short> keptPoints(Piece* before, Piece* after) {
    std::vector<short> at;
    short j = 0;
    for (short i = 0; i < before->pointCount; ++i, ++j) {
        while (j < after->pointCount &&
               (typeOf(after, j) != typeOf(before, i) || distanceOf(before, i, after, j) > 0.01))
            ++j;
        at.push_back(j < after->pointCount ? j : -1);
    }
    return at;
}

TEST(GradedEdits, RunThenGradeEqualsGradeThenRun) {
    const PatternModel examples[] = {readPatternFile(example("basic-block.json")),
                                     readPatternFile(example("group-backs.json")),
                                     readPatternFile(example("sleeve.json"))};
    auto exampleModel = [&](const std::string& name) -> const PatternModel& {
        return examples[name == "basic-block.json" ? 0 : name == "group-backs.json" ? 1 : 2];
    };
    std::printf("graded edits: worst distance, run then grade against grade then run (mm)\n");
    std::printf("  %-28s", "tool");
    for (const GradeRule& rule : gradeRules()) std::printf(" %14s", rule.name);
    std::printf(" %8s\n", "limit");
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.tool);
        const std::vector<ScriptCommand> script = scriptOf(sample);
        std::printf("  %-28s", sample.tool);
        for (const GradeRule& rule : gradeRules()) {
            SCOPED_TRACE(rule.name);
            const PatternModel model = graded(exampleModel(sample.pattern), rule);
            PatternDoc original = buildPattern(model, sample.pattern);
            PatternDoc ran = buildPattern(model, sample.pattern);
            play(ran, script, sample.script);
            // The base: every formula on its point.
            EXPECT_TRUE(hosttest::followsItsFormulas(ran));
            EXPECT_TRUE(hosttest::patternConsistent(ran));
            const PatternModel ranModel = readPatternBack(ran);
            double worst = 0;
            for (const Size& size : sizesOf(rule, model.measurements)) {
                SCOPED_TRACE(size.name);
                PatternDoc runThenGrade = buildPattern(ranModel, "ran");
                gradePattern(runThenGrade, size);
                PatternDoc gradeThenRun = gradedPattern(model, sample.pattern, size);
                play(gradeThenRun, script, sample.script);
                worst = std::max(worst, worstBetween(runThenGrade, gradeThenRun));
                if (!sample.backToOriginal) continue;
                // The unfold gives the piece back: every point where the
                // original stands at this size, with its very texts.
                PatternDoc originalAtSize = gradedPattern(model, sample.pattern, size);
                const PatternModel originalModel = readPatternBack(original);
                for (int pi = 0; pi < original.pieceCount(); ++pi) {
                    const std::vector<short> kept = keptPoints(original.piece(pi), ran.piece(pi));
                    for (short i = 0; i < original.piece(pi)->pointCount; ++i) {
                        SCOPED_TRACE("piece " + std::to_string(pi) + " point " + std::to_string(i));
                        const short j = kept[static_cast<size_t>(i)];
                        ASSERT_GE(j, 0);
                        EXPECT_LT(distanceOf(originalAtSize.piece(pi), i, runThenGrade.piece(pi), j), 0.01);
                        const FilePoint& was = originalModel.pieces[static_cast<size_t>(pi)].points[static_cast<size_t>(i)];
                        const FilePoint& now = ranModel.pieces[static_cast<size_t>(pi)].points[static_cast<size_t>(j)];
                        EXPECT_EQ(now.fx, was.fx);
                        EXPECT_EQ(now.fy, was.fy);
                    }
                }
            }
            std::printf(" %14.2f", worst);
            EXPECT_LE(worst, sample.limitMm);
        }
        std::printf(" %8.2f\n", sample.limitMm);
    }
}

}  // namespace

#include "host/demo.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include "frame/curve_forms.h"
#include "frame/siblings.h"
#include "host/change_report.h"
#include "host/edit_trace.h"
#include "host/commands.h"
#include "host/dxf_export.h"
#include "host/examples.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host/sizes.h"
#include "host/svg.h"

namespace host {

namespace {

constexpr const char* kPatternName = "built-in pattern";
// The demo plays the examples themselves: the pattern, its size chart and
// one script per tool (host/examples.h).
constexpr const char* kPatternFile = "basic-block.json";
constexpr const char* kChartFile = "sizes.csv";

// An example file's text; the build embeds every file of examples/, so a
// missing one is a fault of the demo table.
std::string example(const std::string& name) {
    const char* text = exampleText(name);
    if (!text) throw std::logic_error("the demo plays examples/" + name + ", which the build did not embed");
    return text;
}

struct Figure {
    std::string label;
    std::string value;
};

struct DemoTool {
    const char* tool;   // the tool's plain name (a tool table name), also its files' and section's
    int piece;          // the piece the run works on
    const char* about;  // what the run shows
    const char* script;  // the example script (examples/) the run replays
    std::function<std::vector<Figure>(const PatternDoc& before, const PatternDoc& after)> figures;
    int afterPiece = -1;  // where the piece is after the run; -1: where it was
    // Set for a tool with a state worth a picture between before and after:
    // the script up to its `unfold` line is replayed on a copy of its own,
    // and the pattern's last piece (the dart fold's fold piece) is shown.
    const char* middleCaption = nullptr;
};

std::string mm(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f mm", v);
    return t;
}

// The sleeve is piece 1; its cap runs from point 0 (front underarm) over
// the curve points 1 .. 7 to point 8 (back underarm); point 4 is the top.
constexpr int kSleeve = 1;
constexpr short kCapFirst = 0;
constexpr short kCapLast = 8;
constexpr double kCapIncreaseMm = 15.0;  // the script types 1.5 cm

// The skirt panel is piece 2: waist from point 1 to 2, hem from 5 to the
// closing point 6, pleat lines 7..8 and 9..10. The pleat spread appends the
// rebuilt panel as the last piece (3), with a pleat mark (two points) per
// pleat at its end.
constexpr int kSkirt = 2;
constexpr int kSkirtAfter = 3;

// The outline's last point: the closing point, at the end of the hem.
short lastOutlinePoint(Piece* piece) {
    short last = 0;
    Point* p = nullptr;
    while (last + 1 < piece->pointCount) {
        qpGetPointLptr(piece, static_cast<short>(last + 1), &p);
        if (!p || p->type >= 0x60) break;
        ++last;
    }
    return last;
}

double distance(Piece* piece, short i, short j) {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    pointPosition(piece, i, x0, y0);
    pointPosition(piece, j, x1, y1);
    return std::hypot(x1 - x0, y1 - y0);
}

// The openings of the pleat whose mark starts at point m: the mark lies on
// i0 (opened toward i0 + 1) and on i1 (opened from i1 - 1).
std::pair<double, double> pleatOpenings(Piece* piece, short m) {
    const short last = lastOutlinePoint(piece);
    short i0 = -1, i1 = -1;
    for (short i = 0; i <= last; ++i) {
        if (i0 < 0 && distance(piece, i, m) < 1e-4) i0 = i;
        if (distance(piece, i, static_cast<short>(m + 1)) < 1e-4) i1 = i;
    }
    if (i0 < 0 || i1 <= i0) return {-1, -1};
    return {distance(piece, i0, static_cast<short>(i0 + 1)), distance(piece, static_cast<short>(i1 - 1), i1)};
}

// The bodice front is piece 0. Before: the shoulder dart's legs end at
// points 5 and 6 (lines 15 .. 16 and 17 .. 18) and meet at the bust point
// 16; the line to the side seam runs from point 12 (19 .. 20). After: point
// 11 is the turned copy of the side point, 12 the middle of the new mouth,
// 13 the copy left in place; the legs are 18 .. 19 and 20 .. 21 (21 the apex).
constexpr int kBodice = 0;

// The bodice front's shoulder runs from the neck point 4 over the shoulder
// dart's outline points 5 and 6 to the shoulder point 7. The fold puts the
// dart's middle point between 5 and 6, so the shoulder point is 8 afterwards.
constexpr short kNeckPoint = 4;
constexpr short kShoulderPoint = 7;

std::string degrees(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f degrees", v);
    return t;
}

// The angle at `apex` between the directions to points a and b.
double angleAt(Piece* piece, short apex, short a, short b) {
    double px, py, ax, ay, bx, by;
    pointPosition(piece, apex, px, py);
    pointPosition(piece, a, ax, ay);
    pointPosition(piece, b, bx, by);
    const double d = std::atan2(by - py, bx - px) - std::atan2(ay - py, ax - px);
    return std::fabs(std::remainder(d, 2 * M_PI)) * 180 / M_PI;
}

// The point-increase run on the bodice front (kBodice): its outline runs
// from the waist at the centre front (0) up and round to the underarm point
// 11, the side seam's middle point 12 at (228, 130) and the waist side point
// 13 at (215, 0).

// The special point of point i, or null.
SPoint* sPointOf(Piece* piece, short i) {
    for (short k = 0; k < piece->sPointCount; ++k) {
        SPoint* s = nullptr;
        qpGetSPointLptr(piece, k, &s);
        if (s && s->pointIndex == i) return s;
    }
    return nullptr;
}

std::vector<Figure> increaseFigures(const PatternDoc& before, const PatternDoc& after) {
    Piece* b = before.piece(kBodice);
    Piece* a = after.piece(kBodice);
    std::vector<Figure> f;
    f.push_back({"bodice points before / after", std::to_string(b->pointCount) + " / " + std::to_string(a->pointCount)});
    // The turn point is point 13 now; the waist side point moved on to 14.
    f.push_back({"new turn point to the waist side point (typed 10 cm)", mm(lengthAlong(a, 13, 14))});
    // The notch and the drill mark are the last 'v' and the last 'o'.
    short notch = -1, drill = -1;
    for (short i = 0; i < a->pointCount; ++i) {
        Point* p = nullptr;
        qpGetPointLptr(a, i, &p);
        if (p && p->type == 'v') notch = i;
        if (p && p->type == 'o') drill = i;
    }
    for (const short i : {notch, drill}) {
        Point* p = nullptr;
        qpGetPointLptr(a, i, &p);
        SPoint* s = sPointOf(a, i);
        if (!p || !s) continue;
        if (p->type == 'v') {
            Line* line = nullptr;
            qpGetLineLptr(a, s->lineIndex, &line);
            double x = 0, y = 0, lx = 0, ly = 0;
            pointPosition(a, i, x, y);
            // The notch's position, walked along its line, is the notch.
            const frame::CurveHit at = frame::pointAtLength(a, line->firstPoint, s->position, qpcurve::kIdentity);
            lx = at.x;
            ly = at.y;
            f.push_back({"armhole notch: position along its line", mm(s->position)});
            f.push_back({"notch to the point at that position", mm(std::hypot(x - lx, y - ly))});
        } else if (p->type == 'o') {
            f.push_back({"drill mark size (typed 0.6 cm)", mm(s->size)});
        }
    }
    // The inner line: its last three points, the last one on the side seam
    // below its middle point (from (228, 130) to the waist side at (215, 0)).
    const short last = static_cast<short>(a->pointCount - 1);
    double x = 0, y = 0;
    pointPosition(a, last, x, y);
    f.push_back({"inner line length", mm(lengthAlong(a, static_cast<short>(last - 2), last))});
    f.push_back({"inner line end off the side seam", mm(std::fabs(x - (215.0 + 13.0 * y / 130.0)))});
    return f;
}

// The half back is piece 3; its centre back is line 0, from point 0 (waist)
// to point 1 (neck), 380 mm long.
constexpr int kHalfBack = 3;
constexpr double kCentreBackMm = 380.0;

std::vector<Figure> symmetryFigures(const PatternDoc& before, const PatternDoc& after) {
    Piece* b = before.piece(kHalfBack);
    Piece* a = after.piece(kHalfBack);
    const double lb = outlineLength(b), la = outlineLength(a);
    const double ab = outlineArea(b) / 100.0, aa = outlineArea(a) / 100.0;
    // Every point of the half off the axis has a point of the whole at its mirror.
    int mirrored = 0, offAxis = 0;
    for (short i = 0; i < b->pointCount; ++i) {
        double x = 0, y = 0;
        pointPosition(b, i, x, y);
        if (std::fabs(x) < 0.01) continue;
        ++offAxis;
        for (short j = 0; j < a->pointCount; ++j) {
            double u = 0, v = 0;
            pointPosition(a, j, u, v);
            if (std::fabs(u + x) < 0.01 && std::fabs(v - y) < 0.01) {
                ++mirrored;
                break;
            }
        }
    }
    char area[64];
    std::snprintf(area, sizeof area, "%.2f cm2 / %.2f cm2 (ratio %.4f)", ab, aa, aa / ab);
    return std::vector<Figure>{
        {"outline length, half / whole", mm(lb) + " / " + mm(la)},
        {"whole minus (2 x half - 2 x centre back)", mm(la - (2 * lb - 2 * kCentreBackMm))},
        {"area, half / whole", area},
        {"points off the axis with a mirrored twin", std::to_string(mirrored) + " of " + std::to_string(offAxis)},
        {"points before / after", std::to_string(b->pointCount) + " / " + std::to_string(a->pointCount)},
        {"points whose formulas miss them by more than 0.1 mm", std::to_string(pointsOffFormulas(a).size())},
    };
}

const std::vector<DemoTool>& demoTools() {
    static const std::vector<DemoTool> tools = {
        {"sleeve-cap", kSleeve,
         "Sleeve cap cut and lengthen: the user picks the two ends of the cap curve (the underarm points) and "
         "its top as the cut point, reads the cap length and types 1.5 cm. The tool splits the cap at the top, "
         "swings both halves outward about the underarm points and reshapes the cap until it is 1.5 cm longer, "
         "with both ends where they were.",
         "basic-block-sleeve-cap.txt",
         [](const PatternDoc& before, const PatternDoc& after) {
             Piece* b = before.piece(kSleeve);
             Piece* a = after.piece(kSleeve);
             double lb = lengthAlong(b, kCapFirst, kCapLast);
             // The cut point's twin lies inside the cap: its last point is one further.
             double la = lengthAlong(a, kCapFirst, static_cast<short>(kCapLast + 1));
             double target = lb + kCapIncreaseMm;
             double xb0, yb0, xb1, yb1, xa0, ya0, xa1, ya1;
             pointPosition(b, kCapFirst, xb0, yb0);
             pointPosition(b, kCapLast, xb1, yb1);
             pointPosition(a, kCapFirst, xa0, ya0);
             pointPosition(a, static_cast<short>(kCapLast + 1), xa1, ya1);
             bool endsKept = xb0 == xa0 && yb0 == ya0 && xb1 == xa1 && yb1 == ya1;
             return std::vector<Figure>{
                 {"cap length before (points 0 .. 8)", mm(lb)},
                 {"increase typed", "1.5 cm"},
                 {"target length", mm(target)},
                 {"cap length after (points 0 .. 9)", mm(la)},
                 {"after minus target", mm(la - target)},
                 {"sleeve points before / after", std::to_string(b->pointCount) + " / " + std::to_string(a->pointCount)},
                 {"underarm points kept in place", endsKept ? "yes" : "NO"},
             };
         }},
        {"pleat", kSkirt,
         "Pleat spread: the user picks the skirt panel's two pleat lines and types, in the width table, the "
         "spread at each end: 1 cm at the waist and 3 cm at the hem for the first, 2 cm at both for the second. "
         "On apply the panel is cut along each line; the part beyond it turns about the narrower end and shifts "
         "(or, for equal widths, shifts straight) so that each end opens by its width, and a pleat mark is laid "
         "where the line was on the part that stayed. The rebuilt panel becomes the pattern's last piece.",
         "basic-block-pleat.txt",
         [](const PatternDoc& before, const PatternDoc& after) {
             Piece* b = before.piece(kSkirt);
             Piece* a = after.piece(after.pieceCount() - 1);
             const short lastB = lastOutlinePoint(b), lastA = lastOutlinePoint(a);
             Point* closing = nullptr;
             qpGetPointLptr(a, lastA, &closing);
             Line* hem = nullptr;
             if (closing) qpGetLineLptr(a, closing->lineIn, &hem);
             const double hemBefore = lengthAlong(b, 5, lastB);
             const double hemAfter = hem ? lengthAlong(a, hem->firstPoint, lastA) : -1;
             const auto first = pleatOpenings(a, static_cast<short>(a->pointCount - 4));
             const auto second = pleatOpenings(a, static_cast<short>(a->pointCount - 2));
             return std::vector<Figure>{
                 {"table as typed", "row 0: points 7 .. 8, 1 cm / 3 cm; row 1: points 9 .. 10, 2 cm / 2 cm"},
                 {"hem length before", mm(hemBefore)},
                 {"hem length after (3 + 2 cm more)", mm(hemAfter)},
                 {"first pleat: opening at the waist / at the hem", mm(first.first) + " / " + mm(first.second)},
                 {"second pleat: opening at the waist / at the hem", mm(second.first) + " / " + mm(second.second)},
                 {"panel points before / after", std::to_string(b->pointCount) + " / " + std::to_string(a->pointCount)},
                 {"the rebuilt panel's place", "piece " + std::to_string(after.pieceCount() - 1) + " of " +
                                                   std::to_string(after.pieceCount())},
             };
         },
         kSkirtAfter},
        {"dart-transfer", kBodice,
         "Dart transfer: the user picks the two legs of the bodice's shoulder dart and then the line drawn from "
         "the side seam to the bust point. The tool closes the shoulder dart by turning the outline between the "
         "two places (shoulder tip, armhole, the upper side seam) about the bust point, and opens the same dart "
         "at the side seam: a mouth with a middle point, two legs of the drawn line's length and a centre line. "
         "Every moved or new point gets formulas that give its position.",
         "basic-block-dart-transfer.txt",
         [](const PatternDoc& before, const PatternDoc& after) {
             Piece* b = before.piece(kBodice);
             Piece* a = after.piece(kBodice);
             const double shoulderBefore = lengthAlong(b, 4, 5) + lengthAlong(b, 6, 7);
             return std::vector<Figure>{
                 {"dart angle before (shoulder, at the bust point)", degrees(angleAt(b, 16, 5, 6))},
                 {"dart angle after (side seam, at the new apex)", degrees(angleAt(a, 21, 13, 11))},
                 {"old dart's legs", mm(lengthAlong(b, 15, 16)) + " and " + mm(lengthAlong(b, 17, 18))},
                 {"drawn line (bust point to side seam)", mm(lengthAlong(b, 19, 20))},
                 {"new dart's legs", mm(lengthAlong(a, 20, 21)) + " and " + mm(lengthAlong(a, 18, 19))},
                 // Legs of unequal length: the closed shoulder is not the sum of its parts.
                 {"shoulder without the dart, before / after", mm(shoulderBefore) + " / " + mm(lengthAlong(a, 4, 6))},
                 {"armhole (turned), before / after", mm(lengthAlong(b, 7, 11)) + " / " + mm(lengthAlong(a, 6, 10))},
                 {"side seam above the dart (turned), before / after",
                  mm(lengthAlong(b, 11, 12)) + " / " + mm(lengthAlong(a, 10, 11))},
                 {"side seam below the dart, before / after", mm(lengthAlong(b, 12, 13)) + " / " + mm(lengthAlong(a, 13, 14))},
                 {"bodice points before / after", std::to_string(b->pointCount) + " / " + std::to_string(a->pointCount)},
             };
         }},
        {"dart-fold", kBodice,
         "Dart fold: the user picks the two legs of the bodice front's shoulder dart. Their outline points are "
         "neighbours, so the tool puts a middle point between them and asks for the apex with a click; a "
         "click nearer one leg gives the fold direction. The shoulder across the dart's mouth is copied into a "
         "fold piece with both halves turned about the apex until the legs meet on the centre line: there the "
         "shoulder seam can be trued with the dart closed. The unfold click turns the fold piece back, carries "
         "its shoulder into the bodice and removes the fold piece. Nothing was corrected here, so the shoulder "
         "comes back where it was, with the middle point added.",
         "basic-block-dart-fold.txt",
         [](const PatternDoc& before, const PatternDoc& after) {
             Piece* b = before.piece(kBodice);
             Piece* a = after.piece(kBodice);
             // Points up to the dart keep their index, the later ones move up by one.
             double moved = 0.0;
             for (short i = 0; i < b->pointCount; ++i) {
                 double xb, yb, xa, ya;
                 pointPosition(b, i, xb, yb);
                 pointPosition(a, static_cast<short>(i <= 5 ? i : i + 1), xa, ya);
                 moved = std::max(moved, std::hypot(xa - xb, ya - yb));
             }
             double x5, y5, x6, y6, xm, ym;
             pointPosition(b, 5, x5, y5);
             pointPosition(b, 6, x6, y6);
             pointPosition(a, 6, xm, ym);
             return std::vector<Figure>{
                 {"shoulder before (points 4 .. 7)", mm(lengthAlong(b, kNeckPoint, kShoulderPoint))},
                 {"shoulder after (points 4 .. 8)",
                  mm(lengthAlong(a, kNeckPoint, static_cast<short>(kShoulderPoint + 1)))},
                 {"middle point off the mouth's middle", mm(std::hypot(xm - (x5 + x6) / 2, ym - (y5 + y6) / 2))},
                 {"largest move of a point (nothing corrected)", mm(moved)},
                 {"bodice points before / after", std::to_string(b->pointCount) + " / " + std::to_string(a->pointCount)},
                 {"pieces before / after", std::to_string(before.pieceCount()) + " / " + std::to_string(after.pieceCount())},
             };
         },
         -1,
         "the fold piece: the shoulder with the dart folded closed"},
        {"point-increase", kBodice,
         "Point increase: one run of the drafting tool in four of its modes on the bodice front. A turn point "
         "10 cm up the side seam from the waist (mode 17: pick the outline point, type the distance into the "
         "host's dialog, click on the side the distance runs); a notch on the armhole (mode 12); a drill mark "
         "6 mm across (mode 14, its size from the host's text); an inner line drawn across the bodice point by "
         "point (modes 8 and 9) and ended where a click lands near the side seam.",
         "basic-block-increase.txt",
         increaseFigures},
        {"symmetry", kHalfBack,
         "Piece symmetry: the user clicks the centre back of the half back. The tool straightens that line "
         "to its two ends (the axis), inserts the rest of the outline again, mirrored, between the axis's "
         "ends, copies the inner line mirrored, and rewrites each mirrored point's x formula as twice the "
         "axis's x less its own. The whole piece replaces the half in a new copy of the pattern.",
         "basic-block-symmetry.txt",
         symmetryFigures},
    };
    return tools;
}

std::string fileText(const std::string& s) { return xmlEscape(s); }

// What the run changed, for any tool's section: piece `afterPiece` after the
// run drawn over piece `piece` before it (DIR/BASE-change.svg), and the
// change report of the two.
std::string changeView(const std::string& dir, const std::string& base, const std::string& title,
                       const PatternDoc& before, int piece, const PatternDoc& after, int afterPiece,
                       const PieceOrigin* origin) {
    SvgOptions overlay;
    overlay.alsoFit = {PieceRef{&before, piece}, PieceRef{&after, afterPiece}};
    overlay.pieces = {afterPiece};
    overlay.before = &before;
    overlay.beforePieces.assign(static_cast<size_t>(after.pieceCount()), -1);
    overlay.beforePieces[static_cast<size_t>(afterPiece)] = piece;
    overlay.title = title + ": after, over before (pale)";
    writeFileAtomic(dir + "/" + base + "-change.svg", renderSvg(after, overlay));
    return "<h3>What changed</h3>\n<div class=\"pair\">\n<figure><img src=\"" + base +
           "-change.svg\" alt=\"after over before\"/><figcaption>after, over before (pale)</figcaption></figure>\n"
           "<figure><pre>" + fileText(pieceChangeReport(before, piece, after, afterPiece,
                                                        origin && origin->piece == piece ? origin : nullptr)) +
           "</pre></figure>\n</div>\n";
}

// The pattern at every size of the chart, in the chart's order.
std::vector<PatternDoc> patternsAtSizes(const PatternModel& model, const std::vector<Size>& sizes) {
    std::vector<PatternDoc> docs;
    for (const Size& size : sizes) docs.push_back(gradedPattern(model, kPatternName, size));
    return docs;
}

// One piece of the pattern at every size (docs[k] at sizes[k]) as a nest,
// written to `path`: before a run here; after it, the same call on the
// patterns the run edited at each size.
void writeNest(const std::string& path, const std::string& title, const std::vector<Size>& sizes,
               const std::vector<PatternDoc>& docs, int piece) {
    std::vector<NestSize> nest;
    for (size_t k = 0; k < sizes.size(); ++k) nest.push_back(NestSize{sizes[k].name, &docs[k], sizes[k].base});
    SvgOptions options;
    options.pieces = {piece};
    options.title = title;
    writeFileAtomic(path, renderNestSvg(nest, options));
}

}  // namespace

const char* demoPatternJson() { return exampleText(kPatternFile); }

int runDemo(const std::string& dir, std::ostream& out) {
    makeDirectories(dir);
    const PatternModel model = parsePatternJson(example(kPatternFile), kPatternName);
    writeFileAtomic(dir + "/pattern.json", example(kPatternFile));
    writeFileAtomic(dir + "/sizes.csv", example(kChartFile));
    const std::vector<Size> sizes =
        withBase(parseSizeChart(example(kChartFile), kChartFile, model.measurements), model.measurements);
    // Grading sets the store's measurement table; every pattern built
    // after this sets it back to the base.
    const std::vector<PatternDoc> sized = patternsAtSizes(model, sizes);

    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"UTF-8\"/>\n"
         << "<title>Qpkit6 demo</title>\n<style>\n"
         << "body{font-family:sans-serif;margin:2em;max-width:1400px}\n"
         << "section{border-top:2px solid #888;margin-top:2em;padding-top:1em}\n"
         << ".pair{display:flex;gap:1em;margin-bottom:1em}.pair figure{flex:0 1 calc(50% - .5em);margin:0}\n"
         << ".pair img{width:100%;border:1px solid #ccc}\n"
         << "pre{background:#f4f4f4;padding:.8em;overflow-x:auto}\n"
         << "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.3em .8em;text-align:left}\n"
         << ".bad{color:#b00;font-weight:bold}\n</style>\n</head>\n<body>\n"
         << "<h1>Qpkit6: the tools replayed on a built-in pattern</h1>\n"
         << "<p>Each section below replays one tool of the library, through the <code>qpkit</code> host, on the "
         << "built-in pattern (<a href=\"pattern.json\">pattern.json</a>): the piece before and after the run, the "
         << "script that was replayed (<code>qpkit run pattern.json SCRIPT -o out.json</code> does the same), what "
         << "the library showed during the run, and the figures that matter for the tool. Pictures are in piece "
         << "millimetres; the red numbers are point numbers, as scripts use them. Beside each piece before the run, "
         << "its nest: the piece at the sizes of <a href=\"sizes.csv\">sizes.csv</a> (" << xmlEscape(sizeNames(sizes))
         << "), as <code>qpkit render pattern.json --sizes sizes.csv -o nest.svg</code> draws it, and beside it the "
         << "nest after the run: the edited base size graded, whose new and moved points follow the sizes as the "
         << "tool's construction does.</p>\n";

    PatternDoc whole = buildPattern(model, kPatternName);
    SvgOptions all;
    all.title = "built-in pattern";
    writeFileAtomic(dir + "/pattern.svg", renderSvg(whole, all));
    html << "<section id=\"pattern\">\n<h2>The pattern</h2>\n<p>";
    for (int i = 0; i < whole.pieceCount(); ++i)
        html << (i ? ", " : "") << i << ": " << xmlEscape(whole.pieceName(i));
    html << ". Measurements (cm):";
    for (const auto& [k, v] : model.measurements) html << " " << k << " = " << floatText(v);
    html << ".</p>\n<img src=\"pattern.svg\" alt=\"the built-in pattern\" style=\"width:100%\"/>\n</section>\n";

    int failures = 0;
    std::vector<std::string> missing;
    for (const DemoTool& demo : demoTools()) {
        const ToolEntry* tool = findTool(demo.tool);
        if (!tool || !tool->available()) {
            missing.push_back(tool ? tool->title : demo.tool);
            continue;
        }
        const std::string base = demo.tool;
        out << "demo: " << tool->title << "\n";
        PatternDoc before = buildPattern(model, kPatternName);
        PatternDoc after = buildPattern(model, kPatternName);
        writeNest(dir + "/" + base + "-nest.svg", std::string(tool->title) + ": before, at every size", sizes, sized,
                  demo.piece);
        const std::string script = example(demo.script);
        writeFileAtomic(dir + "/" + base + ".txt", script);

        std::string error;
        ReplayResult result;
        std::ostringstream transcript;
        EditTrace trace(after);
        try {
            HostSession session(after, &transcript);
            result = session.play(parseScript(script, base + ".txt"), base + ".txt");
        } catch (const UserError& e) {
            error = e.oneLine();
        }
        std::string verdict = checkPattern(after);
        if (error.empty() && !verdict.empty()) error = "the edited pattern fails the consistency check: " + verdict;
        // A refusal, a click that picked nothing, a run left unfinished.
        if (error.empty() && !result.notes.empty())
            error = "line " + std::to_string(result.notes.front().line) + ": " + result.notes.front().what;
        if (demo.middleCaption && error.empty()) {
            // The script up to its unfold, on a copy of its own.
            std::string upTo = script;
            const size_t unfoldAt = upTo.find("\nunfold");
            if (unfoldAt != std::string::npos) upTo.erase(unfoldAt + 1);
            PatternDoc middle = buildPattern(model, kPatternName);
            std::ostringstream ignored;
            try {
                HostSession session(middle, &ignored);
                session.play(parseScript(upTo, base + ".txt"), base + ".txt");
            } catch (const UserError& e) {
                error = e.oneLine();
            }
            SvgOptions mid;
            mid.pieces = {middle.pieceCount() - 1};
            mid.title = std::string(tool->title) + ": " + demo.middleCaption;
            writeFileAtomic(dir + "/" + base + "-middle.svg", renderSvg(middle, mid));
        }
        // Before, after and the change share one frame, so one scale: each
        // makes room for the piece before and the piece after.
        const int afterPiece = demo.afterPiece >= 0 ? demo.afterPiece : demo.piece;
        SvgOptions one;
        one.alsoFit = {PieceRef{&before, demo.piece}, PieceRef{&after, afterPiece}};
        one.pieces = {demo.piece};
        one.title = std::string(tool->title) + ": before";
        writeFileAtomic(dir + "/" + base + "-before.svg", renderSvg(before, one));
        one.title = std::string(tool->title) + ": after";
        one.pieces = {afterPiece};
        writeFileAtomic(dir + "/" + base + "-after.svg", renderSvg(after, one));
        writePatternFile(dir + "/" + base + "-after.json", readPatternBack(after));
        // The result for a cutting room, where this build writes DXF. The
        // link has a line of its own, between comments, so that a page
        // without it (Windows, 32-bit: no libdime) is the same page less
        // that line.
        std::string dxfLink = "<!--\n-->";
        if (dxf::available()) {
            dxf::writeDrawing(exportDrawing({DxfSize{"", &after}}, DxfForm::kAama), dir + "/" + base + "-after.dxf");
            dxfLink = "<!--\n--><span class=\"dxf\">, <a href=\"" + base + "-after.dxf\">DXF (AAMA)</a></span><!--\n-->";
        }

        std::string heading = tool->title;
        heading[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(heading[0])));
        html << "<section id=\"" << base << "\">\n<h2>" << xmlEscape(heading) << "</h2>\n<p class=\"tool\">Script: "
             << "<code>tool " << base << "</code>; the library's handler <code>" << tool->handler << "</code>.</p>\n<p>"
             << xmlEscape(demo.about) << "</p>\n";
        // Before and after side by side at one width: their frames are one,
        // so they show at one scale. The nest and the middle state below.
        html << "<div class=\"pair\">\n<figure><img src=\"" << base << "-before.svg\" alt=\"before\"/>"
             << "<figcaption>before</figcaption></figure>\n"
             << "<figure><img src=\"" << base << "-after.svg\" alt=\"after\"/><figcaption>after (<a href=\"" << base
             << "-after.json\">pattern file</a>" << dxfLink << ")</figcaption></figure>\n</div>\n<div class=\"pair\">\n"
             << "<figure><img src=\"" << base << "-nest.svg\" alt=\"before, at every size\"/><figcaption>before, at "
             << "sizes " << xmlEscape(sizeNames(sizes)) << "</figcaption></figure>\n";
        if (error.empty())
            html << "<figure><img src=\"" << base << "-nest-after.svg\" alt=\"after, at every size\"/><figcaption>"
                 << "after, at the same sizes (the run at the base, then graded)</figcaption></figure>\n";
        html << "</div>\n";
        if (demo.middleCaption)
            html << "<div class=\"pair\">\n<figure><img src=\"" << base << "-middle.svg\" alt=\"between\"/>"
                 << "<figcaption>" << xmlEscape(demo.middleCaption) << "</figcaption></figure>\n</div>\n";
        html << "<h3>Script (<a href=\"" << base << ".txt\">" << base << ".txt</a>)</h3>\n<pre>"
             << fileText(script) << "</pre>\n";
        html << "<h3>What the library showed</h3>\n<pre>" << fileText(transcript.str()) << "</pre>\n";
        html << "<h3>Figures</h3>\n<table>\n";
        std::string change;
        if (error.empty()) {
            for (const Figure& f : demo.figures(before, after))
                html << "<tr><th>" << xmlEscape(f.label) << "</th><td>" << xmlEscape(f.value) << "</td></tr>\n";
            html << "<tr><th>consistency checker</th><td>every piece consistent</td></tr>\n";
            change = changeView(dir, base, tool->title, before, demo.piece, after, afterPiece,
                                trace.origin(after, afterPiece));
            // The result at every size: its formulas evaluated there, as a
            // pattern maker grades an edited base size.
            writeNest(dir + "/" + base + "-nest-after.svg", std::string(tool->title) + ": after, at every size",
                      sizes, patternsAtSizes(readPatternBack(after), sizes), afterPiece);
        } else {
            ++failures;
            html << "<tr><th>failure</th><td class=\"bad\">" << xmlEscape(error) << "</td></tr>\n";
            out << "demo: " << tool->title << ": " << error << "\n";
        }
        html << "</table>\n" << change << "</section>\n";
    }
    if (!missing.empty()) {
        html << "<section id=\"to-come\">\n<h2>Tools not in the library yet</h2>\n<p>";
        for (size_t i = 0; i < missing.size(); ++i) html << (i ? ", " : "") << xmlEscape(missing[i]);
        html << ".</p>\n</section>\n";
    }
    html << "</body>\n</html>\n";
    writeFileAtomic(dir + "/index.html", html.str());
    out << "demo: wrote " << dir << "/index.html; open it in a browser\n";
    return failures ? 1 : 0;
}

int cmdDemo(const std::string& outDir, std::ostream& out) { return runDemo(outDir, out); }

}  // namespace host

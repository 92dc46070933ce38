#include "host/demo.h"

#include <cstdio>
#include <functional>
#include <sstream>
#include <vector>

#include "host/change_report.h"
#include "host/commands.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host/svg.h"

namespace host {

namespace {

constexpr const char* kPatternName = "built-in pattern";

struct Figure {
    std::string label;
    std::string value;
};

struct DemoTool {
    const char* tool;   // tool table name
    int piece;          // the piece the run works on
    const char* about;  // what the run shows
    const char* script;
    std::function<std::vector<Figure>(const PatternDoc& before, const PatternDoc& after)> figures;
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

const std::vector<DemoTool>& demoTools() {
    static const std::vector<DemoTool> tools = {
        {"italy", kSleeve,
         "Sleeve cap cut and lengthen: the user picks the two ends of the cap curve (the underarm points) and "
         "its top as the cut point, reads the cap length and types 1.5 cm. The tool splits the cap at the top, "
         "swings both halves outward about the underarm points and reshapes the cap until it is 1.5 cm longer, "
         "with both ends where they were.",
         "# Lengthen the sleeve cap by 1.5 cm, cut at its top.\n"
         "piece 1             # the sleeve\n"
         "tool italy          # the host sets italyStep to 1\n"
         "move point 0        # first mouse move: the piece is drawn, the prompt asks for the cap's ends\n"
         "click point 0       # first end: the front underarm point\n"
         "click point 8       # second end: the back underarm point\n"
         "click point 4       # the cut point, at the top of the cap: the cap length is shown\n"
         "type 1.5            # the increase, in centimetres\n"
         "key F24             # key 0x87 ends the entry: the cap is cut, opened and reshaped\n",
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
    };
    return tools;
}

std::string fileText(const std::string& s) { return xmlEscape(s); }

// What the run changed, for any tool's section: the piece after drawn over
// the piece before (DIR/BASE-change.svg) and the change report of that piece.
std::string changeView(const std::string& dir, const std::string& base, const std::string& title,
                       const PatternDoc& before, const PatternDoc& after, int piece) {
    SvgOptions overlay;
    overlay.pieces = {piece};
    overlay.before = &before;
    overlay.title = title + ": after, over before (pale)";
    writeFileAtomic(dir + "/" + base + "-change.svg", renderSvg(after, overlay));
    return "<h3>What changed</h3>\n<div class=\"pair\">\n<figure><img src=\"" + base +
           "-change.svg\" alt=\"after over before\"/><figcaption>after, over before (pale)</figcaption></figure>\n"
           "<figure><pre>" + fileText(pieceChangeReport(before, after, piece)) + "</pre></figure>\n</div>\n";
}

}  // namespace

int runDemo(const std::string& dir, std::ostream& out) {
    makeDirectories(dir);
    const PatternModel model = parsePatternJson(demoPatternJson(), kPatternName);
    writeFileAtomic(dir + "/pattern.json", demoPatternJson());

    std::ostringstream html;
    html << "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"UTF-8\"/>\n"
         << "<title>Qpkit6 demo</title>\n<style>\n"
         << "body{font-family:sans-serif;margin:2em;max-width:1400px}\n"
         << "section{border-top:2px solid #888;margin-top:2em;padding-top:1em}\n"
         << ".pair{display:flex;gap:1em;flex-wrap:wrap}.pair figure{flex:1;min-width:380px;margin:0}\n"
         << ".pair img{width:100%;border:1px solid #ccc}\n"
         << "pre{background:#f4f4f4;padding:.8em;overflow-x:auto}\n"
         << "table{border-collapse:collapse}td,th{border:1px solid #bbb;padding:.3em .8em;text-align:left}\n"
         << ".bad{color:#b00;font-weight:bold}\n</style>\n</head>\n<body>\n"
         << "<h1>Qpkit6: the tools replayed on a built-in pattern</h1>\n"
         << "<p>Each section below replays one tool of the library, through the <code>qpkit</code> host, on the "
         << "built-in pattern (<a href=\"pattern.json\">pattern.json</a>): the piece before and after the run, the "
         << "script that was replayed (<code>qpkit run pattern.json SCRIPT -o out.json</code> does the same), what "
         << "the library showed during the run, and the figures that matter for the tool. Pictures are in piece "
         << "millimetres; the red numbers are point numbers, as scripts use them.</p>\n";

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
        SvgOptions one;
        one.pieces = {demo.piece};
        one.title = std::string(tool->title) + ": before";
        writeFileAtomic(dir + "/" + base + "-before.svg", renderSvg(before, one));
        writeFileAtomic(dir + "/" + base + ".txt", demo.script);

        std::string error;
        ReplayResult result;
        std::ostringstream transcript;
        try {
            HostSession session(after, &transcript);
            result = session.play(parseScript(demo.script, base + ".txt"), base + ".txt");
        } catch (const UserError& e) {
            error = e.oneLine();
        }
        std::string verdict = checkPattern(after);
        if (error.empty() && !verdict.empty()) error = "the edited pattern fails the consistency check: " + verdict;
        if (error.empty() && !result.runFinished) error = "the run did not finish";
        one.title = std::string(tool->title) + ": after";
        writeFileAtomic(dir + "/" + base + "-after.svg", renderSvg(after, one));
        writePatternFile(dir + "/" + base + "-after.json", readPatternBack(after));

        html << "<section id=\"" << base << "\">\n<h2>" << xmlEscape(tool->title) << " (<code>" << tool->handler
             << "</code>)</h2>\n<p>" << xmlEscape(demo.about) << "</p>\n";
        html << "<div class=\"pair\">\n<figure><img src=\"" << base << "-before.svg\" alt=\"before\"/>"
             << "<figcaption>before</figcaption></figure>\n<figure><img src=\"" << base
             << "-after.svg\" alt=\"after\"/><figcaption>after (<a href=\"" << base
             << "-after.json\">pattern file</a>)</figcaption></figure>\n</div>\n";
        html << "<h3>Script (<a href=\"" << base << ".txt\">" << base << ".txt</a>)</h3>\n<pre>"
             << fileText(demo.script) << "</pre>\n";
        html << "<h3>What the library showed</h3>\n<pre>" << fileText(transcript.str()) << "</pre>\n";
        html << "<h3>Figures</h3>\n<table>\n";
        std::string change;
        if (error.empty()) {
            for (const Figure& f : demo.figures(before, after))
                html << "<tr><th>" << xmlEscape(f.label) << "</th><td>" << xmlEscape(f.value) << "</td></tr>\n";
            html << "<tr><th>consistency checker</th><td>every piece consistent</td></tr>\n";
            change = changeView(dir, base, tool->title, before, after, demo.piece);
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

// The qpkit subcommands (see commands.h): render, info, grade, measure, run, formula.
#include "host/commands.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

#include <nlohmann/json.hpp>

#include "frame/exports.h"
#include "frame/siblings.h"
#include "host/change_report.h"
#include "host/edit_trace.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host/sizes.h"
#include "host/svg.h"
#include "host/units.h"

namespace host {

namespace {

// The formula routines take texts of callers' 100-byte buffers.
constexpr size_t kFormulaBuffer = 100;

const char* statusMeaning(short status) {
    switch (status) {
        case 1: return "done";
        case 0: return "refused, text left unchanged";
        case -1: return "a divisor below 0.00001 was taken as 1";
        default: return "unknown status";
    }
}

// The pieces to draw: the one --piece names (checked), or every piece.
std::vector<int> askedPieces(const PatternDoc& doc, int piece, const std::string& patternPath) {
    if (piece < 0) return {};
    if (piece >= doc.pieceCount())
        throw UserError("--piece", "piece " + std::to_string(piece) + " does not exist (" + patternPath + " has " +
                                       std::to_string(doc.pieceCount()) + " pieces)");
    return {piece};
}

// render --sizes: the pattern graded to every size (and the base), drawn as
// one nest.
int renderNest(const std::string& patternPath, const std::string& svgPath, const RenderOptions& options,
               std::ostream& out) {
    if (!options.beforePath.empty()) throw UserError("--before", "a nest of sizes is drawn without --before");
    const PatternModel model = readPatternFile(patternPath);
    const std::vector<Size> sizes = withBase(readSizes(options.sizes, model.measurements), model.measurements);
    std::vector<PatternDoc> docs;
    std::vector<NestSize> nest;
    for (const Size& size : sizes) docs.push_back(gradedPattern(model, patternPath, size));
    for (size_t k = 0; k < sizes.size(); ++k) nest.push_back(NestSize{sizes[k].name, &docs[k], sizes[k].base});
    SvgOptions svg;
    svg.pieces = askedPieces(docs.front(), options.piece, patternPath);
    svg.title = patternPath + ": nest of sizes";
    writeFileAtomic(svgPath, renderNestSvg(nest, svg));
    out << "wrote " << svgPath << " (" << (svg.pieces.empty() ? docs.front().pieceCount() : 1) << " pieces, sizes "
        << sizeNames(sizes) << ")\n";
    return 0;
}

// info --sizes: per piece, each size's outline length and area beside the
// base's, as text (a table per piece) or into the JSON (when `j` is given).
void sizeTable(const PatternModel& model, const PatternDoc& base, const std::string& patternPath,
               const std::vector<Size>& sizes, nlohmann::json* j, std::ostringstream& text, const Units& u) {
    const size_t pieces = model.pieces.size();
    std::vector<std::vector<double>> length(sizes.size()), area(sizes.size());
    size_t baseRow = 0;
    for (size_t k = 0; k < sizes.size(); ++k) {
        PatternDoc doc = gradedPattern(model, patternPath, sizes[k]);
        for (int i = 0; i < doc.pieceCount(); ++i) {
            PieceHold hold(doc.piece(i));
            length[k].push_back(outlineLength(doc.piece(i)));
            area[k].push_back(outlineArea(doc.piece(i)));
        }
        if (sizes[k].base) baseRow = k;
    }
    if (j) {
        (*j)["sizes"] = nlohmann::json::array();
        for (size_t k = 0; k < sizes.size(); ++k) {
            nlohmann::json s{{"name", sizes[k].name}, {"base", sizes[k].base}};
            s["measurements"] = sizes[k].measurements;
            s["pieces"] = nlohmann::json::array();
            for (size_t i = 0; i < pieces; ++i)
                s["pieces"].push_back({{"index", i},
                                       {"outlineLength", std::round(length[k][i] * 100) / 100},
                                       {"areaMm2", std::round(area[k][i])}});
            (*j)["sizes"].push_back(std::move(s));
        }
        return;
    }
    size_t width = 4;
    for (const Size& s : sizes) width = std::max(width, s.name.size() + (s.base ? 7 : 0));
    const int w = static_cast<int>(width);
    text << "sizes (cm):\n";
    for (const Size& s : sizes)
        text << "  " << s.name << (s.base ? " (base)" : "") << ": " << measurementsText(s.measurements) << "\n";
    char row[160];
    for (size_t i = 0; i < pieces; ++i) {
        text << "piece " << i << " \"" << base.pieceName(static_cast<int>(i)) << "\" by size (difference to the base):\n";
        std::snprintf(row, sizeof row, "  %-*s %12s %9s %10s %9s", w, "size", (std::string("outline ") + u.length()).c_str(),
                      "+/-", (std::string("area ") + u.area()).c_str(), "+/-");
        text << row << "\n";
        const int d = u.decimals();
        for (size_t k = 0; k < sizes.size(); ++k) {
            const std::string name = sizes[k].name + (sizes[k].base ? " (base)" : "");
            const double l = u.lengthOf(length[k][i]), a = u.areaOf(area[k][i]);
            // The base's row shows its own figures only.
            if (k == baseRow)
                std::snprintf(row, sizeof row, "  %-*s %12.*f %9s %10.2f", w, name.c_str(), d, l, "", a);
            else
                std::snprintf(row, sizeof row, "  %-*s %12.*f %+9.*f %10.2f %+9.2f", w, name.c_str(), d, l, d,
                              l - u.lengthOf(length[baseRow][i]), a, a - u.areaOf(area[baseRow][i]));
            text << row << "\n";
        }
    }
}

// The warnings the checker's verdict line carries for a piece it finds
// consistent: every line of no length (a duplicate point), "" when none.
std::string zeroLineWarning(Piece* piece) {
    std::string text;
    for (short li : zeroLengthLines(piece)) {
        Line* l = nullptr;
        qpGetLineLptr(piece, li, &l);
        text += std::string(text.empty() ? "" : "; ") + "line " + std::to_string(li) + " (points " +
                std::to_string(l->firstPoint) + ".." + std::to_string(l->firstPoint + l->pointCount - 1) +
                ") is 0 mm long: a duplicate point";
    }
    return text.empty() ? text : "warning: " + text;
}

// The checker's verdict on one piece, as `info` and `run` show it.
std::string verdictLine(const PatternDoc& doc, int i) {
    const std::string verdict = checkPiece(doc, i);
    if (!verdict.empty()) return verdict;
    const std::string warning = zeroLineWarning(doc.piece(i));
    return warning.empty() ? "consistent" : "consistent; " + warning;
}

// Each piece whose points are off their formulas, on one line: the pattern
// keeps their coordinates (what the file says is what is drawn and edited);
// `qpkit grade` without a size rebuilds them from the formulas.
void warnOffFormulas(const PatternDoc& doc, const std::string& patternPath, std::ostream& out) {
    for (int i = 0; i < doc.pieceCount(); ++i) {
        const std::vector<FormulaMiss> misses = formulaMisses(doc.piece(i));
        if (misses.empty()) continue;
        out << "warning: " << patternPath << ": piece " << i << " \"" << doc.pieceName(i) << "\": " << misses.size()
            << (misses.size() == 1 ? " point is" : " points are")
            << " off its formulas by more than 0.1 mm and keeps its coordinates (";
        for (size_t k = 0; k < misses.size() && k < 3; ++k) out << (k ? "; " : "") << formulaMissText(misses[k]);
        if (misses.size() > 3) out << "; and " << misses.size() - 3 << " more";
        out << ")\n";
    }
}

}  // namespace

int cmdRender(const std::string& patternPath, const std::string& svgPath, const RenderOptions& options,
              std::ostream& out) {
    if (options.sizes.given()) return renderNest(patternPath, svgPath, options, out);
    PatternDoc doc = loadPattern(patternPath);
    SvgOptions svg;
    svg.pieces = askedPieces(doc, options.piece, patternPath);
    svg.title = patternPath;
    PatternDoc before;
    if (!options.beforePath.empty()) {
        // Loaded after the pattern itself, so the measurement table ends as
        // the older file's; the drawing reads coordinates only.
        before = loadPattern(options.beforePath);
        svg.before = &before;
        // Each piece over the piece it is in the older file (by name, else
        // by where it lies), not the one of its number: a tool may have
        // moved it in the pattern.
        svg.beforePieces = pairPieces(before, doc);
        svg.title += " over " + options.beforePath;
    }
    writeFileAtomic(svgPath, renderSvg(doc, svg));
    out << "wrote " << svgPath << " (" << (svg.pieces.empty() ? doc.pieceCount() : 1) << " pieces)\n";
    return 0;
}

int cmdInfo(const std::string& patternPath, bool asJson, std::ostream& out, const SizeOptions& sizeOptions,
            const Units& u) {
    if (asJson && u.inch)
        throw UserError("--inch", "the JSON form gives millimetres (its keys name them); leave out --inch or --json");
    const PatternModel model = readPatternFile(patternPath);
    const std::vector<Size> sizes =
        sizeOptions.given() ? withBase(readSizes(sizeOptions, model.measurements), model.measurements)
                            : std::vector<Size>{};
    PatternDoc doc = buildPattern(model, patternPath);
    const std::map<std::string, float> measurements = readMeasurements();
    // Only the form asked for is built: on a piece of 16k lines the other
    // would hold megabytes for nothing.
    nlohmann::json j;
    std::ostringstream text;
    if (asJson) {
        j["file"] = patternPath;
        j["kind"] = doc.pattern->kind;
        j["measurements"] = nlohmann::json::object();
        for (const auto& [k, v] : measurements) j["measurements"][k] = v;
        j["pieces"] = nlohmann::json::array();
    } else {
        text << "pattern " << patternPath << ": kind " << doc.pattern->kind << ", " << doc.pieceCount() << " pieces\n";
        if (!measurements.empty()) {
            text << "measurements (cm):";
            for (const auto& [k, v] : measurements) text << " " << k << "=" << floatText(v);
            text << "\n";
        }
    }
    for (int i = 0; i < doc.pieceCount(); ++i) {
        Piece* piece = doc.piece(i);
        PieceHold hold(piece);  // every line is measured: read the piece once
        double length = outlineLength(piece);
        double area = outlineArea(piece);
        const std::string verdict = verdictLine(doc, i);
        const int fixed = pointsWithoutFormulas(piece);
        const std::vector<FormulaMiss> misses = formulaMisses(piece);
        nlohmann::json p;
        nlohmann::json lines = nlohmann::json::array();
        if (asJson) {
            p["index"] = i;
            p["name"] = doc.pieceName(i);
            p["points"] = piece->pointCount;
            p["lines"] = piece->lineCount;
            p["segments"] = piece->segCount;
            p["formulas"] = piece->formulaCount > 0;
            p["pointsWithoutFormulas"] = fixed;
            p["outlineLength"] = std::round(length * 100) / 100;
            p["areaMm2"] = std::round(area);
            p["consistent"] = verdict.rfind("consistent", 0) == 0;
            p["check"] = verdict;
            p["zeroLengthLines"] = zeroLengthLines(piece);
            p["pointsOffFormulas"] = nlohmann::json::array();
            for (const FormulaMiss& m : misses)
                p["pointsOffFormulas"].push_back({{"point", m.point}, {"x", m.x}, {"y", m.y}, {"fx", m.textX},
                                                  {"fy", m.textY}, {"fxValue", m.fx}, {"fyValue", m.fy}});
        } else {
            text << "piece " << i << " \"" << doc.pieceName(i) << "\": " << piece->pointCount << " points, "
                 << piece->lineCount << " lines, " << piece->segCount << " segments"
                 << (piece->formulaCount > 0 ? ", with formulas" : "") << "\n";
            text << "  outline length " << u.text(length) << " " << u.length() << ", area " << u.areaText(area) << " "
                 << u.area() << "\n";
            if (fixed > 0)
                text << "  " << fixed << (fixed == 1 ? " point without formulas does not grade\n"
                                                     : " points without formulas do not grade\n");
            if (!misses.empty())
                text << "  " << misses.size() << (misses.size() == 1 ? " point is" : " points are")
                     << " off its formulas by more than 0.1 mm; the pattern keeps the coordinates, `qpkit grade` "
                        "without a size moves them where the formulas say:\n";
            for (const FormulaMiss& m : misses) text << "    " << formulaMissText(m) << "\n";
        }
        for (short li = 0; li < piece->lineCount; ++li) {
            Line* l = nullptr;
            double ll = lineLength(piece, li);
            qpGetLineLptr(piece, li, &l);
            if (asJson)
                lines.push_back({{"line", li},
                                 {"first", l->firstPoint},
                                 {"last", l->firstPoint + l->pointCount - 1},
                                 {"length", std::round(ll * 100) / 100}});
            else
                text << "  line " << li << ": points " << l->firstPoint << ".." << (l->firstPoint + l->pointCount - 1)
                     << ", " << u.text(ll) << " " << u.length() << "\n";
        }
        if (asJson) {
            p["lineLengths"] = std::move(lines);
            j["pieces"].push_back(std::move(p));
        } else {
            text << "  consistency checker: " << verdict << "\n";
        }
    }
    if (!sizes.empty()) sizeTable(model, doc, patternPath, sizes, asJson ? &j : nullptr, text, u);
    if (asJson) out << j.dump(2) << "\n";
    else out << text.str();
    return 0;
}

int cmdGrade(const std::string& patternPath, const SizeOptions& sizeOptions, const std::string& outPath,
             std::ostream& out) {
    const PatternModel model = readPatternFile(patternPath);
    std::vector<Size> sizes = readSizes(sizeOptions, model.measurements);
    // Without a size, the pattern's own measurements: every point with
    // formulas goes where they put it, which rebuilds the coordinates that
    // have drifted from their formulas.
    const bool own = sizes.empty();
    if (own) sizes = withBase({}, model.measurements);
    if (sizes.size() != 1)
        throw UserError(sizeOptions.sizes.empty() ? "--sizes " + sizeOptions.chart : "--size",
                        "grade writes one size, and " + std::to_string(sizes.size()) + " are given (" +
                            sizeNames(sizes) + "); pick one with --size NAME");
    PatternDoc doc = buildPattern(model, patternPath);
    size_t moved = 0;
    for (int i = 0; i < doc.pieceCount(); ++i) moved += pointsOffFormulas(doc.piece(i)).size();
    gradePattern(doc, sizes[0]);
    const std::string verdict = checkPattern(doc);
    writePatternFile(outPath, readPatternBack(doc));
    if (own)
        out << "wrote " << outPath << ": " << patternPath << " at its own measurements, every point where its formulas "
            << "put it (" << moved << (moved == 1 ? " point" : " points") << " moved more than 0.1 mm)\n";
    else
        out << "wrote " << outPath << ": " << patternPath << " at size " << sizes[0].name << " ("
            << measurementsText(sizes[0].measurements) << ")\n";
    int fixed = 0;
    for (int i = 0; i < doc.pieceCount(); ++i) fixed += pointsWithoutFormulas(doc.piece(i));
    if (fixed > 0) out << fixed << (fixed == 1 ? " point without formulas kept its" : " points without formulas kept their")
                       << " coordinates\n";
    if (!verdict.empty()) throw UserError(outPath, "the graded pattern fails the consistency check: " + verdict);
    out << "consistency checker: every piece consistent\n";
    return 0;
}

int cmdMeasure(const std::string& patternPath, int pieceIndex, int from, int to, std::ostream& out, const Units& u) {
    PatternDoc doc = loadPattern(patternPath);
    Piece* piece = doc.piece(pieceIndex);
    if (!piece)
        throw UserError("--piece", "piece " + std::to_string(pieceIndex) + " does not exist (" + patternPath + " has " +
                                       std::to_string(doc.pieceCount()) + " pieces)");
    for (int p : {from, to})
        if (p < 0 || p >= piece->pointCount)
            throw UserError(p == from ? "--from" : "--to",
                            "point " + std::to_string(p) + " does not exist (piece " + std::to_string(pieceIndex) +
                                " has points 0 .. " + std::to_string(piece->pointCount - 1) + ")");
    // Measured in point order; asking from a higher to a lower number gives
    // the same stretch. Every pair of neighbours on the way must be a
    // stretch of one line: the chain does not run on past its end into the
    // next chain, an inner line or a mark.
    int a = std::min(from, to), b = std::max(from, to);
    std::vector<bool> stretch(static_cast<size_t>(piece->pointCount), false);
    for (short li = 0; li < piece->lineCount; ++li) {
        Line* l = nullptr;
        qpGetLineLptr(piece, li, &l);
        for (int k = l ? l->firstPoint : 0; l && k + 1 < l->firstPoint + l->pointCount; ++k)
            if (k >= 0 && k < piece->pointCount) stretch[static_cast<size_t>(k)] = true;
    }
    for (int k = a; k < b; ++k)
        if (!stretch[static_cast<size_t>(k)])
            throw UserError(to > from ? "--to" : "--from",
                            "point " + std::to_string(b) + " is not on the chain of lines from point " +
                                std::to_string(a) + ": it ends at point " + std::to_string(k) +
                                " (measure between two points of one outline or inner line)");
    double length = lengthAlong(piece, static_cast<short>(a), static_cast<short>(b));
    out << "piece " << pieceIndex << ", points " << a << " .. " << b << ": " << u.text(length) << " " << u.length();
    if (!u.inch) out << " (" << u.text(length / 10.0) << " cm)";
    out << "\n";
    return 0;
}

int cmdPoints(const std::string& patternPath, int pieceIndex, std::ostream& out, const Units& u) {
    PatternDoc doc = loadPattern(patternPath);
    std::vector<int> pieces = askedPieces(doc, pieceIndex, patternPath);
    if (pieces.empty())
        for (int i = 0; i < doc.pieceCount(); ++i) pieces.push_back(i);
    const PatternModel model = readPatternBack(doc);
    for (int i : pieces) {
        const PieceModel& piece = model.pieces[static_cast<size_t>(i)];
        // The lines through each point: those whose run of points holds it
        // (a point where two lines meet is on both; a mark is on none).
        std::vector<std::string> lines(piece.points.size());
        for (size_t l = 0; l < piece.lines.size(); ++l)
            for (int p = piece.lines[l].firstPoint;
                 p < piece.lines[l].firstPoint + piece.lines[l].pointCount && p < static_cast<int>(lines.size()); ++p)
                if (p >= 0) lines[static_cast<size_t>(p)] += (lines[static_cast<size_t>(p)].empty() ? "" : " ") +
                                                              std::to_string(l);
        size_t fxWidth = 2, fyWidth = 2;
        for (const FilePoint& p : piece.points) {
            fxWidth = std::max(fxWidth, p.fx.value_or("-").size());
            fyWidth = std::max(fyWidth, p.fy.value_or("-").size());
        }
        out << "piece " << i << " \"" << doc.pieceName(i) << "\": " << piece.points.size() << " points (x, y: "
            << u.length() << "; fx, fy: cm)\n";
        char row[96];
        std::snprintf(row, sizeof row, "  %5s %-4s %10s %10s  ", "point", "type", "x", "y");
        out << row << std::string("fx") + std::string(fxWidth - 2, ' ') << "  " << "fy" << std::string(fyWidth - 2, ' ')
            << "  lines\n";
        for (size_t k = 0; k < piece.points.size(); ++k) {
            const FilePoint& p = piece.points[k];
            const unsigned char type = static_cast<unsigned char>(p.record.type);
            const std::string letter = std::isgraph(type) ? std::string(1, static_cast<char>(type)) : std::to_string(type);
            std::snprintf(row, sizeof row, "  %5zu %-4s %10s %10s  ", k, letter.c_str(), u.text(p.x).c_str(),
                          u.text(p.y).c_str());
            const std::string fx = p.fx.value_or("-"), fy = p.fy.value_or("-");
            out << row << fx << std::string(fxWidth - fx.size(), ' ') << "  " << fy
                << std::string(fyWidth - fy.size(), ' ') << "  " << (lines[k].empty() ? "-" : lines[k]) << "\n";
        }
    }
    return 0;
}

int cmdTools(std::ostream& out) {
    for (const ToolEntry& t : toolTable()) {
        out << t.name << " (or " << t.alias << "): " << t.title << ", " << t.handler
            << (t.available() ? "" : " (not in this library yet)") << "\n";
        out << "  " << t.about << "\n";
        for (const SetWord& w : t.words) {
            out << "  set " << w.word << " " << w.lowest << " .. " << w.highest << ": " << w.values << "\n";
            for (const NamedValue& v : w.named) {
                char row[48];
                std::snprintf(row, sizeof row, "    %3d  %-20s", v.value, v.name);
                out << row << v.meaning << "\n";
            }
        }
    }
    out << "every tool:\n";
    for (const SetWord& w : hostSetWords())
        out << "  set " << w.word << " " << w.lowest << " .. " << w.highest << ": " << w.values << "\n";
    return 0;
}

int cmdFormula(const std::string& op, const std::string& text, const std::string& op2, float factor,
               std::ostream& out) {
    if (text.size() >= kFormulaBuffer)
        throw UserError("TEXT", "the text is " + std::to_string(text.size()) + " characters long; the routines take " +
                                    "at most " + std::to_string(kFormulaBuffer - 1));
    if (op == "atof") {
        float v = qpAtof(text.c_str());
        out << "value: " << floatText(v) << "\n";
        return 0;
    }
    // Room for the longest result the routines write into a 100-byte buffer.
    char buffer[kFormulaBuffer * 2];
    std::memset(buffer, 0, sizeof buffer);
    std::memcpy(buffer, text.c_str(), text.size());
    short status = 0;
    if (op == "pack") status = qpPackExpression(buffer);
    else if (op == "pack-brackets") status = qpPackBracketsExpression(buffer);
    else if (op == "spread") status = qpSpreadBracketsExpression(buffer);
    else if (op == "scale") status = qpCalcuSubExpression(buffer, op2.empty() ? '*' : op2[0], factor);
    else throw UserError("formula", "unknown routine '" + op + "'");
    out << "text: " << buffer << "\n";
    out << "status: " << status << " (" << statusMeaning(status) << ")\n";
    return 0;
}

int cmdRun(const std::string& patternPath, const std::string& scriptPath, const std::string& outPath,
           const std::string& svgPath, bool verbose, std::ostream& out, bool report, bool expectRefusal,
           const Units& units) {
    PatternDoc before;
    if (report) before = loadPattern(patternPath);
    PatternDoc doc = loadPattern(patternPath);
    warnOffFormulas(doc, patternPath, out);
    std::vector<ScriptCommand> script = readScriptFile(scriptPath);
    // The report pairs points as the store renumbered them: the trace
    // follows the store's edits through the whole run.
    std::unique_ptr<EditTrace> trace;
    if (report) trace = std::make_unique<EditTrace>(doc);
    ReplayResult result;
    {
        HostSession session(doc, &out, verbose);
        result = session.play(script, scriptPath);
    }
    std::string verdict = checkPattern(doc);
    PatternModel model = readPatternBack(doc);
    writePatternFile(outPath, model);
    out << "wrote " << outPath << " (" << doc.pieceCount() << " pieces, " << result.messages
        << " window messages replayed)\n";
    if (!svgPath.empty()) {
        SvgOptions svg;
        svg.title = outPath;
        writeFileAtomic(svgPath, renderSvg(doc, svg));
        out << "wrote " << svgPath << "\n";
    }
    if (report) out << "what changed:\n" << changeReport(before, doc, trace.get(), units);
    if (!verdict.empty())
        throw UserError(outPath, "the edited pattern fails the consistency check: " + verdict);
    out << "consistency checker: every piece consistent";
    for (int i = 0; i < doc.pieceCount(); ++i) {
        const std::string warning = zeroLineWarning(doc.piece(i));
        if (!warning.empty()) out << "; piece " << i << " \"" << doc.pieceName(i) << "\": " << warning;
    }
    out << "\n";
    if (!result.notes.empty() && !expectRefusal) {
        const RunNote& first = result.notes.front();
        const size_t more = result.notes.size() - 1;
        throw RunShortfall(scriptPath + ": line " + std::to_string(first.line),
                           first.what + (more ? " (and " + std::to_string(more) + " more above)" : "") +
                               "; --expect-refusal when the script means it");
    }
    return 0;
}

}  // namespace host

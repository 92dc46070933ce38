// The qpkit subcommands (see commands.h): render, info, measure, run, formula.
#include "host/commands.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <nlohmann/json.hpp>

#include "frame/exports.h"
#include "frame/siblings.h"
#include "host/change_report.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "host/svg.h"

namespace host {

namespace {

std::string mm(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.2f", v);
    return t;
}

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

}  // namespace

int cmdRender(const std::string& patternPath, const std::string& svgPath, const RenderOptions& options,
              std::ostream& out) {
    PatternDoc doc = loadPattern(patternPath);
    SvgOptions svg;
    if (options.piece >= 0) {
        if (options.piece >= doc.pieceCount())
            throw UserError("--piece", "piece " + std::to_string(options.piece) + " does not exist (" + patternPath +
                                           " has " + std::to_string(doc.pieceCount()) + " pieces)");
        svg.pieces.push_back(options.piece);
    }
    svg.title = patternPath;
    PatternDoc before;
    if (!options.beforePath.empty()) {
        // Loaded after the pattern itself, so the measurement table ends as
        // the older file's; the drawing reads coordinates only.
        before = loadPattern(options.beforePath);
        svg.before = &before;
        svg.title += " over " + options.beforePath;
    }
    writeFileAtomic(svgPath, renderSvg(doc, svg));
    out << "wrote " << svgPath << " (" << (svg.pieces.empty() ? doc.pieceCount() : 1) << " pieces)\n";
    return 0;
}

int cmdInfo(const std::string& patternPath, bool asJson, std::ostream& out) {
    PatternDoc doc = loadPattern(patternPath);
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
        std::string verdict = checkPiece(doc, i);
        nlohmann::json p;
        nlohmann::json lines = nlohmann::json::array();
        if (asJson) {
            p["index"] = i;
            p["name"] = doc.pieceName(i);
            p["points"] = piece->pointCount;
            p["lines"] = piece->lineCount;
            p["segments"] = piece->segCount;
            p["formulas"] = piece->formulaCount > 0;
            p["outlineLength"] = std::round(length * 100) / 100;
            p["areaMm2"] = std::round(area);
            p["consistent"] = verdict.empty();
            p["check"] = verdict.empty() ? "consistent" : verdict;
        } else {
            text << "piece " << i << " \"" << doc.pieceName(i) << "\": " << piece->pointCount << " points, "
                 << piece->lineCount << " lines, " << piece->segCount << " segments"
                 << (piece->formulaCount > 0 ? ", with formulas" : "") << "\n";
            text << "  outline length " << mm(length) << " mm, area " << mm(area / 100.0) << " cm2\n";
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
                     << ", " << mm(ll) << " mm\n";
        }
        if (asJson) {
            p["lineLengths"] = std::move(lines);
            j["pieces"].push_back(std::move(p));
        } else {
            text << "  consistency checker: " << (verdict.empty() ? "consistent" : verdict) << "\n";
        }
    }
    if (asJson) out << j.dump(2) << "\n";
    else out << text.str();
    return 0;
}

int cmdMeasure(const std::string& patternPath, int pieceIndex, int from, int to, std::ostream& out) {
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
    // the same stretch.
    int a = std::min(from, to), b = std::max(from, to);
    double length = lengthAlong(piece, static_cast<short>(a), static_cast<short>(b));
    out << "piece " << pieceIndex << ", points " << a << " .. " << b << ": " << mm(length) << " mm ("
        << mm(length / 10.0) << " cm)\n";
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
           const std::string& svgPath, bool verbose, std::ostream& out, bool report) {
    PatternDoc before;
    if (report) before = loadPattern(patternPath);
    PatternDoc doc = loadPattern(patternPath);
    std::vector<ScriptCommand> script = readScriptFile(scriptPath);
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
    if (report) out << "what changed:\n" << changeReport(before, doc);
    if (!verdict.empty())
        throw UserError(outPath, "the edited pattern fails the consistency check: " + verdict);
    out << "consistency checker: every piece consistent\n";
    return 0;
}

}  // namespace host

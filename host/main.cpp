// qpkit: the command-line host of Qpkit6 (qpkit on Linux, qpkit.exe on Windows).
//
// Exit status: 0 done, 1 a user error (one line on stderr naming the file,
// the line or field, and what is wrong), 2 a tool's edit that the pattern
// store stopped (one line naming the script line and the store's reason; no
// file is written), 3 a run that did not do all its script asks: a tool
// refused, a click picked nothing, or the script ended before a tool's run
// was finished (one line naming the script line; the outputs are written;
// run --expect-refusal makes it 0), or `compare` found the patterns
// different. Outputs are written whole or not at all.
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "host/commands.h"
#include "host/compare.h"
#include "host/dxf_export.h"
#include "host/dxf_import.h"
#include "host/host_io.h"

namespace {

// The size options, the same on every subcommand that takes sizes
// (docs/sizes.md); host::readSizes reads what they give.
void addSizeOptions(CLI::App* command, host::SizeOptions& sizes) {
    command->add_option("--size", sizes.sizes,
                        "A size: NAME:B=96,W=80 (measurements in cm; the others keep the pattern's values), or "
                        "NAME alone to pick a size of the chart; repeatable");
    command->add_option("--sizes", sizes.chart,
                        "A size chart (CSV): a header naming the size column and the measurements, a line per size");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"qpkit: pattern files, tool replay and pictures for the Qpkit6 tool library"};
    app.require_subcommand(1);
    app.set_help_all_flag("--help-all", "Show the help of every subcommand");
    app.set_version_flag("--version", std::string("qpkit ") + QPKIT_VERSION);
    // Options are --name and -n everywhere: on Windows CLI11 would also read
    // /name as an option, and so take an absolute path for one.
    app.allow_windows_style_options(false);

    std::string pattern, script, out, svg, before, dir = "qpkit-demo";
    bool asJson = false, verbose = false, report = false, expectRefusal = false;
    host::Units units;
    const auto addInch = [&units](CLI::App* command) {
        command->add_flag("--inch", units.inch, "Lengths in inches (areas in square inches) instead of mm (cm2)");
    };
    int piece = -1, from = 0, to = 0;
    host::SizeOptions sizes;

    auto* render = app.add_subcommand(
        "render", "Draw every piece as SVG, with point numbers for script writing; with sizes, the nest of sizes");
    render->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    render->add_option("-o,--output", out, "SVG file to write")->required();
    render->add_option("--piece", piece, "Draw only this piece (number from 0)");
    render->add_option("--before", before, "An older pattern file whose outlines are drawn faintly underneath");
    addSizeOptions(render, sizes);

    auto* info = app.add_subcommand(
        "info", "Per piece: counts, outline length, area, line lengths, checker verdict; with sizes, each size's");
    info->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    info->add_flag("--json", asJson, "Print JSON instead of text (lengths in mm)");
    addSizeOptions(info, sizes);
    addInch(info);

    auto* points = app.add_subcommand(
        "points", "Every point of each piece: number, type, coordinates, formulas and the lines through it");
    points->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    points->add_option("--piece", piece, "Only this piece (number from 0)");
    addInch(points);

    auto* grade = app.add_subcommand("grade", "Write the pattern evaluated at one size (its points by their formulas)");
    grade->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    grade->add_option("-o,--output", out, "Pattern file to write (JSON)")->required();
    addSizeOptions(grade, sizes);

    auto* measure = app.add_subcommand("measure", "Length along a piece's lines from point I to point J (mm)");
    measure->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    measure->add_option("--piece", piece, "Piece number (from 0)")->required();
    measure->add_option("--from", from, "First point number")->required();
    measure->add_option("--to", to, "Last point number")->required();
    addInch(measure);

    auto* run = app.add_subcommand("run", "Replay a tool run from a script and write the edited pattern");
    run->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    run->add_option("SCRIPT", script, "Replay script (docs/replay-scripts.md)")->required();
    run->add_option("-o,--output", out, "Pattern file to write (JSON)")->required();
    run->add_option("--svg", svg, "Also draw the result as SVG");
    run->add_flag("-v,--verbose", verbose, "Print every script line and the handler's result");
    run->add_flag("--report", report,
                  "Print what changed: every line's length before and after, the points moved, added, removed");
    addInch(run);
    run->add_flag("--expect-refusal", expectRefusal,
                  "Exit with 0 even when a tool refused, a click picked nothing or a run was left unfinished "
                  "(without it: 3)");

    // The help says the same on every build; one without libdime refuses
    // when run (host/dxf.h).
    bool astm = false, plain = false, aama = false;
    auto* exportDxf = app.add_subcommand(
        "export", "Write every piece as DXF for cutting rooms and other systems: AAMA blocks (default), ASTM, or "
                  "plain polylines; with sizes, a block per piece and size (needs libdime: 64-bit Linux only)");
    exportDxf->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    exportDxf->add_option("-o,--output", out, "DXF file to write (R12 ASCII, mm)")->required();
    auto* aamaFlag = exportDxf->add_flag("--aama", aama, "AAMA layers and blocks (the default)");
    auto* astmFlag = exportDxf->add_flag("--astm", astm, "ASTM layers: AAMA's and the validation curves");
    auto* plainFlag = exportDxf->add_flag("--plain", plain, "Modelspace polylines only, the pieces in a row");
    aamaFlag->excludes(astmFlag)->excludes(plainFlag);
    astmFlag->excludes(plainFlag);
    addSizeOptions(exportDxf, sizes);

    std::string importUnits;
    auto* importDxf = app.add_subcommand(
        "import", "Read pieces from a DXF (AAMA or ASTM blocks, or plain closed polylines) into a pattern file "
                  "without formulas (needs libdime: 64-bit Linux only)");
    importDxf->add_option("DXF", script, "DXF file to read")->required();
    importDxf->add_option("-o,--output", out, "Pattern file to write (JSON)")->required();
    importDxf->add_option("--units", importUnits, "The file's unit: mm, cm or inch (default: its header's, else mm)")
        ->check(CLI::IsMember({"mm", "cm", "inch"}));

    auto* tools = app.add_subcommand(
        "tools", "Each tool a script may run: its name, what it does, the words and values a script sets for it");

    double tolerance = 1e-4;
    auto* compare = app.add_subcommand("compare", "Compare two patterns record by record; status 3 when they differ");
    compare->add_option("PATTERN", pattern, "Pattern file (JSON)")->required();
    compare->add_option("OTHER", before, "The pattern file to compare it with")->required();
    compare->add_option("--tolerance", tolerance, "How far numbers may differ (mm)")->capture_default_str();

    auto* demo = app.add_subcommand("demo", "Run every tool on the built-in pattern and write an HTML page");
    demo->add_option("--out", dir, "Folder for index.html and the pictures")->capture_default_str();

    auto* formula = app.add_subcommand("formula", "The library's formula-text routines from the shell");
    formula->require_subcommand(1);
    std::string text, op = "*";
    float factor = 1.0f;
    struct FormulaCommand {
        const char* name;
        const char* help;
    };
    const FormulaCommand formulaCommands[] = {
        {"pack", "Gather like terms (qpPackExpression)"},
        {"pack-brackets", "Gather like terms outside brackets (qpPackBracketsExpression)"},
        {"spread", "Multiply bracket groups out (qpSpreadBracketsExpression)"},
        {"atof", "Read a number as the library does (qpAtof)"},
    };
    for (const auto& fc : formulaCommands) {
        auto* sub = formula->add_subcommand(fc.name, fc.help);
        sub->add_option("TEXT", text, "Formula text (centimetres)")->required();
    }
    auto* scale = formula->add_subcommand("scale", "Multiply or divide every number (qpCalcuSubExpression)");
    scale->add_option("TEXT", text, "Formula text (centimetres)")->required();
    scale->add_option("OPERATOR", op, "* or /")->required()->check(CLI::IsMember({"*", "/"}));
    scale->add_option("FACTOR", factor, "The factor")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        for (char& c : what)
            if (c == '\n') c = ' ';
        std::cerr << "qpkit: " << what << " (see qpkit --help)\n";
        return 1;
    }

    try {
        if (*render) {
            host::RenderOptions options;
            options.piece = piece;
            options.beforePath = before;
            options.sizes = sizes;
            return host::cmdRender(pattern, out, options, std::cout);
        }
        if (*info) return host::cmdInfo(pattern, asJson, std::cout, sizes, units);
        if (*points) return host::cmdPoints(pattern, piece, std::cout, units);
        if (*tools) return host::cmdTools(std::cout);
        if (*grade) return host::cmdGrade(pattern, sizes, out, std::cout);
        if (*measure) return host::cmdMeasure(pattern, piece, from, to, std::cout, units);
        if (*run) return host::cmdRun(pattern, script, out, svg, verbose, std::cout, report, expectRefusal, units);
        if (*exportDxf)
            return host::cmdExport(pattern, out,
                                   astm ? host::DxfForm::kAstm : plain ? host::DxfForm::kPlain : host::DxfForm::kAama,
                                   sizes, std::cout);
        if (*importDxf) return host::cmdImport(script, out, importUnits, std::cout);
        if (*compare) return host::cmdCompare(pattern, before, tolerance, std::cout);
        if (*demo) return host::cmdDemo(dir, std::cout);
        if (*formula) {
            for (auto* sub : formula->get_subcommands())
                return host::cmdFormula(sub->get_name(), text, op, factor, std::cout);
        }
    } catch (const host::UserError& e) {
        std::cout.flush();
        std::cerr << "qpkit: " << e.oneLine() << "\n";
        return 1;
    } catch (const host::EditFailure& e) {
        std::cout.flush();
        std::cerr << "qpkit: " << e.oneLine() << "\n";
        return 2;
    } catch (const host::RunShortfall& e) {
        std::cout.flush();
        std::cerr << "qpkit: " << e.oneLine() << "\n";
        return 3;
    }
    return 0;
}

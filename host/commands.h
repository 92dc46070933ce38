// The qpkit subcommands, callable from main() and from the tests. Each
// prints its result on `out` and returns the exit status (0 done); user
// errors are thrown as UserError and turned into status 1 by main().
#pragma once

#include <ostream>
#include <string>

#include "host/sizes.h"
#include "host/units.h"

namespace host {

struct RenderOptions {
    int piece = -1;          // -1: every piece
    std::string beforePath;  // a pattern drawn faintly under this one (its outlines)
    SizeOptions sizes;       // given: the nest of these sizes and the base
};
int cmdRender(const std::string& patternPath, const std::string& svgPath, const RenderOptions& options,
              std::ostream& out);
// sizes given: also each size's outline lengths and areas, beside the base's.
// Lengths and areas in `units`; the JSON form is in millimetres (a UserError
// with --inch).
int cmdInfo(const std::string& patternPath, bool asJson, std::ostream& out, const SizeOptions& sizes = {},
            const Units& units = {});
// Writes the pattern graded to the one size `sizes` gives (sizes.h).
int cmdGrade(const std::string& patternPath, const SizeOptions& sizes, const std::string& outPath, std::ostream& out);
int cmdMeasure(const std::string& patternPath, int piece, int from, int to, std::ostream& out,
               const Units& units = {});
// Every point of every piece (or of `piece`): index, type, coordinates in
// `units`, formula texts (cm) and the lines it lies on.
int cmdPoints(const std::string& patternPath, int piece, std::ostream& out, const Units& units = {});
// Every tool of the table: its script names, what it does, the words and
// values a script sets for it, and the point-increase modes.
int cmdTools(std::ostream& out);
// op: pack, pack-brackets, spread, scale, atof. For scale, `op2` is the
// operator (* or /) and `factor` the factor.
int cmdFormula(const std::string& op, const std::string& text, const std::string& op2, float factor,
               std::ostream& out);
// report: after the run, the change report (change_report.h) of every piece.
// A run that did not do all its script asks (a refusal, a click that picked
// nothing, a run left unfinished: RunNote) writes its outputs and then throws
// RunShortfall, unless expectRefusal says the script means it.
int cmdRun(const std::string& patternPath, const std::string& scriptPath, const std::string& outPath,
           const std::string& svgPath, bool verbose, std::ostream& out, bool report = false,
           bool expectRefusal = false, const Units& units = {});
int cmdDemo(const std::string& outDir, std::ostream& out);

}  // namespace host

// Pattern files: JSON text <-> PatternModel (docs/pattern-format.md).
// Reading is pattern_read.cpp, writing pattern_write.cpp; both walk the
// record tables of record_fields.h.
//
// The reader checks the file's form (JSON syntax, keys, types, 16-bit ranges,
// formula texts) and names the place of each fault: the line and column for
// a syntax error, the field path (pieces[2].points[5].type) for everything
// else. Record indices are judged by the store's checker when the pattern is
// built (pattern_store.h). The writer writes every record of the model, one
// record to a line, numbers in the shortest text that reads back as the same
// float, so that reading what it wrote gives the same model.
#pragma once

#include <string>

#include "host/pattern_model.h"

namespace host {

constexpr const char* kPatternFormat = "qpkit-pattern 1";

// Throws UserError("<file>: <line:column or field>", "<what is wrong>").
PatternModel parsePatternJson(const std::string& text, const std::string& fileName);
PatternModel readPatternFile(const std::string& path);

std::string patternJson(const PatternModel& model);
void writePatternFile(const std::string& path, const PatternModel& model);

}  // namespace host

// Pattern files: JSON text <-> PatternModel (docs/pattern-format.md).
//
// The reader checks the file's form (JSON syntax, keys, types, 16-bit ranges,
// record indices that point inside their piece) and names the place of each
// fault: the line and column for a syntax error, the field path
// (pieces[2].points[5].type) for everything else. The writer writes every
// record of the model, one record to a line, numbers in the shortest text
// that reads back as the same float, so that reading what it wrote gives the
// same model.
#pragma once

#include <string>

#include "host/pattern_model.h"

namespace host {

// Throws UserError("<file>: <line:column or field>", "<what is wrong>").
PatternModel parsePatternJson(const std::string& text, const std::string& fileName);
PatternModel readPatternFile(const std::string& path);

std::string patternJson(const PatternModel& model);
void writePatternFile(const std::string& path, const PatternModel& model);

// Checks the record indices of a records-form piece against its own record
// counts; throws UserError naming `where` (the piece's field path) and the
// record. Also used on models read back from the store.
void checkPieceIndices(const PieceModel& piece, const std::string& where);

}  // namespace host

// The host's picture of a pattern file (docs/pattern-format.md): the store's
// own record types (frame/records.h) in lists, one list per record kind, and
// the few things a file says that no record holds (names, formula texts
// before they are stored, the authoring shorthand).
//
// A PatternModel is what the file says; PatternDoc (pattern_store.h) is the
// same pattern built in the store, where the tools edit it. Conversion goes
// both ways through the field tables of record_fields.h.
// Units: millimetres for coordinates and sizes, centimetres for measurements
// and formula texts, radians (thousandths in a notch's lineOut).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "frame/records.h"
#include "siblings/records/store_extras.h"

namespace host {

// A point of the records form: its Point record (type, lineIn, lineOut,
// segIndex; the indices of its Coord and Formula are the point's own index),
// its coordinates and its formula texts.
struct FilePoint {
    Point record{'K', 0, 0, -1, -1, 0, -1};
    float x = 0.0f;
    float y = 0.0f;
    // Formula texts in centimetres; present in every point of a piece that
    // carries formulas, absent in every point of a piece that does not.
    std::optional<std::string> fx;
    std::optional<std::string> fy;
    // The file gave no number: the coordinate is the formula's value.
    bool xFromFormula = false;
    bool yFromFormula = false;
};

// A point of the authoring shorthand: outline chains of typed points and
// inner lines given as point lists; the store's chain builder derives the
// records.
struct ChainPoint {
    char type = 'K';
    float x = 0.0f;
    float y = 0.0f;
    std::optional<std::string> fx;
    std::optional<std::string> fy;
    bool xFromFormula = false;
    bool yFromFormula = false;
};

// A mark of the shorthand: its point (type v, o, g or p) and the builder's
// description of its codes, segment and SPoint (mark.point is filled from
// `point` when the piece is built).
struct FileMark {
    ChainPoint point;
    ShapeMark mark;
};

struct PieceModel {
    std::string name;
    std::array<float, 9> placement{1, 0, 0, 0, 1, 0, 0, 0, 1};
    int16_t groupFlag = 0;
    // Records form.
    std::vector<FilePoint> points;
    std::vector<Line> lines;
    std::vector<Seg> segments;
    std::vector<SPoint> specialPoints;
    std::vector<Rule> rules;
    std::vector<PRule> pRules;
    std::vector<Extwid> seamAllowances;
    std::vector<Cutangl> corners;
    std::vector<FRule> fRules;
    // Shorthand form (only in files; empty in a model read from the store).
    std::vector<std::vector<ChainPoint>> outline;
    std::vector<std::vector<ChainPoint>> inner;
    std::vector<FileMark> marks;
    bool shorthand = false;
};

struct PatternModel {
    int16_t kind = 20;
    // Measurement name (one or two letters) -> value in centimetres.
    std::map<std::string, float> measurements;
    std::vector<PieceModel> pieces;
};

}  // namespace host

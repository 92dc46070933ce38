// The host's picture of a pattern file: plain values, one struct per record
// kind, as the JSON pattern file spells them (docs/pattern-format.md).
//
// A PatternModel is what the file says; PatternDoc (pattern_store.h) is the
// same pattern built in the store, where the tools edit it. Conversion goes
// both ways: a model is built into the store through the store operations,
// and a store pattern is read back into a model to be written.
// Units: millimetres for coordinates and sizes, centimetres for measurements
// and formula texts, radians (thousandths in a notch's lineOut).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct PointModel {
    char type = 'K';
    float x = 0.0f;
    float y = 0.0f;
    // Formula texts in centimetres; present in every point of a piece that
    // carries formulas, absent in every point of a piece that does not.
    std::optional<std::string> fx;
    std::optional<std::string> fy;
    // The file gave no number: the coordinate is the formula's value.
    bool xFromFormula = false;
    bool yFromFormula = false;
    int16_t lineIn = -1;
    int16_t lineOut = -1;
    int16_t seg = 0;
};

struct LineModel {
    int16_t kind = 1;
    int16_t flags = 0;
    int16_t first = 0;
    int16_t count = 2;
    int16_t joinKind = 0;
    int16_t joinCount = 0;
    int16_t joinPoint = 0;
};

struct SegModel {
    int16_t code = 1;
    int16_t markFlag = 0;
    int16_t value = 0;
    int16_t firstLine = 0;
    int16_t lineCount = 0;
};

struct SPointModel {
    int16_t line = 0;
    int16_t point = 0;
    float size = 5.0f;
    float position = 0.0f;
};

struct RuleModel {
    int16_t firstPRule = 0;
    int16_t pRuleCount = 0;
};

struct PRuleModel {
    int16_t code = 0;
    int16_t point = 0;
    float dx = 0.0f;
    float dy = 0.0f;
};

struct ExtwidModel {
    int16_t from = 0;
    int16_t to = 0;
    float fromWidth = 0.0f;
    float toWidth = 0.0f;
};

struct CutanglModel {
    int16_t side = 1;
    int16_t point = 0;
    float first = 0.0f;
    float second = 0.0f;
};

struct FRuleModel {
    int16_t field0 = 0;
    int16_t field2 = 0;
};

// The authoring shorthand: outline chains of typed points and inner lines
// given as point lists; the store's chain builder derives the records.
struct ChainPoint {
    char type = 'K';
    float x = 0.0f;
    float y = 0.0f;
    std::optional<std::string> fx;
    std::optional<std::string> fy;
    bool xFromFormula = false;
    bool yFromFormula = false;
};

// A mark of the shorthand: a point in a mark segment with its SPoint.
struct MarkModel {
    ChainPoint point;      // type v, o, g or p
    int16_t lineIn = 0;    // the mark's own codes (a v notch: its angle,
    int16_t lineOut = 0;   // thousandths of a radian, in lineOut)
    int16_t code = 15;     // its segment's code and value
    int16_t value = 12;
    int16_t line = -1;     // SPoint: the line it lies on, its size (mm) and
    float size = 5.0f;     // its position (mm along the line)
    float position = 0.0f;
};

struct PieceModel {
    std::string name;
    std::array<float, 9> placement{1, 0, 0, 0, 1, 0, 0, 0, 1};
    int16_t groupFlag = 0;
    // Records form.
    std::vector<PointModel> points;
    std::vector<LineModel> lines;
    std::vector<SegModel> segments;
    std::vector<SPointModel> specialPoints;
    std::vector<RuleModel> rules;
    std::vector<PRuleModel> pRules;
    std::vector<ExtwidModel> seamAllowances;
    std::vector<CutanglModel> corners;
    std::vector<FRuleModel> fRules;
    // Shorthand form (only in files; empty in a model read from the store).
    std::vector<std::vector<ChainPoint>> outline;
    std::vector<std::vector<ChainPoint>> inner;
    std::vector<MarkModel> marks;
    bool shorthand = false;
};

struct PatternModel {
    int16_t kind = 20;
    // Measurement name (one or two letters) -> value in centimetres.
    std::map<std::string, float> measurements;
    std::vector<PieceModel> pieces;
};

}  // namespace host

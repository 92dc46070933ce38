// A pattern in the store: built from a PatternModel through the store
// operations, read back into one, and checked by the store's consistency
// checker.
//
// PatternDoc owns the pattern buffer (a locked movable global block from the
// store). Tools may move or replace the buffer; whoever runs them keeps
// `pattern` up to date (replay.h does). Piece names live here, beside the
// buffer, because the records have no room for them.
// Units: millimetres in records, centimetres in measurements.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "frame/records.h"
#include "host/pattern_model.h"

namespace host {

class PatternDoc {
public:
    PatternDoc() = default;
    ~PatternDoc();
    PatternDoc(const PatternDoc&) = delete;
    PatternDoc& operator=(const PatternDoc&) = delete;
    PatternDoc(PatternDoc&& other) noexcept;
    PatternDoc& operator=(PatternDoc&& other) noexcept;

    PatternBuffer* pattern = nullptr;
    std::vector<std::string> names;  // per piece; may be shorter than pieceCount

    int pieceCount() const;
    Piece* piece(int i) const;  // null when out of range
    std::string pieceName(int i) const;  // "piece N" when it has no name
};

// Sets the measurement table and builds every piece of the model in a new
// pattern. Faults the file reader cannot see (the store refusing a chain,
// the consistency checker's verdict) are UserErrors naming `file` and the
// piece. The measurement table is the store's, one per process: loading a
// pattern replaces it.
PatternDoc buildPattern(const PatternModel& model, const std::string& file);
// readPatternFile + buildPattern.
PatternDoc loadPattern(const std::string& path);

// Every record of every piece, in the records form.
PatternModel readPatternBack(const PatternDoc& doc);
// The store's measurements (cm) by name, as readPatternBack gives them.
std::map<std::string, float> readMeasurements();

// A point's formulas give its coordinates when they miss them by no more
// than this (mm).
constexpr double kFormulaToleranceMm = 0.1;
// The value of a formula text in millimetres (cm x 10), on the store's
// measurement table, through the library's evaluation.
float formulaMm(Piece* piece, const std::string& text);
// Every point of the piece that has formulas, with its coordinates and the
// values (mm) its formulas give on the store's measurement table.
void forEachFormulaPoint(Piece* piece, const std::function<void(short point, Coord& at, float x, float y)>& visit);
// The points of the piece whose formulas, on the store's measurement table,
// miss their coordinates by more than kFormulaToleranceMm.
std::vector<short> pointsOffFormulas(Piece* piece);
// One such point: where it is, where its formulas put it, and its texts.
struct FormulaMiss {
    short point = 0;
    float x = 0.0f, y = 0.0f;    // its coordinates (mm), which the pattern keeps
    float fx = 0.0f, fy = 0.0f;  // its formulas' values (mm)
    std::string textX, textY;
};
std::vector<FormulaMiss> formulaMisses(Piece* piece);
// "point 5: x 195.00 mm where fx "W/4+2" gives 190.00 mm" (each axis that
// misses, joined by "; ").
std::string formulaMissText(const FormulaMiss& miss);

// The consistency checker's verdict for one piece: "" when consistent.
std::string checkPiece(const PatternDoc& doc, int piece);
// Every piece and the buffer itself: "" when consistent, else the first fault.
std::string checkPattern(const PatternDoc& doc);

}  // namespace host

// What the host asks of the geometry service about a piece: lengths along
// its lines, and the shape of each line for pictures and areas.
//
// Shapes come from the service's own drawing: qpCurve draws a line into a
// device context through a fine matrix (kSampleScale pixels per millimetre),
// and the MoveToEx/LineTo points it drew are read back as a polyline
// (traceDrawing, host_window.h). So every picture shows exactly the curve
// model the tools measure and snap to; the host has no curve model of its
// own.
// Units: piece millimetres, y up.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frame/records.h"

namespace host {

struct Pt {
    double x = 0.0;
    double y = 0.0;
};
using Polyline = std::vector<Pt>;

// Pixels per millimetre of the sampling drawing: positions come back to
// within 0.005 mm.
constexpr double kSampleScale = 100.0;

// The polyline(s) the service draws for points first .. first + count - 1
// (count <= 0: every line), with snap mode `mode` (qpcurve kSnap*).
std::vector<Polyline> drawnLines(Piece* piece, short first, short count, unsigned long mode = 0);
// The same drawing's points handed over one by one as they come, kept
// nowhere: for what needs only a pass over them (a bounding box), since a
// large piece of straight lines draws hundreds of thousands of samples.
// `move` starts a stretch.
void visitDrawnPoints(Piece* piece, short first, short count, const std::function<void(bool move, Pt)>& visit);

// The curve model's own samples of the same lines (geometrySampleLines):
// unrounded, for what must be exact to a hundredth of a millimetre (the
// pictures' outlines, the cut line). modelStretches gives one polyline per
// stretch (points k, k + 1), in point order; modelLines joins a stretch
// that starts where the last ends onto it, as drawnLines does.
std::vector<Polyline> modelStretches(Piece* piece, short first, short count);
std::vector<Polyline> modelLines(Piece* piece, short first, short count);
// The same samples handed over one by one, kept nowhere (`move` starts a
// stretch): for what needs one pass over them (a bounding box).
void visitModelSamples(Piece* piece, short first, short count, const std::function<void(bool move, Pt)>& visit);

// A line as the fewest samples that stay within kLineTolerance of the
// model's: a straight stretch becomes one segment, a curve keeps what its
// bends need. Written to 0.001 mm, a picture or a DXF stays within 0.01 mm
// of the model and its length within a hair of `qpkit info`.
constexpr double kLineTolerance = 0.005;  // mm
Polyline simplified(const Polyline& line);

// Line `line` as the curve model samples it, simplified stretch by stretch
// (so every point of the line is a vertex), from its first point to its
// last in one polyline; empty when the piece has no such line.
Polyline lineSamples(Piece* piece, short line);

// Every special point on a line gets as its position the length along that
// line, from its first point, to the point of the line nearest it (as the
// point-increase tool measures a notch it places).
void placeSpecialPoints(Piece* piece);

// Length (mm) of the curve through points first .. last along the piece's
// lines: qpCurve's kMeasureLength over count last - first + 1.
double lengthAlong(Piece* piece, short first, short last);
// Length of one line (its points firstPoint .. firstPoint + pointCount - 1).
double lineLength(Piece* piece, short line);
// The point at `fraction` (0 .. 1) of line `line`'s length from its first
// point, along the line as the service measures it: qpCurve's
// kPointAtLength walked fraction x lineLength over the line's points. False
// when the piece has no such line.
bool pointAlongLine(Piece* piece, short line, double fraction, double& x, double& y);

// The outline segments (code 1 or 3, not marks), in order: each is one
// closed chain of lines.
std::vector<short> outlineSegments(Piece* piece);

// Total length of the outline lines (mm), and the area (mm²) enclosed by
// the outline: one closed polygon per outline segment (code 1 or 3), its
// lines in order.
double outlineLength(Piece* piece);
double outlineArea(Piece* piece);

// While alive, the geometry service reads `piece` once for all the calls
// on it (geometryHoldPiece): for loops over every line of a piece, which must
// not change it meanwhile. Nests: an inner hold of the same piece is a
// no-op.
class PieceHold {
public:
    explicit PieceHold(Piece* piece);
    ~PieceHold();
    PieceHold(const PieceHold&) = delete;
    PieceHold& operator=(const PieceHold&) = delete;

private:
    bool mine_ = false;
};

// Lines of two points or more shorter than kZeroLineMm: a point doubled
// where a line should run. Stored files may hold them, so they are warned
// of, not refused.
constexpr double kZeroLineMm = 0.005;
std::vector<short> zeroLengthLines(Piece* piece);

// Point i's coordinates (through its coordIndex); false when it has none.
bool pointPosition(Piece* piece, short i, double& x, double& y);

}  // namespace host

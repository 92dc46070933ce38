// The curve model of curve_model.h on plain point arrays, in double: the
// shape of one line and the samples of one of its stretches. Nothing here
// touches a piece; piece_lines.h feeds it the lines of a piece.
//
// Units: whatever the points are in (millimetres for pieces).
#pragma once

#include <vector>

namespace qpgeo {

struct Vec {
    double x = 0.0;
    double y = 0.0;
};

inline Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
inline Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
inline Vec operator*(double s, Vec a) { return {s * a.x, s * a.y}; }
double length(Vec a);
double distance(Vec a, Vec b);

enum class Shape { Chord, Curve, Arc };

// One line: its points in order and the shape drawn through them.
struct LineShape {
    Shape shape = Shape::Chord;
    std::vector<Vec> points;
    // Arc only: centre, radius, and per point its angle about the centre;
    // per stretch the signed angle it sweeps (0 for coincident points).
    Vec centre;
    double radius = 0.0;
    std::vector<double> angle;
    std::vector<double> sweep;
};

// Builds the shape of a line from its points; `arc` asks for the arc model
// (honoured for three or more points whose first, middle and last point are
// neither collinear nor coincident).
LineShape makeLineShape(const std::vector<Vec>& points, bool arc);

// The samples of stretch j (points j, j + 1) of the line: resolution + 1
// points, the first and last exactly the stretch's end points.
void sampleStretch(const LineShape& line, int j, int resolution, std::vector<Vec>& out);

// Length of a sampled polyline.
double polylineLength(const std::vector<Vec>& samples);

// The point of a polyline nearest to p: its position, its distance from p
// and the length along the polyline from its first sample up to it. Ties go
// to the earlier sample.
struct PolylineHit {
    Vec point;
    double distance = 0.0;
    double along = 0.0;
};
PolylineHit nearestOnPolyline(const std::vector<Vec>& samples, Vec p);

// The point at distance `along` from the first sample, clamped to the
// polyline's ends.
Vec pointAlongPolyline(const std::vector<Vec>& samples, double along);

}  // namespace qpgeo

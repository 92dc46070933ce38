#include "siblings/geometry/curve_math.h"

#include <cmath>

namespace qpgeo {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Knot gaps below this (square root of millimetres) count as coincident
// points: their tangent term is dropped rather than divided by ~0.
constexpr double kKnotEpsilon = 1e-9;
// Three arc points whose turn has a sine below this are taken as collinear.
constexpr double kCollinearSine = 1e-7;
// Points of an arc line closer than this (mm) are one point: their stretch
// sweeps nothing instead of a whole turn.
constexpr double kCoincident = 1e-6;

// One Catmull-Rom stretch p1 -> p2 in cubic Hermite form, with the
// centripetal tangents of p0 .. p3 scaled to the unit parameter interval.
struct Cubic {
    Vec a, b, c, d;  // a t^3 + b t^2 + c t + d
};

Cubic centripetal(Vec p0, Vec p1, Vec p2, Vec p3) {
    const double t01 = std::sqrt(distance(p0, p1));
    const double t12 = std::sqrt(distance(p1, p2));
    const double t23 = std::sqrt(distance(p2, p3));
    Vec m1 = p2 - p1;
    Vec m2 = p2 - p1;
    if (t01 > kKnotEpsilon) {
        m1 = m1 + t12 * ((1.0 / t01) * (p1 - p0) - (1.0 / (t01 + t12)) * (p2 - p0));
    }
    if (t23 > kKnotEpsilon) {
        m2 = m2 + t12 * ((1.0 / t23) * (p3 - p2) - (1.0 / (t12 + t23)) * (p3 - p1));
    }
    Cubic c;
    c.a = 2.0 * p1 - 2.0 * p2 + m1 + m2;
    c.b = -3.0 * p1 + 3.0 * p2 - 2.0 * m1 - m2;
    c.c = m1;
    c.d = p1;
    return c;
}

Vec at(const Cubic& c, double t) {
    return ((t * t * t) * c.a) + ((t * t) * c.b) + (t * c.c) + c.d;
}

// Angle step from a0 to a1 going in the turning sense `sense`, in [0, 2 pi).
double sweepBetween(double a0, double a1, int sense) {
    double d = std::fmod((a1 - a0) * sense, 2.0 * kPi);
    if (d < 0.0) d += 2.0 * kPi;
    return d * sense;
}

}  // namespace

double length(Vec a) { return std::sqrt(a.x * a.x + a.y * a.y); }
double distance(Vec a, Vec b) { return length(a - b); }

LineShape makeLineShape(const std::vector<Vec>& points, bool arc) {
    LineShape s;
    s.points = points;
    if (points.size() <= 2) {
        s.shape = Shape::Chord;
        return s;
    }
    s.shape = Shape::Curve;
    if (!arc) return s;

    // The circle through the first, middle and last point; the other points
    // of an arc line lie on it (they were put there on the arc).
    const size_t n = points.size();
    const Vec p0 = points[0], p1 = points[n / 2], p2 = points[n - 1];
    const Vec u = p1 - p0, v = p2 - p1;
    const double lu = length(u), lv = length(v), lw = distance(p0, p2);
    const double cross = u.x * v.y - u.y * v.x;
    if (lu <= 0.0 || lv <= 0.0 || lw <= 0.0 || std::fabs(cross) < kCollinearSine * lu * lv) {
        // No circle through them: straight stretches through the points.
        s.shape = Shape::Chord;
        return s;
    }
    const double d = 2.0 * (p0.x * (p1.y - p2.y) + p1.x * (p2.y - p0.y) + p2.x * (p0.y - p1.y));
    const double q0 = p0.x * p0.x + p0.y * p0.y;
    const double q1 = p1.x * p1.x + p1.y * p1.y;
    const double q2 = p2.x * p2.x + p2.y * p2.y;
    s.centre.x = (q0 * (p1.y - p2.y) + q1 * (p2.y - p0.y) + q2 * (p0.y - p1.y)) / d;
    s.centre.y = (q0 * (p2.x - p1.x) + q1 * (p0.x - p2.x) + q2 * (p1.x - p0.x)) / d;
    s.radius = distance(s.centre, p0);
    const int sense = cross > 0.0 ? 1 : -1;  // the arc turns the way its points do
    s.angle.resize(n);
    for (size_t i = 0; i < n; ++i) s.angle[i] = std::atan2(points[i].y - s.centre.y, points[i].x - s.centre.x);
    s.sweep.resize(n - 1);
    for (size_t j = 0; j + 1 < n; ++j) {
        const bool coincident = distance(points[j], points[j + 1]) < kCoincident;
        s.sweep[j] = coincident ? 0.0 : sweepBetween(s.angle[j], s.angle[j + 1], sense);
    }
    s.shape = Shape::Arc;
    return s;
}

void sampleStretch(const LineShape& line, int j, int resolution, std::vector<Vec>& out) {
    out.clear();
    const int n = static_cast<int>(line.points.size());
    if (j < 0 || j + 1 >= n) return;
    if (resolution < 1) resolution = 1;
    const Vec p1 = line.points[j], p2 = line.points[j + 1];
    out.reserve(resolution + 1);
    out.push_back(p1);
    if (line.shape == Shape::Arc) {
        for (int i = 1; i < resolution; ++i) {
            const double a = line.angle[j] + line.sweep[j] * i / resolution;
            out.push_back({line.centre.x + line.radius * std::cos(a),
                           line.centre.y + line.radius * std::sin(a)});
        }
    } else if (line.shape == Shape::Curve) {
        // The neighbours are the nearest points distinct from the stretch's
        // ends: a point doubled in place (a twin that a tool will later
        // move) then leaves the curve exactly as it was, and the stretch
        // between the twins has no length.
        int before = j - 1;
        while (before >= 0 && distance(line.points[before], p1) < kCoincident) --before;
        int after = j + 2;
        while (after < n && distance(line.points[after], p2) < kCoincident) ++after;
        const Vec p0 = before >= 0 ? line.points[before] : 2.0 * p1 - p2;
        const Vec p3 = after < n ? line.points[after] : 2.0 * p2 - p1;
        const Cubic c = centripetal(p0, p1, p2, p3);
        for (int i = 1; i < resolution; ++i) out.push_back(at(c, static_cast<double>(i) / resolution));
    } else {
        for (int i = 1; i < resolution; ++i) {
            const double t = static_cast<double>(i) / resolution;
            out.push_back(p1 + t * (p2 - p1));
        }
    }
    out.push_back(p2);
}

double polylineLength(const std::vector<Vec>& samples) {
    double total = 0.0;
    for (size_t i = 1; i < samples.size(); ++i) total += distance(samples[i - 1], samples[i]);
    return total;
}

PolylineHit nearestOnPolyline(const std::vector<Vec>& samples, Vec p) {
    PolylineHit best;
    if (samples.empty()) {
        best.distance = INFINITY;
        return best;
    }
    best.point = samples[0];
    best.distance = distance(samples[0], p);
    double walked = 0.0;
    for (size_t i = 1; i < samples.size(); ++i) {
        const Vec a = samples[i - 1], b = samples[i];
        const Vec ab = b - a;
        const double len2 = ab.x * ab.x + ab.y * ab.y;
        const double seg = std::sqrt(len2);
        double t = 0.0;
        if (len2 > 0.0) {
            t = ((p.x - a.x) * ab.x + (p.y - a.y) * ab.y) / len2;
            if (t < 0.0) t = 0.0;
            if (t > 1.0) t = 1.0;
        }
        const Vec q = a + t * ab;
        const double d = distance(q, p);
        if (d < best.distance) {
            best.point = q;
            best.distance = d;
            best.along = walked + t * seg;
        }
        walked += seg;
    }
    return best;
}

Vec pointAlongPolyline(const std::vector<Vec>& samples, double along) {
    if (samples.empty()) return {};
    if (along <= 0.0) return samples.front();
    for (size_t i = 1; i < samples.size(); ++i) {
        const double seg = distance(samples[i - 1], samples[i]);
        if (along <= seg) {
            if (seg <= 0.0) return samples[i];
            return samples[i - 1] + (along / seg) * (samples[i] - samples[i - 1]);
        }
        along -= seg;
    }
    return samples.back();
}

}  // namespace qpgeo

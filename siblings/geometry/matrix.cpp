// Matrices and angles: 3x3 floats, row-major, applied to row vectors
// (x, y, 1) with the translation in the third row. Products and inverses are
// computed in double and stored as float.
#include <cmath>

#include "frame/siblings.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// A determinant this small has no usable inverse. It is absolute: the
// translation row of a view matrix dwarfs its scale, so a relative test
// would refuse ordinary views.
constexpr double kSingular = 1e-20;

void product(const float* a, const float* b, float* out) {
    double r[9];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += static_cast<double>(a[3 * i + k]) * b[3 * k + j];
            r[3 * i + j] = s;
        }
    }
    // out may be a or b: written only once the product is complete.
    for (int i = 0; i < 9; ++i) out[i] = static_cast<float>(r[i]);
}

}  // namespace

// mode 1: a = a x b in place; any other mode: out = a x b (out may be a or b).
QP_SIBLING_EXPORT void qpMultiMatrix(short mode, float* a, const float* b, float* out) {
    if (a == nullptr || b == nullptr) return;
    if (mode == 1) {
        product(a, b, a);
    } else if (out != nullptr) {
        product(a, b, out);
    }
}

// A singular matrix has no inverse; out then becomes the identity, so that a
// degenerate view maps picks to something finite instead of to infinities.
QP_SIBLING_EXPORT void qpContraMatrix(const float* m, float* out) {
    if (m == nullptr || out == nullptr) return;
    double a[9];
    for (int i = 0; i < 9; ++i) a[i] = m[i];
    double c[9];  // cofactors, transposed
    c[0] = a[4] * a[8] - a[5] * a[7];
    c[1] = a[2] * a[7] - a[1] * a[8];
    c[2] = a[1] * a[5] - a[2] * a[4];
    c[3] = a[5] * a[6] - a[3] * a[8];
    c[4] = a[0] * a[8] - a[2] * a[6];
    c[5] = a[2] * a[3] - a[0] * a[5];
    c[6] = a[3] * a[7] - a[4] * a[6];
    c[7] = a[1] * a[6] - a[0] * a[7];
    c[8] = a[0] * a[4] - a[1] * a[3];
    const double det = a[0] * c[0] + a[1] * c[3] + a[2] * c[6];
    if (!std::isfinite(det) || std::fabs(det) <= kSingular) {
        for (int i = 0; i < 9; ++i) out[i] = (i % 4 == 0) ? 1.0f : 0.0f;
        return;
    }
    for (int i = 0; i < 9; ++i) out[i] = static_cast<float>(c[i] / det);
}

// Affine: the third column is taken as (0, 0, 1). out may be in.
QP_SIBLING_EXPORT void qpTransCoord(Coord* out, const float* m, const Coord* in) {
    if (out == nullptr || m == nullptr || in == nullptr) return;
    const double x = in->x, y = in->y;
    const double nx = x * m[0] + y * m[3] + m[6];
    const double ny = x * m[1] + y * m[4] + m[7];
    out->x = static_cast<float>(nx);
    out->y = static_cast<float>(ny);
}

// atan2 gives -pi for a vector along the negative x axis with a negative
// zero y; the range here is (-pi, pi], so that direction is pi.
QP_SIBLING_EXPORT double qpAngle(double dx, double dy) {
    if (std::isnan(dx) || std::isnan(dy)) return 0.0;
    const double a = std::atan2(dy, dx);
    return a <= -kPi ? kPi : a;
}

// IntersectLines.
#include "darts/intersect_lines.h"

#include <cmath>

short IntersectLines(const float xs[4], const float ys[4], float* outX, float* outY) {
    const float dx1 = xs[1] - xs[0], dy1 = ys[1] - ys[0];
    const float dx2 = xs[3] - xs[2], dy2 = ys[3] - ys[2];
    const float det = dx1 * dy2 - dx2 * dy1;
    if (std::fabs(static_cast<double>(det)) < 0.001) return 0;
    const float x = (xs[2] * dx1 * dy2 - xs[0] * dx2 * dy1 - (ys[2] - ys[0]) * dx1 * dx2) / det;
    // The steeper line would amplify the rounding of X into Y.
    const float y = std::fabs(dx2) < std::fabs(dx1) ? (x - xs[0]) * dy1 / dx1 + ys[0]
                                                    : (x - xs[2]) * dy2 / dx2 + ys[2];
    *outX = x;
    *outY = y;
    return 1;
}

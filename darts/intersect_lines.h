// The line intersection that the dart tools share.
//
// Units: piece coordinates in millimetres. Every step is rounded to 32-bit
// floats as the dart tools compute, so both tools find the same apex.
#pragma once

// Intersects the infinite line through points 0 and 1 with the one through
// points 2 and 3 (point j is (xs[j], ys[j])). Returns 1 and writes the
// intersection, or 0 when |det| < 0.001 (parallel; outputs untouched). Y is
// read from the line with the larger horizontal extent (ties: the second).
short IntersectLines(const float xs[4], const float ys[4], float* outX, float* outY);

// qpCurve's forms as the tools ask them: one small call per form, with the
// words every tool passes alike (frame/siblings.h names them and states what
// the tools rely on), so that a tool reads like its steps.
//
// Header only (inline), so that the host, which links against the library's
// exports alone, asks the same forms the same way.
// Memory: reads the piece through qpCurve; nothing is kept.
// Units: piece coordinates and lengths in millimetres; the matrix is the one
// the form passes (the identity for searches in piece coordinates).
#pragma once

#include "frame/siblings.h"

namespace frame {

// What a search or a walk along the lines found.
struct CurveHit {
    short index = -1;  // the stretch's first point (or the point); -1: none
    float x = 0;       // the point found; far away when there is none
    float y = 0;
    float along = 0;   // the length along the lines to it (see each form)
};

// The nearest point to (x, y) on the stretches among the points first ..
// first + count - 1 (count 0: the whole piece) of the lines `mode` allows.
// `along` runs from `first` when count > 0, else from the first point of the
// line that holds the hit.
inline CurveHit nearestOnLines(Piece* piece, float x, float y, const float m[9], short first = 0,
                               short count = 0, unsigned long mode = qpcurve::kSnapAllLinesDefault,
                               short resolution = qpcurve::kDefaultResolution) {
    CurveHit hit;
    hit.x = x;
    hit.y = y;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain, mode, first,
            count, qpcurve::kColourDefault, resolution, &hit.index, &hit.along, &hit.x, &hit.y, m);
    return hit;
}

// The nearest point of the piece (a vertex of the lines `mode` allows) to
// (x, y); `index` is that point.
inline CurveHit nearestVertex(Piece* piece, float x, float y, const float m[9],
                              unsigned long mode = qpcurve::kSnapAllLinesDefault) {
    CurveHit hit;
    hit.x = x;
    hit.y = y;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestVertex, qpcurve::kStylePlain, mode, 0, 0,
            qpcurve::kColourDefault, qpcurve::kDefaultResolution, &hit.index, &hit.along, &hit.x, &hit.y, m);
    return hit;
}

// The length of the stretches among the count points from `first` (count
// 0: from `first` to the piece's last point). A measure draws nothing: `hdc`
// is handed on for a form that passes the window's context.
inline float curveLength(Piece* piece, short first, short count, const float m[9], HDC hdc = nullptr) {
    short index = -1;
    float length = 0, x = 0, y = 0;
    qpCurve(hdc, piece, qpcurve::kOpSearch, qpcurve::kMeasureLength, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, first, count, qpcurve::kColourDefault, qpcurve::kDefaultResolution,
            &index, &length, &x, &y, m);
    return length;
}

// The point `length` forward along the stretches from point `first` (no
// farther than point first + count - 1 when count > 0); `along` is the
// length walked, `index` the first point of the stretch that holds it.
inline CurveHit pointAtLength(Piece* piece, short first, float length, const float m[9], short count = 0) {
    CurveHit hit;
    hit.along = length;
    qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kPointAtLength, qpcurve::kStylePlain,
            qpcurve::kSnapAllLinesDefault, first, count, qpcurve::kColourDefault, qpcurve::kDefaultResolution,
            &hit.index, &hit.along, &hit.x, &hit.y, m);
    return hit;
}

// Draws the stretches among the count points from `first` (count 0: every
// line) through m into hdc, in the palette colour and style given.
inline void drawLines(HDC hdc, Piece* piece, short first, short count, short style, short colour,
                      const float m[9]) {
    short index = 0;
    float length = 0, x = 0, y = 0;
    qpCurve(hdc, piece, qpcurve::kOpDraw, qpcurve::kDrawOnly, style, qpcurve::kSnapAllLinesDefault, first, count,
            colour, qpcurve::kDefaultResolution, &index, &length, &x, &y, m);
}

}  // namespace frame

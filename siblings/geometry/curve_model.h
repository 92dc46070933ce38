// Qpkit's curve model and the arguments of qpCurve: what a line of a piece
// looks like, what a search may snap to, and what each call form returns.
//
// Memory: qpCurve reads the piece's records in place and keeps nothing
// between calls; it writes only through the output pointers it is given.
// Units: piece coordinates and lengths in millimetres (x right, y up); the
// drawing matrix maps piece coordinates to client pixels (row vectors).
//
// The model, chosen once and used by every search, measure and drawing:
//
//   * A line covers the points firstPoint .. firstPoint + pointCount - 1. Two
//     neighbouring points k, k + 1 of one line form a stretch; consecutive
//     lines of a chain share their joining point, so a whole outline chain
//     is a run of stretches.
//   * A line of two points is its chord.
//   * A line of three or more points is the centripetal Catmull-Rom curve
//     through its points (knot spacing |Pi+1 - Pi|^0.5). The curve starts and
//     ends exactly at the line's end points; the missing neighbour beyond an
//     end is the reflection of the inner neighbour through the end point
//     (P-1 = 2 P0 - P1). A neighbour that coincides with the stretch's end
//     is passed over for the next distinct point, so doubling a point in
//     place (a twin that a tool moves later) leaves the curve as it was; the
//     stretch between the twins is a single point of zero length.
//   * An arc line is a line whose kind is kArcLineKind: the circle through
//     its first, middle (index pointCount / 2) and last point, each stretch
//     the arc between its two points going the way those three turn.
//     qpModifyCurve2Arcp makes arc lines of three points; a point put on an
//     arc (qpAdjustCurvePoint) lies on its circle and the line stays an arc.
//     Collinear or coincident defining points make straight stretches
//     instead; coincident neighbours make a zero-length stretch.
//   * Every stretch is sampled at `resolution` equal parameter steps (equal
//     angle steps on an arc); the polyline through the samples IS the curve
//     for every purpose: nearest points, lengths, the point at a given
//     length and the drawing. So a point placed at a measured length lies on
//     the measured curve, and measuring up to it gives that length back.
//
// Lines belong to segments (Seg.firstLine .. firstLine + lineCount - 1):
// code 1 and 3 are outline, 2 and 4 inner lines; other codes, and every
// segment with markFlag set (its firstLine names an SPoint), hold no lines.
// A line that no line segment claims counts as outline when its first
// point's type is upper case, else as an inner line. Mark points ('v', 'o',
// 'g', 'p') lie on no line and are never snapped to.
//
// qpCurve (hdc, piece, op, flags, style, mode, first, count, colour,
//          resolution, &index, &length, &x, &y, m)
//
//   What it computes is chosen by flags (first matching bit wins):
//     kFlagNearestPoint (0x200): the nearest point (vertex) to (x, y);
//         writes index (the point), x, y, length.
//     kFlagNearestOnLines (0x40): the nearest point of the lines to (x, y);
//         writes index (first point k of the stretch that holds it), x, y,
//         and length: along the lines from point `first` when count > 0,
//         else from the first point of the line that holds it.
//     kFlagAtLength (0x20): the point at distance *length (input) forward
//         along the stretches from point `first` (through first + 1, ...);
//         writes x, y, index (first point of the stretch that holds it) and
//         length (the distance actually walked). The walk stops at the end
//         of the chain (the first pair that is not a stretch) or at point
//         first + count - 1 when count > 0; a longer length is clamped to
//         that end, a length of 0 or less gives point `first` itself.
//     kFlagLength (0x10): writes length, the total length of the stretches
//         among the points first .. first + count - 1 (count <= 0: from
//         `first` to the last point of the piece).
//     none of these: nothing is computed or written.
//   kFlagMeasureGroup (0x100) is carried by the tools' search and measure
//   forms and has no meaning of its own; kFlagLines (2) is always set.
//
//   Drawing: the lines are drawn into hdc when hdc is not null and either op
//   is kOpDraw (2) or flags ask for no search or measure (flags 2 alone).
//   So kOpDraw with kMeasureLength draws and measures, kOpSearch with it
//   only measures, and kOpSearch with kDrawOnly (one point, the
//   point-increase tool's mark) draws. What is drawn: count <= 0 every
//   allowed stretch of the piece; count 1 the single point `first` as a
//   small cross; count >= 2 the allowed stretches among first .. first +
//   count - 1. Each sample goes through m and is
//   rounded to the nearest pixel. One
//   solid pen of the palette colour (colour -1 or out of range: the
//   default), kHighlightWidth pixels wide for style kStyleHighlight and one
//   pixel otherwise, is selected for the drawing and deselected and deleted
//   before returning. The drawing mode (ROP2) is the caller's.
//
//   Every form reads a matrix, as the geometry library on Windows may: a
//   drawing maps its samples through it, and a search or measure (which
//   the tools pass the identity, or a view) takes it too. Our searches and
//   measures work in piece coordinates whatever matrix is passed, so (x, y)
//   go in and come out in millimetres; but a null matrix is refused in every
//   form, with one line on stderr: nothing is drawn, and the outputs are
//   those of a search that found nothing (below), a measure's length 0.
//
//   The search range: count > 0 restricts every search to the points
//   first .. first + count - 1 (clamped to the piece), whatever the mode;
//   count <= 0 searches the whole piece. The mode's high bit
//   (kModeWholePiece) marks the tools' whole-piece searches and adds nothing
//   to count <= 0; it does not widen a range that count gives, because the
//   pleat tool's "points 0 to s + 1" search passes it together with a count.
//
//   The mode's low bits choose what may be snapped to (and, for measures and
//   drawings, which stretches count):
//     0 or kSnapAllLines (4): every line, outline and inner;
//     kSnapOutline (2): lines of outline segments (code 1 or 3);
//     kSnapCode3 (8): lines of code-3 segments, or the outline lines when
//         the piece has no code-3 segment;
//     kSnapOutlineVertices (0xA): the points of the outline lines only; a
//         line search then snaps to the nearest such point.
//     any other value: every line.
//   A vertex search (0x200) considers the points of the allowed lines.
//
//   Nothing found (an empty piece or range, a pair k, k + 1 that is not a
//   stretch of an allowed line, no allowed line): x and y become kFar,
//   index -1 and length 0, so that a "within 0.1 of the snapped point" test
//   can never match. Ties go to the lower index.
//
//   resolution <= 0 means kDefaultResolution; it is capped at
//   kMaxResolution. Null output pointers are skipped; a search without x or
//   y writes index -1 only.
#pragma once

#include "frame/siblings.h"
#include "win/win32.h"

namespace qpcurve {

// x and y of a search that found nothing: far beyond any piece.
constexpr float kFar = 3.0e38f;

constexpr int kMaxResolution = 1000;

constexpr short kArcLineKind = 3;       // Line.kind of an arc line

constexpr int kHighlightWidth = 3;      // pixels
constexpr int kPointCrossHalf = 3;      // pixels, the cross of a one-point drawing

// The drawing palette (colour index -> COLORREF). Index -1, and any index
// outside 0 .. 15, draws in kDefaultColour.
constexpr COLORREF kDefaultColour = 0x000000;
constexpr int kPaletteSize = 16;
constexpr COLORREF kPalette[kPaletteSize] = {
    0x000000,  //  0 black
    0x800000,  //  1 dark blue
    0x008000,  //  2 green
    0x808000,  //  3 teal
    0x000080,  //  4 dark red
    0x800080,  //  5 purple
    0x008080,  //  6 olive
    0xC0C0C0,  //  7 light grey
    0x808080,  //  8 grey
    0xFF0000,  //  9 blue
    0x00FF00,  // 10 lime
    0xFFFF00,  // 11 cyan
    0x0000FF,  // 12 red
    0xFF00FF,  // 13 magenta
    0x00FFFF,  // 14 yellow
    0xFFFFFF,  // 15 white
};

inline COLORREF paletteColour(short index) {
    return (index >= 0 && index < kPaletteSize) ? kPalette[index] : kDefaultColour;
}

}  // namespace qpcurve

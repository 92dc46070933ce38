// Inside the point-increase tool (pieces/point_increase*.cpp): the by-length
// placement of modes 17 to 20 and the reading of typed numbers from the
// host's dialog text, shared by the handler and its placement file.
//
// Memory: reads the piece's records in place through the store's getters and
// adds nothing. The host's text buffer is read, never written.
// Units: piece coordinates and lengths in millimetres, typed numbers in the
// host's length unit (centimetres unless HostDoc.lengthUnit says otherwise),
// mark sizes in centimetres typed, millimetres stored; angles in radians.
#pragma once

#include <cstddef>

#include "frame/records.h"
#include "frame/exports.h"  // Win32 types through the frame

namespace increase {

// Room for the host's typed text: longer texts are refused, never cut.
constexpr std::size_t kTypedTextSize = 64;

// Millimetres per typed unit: HostDoc.lengthUnit 1 inch, 2 the host's
// 33.33 mm unit, anything else centimetres.
double unitFactor(int lengthUnit);

// Copies the host's zero-terminated text into `out` (kTypedTextSize bytes)
// without reading past its terminator. False, with `out` empty, for a null
// text or one that does not fit.
bool copyHostText(const char* hostText, char* out);

// A typed positive number (cm, or the host's unit): the frame's rule for
// typed numbers, and above zero. False refuses the text.
bool readPositive(const char* text, double& value);

// Opens the host's "LENGTHINPUTDLG" (the module that owns the window, the
// host's dialog procedure) and reads the distance it leaves in the host's
// text. False when the dialog was not ended with OK; `refused` tells a text
// that breaks the rule apart from a cancel. `mm` is set only on success.
bool askDistance(HWND hwnd, DLGPROC dialogProc, const char* hostText, int lengthUnit,
                 double& mm, bool& refused);

// The picked outline point's chain and the direction of the walk, taken on
// the untouched piece: `b` the picked point, (px, py) the second click.
struct LengthPlan {
    short b = -1;
    short chainFirst = -1;  // first point of b's segment
    short chainLast = -1;   // last point of b's segment
    int kind = 0;           // 1 chain start, 2 chain end, 0 inside
    bool forward = true;
};
// False when b is no point of an outline line chain.
bool planDirection(Piece* piece, short b, float px, float py, LengthPlan& plan);

// The point `mm` along the chain from b in the planned direction, into
// (x, y). False when the chain ends before that distance: the walk never
// runs past the chain's start or end.
bool placeAlong(Piece* piece, const LengthPlan& plan, double mm, float& x, float& y);

}  // namespace increase

// Inside the point-increase tool (pieces/point_increase*.cpp): its 21 modes
// with what a click of each picks and makes, the by-length placement of the
// modes that place a point at a typed distance, and the reading of typed
// numbers from the host's dialog text, shared by the handler and its
// placement file.
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

// The modes (HostView.increaseMode): the host picks one; the tool itself
// moves on from a line's first point (kInnerStart and kInnerEndAlong to
// kInnerNext, kInnerStartAlong to kInnerEndAlong) and to kNoMode when an
// inner line ends.
enum Mode : short {
    kNoMode = 0,
    kTurnPoint = 1,           // a turn point inserted into the outline at the click
    kCurvePoint = 2,          // a curve point, likewise
    kArcPoint = 3,            // an arc point, likewise
    kOutlineStart = 4,        // the first point of a new outline line
    kOutlineStraight = 5,     // the next outline point, ending a straight line ('K')
    kOutlineCurve = 6,        // the next outline point of a curve ('C')
    kOutlineCurveKinds = 7,   // the next outline point of a curve with start and end kinds
    kInnerStart = 8,          // the first point of an inner line
    kInnerNext = 9,           // the next point of that line; it ends on the outline
    kInnerCurve = 10,         // as kOutlineCurve, on an inner line
    kInnerCurveKinds = 11,    // as kOutlineCurveKinds, on an inner line
    kNotch = 12,              // a notch ('v') on the outline at the click
    kDrillMark = 13,          // an 'o' mark
    kDrillMarkSized = 14,     // an 'o' mark of the size in the host's text
    kMarkG = 15,              // a 'g' mark
    kMarkP = 16,              // a 'p' mark
    kTurnPointAlong = 17,     // a turn point at a typed distance along the outline
    kInnerStartAlong = 18,    // the first point of an inner line, likewise
    kNotchAlong = 19,         // a notch, likewise
    kInnerEndAlong = 20,      // the second and last point of that inner line
    kMarkCode4 = 21,          // an 'o' mark of code 4
    kLastMode = kMarkCode4,
};
inline bool isMode(int mode) { return mode >= kTurnPoint && mode <= kLastMode; }

// HostView.pickState in a run of the tool.
enum PickState : short {
    kUntracked = 0,       // mouse moves are not tracked; clicks still add points
    kTrackingStarts = 1,  // set by the host; the next tracked move starts the run
    kTracking = 2,        // tracking; a by-length mode waits for its outline point
    kPointPicked = 3,     // by length: the outline point is picked, the rubber line follows
};

// Where a click puts its point.
enum class Picks : char {
    kPosition,         // at the click, or on the point under the marker where moves keep one
    kStretch,          // the click moved onto the nearest stretch of the piece's lines
    kAlong,            // a picked outline point, then a typed distance along the outline
    kPositionOrAlong,  // kAlong while the host tracks a pick (pickState 2 or 3), else kPosition
};

// What a click adds to the piece.
enum class Makes : char {
    kTurnInsert,         // an outline point after the stretch that holds it: a turn point
    kCurveInsert,        // ... a curve point
    kArcInsert,          // ... an arc point
    kOutlineLinePoint,   // a point of the outline line being drawn (upper case)
    kInnerLinePoint,     // a point of the inner line being drawn (lower case)
    kNotch,              // a 'v' notch on an outline line, with its SPoint
    kMark,               // a mark, with its SPoint
};

// What mouse moves draw.
enum class Tracks : char {
    kNone,  // nothing: moves are not tracked
    kSnap,  // the marker on a point within kSnapPixels; kInnerNext's rubber line from the last point
    kPick,  // the marker on the outline point a first click would pick, then the rubber line from it
};

// A notch's or a mark's own words: the point's type and Point.lineIn, its
// SPoint's size, and the code and value of its segment, which takes the
// next notch or mark of that code.
constexpr short kOwnSPoint = -1;  // lineIn: the mark's SPoint index
struct MarkWords {
    char type = 0;
    short lineIn = 0;     // kOwnSPoint: the SPoint's index
    float size = 0;       // SPoint.size in mm; 0 leaves the store's (or a typed) size
    short segCode = 0;
    short segValue = 0;
};

// One row per mode: what a click of it picks and makes.
struct ModeTraits {
    Mode mode;
    Picks picks;
    Makes makes;
    Tracks tracks;
    bool startsLine;   // line modes: the point starts a line of its own
    bool hidesMarker;  // the click hides the marker before it is read
    bool picksAgain;   // after the point, the next click picks an outline point again
    MarkWords mark;    // notches and marks

    // A click of the mode may be placed by length: it then picks an outline
    // point first and asks the host's dialog for the distance.
    constexpr bool mayGoAlong() const { return picks == Picks::kAlong || picks == Picks::kPositionOrAlong; }
};

// clang-format off
inline constexpr ModeTraits kModeTraits[] = {
    // mode               picks                    makes                     tracks         starts hides  again  mark
    {kTurnPoint,         Picks::kStretch,         Makes::kTurnInsert,       Tracks::kNone, false, false, false, {}},
    {kCurvePoint,        Picks::kStretch,         Makes::kCurveInsert,      Tracks::kNone, false, false, false, {}},
    {kArcPoint,          Picks::kStretch,         Makes::kArcInsert,        Tracks::kNone, false, false, false, {}},
    {kOutlineStart,      Picks::kPosition,        Makes::kOutlineLinePoint, Tracks::kNone, true,  false, false, {}},
    {kOutlineStraight,   Picks::kPosition,        Makes::kOutlineLinePoint, Tracks::kNone, false, false, false, {}},
    {kOutlineCurve,      Picks::kPosition,        Makes::kOutlineLinePoint, Tracks::kNone, false, false, false, {}},
    {kOutlineCurveKinds, Picks::kPosition,        Makes::kOutlineLinePoint, Tracks::kNone, false, false, false, {}},
    {kInnerStart,        Picks::kPosition,        Makes::kInnerLinePoint,   Tracks::kSnap, true,  false, false, {}},
    {kInnerNext,         Picks::kPosition,        Makes::kInnerLinePoint,   Tracks::kSnap, false, false, false, {}},
    {kInnerCurve,        Picks::kPosition,        Makes::kInnerLinePoint,   Tracks::kNone, false, false, false, {}},
    {kInnerCurveKinds,   Picks::kPosition,        Makes::kInnerLinePoint,   Tracks::kNone, false, false, false, {}},
    {kNotch,             Picks::kStretch,         Makes::kNotch,            Tracks::kNone, false, false, false, {'v', 0, 5.0f, 16, 0}},
    {kDrillMark,         Picks::kPosition,        Makes::kMark,             Tracks::kNone, false, true,  false, {'o', 0, 0, 15, 12}},
    {kDrillMarkSized,    Picks::kPosition,        Makes::kMark,             Tracks::kNone, false, true,  false, {'o', 0, 0, 15, 12}},
    {kMarkG,             Picks::kPosition,        Makes::kMark,             Tracks::kNone, false, true,  false, {'g', kOwnSPoint, 0, 17, 0}},
    {kMarkP,             Picks::kPosition,        Makes::kMark,             Tracks::kNone, false, false, false, {'p', kOwnSPoint, 0, 18, 9}},
    {kTurnPointAlong,    Picks::kAlong,           Makes::kTurnInsert,       Tracks::kPick, false, false, true,  {}},
    {kInnerStartAlong,   Picks::kAlong,           Makes::kInnerLinePoint,   Tracks::kPick, true,  false, false, {}},
    {kNotchAlong,        Picks::kAlong,           Makes::kNotch,            Tracks::kPick, false, false, true,  {'v', 0, 5.0f, 16, 0}},
    {kInnerEndAlong,     Picks::kPositionOrAlong, Makes::kInnerLinePoint,   Tracks::kPick, false, false, false, {}},
    // A mark at its click, whatever pickState a by-length mode left: only
    // the by-length modes above take a click at pickState 2 as the pick of
    // an outline point (a mark after a by-length insert was never made).
    {kMarkCode4,         Picks::kPosition,        Makes::kMark,             Tracks::kNone, false, false, false, {'o', 4, 5.0f, 18, 13}},
};
// clang-format on
constexpr bool rowsInModeOrder() {
    int i = 0;
    for (const ModeTraits& row : kModeTraits)
        if (row.mode != ++i) return false;
    return i == kLastMode;
}
static_assert(rowsInModeOrder(), "row m - 1 of kModeTraits is mode m");

// The row of a mode (isMode(mode) holds).
inline const ModeTraits& traitsOf(int mode) { return kModeTraits[mode - 1]; }

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

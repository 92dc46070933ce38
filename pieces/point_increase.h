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
// inner line ends. What a click of each does: kModeTexts below.
enum Mode : short {
    kNoMode = 0,
    kTurnPoint = 1,
    kCurvePoint = 2,
    kArcPoint = 3,
    kOutlineStart = 4,
    kOutlineStraight = 5,
    kOutlineCurve = 6,
    kOutlineCurveKinds = 7,
    kInnerStart = 8,
    kInnerNext = 9,
    kInnerCurve = 10,
    kInnerCurveKinds = 11,
    kNotch = 12,
    kDrillMark = 13,
    kDrillMarkSized = 14,
    kMarkG = 15,
    kMarkP = 16,
    kTurnPointAlong = 17,
    kInnerStartAlong = 18,
    kNotchAlong = 19,
    kInnerEndAlong = 20,
    kMarkCode4 = 21,
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
// A table of one row per mode, in mode order: row m - 1 is mode m.
template <class Row, std::size_t n>
constexpr bool rowsInModeOrder(const Row (&rows)[n]) {
    int i = 0;
    for (const Row& row : rows)
        if (row.mode != ++i) return false;
    return i == kLastMode;
}
static_assert(rowsInModeOrder(kModeTraits), "row m - 1 of kModeTraits is mode m");

// Each mode's name (its enumerator's, in words) and what a click of it does,
// for people: the host's help for script writers (qpkit tools) and its
// documentation show these. "By length": the first click picks the outline
// point under the marker, the second says which way along the outline, and
// the host's dialog asks the distance (in the host's length unit).
struct ModeText {
    Mode mode;
    const char* name;
    const char* click;
};
inline constexpr ModeText kModeTexts[] = {
    {kTurnPoint, "turn point", "inserts a turn point (K) into the line nearest the click, where the click meets it"},
    {kCurvePoint, "curve point", "inserts a curve point (C) into the line nearest the click, where the click meets it"},
    {kArcPoint, "arc point", "inserts an arc point into the line nearest the click, where the click meets it"},
    {kOutlineStart, "outline start", "starts a new outline line at the click (its first point, S)"},
    {kOutlineStraight, "outline straight", "adds the next outline point at the click, ending a straight line (K)"},
    {kOutlineCurve, "outline curve", "adds the next outline point of a curve at the click (C)"},
    {kOutlineCurveKinds, "outline curve kinds",
     "adds the next outline point at the click: after S or K a curve's start (M), after M its end (K), else a "
     "curve point (C)"},
    {kInnerStart, "inner start",
     "starts an inner line at the click, or on the point under the marker; the mode moves on to inner next"},
    {kInnerNext, "inner next",
     "adds the next point of the inner line at the click; one on the outline ends the line, as does any with "
     "straight on (squared to 45 degrees) and a right click"},
    {kInnerCurve, "inner curve", "adds the next point of a curve to the inner line, at the click (c)"},
    {kInnerCurveKinds, "inner curve kinds", "as outline curve kinds, on an inner line"},
    {kNotch, "notch", "puts a notch (v) on the line nearest the click, where the click meets it"},
    {kDrillMark, "drill mark", "puts a drill mark (o) at the click"},
    {kDrillMarkSized, "drill mark sized",
     "puts a drill mark (o) at the click, of the size in the host's text (hosttext, cm)"},
    {kMarkG, "mark g", "puts a g mark at the click"},
    {kMarkP, "mark p", "puts a p mark at the click"},
    {kTurnPointAlong, "turn point along", "by length: inserts a turn point that far along the outline"},
    {kInnerStartAlong, "inner start along",
     "by length: starts an inner line that far along the outline; the mode moves on to inner end along"},
    {kNotchAlong, "notch along", "by length: puts a notch that far along the outline"},
    {kInnerEndAlong, "inner end along",
     "ends the inner line with its second point: at the click, or by length while the host tracks a pick"},
    {kMarkCode4, "mark code 4", "puts a drill mark (o) of code 4 at the click"},
};
static_assert(rowsInModeOrder(kModeTexts), "row m - 1 of kModeTexts is mode m");

// The row of a mode (isMode(mode) holds).
inline const ModeTraits& traitsOf(int mode) { return kModeTraits[mode - 1]; }

// Room for the host's typed text: longer texts are refused, never cut.
constexpr std::size_t kTypedTextSize = 64;

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

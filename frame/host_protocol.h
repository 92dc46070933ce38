// The host protocol beyond the records of records.h: the commands and keys
// that the host forwards to a tool's handler, and the command that a tool
// sends back to the host's window. The tools and the host (the CAD program
// on Windows, qpkit here) both name them from here.
//
// Header only; nothing here owns memory.
#pragma once

#include <cstdint>

#include "win/win32.h"

namespace frame {

// WM_COMMAND from the host, wParam: the straight-line switch of point
// increase; the low 16 bits of lParam are the new setting (0: off).
constexpr WPARAM kCmdStraight = 0x117;

// WM_COMMAND from point increase to the window (SendMessageA, lParam 0):
// the inner line it was drawing is finished. The host repaints on it; the
// tool does not invalidate the window itself.
constexpr WPARAM kCmdLineEnded = 32;

// HostDoc.notice after a tool replaced the host's pattern block (symmetry's
// new pattern, point increase's larger block): the pointers the host keeps
// into the old one are dead; it takes HostDoc.pattern afresh and clears it.
constexpr int32_t kNoticePatternReplaced = 108;

// WM_KEYDOWN codes that end or move an open number entry: F24 ends it (the
// sleeve cap's increase, a pleat width cell), F23 moves a pleat width entry
// to the other cell of its row.
constexpr WPARAM kFinishKey = VK_F24;
constexpr WPARAM kOtherCellKey = VK_F23;

// HostDoc.lengthUnit, the unit of the lengths the user types (and the host
// shows): 1 the inch, 2 the host's unit of 33.33 mm, anything else the
// centimetre.
constexpr int kUnitInch = 1;
constexpr int kUnit3333 = 2;
constexpr double mmPerLengthUnit(int lengthUnit) {
    return lengthUnit == kUnitInch ? 25.4 : lengthUnit == kUnit3333 ? 33.33 : 10.0;
}

}  // namespace frame

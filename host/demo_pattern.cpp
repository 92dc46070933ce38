// The demo's built-in pattern: a woman's basic block in size 38, drawn in
// millimetres with y up, with the key points given by measurement formulas
// (centimetres). Four pieces: a half bodice front with a shoulder dart and
// the line it can be moved to (bust point to side seam), a sleeve whose cap
// runs over several curve points between the underarm points, a skirt panel
// with two pleat lines, and a half back.
//
// Measurements: B bust 88, W waist 68, H hip 94, BL back waist length 38,
// AH armhole 44, SL sleeve length 56, SK skirt length 60, S shoulder 39.
#include "host/demo.h"

namespace host {

const char* demoPatternJson() {
    return R"json({
  "format": "qpkit-pattern 1",
  "kind": 1,
  "measurements": {"B": 88, "W": 68, "H": 94, "BL": 38, "AH": 44, "SL": 56, "SK": 60, "S": 39},
  "pieces": [
    {
      "name": "bodice front (half)",
      "outline": [[
        ["S", 0, 0, "0", "0"],
        ["K", 0, 320, "0", "BL-6"],
        ["C", 40, 328, "S/10+0.1", "BL-5.2"],
        ["C", 63, 352, "S/5-1.5", "BL-2.8"],
        ["K", 75, 400, "S/5-0.3", "BL+2"],
        ["K", 120, 385, "S/5+4.2", "BL+0.5"],
        ["K", 150, 385, "S/5+7.2", "BL+0.5"],
        ["K", 195, 362, "S/2", "BL-1.8"],
        ["C", 190, 300, "S/2-0.5", "BL-8"],
        ["C", 200, 245, "B/4-2", "BL-13.5"],
        ["C", 218, 212, "B/4-0.2", "BL-16.8"],
        ["K", 235, 200, "B/4+1.5", "BL-18"],
        ["K", 228, 130, "B/4+0.8", "BL-25"],
        ["K", 215, 0, "W/4+4.5", "0"]
      ]],
      "inner": [
        [[120, 385, "S/5+4.2", "BL+0.5"], [118, 240, "B/8+0.8", "BL-14"]],
        [[150, 385, "S/5+7.2", "BL+0.5"], [118, 240, "B/8+0.8", "BL-14"]],
        [[228, 130, "B/4+0.8", "BL-25"], [118, 240, "B/8+0.8", "BL-14"]]
      ],
      "marks": [
        {"type": "o", "x": 121, "y": 255, "fx": "B/8+1.1", "fy": "BL-12.5", "code": 15, "value": 12}
      ]
    },
    {
      "name": "sleeve",
      "outline": [[
        ["S", 0, 0, "0", "0"],
        ["C", 25, 28, "B/16-3", "AH/16+0.05"],
        ["C", 55, 78, "B/16", "AH/4-3.2"],
        ["C", 95, 125, "B/8-1.5", "AH/4+1.5"],
        ["C", 160, 146.67, "B/8+5", "AH/3"],
        ["C", 225, 125, "B/8+11.5", "AH/4+1.5"],
        ["C", 265, 78, "B/4+4.5", "AH/4-3.2"],
        ["C", 295, 28, "B/4+7.5", "AH/16+0.05"],
        ["K", 320, 0, "B/4+10", "0"],
        ["K", 270, -413.33, "B/4+5", "AH/3-SL"],
        ["K", 50, -413.33, "5", "AH/3-SL"]
      ]],
      "inner": [
        [[160, -300, "B/8+5", "-30"], [160, 60, "B/8+5", "6"]]
      ]
    },
    {
      "name": "skirt panel",
      "outline": [[
        ["S", 0, 0, "0", "0"],
        ["K", 0, 600, "0", "SK"],
        ["K", 190, 610, "W/4+2", "SK+1"],
        ["C", 222, 520, "H/4-1.3", "SK-8"],
        ["K", 245, 420, "H/4+1", "SK-18"],
        ["K", 275, 0, "H/4+4", "0"]
      ]],
      "inner": [
        [[60, 603.16, "(W/4+2)*6/19", "SK+6/19"], [75, 0, "(H/4+4)*3/11", "0"]],
        [[125, 606.58, "(W/4+2)*25/38", "SK+25/38"], [150, 0, "(H/4+4)*6/11", "0"]]
      ]
    },
    {
      "name": "back (half)",
      "outline": [[
        ["S", 0, 0, "0", "0"],
        ["K", 0, 380, "0", "BL"],
        ["C", 40, 386, "S/10+0.1", "BL+0.6"],
        ["K", 75, 400, "S/5-0.3", "BL+2"],
        ["K", 200, 372, "S/2+0.5", "BL-0.8"],
        ["C", 196, 310, "S/2+0.1", "BL-7"],
        ["C", 206, 250, "B/4-1.4", "BL-13"],
        ["K", 232, 200, "B/4+1.2", "BL-18"],
        ["K", 210, 0, "W/4+4", "0"]
      ]],
      "inner": [
        [[100, 60, "B/8-1", "6"], [100, 300, "B/8-1", "BL-8"]]
      ]
    }
  ]
}
)json";
}

}  // namespace host

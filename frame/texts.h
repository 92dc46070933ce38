// Every text the system shows to the user, as the GBK bytes that go to
// MessageBoxA, TextOutA and the prompt bar, each with its UTF-8 text in its
// comment (where and when it is shown) and, in kSystemTexts at the end, its
// reading in English and whether it is a refusal.
//
// The bytes are the system's own and are used exactly: prompts keep their
// trailing blanks, which pad the prompt bar's text to a fixed width, and the
// full-width punctuation (（ ） ！ ， ＝) stays double-byte.  Each literal was
// produced with iconv from UTF-8 to GBK and read back; the tests convert
// every one back to UTF-8 and compare it with the reading in its comment.
// Where a hex escape is followed by a character that reads as a hex digit,
// the literal is split ("..." "...") so that the escape stays one byte.
//
// Header only; nothing here owns memory.  Lengths are in bytes.
#pragma once

// Caption of every message box the library shows (MB_ICONERROR).
// "服装 CAD 系统（Windows 版）" (27 bytes)
inline constexpr char kCaption[] =
    "\xB7\xFE\xD7\xB0 CAD \xCF\xB5\xCD\xB3\xA3\xA8Windows \xB0\xE6\xA3\xA9";

// The host's dialog template for a typed distance (point increase).
// "LENGTHINPUTDLG" (14 bytes)
inline constexpr char kDialogLengthInput[] =
    "LENGTHINPUTDLG";

// Sleeve cap, step 2: pick the end points of the cap curve.
// "请指定袖山曲线端点！    " (24 bytes)
inline constexpr char kPromptItalyEnds[] =
    "\xC7\xEB\xD6\xB8\xB6\xA8\xD0\xE4\xC9\xBD\xC7\xFA\xCF\xDF\xB6\xCB\xB5\xE3\xA3\xA1    ";

// Sleeve cap, step 4: pick the cut point on the curve.
// "请指定袖山曲线切开点！    " (26 bytes)
inline constexpr char kPromptItalyCut[] =
    "\xC7\xEB\xD6\xB8\xB6\xA8\xD0\xE4\xC9\xBD\xC7\xFA\xCF\xDF\xC7\xD0\xBF\xAA\xB5\xE3\xA3\xA1    ";

// Sleeve cap result box: curve length = ... cm, increase (cm) = ;
// 23 blanks after the first full-width equals sign leave room for the length.
// "袖山曲线长度 ＝                       厘米，增加长度（厘米）＝ " (63 bytes)
inline constexpr char kItalyResultLine[] =
    "\xD0\xE4\xC9\xBD\xC7\xFA\xCF\xDF\xB3\xA4\xB6\xC8 \xA3\xBD                       \xC0\xE5\xC3\xD7\xA3\xAC\xD4\xF6\xBC\xD3\xB3\xA4\xB6\xC8\xA3\xA8\xC0\xE5\xC3\xD7\xA3\xA9\xA3\xBD ";

// Pleat spread width table: title.
// "请输入褶皱线两端展开宽度（厘米）" (32 bytes)
inline constexpr char kFoldTableTitle[] =
    "\xC7\xEB\xCA\xE4\xC8\xEB\xF1\xDE\xD6\xE5\xCF\xDF\xC1\xBD\xB6\xCB\xD5\xB9\xBF\xAA\xBF\xED\xB6\xC8\xA3\xA8\xC0\xE5\xC3\xD7\xA3\xA9";

// Pleat spread width table: column header, six blanks between titles.
// "起点点号      展开宽度      终点点号      展开宽度" (50 bytes)
inline constexpr char kFoldTableHeader[] =
    "\xC6\xF0\xB5\xE3\xB5\xE3\xBA\xC5      \xD5\xB9\xBF\xAA\xBF\xED\xB6\xC8      \xD6\xD5\xB5\xE3\xB5\xE3\xBA\xC5      \xD5\xB9\xBF\xAA\xBF\xED\xB6\xC8";

// Dart transfer: a picked leg meets the outline at no turning point.
// "未找到轮廓线上与省道线相交的转折点，不能执行省道转移操作 !" (58 bytes)
inline constexpr char kGapMoveNoOutlinePoint[] =
    "\xCE\xB4\xD5\xD2\xB5\xBD\xC2\xD6\xC0\xAA\xCF\xDF\xC9\xCF\xD3\xEB\xCA\xA1\xB5\xC0\xCF\xDF\xCF\xE0\xBD\xBB\xB5\xC4\xD7\xAA\xD5\xDB\xB5\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD7\xAA\xD2\xC6\xB2\xD9\xD7\xF7 !";

// Dart transfer: the two old legs do not intersect.
// "未找到原两条省道线交点，不能执行省道转移操作 !" (46 bytes)
inline constexpr char kGapMoveNoLegsCross[] =
    "\xCE\xB4\xD5\xD2\xB5\xBD\xD4\xAD\xC1\xBD\xCC\xF5\xCA\xA1\xB5\xC0\xCF\xDF\xBD\xBB\xB5\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD7\xAA\xD2\xC6\xB2\xD9\xD7\xF7 !";

// Dart transfer: the new and the old dart lines do not intersect.
// "未找到新旧省道线交点，不能执行省道转移操作 !" (44 bytes)
inline constexpr char kGapMoveNoNewOldCross[] =
    "\xCE\xB4\xD5\xD2\xB5\xBD\xD0\xC2\xBE\xC9\xCA\xA1\xB5\xC0\xCF\xDF\xBD\xBB\xB5\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD7\xAA\xD2\xC6\xB2\xD9\xD7\xF7 !";

// Dart fold, prompt 1: pick the dart's legs.
// "请指定省道边线！  " (18 bytes)
inline constexpr char kPromptGapFoldLegs[] =
    "\xC7\xEB\xD6\xB8\xB6\xA8\xCA\xA1\xB5\xC0\xB1\xDF\xCF\xDF\xA3\xA1  ";

// Dart fold, prompt 2: pick the dart's centre line.
// "请指定省道中线！  " (18 bytes)
inline constexpr char kPromptGapFoldCentreLine[] =
    "\xC7\xEB\xD6\xB8\xB6\xA8\xCA\xA1\xB5\xC0\xD6\xD0\xCF\xDF\xA3\xA1  ";

// Dart fold, prompt 2 for neighbouring legs: pick the centre line's end point.
// "请指定省道中线端点！  " (22 bytes)
inline constexpr char kPromptGapFoldCentreEnd[] =
    "\xC7\xEB\xD6\xB8\xB6\xA8\xCA\xA1\xB5\xC0\xD6\xD0\xCF\xDF\xB6\xCB\xB5\xE3\xA3\xA1  ";

// Dart fold, prompt 4: pick the side the dart is folded to.
// "请指定省道折叠方向！  " (22 bytes)
inline constexpr char kPromptGapFoldDirection[] =
    "\xC7\xEB\xD6\xB8\xB6\xA8\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB7\xBD\xCF\xF2\xA3\xA1  ";

// Dart fold: a picked leg meets the outline at no turning point.
// "未找到轮廓线上与省道线相交的转折点，不能执行省道折叠操作 !" (58 bytes)
inline constexpr char kGapFoldNoOutlinePoint[] =
    "\xCE\xB4\xD5\xD2\xB5\xBD\xC2\xD6\xC0\xAA\xCF\xDF\xC9\xCF\xD3\xEB\xCA\xA1\xB5\xC0\xCF\xDF\xCF\xE0\xBD\xBB\xB5\xC4\xD7\xAA\xD5\xDB\xB5\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB2\xD9\xD7\xF7 !";

// Dart fold: the legs do not intersect.
// "未找到省道线交点，不能执行省道折叠操作 !" (40 bytes)
inline constexpr char kGapFoldNoLegsCross[] =
    "\xCE\xB4\xD5\xD2\xB5\xBD\xCA\xA1\xB5\xC0\xCF\xDF\xBD\xBB\xB5\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB2\xD9\xD7\xF7 !";

// ---- Pleat spread -----------------------------------------------------------

// Pleat spread: a pick when the width table already holds its 20 rows.
// "最多可指定20条褶皱线！" (22 bytes)
inline constexpr char kFoldTableFull[] =
    "\xD7\xEE\xB6\xE0\xBF\xC9\xD6\xB8\xB6\xA8" "20" "\xCC\xF5\xF1\xDE\xD6\xE5\xCF\xDF\xA3\xA1";

// Pleat spread: a pick of a line that is not a two-point inner line.
// "褶皱线须为两点内部线！" (22 bytes)
inline constexpr char kFoldNotPleatLine[] =
    "\xF1\xDE\xD6\xE5\xCF\xDF\xD0\xEB\xCE\xAA\xC1\xBD\xB5\xE3\xC4\xDA\xB2\xBF\xCF\xDF\xA3\xA1";

// Pleat spread: a typed width that is not a number; the cell keeps its width.
// "输入的宽度无效，保留原宽度！" (28 bytes)
inline constexpr char kFoldWidthRefused[] =
    "\xCA\xE4\xC8\xEB\xB5\xC4\xBF\xED\xB6\xC8\xCE\xDE\xD0\xA7\xA3\xAC\xB1\xA3\xC1\xF4\xD4\xAD\xBF\xED\xB6\xC8\xA3\xA1";
// Pleat spread, at apply: the rows that were not spread, each named by its
// pleat line's point numbers as the table shows them and the number of its
// reason ("7-8:2"), follow the text; with no row spread the table stays open.
// "跳过的褶皱线（1 端点不在轮廓线上或重合，2 两端宽度差大于线长的两倍，3 需展开的端点不能剪开）：" (94 bytes)
inline constexpr char kFoldRowsSkipped[] =
    "\xCC\xF8\xB9\xFD\xB5\xC4\xF1\xDE\xD6\xE5\xCF\xDF\xA3\xA8" "1 \xB6\xCB\xB5\xE3\xB2\xBB\xD4\xDA\xC2\xD6\xC0\xAA\xCF\xDF\xC9\xCF\xBB\xF2\xD6\xD8\xBA\xCF\xA3\xAC" "2 \xC1\xBD\xB6\xCB\xBF\xED\xB6\xC8\xB2\xEE\xB4\xF3\xD3\xDA\xCF\xDF\xB3\xA4\xB5\xC4\xC1\xBD\xB1\xB6\xA3\xAC" "3 \xD0\xE8\xD5\xB9\xBF\xAA\xB5\xC4\xB6\xCB\xB5\xE3\xB2\xBB\xC4\xDC\xBC\xF4\xBF\xAA\xA3\xA9\xA3\xBA";

// ---- Dart fold (qpHandleGapFold): its own refusals ------------------------

// Dart fold: a picked dart line is not a straight line of two points.
// "省道线须为两点直线，不能执行省道折叠操作 !" (42 bytes)
inline constexpr char kGapFoldLineShape[] =
    "\xCA\xA1\xB5\xC0\xCF\xDF\xD0\xEB\xCE\xAA\xC1\xBD\xB5\xE3\xD6\xB1\xCF\xDF\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB2\xD9\xD7\xF7 !";

// Dart fold: the legs end on one outline point, or the centre line does not
// end on the one outline point between them.
// "省道口形状不符，不能执行省道折叠操作 !" (38 bytes)
inline constexpr char kGapFoldMouthShape[] =
    "\xCA\xA1\xB5\xC0\xBF\xDA\xD0\xCE\xD7\xB4\xB2\xBB\xB7\xFB\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB2\xD9\xD7\xF7 !";

// Dart fold: the outline across the dart mouth has no end on one side.
// "未找到省道口两侧的轮廓线，不能执行省道折叠操作 !" (48 bytes)
inline constexpr char kGapFoldNoSpan[] =
    "\xCE\xB4\xD5\xD2\xB5\xBD\xCA\xA1\xB5\xC0\xBF\xDA\xC1\xBD\xB2\xE0\xB5\xC4\xC2\xD6\xC0\xAA\xCF\xDF\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB2\xD9\xD7\xF7 !";

// Dart fold: the pattern's block has no room for the edit.
// "图样空间不足，不能执行省道折叠操作 !" (36 bytes)
inline constexpr char kGapFoldNoRoom[] =
    "\xCD\xBC\xD1\xF9\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB2\xD9\xD7\xF7 !";

// Dart fold: the fold failed and the run has stopped (after its message, or
// alone when the piece is gone); clicks take nothing, and say so again,
// until the host starts the tool again.
// "省道折叠失败，请重新选择省道折叠工具 !" (38 bytes)
inline constexpr char kGapFoldStopped[] =
    "\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xD1\xA1\xD4\xF1\xCA\xA1\xB5\xC0\xD5\xDB\xB5\xFE\xB9\xA4\xBE\xDF !";

// Dart fold, unfold: the fold piece or the fold record is not the one this
// library folded.
// "折叠样片与折叠记录不符，不能执行省道展开操作 !" (46 bytes)
inline constexpr char kGapUnfoldMismatch[] =
    "\xD5\xDB\xB5\xFE\xD1\xF9\xC6\xAC\xD3\xEB\xD5\xDB\xB5\xFE\xBC\xC7\xC2\xBC\xB2\xBB\xB7\xFB\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xB9\xBF\xAA\xB2\xD9\xD7\xF7 !";

// Dart fold, unfold: the pattern's block has no room for the formulas.
// "图样空间不足，不能执行省道展开操作 !" (36 bytes)
inline constexpr char kGapUnfoldNoRoom[] =
    "\xCD\xBC\xD1\xF9\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD5\xB9\xBF\xAA\xB2\xD9\xD7\xF7 !";

// ---- Dart transfer ----------------------------------------------------------

// Dart transfer: the pattern's block has no room for the new dart.
// "图样空间不足，不能执行省道转移操作 !" (36 bytes)
inline constexpr char kGapMoveNoRoom[] =
    "\xCD\xBC\xD1\xF9\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD7\xAA\xD2\xC6\xB2\xD9\xD7\xF7 !";

// Dart transfer: no middle point of the new mouth can be found (the seam
// beside the turned copy meets the mouth's bisector nowhere, or at the
// pivot); the run ends, the piece as it was.
// "未找到新省道口的中点，不能执行省道转移操作 !" (44 bytes)
inline constexpr char kGapMoveNoMiddle[] =
    "\xCE\xB4\xD5\xD2\xB5\xBD\xD0\xC2\xCA\xA1\xB5\xC0\xBF\xDA\xB5\xC4\xD6\xD0\xB5\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD7\xAA\xD2\xC6\xB2\xD9\xD7\xF7 !";

// Dart transfer: the new line is shorter than the way from its outline end
// to the new mouth's middle, so no leg of its length reaches an apex; the
// piece as it was, the tool kept for a new run.
// "新省道线太短，不能执行省道转移操作 !" (36 bytes)
inline constexpr char kGapMoveTooShort[] =
    "\xD0\xC2\xCA\xA1\xB5\xC0\xCF\xDF\xCC\xAB\xB6\xCC\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xCA\xA1\xB5\xC0\xD7\xAA\xD2\xC6\xB2\xD9\xD7\xF7 !";

// ---- Point increase ----------------------------------------------------------

// Any tool: a typed number breaks the rule for typed numbers (a sleeve cap's
// increase; a point increase's distance or mark size, which must also be
// above zero); nothing changes.
// "输入的数值无效 !" (16 bytes)
inline constexpr char kNumberRefused[] =
    "\xCA\xE4\xC8\xEB\xB5\xC4\xCA\xFD\xD6\xB5\xCE\xDE\xD0\xA7 !";

// Point increase: the typed distance runs past the end of the outline chain.
// "输入的长度超出了轮廓线的长度 !" (30 bytes)
inline constexpr char kIncreaseTooLong[] =
    "\xCA\xE4\xC8\xEB\xB5\xC4\xB3\xA4\xB6\xC8\xB3\xAC\xB3\xF6\xC1\xCB\xC2\xD6\xC0\xAA\xCF\xDF\xB5\xC4\xB3\xA4\xB6\xC8 !";

// Point increase: the pattern cannot be given room for one more point.
// "内存不足，不能增加点 !" (22 bytes)
inline constexpr char kIncreaseNoRoom[] =
    "\xC4\xDA\xB4\xE6\xB2\xBB\xD7\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD4\xF6\xBC\xD3\xB5\xE3 !";

// ---- Piece symmetry ----------------------------------------------------------

// Piece symmetry: the whole piece would pass 32,767 points or bytes of
// formula text; the piece is left as it was.
// "对称后的衣片过大，不能执行对称操作 !" (36 bytes)
inline constexpr char kSymmetryTooLarge[] =
    "\xB6\xD4\xB3\xC6\xBA\xF3\xB5\xC4\xD2\xC2\xC6\xAC\xB9\xFD\xB4\xF3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xB6\xD4\xB3\xC6\xB2\xD9\xD7\xF7 !";

// ---- Room checks --------------------------------------------------------------

// A tool without a room text of its own (sleeve cap, pleat spread): the
// edit would pass the piece's 32,767 records of a kind or bytes of formula
// text, or the pattern's block; the piece is left as it was.
// "图样空间不足，不能执行此操作 !" (30 bytes)
inline constexpr char kEditNoRoom[] =
    "\xCD\xBC\xD1\xF9\xBF\xD5\xBC\xE4\xB2\xBB\xD7\xE3\xA3\xAC\xB2\xBB\xC4\xDC\xD6\xB4\xD0\xD0\xB4\xCB\xB2\xD9\xD7\xF7 !";

// One row per text: its name, its bytes, its reading in English (what the
// text says, for people who do not read Chinese: the host prints it beside
// the text) and whether it is a refusal (a tool declining a pick, a typed
// number or an edit, which leaves the piece as it was) rather than a
// prompt, a caption or a figure.
struct SystemText {
    const char* name;
    const char* gbk;
    const char* reading;
    bool refusal;
};

// All of the above, for the host (which converts them for its own output
// and says a refusal in English) and for the tests.
inline constexpr SystemText kSystemTexts[] = {
    {"kCaption", kCaption, "garment CAD system (Windows edition)", false},
    {"kDialogLengthInput", kDialogLengthInput, "the host's dialog for a typed length", false},
    {"kPromptItalyEnds", kPromptItalyEnds, "pick the end points of the sleeve-cap curve", false},
    {"kPromptItalyCut", kPromptItalyCut, "pick the point where the sleeve-cap curve is cut", false},
    {"kItalyResultLine", kItalyResultLine, "sleeve-cap curve length = ... cm, increase (cm) =", false},
    {"kFoldTableTitle", kFoldTableTitle, "type the spread width at both ends of each pleat line (cm)", false},
    {"kFoldTableHeader", kFoldTableHeader, "start point, spread width, end point, spread width", false},
    {"kGapMoveNoOutlinePoint", kGapMoveNoOutlinePoint,
     "no turning point of the outline found where a dart line meets it; the dart cannot be transferred", true},
    {"kGapMoveNoLegsCross", kGapMoveNoLegsCross,
     "the two old dart lines do not meet; the dart cannot be transferred", true},
    {"kGapMoveNoNewOldCross", kGapMoveNoNewOldCross,
     "the new and the old dart lines do not meet; the dart cannot be transferred", true},
    {"kPromptGapFoldLegs", kPromptGapFoldLegs, "pick the dart's legs", false},
    {"kPromptGapFoldCentreLine", kPromptGapFoldCentreLine, "pick the dart's centre line", false},
    {"kPromptGapFoldCentreEnd", kPromptGapFoldCentreEnd, "pick the end point of the dart's centre line", false},
    {"kPromptGapFoldDirection", kPromptGapFoldDirection, "pick the side the dart is folded to", false},
    {"kGapFoldNoOutlinePoint", kGapFoldNoOutlinePoint,
     "no turning point of the outline found where a dart line meets it; the dart cannot be folded", true},
    {"kGapFoldNoLegsCross", kGapFoldNoLegsCross, "the dart lines do not meet; the dart cannot be folded", true},
    {"kFoldTableFull", kFoldTableFull, "at most 20 pleat lines can be picked", true},
    {"kFoldNotPleatLine", kFoldNotPleatLine, "a pleat line must be an inner line of two points", true},
    {"kFoldWidthRefused", kFoldWidthRefused, "the typed width is not valid; the cell keeps its old width", true},
    {"kFoldRowsSkipped", kFoldRowsSkipped,
     "pleat lines skipped (1: an end off the outline, or both at one place; 2: the end widths differ by more than "
     "twice the line's length; 3: an end to be opened cannot be cut), each as start-end:reason", true},
    {"kGapMoveNoRoom", kGapMoveNoRoom, "the pattern has no room left; the dart cannot be transferred", true},
    {"kGapMoveNoMiddle", kGapMoveNoMiddle,
     "no middle point of the new dart's mouth found; the dart cannot be transferred", true},
    {"kGapMoveTooShort", kGapMoveTooShort, "the new dart line is too short; the dart cannot be transferred", true},
    {"kGapFoldLineShape", kGapFoldLineShape,
     "a dart line must be a straight line of two points; the dart cannot be folded", true},
    {"kGapFoldMouthShape", kGapFoldMouthShape, "the dart's mouth is not of a shape that folds; the dart cannot be folded",
     true},
    {"kGapFoldNoSpan", kGapFoldNoSpan,
     "no outline found on both sides of the dart's mouth; the dart cannot be folded", true},
    {"kGapFoldNoRoom", kGapFoldNoRoom, "the pattern has no room left; the dart cannot be folded", true},
    {"kGapFoldStopped", kGapFoldStopped, "the dart fold failed; choose the dart fold tool again", true},
    {"kGapUnfoldMismatch", kGapUnfoldMismatch,
     "the fold piece does not match the fold record; the dart cannot be unfolded", true},
    {"kGapUnfoldNoRoom", kGapUnfoldNoRoom, "the pattern has no room left; the dart cannot be unfolded", true},
    {"kNumberRefused", kNumberRefused, "the typed number is not valid", true},
    {"kIncreaseTooLong", kIncreaseTooLong, "the typed length runs past the end of the outline", true},
    {"kIncreaseNoRoom", kIncreaseNoRoom, "out of memory; the point cannot be added", true},
    {"kSymmetryTooLarge", kSymmetryTooLarge, "the piece would be too large when made whole; no symmetry", true},
    {"kEditNoRoom", kEditNoRoom, "the pattern has no room left; this edit cannot be done", true},
};

// The operations that Qpkit6 imports from its five sibling libraries.
//
// Qpkit1: records (get, append, insert, delete, strings, parameters).
// Qpkit3: whole pieces and buffers (copy, add and delete pieces).
// Qpkit4: point groups (copy point groups, put a point on a curve).
// Qpkit:  matrices, angles, curves, formula evaluation, text entry.
// Qpkit2: formula repair, curve reshaping, drawing.
//
// Memory: every record pointer handed out points into a piece inside a
// pattern buffer and dies at the next operation that adds or removes records
// of that piece or moves the piece; fetch again after each one.
// Units: millimetres in records, centimetres in formula texts, radians,
// client pixels for drawing. Indices are 16-bit; a negative index means none.
// The operations use the C calling convention and C linkage.
#pragma once

#include "frame/records.h"
#include "win/win32.h"

#if defined(_WIN32)
#  define QP_SIBLING_EXPORT extern "C" __declspec(dllexport)
#else
#  define QP_SIBLING_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The words of qpCurve (op, flags, style, mode), named once for the tools, the
// geometry stand-in, the host and the tests. What each form computes and
// draws is described with the curve model (Qpkit's geometry); the forms the
// tools share are asked through frame/curve_forms.h.
namespace qpcurve {

constexpr short kOpSearch = 0;      // search or measure only
constexpr short kOpDraw = 2;        // draw (and measure when flags ask)

constexpr long kFlagLines = 0x002;           // always set
constexpr long kFlagLength = 0x010;          // length of a range
constexpr long kFlagAtLength = 0x020;        // the point at a length
constexpr long kFlagNearestOnLines = 0x040;  // nearest point on the lines
constexpr long kFlagMeasureGroup = 0x100;    // carried by the tools' searches
constexpr long kFlagNearestPoint = 0x200;    // nearest vertex
// The forms the tools use.
constexpr long kNearestOnLines = kFlagMeasureGroup | kFlagNearestOnLines | kFlagLines;   // 0x142
constexpr long kNearestVertex = kFlagNearestPoint | kFlagMeasureGroup | kFlagLines;      // 0x302
constexpr long kMeasureLength = kFlagMeasureGroup | kFlagLength | kFlagLines;            // 0x112
constexpr long kPointAtLength = kFlagMeasureGroup | kFlagAtLength | kFlagLines;          // 0x122
constexpr long kDrawOnly = kFlagLines;                                                   // 2

// Mode: the high bit marks a whole-piece search; the low bits say what may
// be snapped to.
constexpr unsigned long kModeWholePiece = 0x80000000UL;
constexpr unsigned long kSnapAllLinesDefault = 0x0;
constexpr unsigned long kSnapOutline = 0x2;
constexpr unsigned long kSnapAllLines = 0x4;
constexpr unsigned long kSnapCode3 = 0x8;
constexpr unsigned long kSnapOutlineVertices = 0xA;

constexpr short kStylePlain = 0;
constexpr short kStyleHighlight = 32;   // a wider pen
constexpr short kStyleWhole = 0xFF;     // the whole piece, as the tools draw it
constexpr short kColourDefault = -1;
constexpr short kDefaultResolution = 40;  // samples per stretch

// Every form takes a matrix; a search or measure in piece millimetres passes
// the identity.
constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

}  // namespace qpcurve

extern "C" {

// ---- Qpkit1: records -------------------------------------------------------

// p = record i of its owner (the pattern for pieces, else the piece); i = 0
// gives the array base. An index out of range gives a null pointer.
void qpGetPieceLptr(PatternBuffer* pattern, short i, Piece** p);
void qpGetPointLptr(Piece* piece, short i, Point** p);
void qpGetCoordLptr(Piece* piece, short i, Coord** p);
void qpGetSegLptr(Piece* piece, short i, Seg** p);
void qpGetLineLptr(Piece* piece, short i, Line** p);
void qpGetFormulaLptr(Piece* piece, short i, Formula** p);
void qpGetRuleLptr(Piece* piece, short i, Rule** p);
void qpGetPRuleLptr(Piece* piece, short i, PRule** p);
void qpGetFRuleLptr(Piece* piece, short i, FRule** p);
void qpGetExtwidLptr(Piece* piece, short i, Extwid** p);
void qpGetCutanglLptr(Piece* piece, short i, Cutangl** p);
void qpGetSPointLptr(Piece* piece, short i, SPoint** p);
// base = start of the formula-text area; n receives charCount.
void qpGetCharLptr(Piece* piece, short* n, char** base);
// The parameter named by one letter (second = 0) or two letters.
void qpGetParaNameLptr(Piece* piece, char first, char second, ParaName** p);

// Append one record: its index is the count before the call.
void qpIncreaseCoord(PatternBuffer* pattern, Piece* piece, Coord** p);
void qpIncreaseFormula(PatternBuffer* pattern, Piece* piece, Formula** p);
void qpIncreaseSegment(PatternBuffer* pattern, Piece* piece, Seg** p);
void qpIncreaseExtwid(PatternBuffer* pattern, Piece* piece, Extwid** p);
void qpIncreaseCutangl(PatternBuffer* pattern, Piece* piece, Cutangl** p);
void qpIncreaseLine(PatternBuffer* pattern, Piece* piece, Seg* seg, Line** p);
// owner: the line (kind 0) or special point (kind 1) the point belongs to.
void qpIncreasePoint(PatternBuffer* pattern, Piece* piece, Seg* seg, short owner,
                     short kind, Point** p);
void qpIncreaseSPoint(PatternBuffer* pattern, Piece* piece, Seg* seg, SPoint** p);
// Reserves length bytes at the end of the formula-text area.
void qpIncreaseString(PatternBuffer* pattern, Piece* piece, short length,
                      short* offset, char** text);

// Insert after index i (the new record is i + 1); later records move up.
void qpInsertPoint(PatternBuffer* pattern, Piece* piece, short i, Point** p);
void qpInsertLine(PatternBuffer* pattern, Piece* piece, short c, Line** p);
void qpInsertPRule(PatternBuffer* pattern, Piece* piece, short i, PRule** p);

// Delete record i; later records move down.
void qpDeletePoint(PatternBuffer* pattern, Piece* piece, short i);
void qpDeleteLine(PatternBuffer* pattern, Piece* piece, short i);
void qpDeleteExtwid(PatternBuffer* pattern, Piece* piece, short i);
// Removes length bytes at offset from the text area; every Formula text
// offset past them is lowered to match. n receives the new charCount.
void qpDeleteString(PatternBuffer* pattern, Piece* piece, short* n, short offset,
                    short length);

// ---- Qpkit3: whole pieces and buffers ---------------------------------------

void qpMemcpy(void* dst, const void* src, long n);
// Appends an empty piece to the pattern; p = the new piece.
void qpIncreasePiece(PatternBuffer* pattern, Piece** p);
void qpDeletePiece(PatternBuffer* pattern, Piece* piece);
// Appends the piece of a one-piece block as the last piece of *patternCell
// and points *pieceCell at it (the pattern may move: *patternCell follows).
void qpAddPiece2Buffer(PatternBuffer** blockCell, Piece** newPieceCell,
                       PatternBuffer** patternCell, Piece** pieceCell, int reserved);

// ---- Qpkit4: point groups ---------------------------------------------------

// Copies points first..last (descending when first > last) of src into dst
// after index `after` (-1: at the start), each with its own Coord and, when
// the piece has formulas, its own Formula and texts. mode: 48, 16, 1, 0x11.
void qpCopyGroupPoint(PatternBuffer* srcPattern, Piece* srcPiece, short first,
                      short last, PatternBuffer* dstPattern, Piece* dstPiece,
                      short after, short mode);
// Puts a point on `line` at (x, y); *index = its point index.
void qpAdjustCurvePoint(HDC hdc, PatternBuffer* pattern, Piece* piece, short line,
                        float x, float y, short* first, short* last, short* index);

// ---- Qpkit: matrices, angles, curves, formulas, text entry ------------------

// mode 0: out = a x b; mode 1: a = a x b in place (out not used).
void qpMultiMatrix(short mode, float* a, const float* b, float* out);
void qpContraMatrix(const float* m, float* out);
// out.x, out.y = (in.x, in.y, 1) x m; only x and y (offsets 4, 8) are used.
void qpTransCoord(Coord* out, const float* m, const Coord* in);
// Direction of (dx, dy) in radians, in (-pi, pi].
double qpAngle(double dx, double dy);
// 1 when the outline turns clockwise (y up), -1 otherwise.
short qpGetPieceClockwise(Piece* piece);
// How a line is drawn between its points is the geometry library's own
// business (our stand-in draws centripetal Catmull-Rom curves and circular
// arcs; the library on Windows may draw otherwise). What the tools rely on
// beyond the forms' meaning (qpcurve above), and all they rely on:
//  - A search (kNearestOnLines) over the points first .. first + count - 1
//    gives the nearest point of the stretches among them and the first
//    point of the stretch that holds it; ties go by the stretches' order. A
//    search of one stretch alone is such a search.
//  - A line's curve is its own: its kind and its points (positions and
//    types, in order) fix it, whatever else the piece holds, so a copy of the
//    line in another piece is the same curve to every search and measure.
//  - A line's curve runs from its first point through its points in order
//    to its last, stretch k from point k to point k + 1, and kMeasureLength
//    over its points gives the length of that curve as the searches see it.
void qpCurve(HDC hdc, Piece* piece, short op, long flags, short style,
             unsigned long mode, short first, short count, short colour,
             short resolution, short* index, float* length, float* x, float* y,
             const float* m);
// Value of a formula text in centimetres (0 for malformed text).
float qpFormulaCalculation(Piece* piece, const char* text);
void qpConvertFloat2String(double value, const char* format, char* out);
void qpEditString(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, short mode,
                  int x, int y, int reserved, int size1, int size2, COLORREF ink,
                  COLORREF paper, short* caret, char* text);

// ---- Qpkit2: formula repair, curve reshaping, drawing -----------------------

// expression = text without its constant numeral term; *rest = that term (cm).
void qpSplitFormulaNumeral(const char* text, char* expression, float* rest);
void qpAdjustFormula(PatternBuffer* pattern, Piece* piece, short first, short last);
void qpModifyCurve2Turnp(PatternBuffer* pattern, Piece* piece, short i);
void qpModifyCurve2Arcp(PatternBuffer* pattern, Piece* piece, short i);
void qpDrawPromptFrame(HDC hdc, RECT client, short one, short style, int* x, int* y,
                       int* width, const char* text);
void qpDrawFrame(HDC hdc, short style, int left, int top, int right, int bottom,
                 COLORREF c1, COLORREF c2, COLORREF c3);
void qpTextOut(HDC hdc, int x, int y, const char* text, int length);

}  // extern "C"

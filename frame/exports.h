// The 14 functions that Qpkit6 exports to the host and to its siblings.
//
// All are __stdcall (QP_WINAPI) with undecorated C names. Results are
// 16-bit; callers read only the low half. Handlers return 1 for a consumed
// message and 0 otherwise. The host owns every record passed in; the store
// owns the records inside the pattern buffer.
#pragma once

#include "frame/qp_api.h"
#include "frame/records.h"
#include "win/win32.h"

extern "C" {

// ---- tool handlers ----------------------------------------------------------
short QP_WINAPI qpHandlePieceSymmatry(HWND hwnd, UINT message, WPARAM wParam,
                                      LPARAM lParam, HostView* view, HostDoc* doc);

// Host callback drawing a button image: (hdc, image, pressed 0/1, x, y).
typedef void(QP_WINAPI* DrawButtonProc)(HDC hdc, int image, int pressed, int x, int y);
short QP_WINAPI qpHandlePieceFold(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                  DrawButtonProc drawButton, PatternBuffer** patternCell,
                                  Piece** pieceCell, short* pieceIndexCell, void* unused,
                                  HostView* view, const float* viewMatrix);
short QP_WINAPI qpHandlePieceItaly(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                   void* unused1, PatternBuffer** patternCell,
                                   Piece** pieceCell, void* unused2, void* unused3,
                                   HostView* view, const float* viewMatrix);
short QP_WINAPI qpHandleIncreasePoint(HWND hwnd, UINT message, WPARAM wParam,
                                      LPARAM lParam, DLGPROC dialogProc, char* dialogText,
                                      HostView* view, HostDoc* doc);
short QP_WINAPI qpHandleGapMove(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                PatternBuffer* pattern, short pieceIndex, HostView* view,
                                const float* viewMatrix);
short QP_WINAPI qpHandleGapFold(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                PatternBuffer* pattern, short* pieceIndexCell,
                                GapFoldRecord* fold, HostView* view, const float* viewMatrix);

// ---- services ---------------------------------------------------------------
// Reshapes the points strictly between first and last so that the curve
// through first..last is `target` millimetres long. 0: refused.
short QP_WINAPI qpAdjustCurveLength(HWND hwnd, PatternBuffer* pattern, Piece* piece,
                                    short first, short last, float target);
// Inserts a twin of point i right after it; the twin's index, or 0.
short QP_WINAPI qpInsertSamePoint(PatternBuffer* pattern, Piece* piece, short i,
                                  Point** result);
// Gives `target` formula texts that reproduce (x, y) (mm) from the formulas of
// point a, or of a and b blended (flags bit 0). Always 1.
short QP_WINAPI qpCalcuPointFormula(PatternBuffer* pattern, Piece* piece, Formula* target,
                                    short a, short b, float x, float y, short flags);

// ---- formula text (texts rewritten in place; status 1 done, 0 refused and
// left unchanged, -1 a divisor below 1e-05 was taken as 1) ---------------------
float QP_WINAPI qpAtof(const char* text);
short QP_WINAPI qpPackExpression(char* text);
short QP_WINAPI qpPackBracketsExpression(char* text);
short QP_WINAPI qpSpreadBracketsExpression(char* text);
short QP_WINAPI qpCalcuSubExpression(char* text, char op, float factor);

}  // extern "C"

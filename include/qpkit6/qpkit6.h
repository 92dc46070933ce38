/* Qpkit6: the 14 functions the library exports to a host program, with their
 * calling convention, and (records.h) the records a host passes to them.
 * Public: the one header a host includes; nothing of the library's insides.
 *
 * All 14 are __stdcall (QP_WINAPI) with plain, undecorated names, so a host
 * may also find them with GetProcAddress(module, "qpAtof"). Results are
 * 16-bit; a caller reads only the low half. Tool handlers return 1 for a
 * consumed message and 0 otherwise; how a host's window procedure calls them
 * is in HOST.md. The host owns every record passed in; the pattern store
 * owns the records inside the pattern buffer. Plain C (C11) or C++.
 */
#ifndef QPKIT6_H
#define QPKIT6_H

#if defined(_WIN32)
#  include <windows.h>
#else
/* The library's own Linux build declares the same Win32 names itself. */
#  include "win/win32.h"
#endif

#include "records.h"

/* The convention of every export: changing it here changes all 14 at once,
 * and nothing else spells it out. */
#if defined(_WIN32)
#  define QP_WINAPI __stdcall
#elif defined(__i386__)
#  define QP_WINAPI __attribute__((stdcall))
#else
#  define QP_WINAPI /* x86-64 has a single calling convention */
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- tool handlers: called by the host's window procedure, one message at
 * a time, while the tool is selected ---------------------------------------- */
short QP_WINAPI qpHandlePieceSymmatry(HWND hwnd, UINT message, WPARAM wParam,
                                      LPARAM lParam, HostView* view, HostDoc* doc);

/* Host callback drawing a button image: (hdc, image, pressed 0/1, x, y). */
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

/* ---- services ---------------------------------------------------------------- */
/* Reshapes the points strictly between first and last so that the curve
 * through first..last is `target` millimetres long. 0: refused. */
short QP_WINAPI qpAdjustCurveLength(HWND hwnd, PatternBuffer* pattern, Piece* piece,
                                    short first, short last, float target);
/* Inserts a twin of point i right after it; the twin's index, or 0. */
short QP_WINAPI qpInsertSamePoint(PatternBuffer* pattern, Piece* piece, short i,
                                  Point** result);
/* Gives `target` formula texts that reproduce (x, y) (mm) from the formulas of
 * point a, or of a and b blended (flags bit 0). Always 1. */
short QP_WINAPI qpCalcuPointFormula(PatternBuffer* pattern, Piece* piece, Formula* target,
                                    short a, short b, float x, float y, short flags);

/* ---- formula text (centimetres). Texts are rewritten in place, never longer
 * than 99 characters or than the text given, so a 100-byte buffer holds any
 * result. Status 1 done, 0 refused and left unchanged, -1 a divisor below
 * 1e-05 was taken as 1 ---------------------------------------------------------- */
float QP_WINAPI qpAtof(const char* text);
short QP_WINAPI qpPackExpression(char* text);
short QP_WINAPI qpPackBracketsExpression(char* text);
short QP_WINAPI qpSpreadBracketsExpression(char* text);
short QP_WINAPI qpCalcuSubExpression(char* text, char op, float factor);

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* QPKIT6_H */

// The Win32 types, constants and calls that Qpkit6 and its siblings use.
//
// On Windows this is <windows.h>. Elsewhere it declares the same names, which
// the desktop stand-in (desktop.cpp) implements: one scriptable window whose
// cursor and client rectangle the tests and the host set, a log of every GDI
// call, recorded message boxes and dialogs, and movable global memory whose
// blocks know their sizes. Client coordinates are pixels, y down.
#pragma once

#if defined(_WIN32)
// The lean set, and without the macros that would rewrite ordinary names in
// our sources: min and max (std::min), near and far (16-bit pointer
// qualifiers, empty since; FAR and NEAR stay defined).
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#  undef near
#  undef far
#else

#include <cstdint>

#if defined(__i386__)
#  define WINAPI __attribute__((stdcall))
#else
#  define WINAPI
#endif
#define CALLBACK WINAPI

typedef int32_t BOOL;
typedef int32_t LONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;
typedef uintptr_t SIZE_T;
typedef uint32_t COLORREF;
typedef const char* LPCSTR;

struct WinHandle_;  // opaque: every handle is a pointer to one of these
typedef WinHandle_* HANDLE;
typedef HANDLE HWND;
typedef HANDLE HDC;
typedef HANDLE HGDIOBJ;
typedef HANDLE HPEN;
typedef HANDLE HBRUSH;
typedef HANDLE HINSTANCE;
typedef HANDLE HGLOBAL;

struct POINT { LONG x; LONG y; };
struct RECT { LONG left; LONG top; LONG right; LONG bottom; };
typedef POINT* LPPOINT;
typedef RECT* LPRECT;

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#ifndef TRUE
#  define TRUE 1
#  define FALSE 0
#endif

// Messages and keys.
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
constexpr UINT WM_CANCELMODE = 0x001F;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_TIMER = 0x0113;
constexpr int VK_BACK = 0x08;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_HOME = 0x24;
constexpr int VK_END = 0x23;
constexpr int VK_F23 = 0x86;
constexpr int VK_F24 = 0x87;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// GDI.
constexpr int R2_XORPEN = 7;
constexpr int R2_COPYPEN = 13;
constexpr int PS_SOLID = 0;
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
constexpr int NULL_PEN = 8;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// User32 odds and ends.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_ICONERROR = 0x10;
constexpr int GWL_HINSTANCE = -6;

// Global memory.
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;

inline LPCSTR MAKEINTRESOURCEA_(int id) { return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id)); }
#define RGB(r, g, b) ((COLORREF)(((uint8_t)(r)) | (((uint32_t)(uint8_t)(g)) << 8) | (((uint32_t)(uint8_t)(b)) << 16)))

extern "C" {
// USER32
BOOL WINAPI GetCursorPos(LPPOINT p);
BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT p);
BOOL WINAPI GetClientRect(HWND hwnd, LPRECT r);
HDC WINAPI GetDC(HWND hwnd);
int WINAPI ReleaseDC(HWND hwnd, HDC hdc);
BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* r, BOOL erase);
int WINAPI MessageBoxA(HWND hwnd, LPCSTR text, LPCSTR caption, UINT type);
INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC proc, LPARAM init);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
UINT WINAPI GetDlgItemTextA(HWND dialog, int item, char* text, int size);
LONG WINAPI GetWindowLongA(HWND hwnd, int index);
LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// GDI32
HPEN WINAPI CreatePen(int style, int width, COLORREF colour);
HBRUSH WINAPI CreateSolidBrush(COLORREF colour);
HGDIOBJ WINAPI GetStockObject(int object);
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object);
BOOL WINAPI DeleteObject(HGDIOBJ object);
int WINAPI SetROP2(HDC hdc, int mode);
int WINAPI SetBkMode(HDC hdc, int mode);
COLORREF WINAPI SetTextColor(HDC hdc, COLORREF colour);
BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR text, int length);
BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT previous);
BOOL WINAPI LineTo(HDC hdc, int x, int y);
BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom);
BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
// KERNEL32
HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes);
void* WINAPI GlobalLock(HGLOBAL block);
BOOL WINAPI GlobalUnlock(HGLOBAL block);
HGLOBAL WINAPI GlobalHandle(const void* locked);
HGLOBAL WINAPI GlobalFree(HGLOBAL block);
SIZE_T WINAPI GlobalSize(HGLOBAL block);
}  // extern "C"

#endif  // !_WIN32

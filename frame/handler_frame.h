// The tool-handler frame: what every interactive tool does the same way.
//
// Matrices are 3x3 floats, row-major, applied to row vectors (x, y, 1) with
// the translation in the third row. Piece coordinates are millimetres, y up;
// client coordinates are pixels, y down. Device contexts, pens and brushes
// live within one message: every helper here that takes a DC leaves its
// selection as it found it and deletes what it created.
#pragma once

#include "frame/records.h"
#include "win/win32.h"

namespace frame {

constexpr float kPickRadiusMm = 30.0f;    // a pick farther from the outline is ignored
constexpr float kPartMatchMm = 0.1f;      // snapped point vs part search, per axis
// A part matches when its nearest point lies within kPartMatchMm per axis,
// so less than kPartMatchMm x sqrt(2) away: a search whose nearest point
// (rounded to float, a few thousandths of a millimetre at 100 m) lies
// farther than this matches nothing.
constexpr double kNoMatchBeyondMm = 0.2;
constexpr int kPromptBarHeight = 30;      // pixels kept for the prompt bar
constexpr int kMarkerRadius = 6;          // pixels
constexpr COLORREF kRubberColour = 0xFFFF;

// The identity matrix.
void identity(float m[9]);
// Rotation by theta (radians) about (px, py): applied with qpTransCoord it
// gives x' = px + (x - px) cos - (y - py) sin, y' = py + (x - px) sin + (y - py) cos.
void rotationAbout(double theta, double px, double py, float m[9]);
// Applies m to (x, y) through qpTransCoord.
void transform(const float m[9], float& x, float& y);

// The four matrices of a tool run.
struct ViewMatrices {
    float flip[9];           // client y-down <-> view y-up, H = client bottom
    float viewFlip[9];       // view x flip
    float pieceToScreen[9];  // placement x viewFlip
    float screenToPiece[9];  // inverse of pieceToScreen
    float identity[9];
};
// Builds them from the window's client rectangle, the host's view matrix and
// the piece's placement.
void buildViewMatrices(HWND hwnd, const float* view, const Piece* piece, ViewMatrices& out);

// The cursor's client position (GetCursorPos + ScreenToClient).
POINT cursorClient(HWND hwnd);
// The cursor in piece coordinates.
void cursorToPiece(HWND hwnd, const float screenToPiece[9], float& x, float& y);
// A piece position as a client pixel, truncated toward zero as the tools do.
POINT pieceToClient(const float pieceToScreen[9], float x, float y);

// Finds the first part k (points k, k + 1; k = 0 .. pointCount - 2) whose
// nearest point to (x, y) lies within kPartMatchMm of (x, y) in x and in y.
// Returns -1 when no part matches.
short findPart(Piece* piece, float x, float y, const float identity[9]);

// A pick: snaps (x, y) to the nearest point of the lines that `snap`
// allows (qpcurve::kSnap..., searched over the whole piece) and returns the
// part that holds the snapped point. -1 when the snapped point lies farther
// than kPickRadiusMm (exactly the radius is accepted) or no part holds it.
short pickPart(Piece* piece, float x, float y, unsigned long snap, const float identity[9]);

// XOR feedback. The marker is a filled circle of kMarkerRadius around (x, y);
// drawing it twice erases it. Both select their objects, draw, deselect and
// delete them.
void drawMarker(HDC hdc, int x, int y, COLORREF brushColour);
void drawRubberLine(HDC hdc, POINT from, POINT to, COLORREF colour = kRubberColour);

// The prompt bar along the top of the client area, with the tool's own text
// position and width cells.
struct PromptCells {
    int x = 0;
    int y = 0;
    int width = 0;
};
void showPrompt(HWND hwnd, short style, PromptCells& cells, const char* text);
void showPromptOn(HDC hdc, HWND hwnd, short style, PromptCells& cells, const char* text);

// Paints the client area below the prompt bar white (a tool's first
// drawing of its run), in copy mode, and leaves the DC as it found it.
void fillBelowPrompt(HDC hdc, HWND hwnd);

// An error the user must see, under the system's caption.
void showError(HWND hwnd, const char* text);

// Invalidation after an edit: the whole client area, or the client area
// below the prompt bar (the bar is left untouched).
void invalidateAll(HWND hwnd);
void invalidateBelowPrompt(HWND hwnd);

// Number entry through the edit field; the host's finish key
// (kFinishKey, host_protocol.h) ends it.
struct NumberEntry {
    int x = 0;
    int y = 0;
    int size1 = 10;
    int size2 = 20;
    short caret = 0;
    char text[32] = {};
    bool open = false;
};
void openEntry(HWND hwnd, NumberEntry& entry, int x, int y, int size1, int size2,
               COLORREF ink, COLORREF paper);
// Passes a message to the open field (edit mode).
void feedEntry(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, NumberEntry& entry);
// Closes the field and converts its text with the standard atof.
double finishEntry(NumberEntry& entry);

// Typed numbers (widths, increases, lengths, sizes; centimetres), in every
// tool: an optional sign, then digits with at most one decimal point and at
// least one digit, nothing else (no spaces, exponents, "inf" or "nan"), and at
// most kMaxTypedCm in magnitude. Returns false, leaving `cm` untouched, for
// anything else; a null text is refused.
constexpr double kMaxTypedCm = 1000.0;
bool readTypedNumber(const char* text, double& cm);

}  // namespace frame

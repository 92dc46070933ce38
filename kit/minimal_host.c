/* A minimal host of Qpkit6: it loads the library with LoadLibrary and
 * GetProcAddress, owns a window whose window procedure hands every message
 * to the selected tool's handler first, and runs the piece-symmetry tool on
 * a half back: the user's mouse move and click on the centre back are sent
 * as the system would send them. HOST.md explains each step.
 *
 * Build it from the kit's folder (i686 MinGW shown; any 32-bit Windows C
 * compiler will do):
 *   i686-w64-mingw32-gcc -std=c11 -Iinclude examples/minimal_host.c
 *       -o bin/minimal_host.exe -luser32 -lgdi32
 * and run it in bin/, beside Qpkit6.dll and the five sibling DLLs. It prints
 * what happened and exits with 0 when the half back became a whole back.
 */
#include <qpkit6/qpkit6.h>

#include <stdio.h>
#include <string.h>

/* ---- the library ------------------------------------------------------------ */

/* An export found by name, as the function type it has (through
 * void (*)(void), the generic function pointer type). */
#define PROC(type, module, name) ((type)(void (*)(void))GetProcAddress(module, name))

typedef short(QP_WINAPI* SymmetryHandler)(HWND, UINT, WPARAM, LPARAM, HostView*, HostDoc*);

static SymmetryHandler symmetry;  /* the selected tool's handler, or null */

/* ---- the host's records: one HostView and one HostDoc for the document ------ */

static HostView view;
static HostDoc doc;
static int repaints;

/* Pattern millimetres (y up) to client pixels (y down): x + 100, 500 - y.
 * The tools that take HostDoc use viewMatrixA x viewMatrixB as it is. */
static const float kView[9] = {1, 0, 0, 0, -1, 0, 100, 500, 1};
static const float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

static Piece* pieceOf(PatternBuffer* pattern, int i) {
    const int32_t* offsets = (const int32_t*)((char*)pattern + 20); /* pieceOffset[] */
    return (Piece*)((char*)pattern + offsets[i]);
}

/* ---- the store: the host's pattern ------------------------------------------
 * The pattern belongs to the host and its store (the sibling libraries). Here
 * the store's own operations draft a half back, as they would when a user
 * draws one: seven outline points, six straight lines, no formulas. */

typedef void (*IncreasePieceProc)(PatternBuffer*, Piece**);
typedef void (*IncreaseSegmentProc)(PatternBuffer*, Piece*, Seg**);
typedef void (*IncreaseLineProc)(PatternBuffer*, Piece*, Seg*, Line**);
typedef void (*IncreasePointProc)(PatternBuffer*, Piece*, Seg*, short, short, Point**);
typedef void (*IncreaseCoordProc)(PatternBuffer*, Piece*, Coord**);
typedef void (*GetSegProc)(Piece*, short, Seg**);
typedef void (*GetPointProc)(Piece*, short, Point**);

static PatternBuffer* draftHalfBack(void) {
    static const float kOutline[][2] = {{0, 0}, {0, 380}, {75, 400}, {200, 372}, {232, 200}, {210, 0}, {0, 0}};
    const short n = (short)(sizeof kOutline / sizeof kOutline[0]);
    HMODULE records = GetModuleHandleA("Qpkit1.dll"), pieces = GetModuleHandleA("Qpkit3.dll");
    IncreasePieceProc increasePiece = PROC(IncreasePieceProc, pieces, "qpIncreasePiece");
    IncreaseSegmentProc increaseSegment = PROC(IncreaseSegmentProc, records, "qpIncreaseSegment");
    IncreaseLineProc increaseLine = PROC(IncreaseLineProc, records, "qpIncreaseLine");
    IncreasePointProc increasePoint = PROC(IncreasePointProc, records, "qpIncreasePoint");
    IncreaseCoordProc increaseCoord = PROC(IncreaseCoordProc, records, "qpIncreaseCoord");
    GetSegProc getSeg = PROC(GetSegProc, records, "qpGetSegLptr");
    GetPointProc getPoint = PROC(GetPointProc, records, "qpGetPointLptr");
    if (!increasePiece || !increaseSegment || !increaseLine || !increasePoint || !increaseCoord || !getSeg ||
        !getPoint)
        return NULL;

    /* An empty pattern in a movable global block, used locked; the store
     * grows pieces inside it up to the block's size. */
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64 * 1024);
    PatternBuffer* pattern = (PatternBuffer*)GlobalLock(block);
    pattern->kind = 1;
    pattern->headerSize = 20;
    pattern->totalSize = 20;

    Piece* piece;
    Seg* seg;
    Line* line;
    Point* point;
    Coord* coord;
    increasePiece(pattern, &piece);
    increaseSegment(pattern, piece, &seg);
    seg->code = 1; /* the outline */
    /* Record pointers die at every operation that adds records: each is
     * fetched again before use. Line i runs from point i to point i + 1: a
     * turning point ends one line and starts the next. */
    getSeg(piece, 0, &seg);
    increaseLine(pattern, piece, seg, &line);
    for (short i = 0; i < n; ++i) {
        getSeg(piece, 0, &seg);
        increasePoint(pattern, piece, seg, (short)(i > 0 ? i - 1 : 0), 0, &point);
        if (i > 0 && i < n - 1) {
            getSeg(piece, 0, &seg);
            increaseLine(pattern, piece, seg, &line);
            line->firstPoint = i;
            line->pointCount = 1;
        }
    }
    /* With every line in place (a new line renumbers the line references
     * of the points), each point's lines and coordinates. */
    for (short i = 0; i < n; ++i) {
        increaseCoord(pattern, piece, &coord);
        coord->pointIndex = i;
        coord->x = kOutline[i][0];
        coord->y = kOutline[i][1];
        getPoint(piece, i, &point);
        point->type = i == 0 ? 'S' : 'K';
        point->lineIn = (short)(i > 0 ? i - 1 : -1);
        point->lineOut = (short)(i < n - 1 ? i : -1);
        point->coordIndex = i;
    }
    return pattern;
}

/* ---- the window ----------------------------------------------------------- */

static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    /* The selected tool sees every message first, unchanged; 1 means it
     * consumed it. */
    if (symmetry) {
        const short handled = symmetry(hwnd, message, wParam, lParam, &view, &doc);
        if (doc.notice == 108) {
            /* The tool replaced the pattern and freed the old block: every
             * pointer into it (pieces, records) is dead. The document's
             * pattern is doc.pattern from here on. */
            doc.notice = 0;
            printf("notice 108: the pattern was replaced\n");
        }
        if (view.symmetryStep == 0) symmetry = NULL; /* the run is over */
        if (handled) return 0;
    }
    switch (message) {
    case WM_PAINT: {
        /* The tools invalidate the window after an edit: the host draws the
         * pattern again from its records (left out here). */
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        ++repaints;
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

/* What the user does: the cursor to a pattern position, then a message. The
 * tools read the cursor with GetCursorPos, so it is really moved there. */
static void pointerMessage(HWND hwnd, UINT message, float x, float y) {
    POINT at = {(LONG)(x * kView[0] + y * kView[3] + kView[6]), (LONG)(x * kView[1] + y * kView[4] + kView[7])};
    const LPARAM where = MAKELPARAM(at.x, at.y);
    ClientToScreen(hwnd, &at);
    SetCursorPos(at.x, at.y);
    SendMessageA(hwnd, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, where);
}

int main(void) {
    HMODULE library = LoadLibraryA("Qpkit6.dll");
    if (!library) {
        printf("Qpkit6.dll did not load (error %lu)\n", GetLastError());
        return 1;
    }
    const SymmetryHandler handler = PROC(SymmetryHandler, library, "qpHandlePieceSymmatry");
    PatternBuffer* pattern = draftHalfBack();
    if (!handler || !pattern) {
        printf("an export of Qpkit6.dll or of the store is missing\n");
        return 1;
    }
    const short halfPoints = pieceOf(pattern, 0)->pointCount;

    /* The document: the pattern in both cells, a locked copy of it (the
     * tools that edit the pattern free the copy and make a new one), the
     * current piece and the view. */
    HGLOBAL copyBlock = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)pattern->totalSize);
    doc.patternCopy = (PatternBuffer*)GlobalLock(copyBlock);
    memcpy(doc.patternCopy, pattern, (size_t)pattern->totalSize);
    doc.pattern = doc.patternView = pattern;
    doc.currentPiece = 0;
    memcpy(doc.viewMatrixA, kView, sizeof kView);
    memcpy(doc.viewMatrixB, kIdentity, sizeof kIdentity);

    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = "Qpkit6MinimalHost";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "Qpkit6 minimal host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 600,
                                NULL, NULL, wc.hInstance, NULL);
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    const int repaintsBefore = repaints;

    /* The user picks the symmetry tool: its step word goes to 1, and from
     * now on the window procedure hands it every message. */
    view.symmetryStep = 1;
    symmetry = handler;
    pointerMessage(hwnd, WM_MOUSEMOVE, 0, 190);   /* the first move prepares the run */
    pointerMessage(hwnd, WM_LBUTTONDOWN, 0, 190); /* a click on the centre back mirrors */
    UpdateWindow(hwnd);                           /* the repaint the tool asked for */

    const short wholePoints = pieceOf(doc.pattern, 0)->pointCount;
    printf("half back: %d points; after the symmetry tool: %d points; step word %d; %s\n", halfPoints, wholePoints,
           view.symmetryStep, repaints > repaintsBefore ? "the window was repainted" : "no repaint");
    const int done = wholePoints > halfPoints && view.symmetryStep == 0 && repaints > repaintsBefore &&
                     doc.pattern != pattern;
    DestroyWindow(hwnd);
    return done ? 0 : 1;
}

// The tool table of the replay: one entry per tool handler of the library.
//
// On Linux the handlers are referenced weakly, so that the host builds and
// runs against a library that does not have every tool yet: a tool whose
// handler is missing is listed as not available, and the demo leaves it out.
// On Windows they come from Qpkit6.dll's import library, all of them.
//
// Each entry says how the host starts the run (the step words it sets), how
// it calls the handler with its own records, how it sees that the run is
// over, and how it ends a run that is not (the host switching tools).
#include <cstring>

#include "frame/exports.h"
#include "frame/host_protocol.h"
#include "frame/siblings.h"
#include "host/replay.h"
#include "pieces/pleat_table.h"
#include "pieces/point_increase.h"
#include "win/length_input.h"

#if !defined(_WIN32)
#pragma weak qpHandlePieceSymmatry
#pragma weak qpHandlePieceFold
#pragma weak qpHandlePieceItaly
#pragma weak qpHandleIncreasePoint
#pragma weak qpHandleGapMove
#pragma weak qpHandleGapFold
#endif

namespace host {

namespace {

// Whether the library has a handler: a weak reference is null when it does
// not (on Windows the import library names them all).
template <typename Handler>
bool present(Handler* handler) {
    return handler != nullptr;
}

// The host's button images for the pleat table: a framed face of the
// table's button size, sunk when pressed; the apply image is a tick, the
// cancel image a cross.
void QP_WINAPI drawButton(HDC hdc, int image, int pressed, int x, int y) {
    HBRUSH face = CreateSolidBrush(pressed ? 0x808080 : 0xC0C0C0);
    HGDIOBJ oldBrush = SelectObject(hdc, face);
    Rectangle(hdc, x, y, x + pleat::kButtonSize, y + pleat::kButtonSize);
    const bool apply = image == pleat::kApplyImage;
    HPEN ink = CreatePen(PS_SOLID, 2, apply ? 0x008000 : 0x0000C0);
    HGDIOBJ oldPen = SelectObject(hdc, ink);
    int d = pressed ? 1 : 0;
    if (apply) {
        MoveToEx(hdc, x + 5 + d, y + 12 + d, nullptr);
        LineTo(hdc, x + 10 + d, y + 18 + d);
        LineTo(hdc, x + 19 + d, y + 6 + d);
    } else {
        MoveToEx(hdc, x + 6 + d, y + 6 + d, nullptr);
        LineTo(hdc, x + 18 + d, y + 18 + d);
        MoveToEx(hdc, x + 18 + d, y + 6 + d, nullptr);
        LineTo(hdc, x + 6 + d, y + 18 + d);
    }
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
    DeleteObject(ink);
    DeleteObject(face);
}

// The host's dialog procedure for "LENGTHINPUTDLG": on OK it copies the
// typed text into the host's text buffer, which the point-increase tool
// reads after the dialog. On Cancel the buffer keeps its last text, as a
// Windows dialog that writes nothing would leave it.
INT_PTR CALLBACK lengthDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    constexpr int kEditItem = QP_LENGTH_INPUT_EDIT;
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    HostSession* dialogSession = HostSession::active();
    if (wParam == static_cast<WPARAM>(IDOK)) {
        if (dialogSession) {
            char text[sizeof dialogSession->dialogText];
            UINT n = GetDlgItemTextA(dialog, kEditItem, text, static_cast<int>(sizeof text));
            text[n < sizeof text ? n : sizeof text - 1] = '\0';
            std::memcpy(dialogSession->dialogText, text, sizeof text);
            dialogSession->say(std::string("dialog LENGTHINPUTDLG: answered \"") + text + "\"");
        }
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (wParam == static_cast<WPARAM>(IDCANCEL)) {
        if (dialogSession) dialogSession->say("dialog LENGTHINPUTDLG: cancelled (no answer in the script)");
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// ---- sleeve cap (qpHandlePieceItaly) ----------------------------------------
// The tool leaves italyStep at 5 after its work; the host takes the
// invalidation that ends the work in step 5 as the end of the run and sets
// the step word and pickState back to 0.
void italyStart(HostSession& s) {
    s.view.italyStep = 1;
    s.view.pickState = 1;
}
short italyCall(HostSession& s, UINT m, WPARAM w, LPARAM l) {
    return qpHandlePieceItaly(s.hwnd, m, w, l, nullptr, &s.patternCell, &s.pieceCell, nullptr, nullptr, &s.view,
                              s.viewMatrix);
}
bool italyFinished(HostSession& s, bool invalidated) {
    if (s.view.italyStep == 5 && invalidated) {
        s.view.italyStep = 0;
        s.view.pickState = 0;
        return true;
    }
    return false;
}
void italyStop(HostSession& s) {
    // A number entry left open would keep the edit field's pointer to the
    // handler's buffer; close it as the handler would.
    if (s.view.italyStep == 5) qpEditString(s.hwnd, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr);
    s.view.italyStep = 0;
    s.view.pickState = 0;
}

// The step words `set` may give: one per tool, and the fold record's phase.
void italyStepWord(HostSession& s, int16_t v) { s.view.italyStep = v; }
void symmetryStepWord(HostSession& s, int16_t v) { s.view.symmetryStep = v; }
void pieceFoldStepWord(HostSession& s, int16_t v) { s.view.pieceFoldStep = v; }
void increaseModeWord(HostSession& s, int16_t v) { s.view.increaseMode = v; }
void gapMoveStepWord(HostSession& s, int16_t v) { s.view.gapMoveStep = v; }
void gapFoldStepWord(HostSession& s, int16_t v) { s.view.gapFoldStep = v; }
void foldPhaseWord(HostSession& s, int16_t v) { s.fold.foldPhase = v; }

// ---- piece symmetry (qpHandlePieceSymmatry) --------------------------------
void symmetryStart(HostSession& s) { s.view.symmetryStep = 1; }
short symmetryCall(HostSession& s, UINT m, WPARAM w, LPARAM l) {
    return qpHandlePieceSymmatry(s.hwnd, m, w, l, &s.view, &s.hostDoc);
}
bool symmetryFinished(HostSession& s, bool) { return s.view.symmetryStep == 0; }
void symmetryStop(HostSession& s) { s.view.symmetryStep = 0; }

// ---- pleat spread (qpHandlePieceFold) ---------------------------------------
void pleatStart(HostSession& s) { s.view.pieceFoldStep = 1; }
short pleatCall(HostSession& s, UINT m, WPARAM w, LPARAM l) {
    const short before = s.pieceIndex;
    const short r = qpHandlePieceFold(s.hwnd, m, w, l, drawButton, &s.patternCell, &s.pieceCell, &s.pieceIndex,
                                      nullptr, &s.view, s.viewMatrix);
    if (s.pieceIndex != before) {
        // Apply deletes the current piece and appends the rebuilt one: its
        // name moves to the end with it, and the document takes the index
        // the tool wrote into the piece index cell.
        std::vector<std::string>& names = s.doc.names;
        const std::string name = before < static_cast<short>(names.size()) ? names[static_cast<size_t>(before)] : "";
        if (before < static_cast<short>(names.size())) names.erase(names.begin() + before);
        names.resize(static_cast<size_t>(s.pieceIndex > 0 ? s.pieceIndex : 0));
        names.push_back(name);
        s.hostDoc.currentPiece = s.pieceIndex;
    }
    return r;
}
bool pleatFinished(HostSession& s, bool) { return s.view.pieceFoldStep == 0; }
void pleatStop(HostSession& s) {
    if (s.view.pieceFoldStep == 2) qpEditString(s.hwnd, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, nullptr, nullptr);
    s.view.pieceFoldStep = 0;
}
// A click on the pleat table (its layout is the tool's: pleat_table.h) aims
// at the middle of the button, or of the width cell in row r.
bool pleatControl(const ScriptCommand& c, POINT& at) {
    using namespace pleat;
    if (c.op == ScriptOp::Button) {
        const int button = c.word == "apply" ? kApplyX : kCancelX;
        at = POINT{kLeft + button + kButtonSize / 2, kTop + kButtonY + kButtonSize / 2};
    } else {
        const int cell = c.word == "start" ? kStartCell : kEndCell;
        at = POINT{kLeft + cell + kCellWidth / 2, rowTop(c.number) + kRowHeight / 2};
    }
    return true;
}

// ---- point increase (qpHandleIncreasePoint) ---------------------------------
// The tool has no step word: the host picks the mode (set increaseMode N)
// and starts tracking with pickState 1; the run lasts until the host ends
// it. Its dialog answers come from the script (answer TEXT).
void increaseStart(HostSession& s) { s.view.pickState = 1; }
short increaseCall(HostSession& s, UINT m, WPARAM w, LPARAM l) {
    return qpHandleIncreasePoint(s.hwnd, m, w, l, lengthDialog, s.dialogText, &s.view, &s.hostDoc);
}
bool increaseFinished(HostSession&, bool) { return false; }
void increaseStop(HostSession& s) {
    // WM_CANCELMODE tells the tool that its run is over: it frees the
    // outline snapshot of an inner line begun in mode 8.
    increaseCall(s, WM_CANCELMODE, 0, 0);
    s.view.pickState = 0;
    s.view.increaseMode = 0;
}
// The tool tells the host that an inner line is finished with WM_COMMAND 32.
void increaseCommand(HostSession& s, WPARAM command) {
    if (command == frame::kCmdLineEnded)
        s.say("host: the inner line is finished (WM_COMMAND 32); the window is repainted");
}

// ---- dart transfer (qpHandleGapMove) ----------------------------------------
void gapMoveStart(HostSession& s) {
    s.view.gapMoveStep = 1;
    s.view.pickState = 0;
}
short gapMoveCall(HostSession& s, UINT m, WPARAM w, LPARAM l) {
    return qpHandleGapMove(s.hwnd, m, w, l, s.patternCell, s.pieceIndex, &s.view, s.viewMatrix);
}
// The tool ends its run by setting its step word back to 0 (a refusal that
// keeps the tool invalidates the window too, to clear the highlights).
bool gapMoveFinished(HostSession& s, bool) { return s.view.gapMoveStep == 0; }
void gapMoveStop(HostSession& s) {
    s.view.gapMoveStep = 0;
    s.view.pickState = 0;
}

// ---- dart fold (qpHandleGapFold) --------------------------------------------
// Fold phase with foldPhase 1 and pickState 1; the host then leaves the fold
// piece current, and the script's `unfold` sets foldPhase 2 for the click
// that unfolds. The run is over when the unfold has set foldPhase back to 0.
void gapFoldStart(HostSession& s) {
    s.fold.foldPhase = 1;
    s.view.pickState = 1;
    s.view.gapFoldStep = 1;
}
short gapFoldCall(HostSession& s, UINT m, WPARAM w, LPARAM l) {
    const short before = s.pieceIndex;
    const short r = qpHandleGapFold(s.hwnd, m, w, l, s.patternCell, &s.pieceIndex, &s.fold, &s.view, s.viewMatrix);
    // The fold makes the fold piece current and the unfold the source piece
    // again, through the piece index cell: the document follows.
    if (s.pieceIndex != before) s.hostDoc.currentPiece = s.pieceIndex;
    return r;
}
bool gapFoldFinished(HostSession& s, bool) { return s.fold.foldPhase == 0; }
void gapFoldStop(HostSession& s) {
    // A run ended before its fold may have inserted the mouth's middle point
    // for neighbouring legs: WM_CANCELMODE has the tool take it out again.
    gapFoldCall(s, WM_CANCELMODE, 0, 0);
    s.fold.foldPhase = 0;
    s.view.pickState = 0;
    s.view.gapFoldStep = 0;
}

}  // namespace

// The point-increase modes by their names (pieces/point_increase.h).
std::vector<NamedValue> increaseModes() {
    std::vector<NamedValue> modes;
    for (const increase::ModeText& m : increase::kModeTexts) modes.push_back({m.mode, m.name, m.click});
    return modes;
}

// What the host sets a step word to: 1 starts the tool's run, 0 ends it.
constexpr const char* kStepValues = "1 starts the run, 0 ends it";

const std::vector<ToolEntry>& toolTable() {
    static const std::vector<ToolEntry> table = {
        {"italy", "sleeve-cap", "sleeve cap",
         "Lengthens a sleeve cap: click the cap curve's two end points, then the point where it is cut; type the "
         "increase in cm and press F24. The cap is cut there, opened and reshaped to its length plus the increase.",
         "qpHandlePieceItaly", [] { return present(qpHandlePieceItaly); }, italyStart, italyCall, italyFinished,
         italyStop, {{"italyStep", italyStepWord, 0, 1, kStepValues}}},
        {"symmetry", "mirror", "piece symmetry",
         "Makes a half piece whole: click the outline line it is mirrored about (the centre line); the pattern is "
         "replaced by one with the whole piece. In a pattern of kind 11 or 13 every piece whose group flag is set "
         "is mirrored about its line of the same index.",
         "qpHandlePieceSymmatry", [] { return present(qpHandlePieceSymmatry); }, symmetryStart, symmetryCall,
         symmetryFinished, symmetryStop, {{"symmetryStep", symmetryStepWord, 0, 1, kStepValues}}},
        {"pleat", "pleat-spread", "pleat spread",
         "Spreads a piece along pleat lines: click up to 20 inner lines of two points; type each end's spread width "
         "(cm) into the table's cells (cell ROW start|end); button apply cuts and opens the piece, which becomes the "
         "last piece.",
         "qpHandlePieceFold", [] { return present(qpHandlePieceFold); }, pleatStart, pleatCall, pleatFinished,
         pleatStop, {{"pieceFoldStep", pieceFoldStepWord, 0, 1, kStepValues}}, pleatControl},
        {"increase", "point-increase", "point increase",
         "Adds one point to the piece per left click, as the mode says (set increaseMode N): outline and inner "
         "points and lines, notches, marks, points at a typed distance along the outline. The run lasts until the "
         "host ends it (end, or the end of the script).",
         "qpHandleIncreasePoint", [] { return present(qpHandleIncreasePoint); }, increaseStart, increaseCall,
         increaseFinished, increaseStop,
         {{"increaseMode", increaseModeWord, increase::kTurnPoint, increase::kLastMode,
           "the point-increase modes; qpkit tools lists them", increaseModes()}},
         nullptr, increaseCommand, true},
        {"dart-transfer", "gap-move", "dart transfer",
         "Moves a dart: click its two legs (inner lines from the mouth to the apex), then the line from the apex to "
         "where the dart goes; the piece is turned about the apex to close the old dart and open the new one.",
         "qpHandleGapMove", [] { return present(qpHandleGapMove); }, gapMoveStart, gapMoveCall, gapMoveFinished,
         gapMoveStop, {{"gapMoveStep", gapMoveStepWord, 0, 1, kStepValues}}},
        {"dart-fold", "gap-fold", "dart fold",
         "Folds a dart closed to true its seam, then unfolds it: click the legs, the centre line (or its end point), "
         "then the side the dart is folded to; the fold piece is current until `unfold` clicks it open again.",
         "qpHandleGapFold", [] { return present(qpHandleGapFold); }, gapFoldStart, gapFoldCall, gapFoldFinished,
         gapFoldStop,
         {{"gapFoldStep", gapFoldStepWord, 0, 1, kStepValues},
          {"foldPhase", foldPhaseWord, 0, 2, "1 the fold, 2 the unfold, 0 neither"}}},
    };
    return table;
}

const ToolEntry* findTool(const std::string& name) {
    for (const auto& t : toolTable())
        if (name == t.name || name == t.alias) return &t;
    return nullptr;
}

}  // namespace host

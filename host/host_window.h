// The host's window, and what the host sees of the user interface the
// library shows in it: the one place where qpkit meets its platform.
//
// On Linux (host_window_linux.cpp) the window is the desktop stand-in's
// and everything is read from its records (win/desktop.h). On Windows
// (host_window_win32.cpp) it is a real window of qpkit.exe, seen the way any
// Windows host could see it, with nothing read from inside the library:
// - texts and drawing: the GDI32 drawing imports of each module of the
//   library's family (Qpkit6.dll and the siblings that draw: TextOutA,
//   LineTo, Ellipse, Rectangle) are routed through the host, which notes a
//   call made into its window (the text's bytes, or only that something was
//   drawn) and makes it;
// - message boxes and the "LENGTHINPUTDLG" dialog: a WH_CBT hook answers
//   them (win/dialog_answers.h) and records each box;
// - invalidation: the window's update region (GetUpdateRect), cleared after
//   each call as a repaint would;
// - the cursor: the real one (SetCursorPos). The screen may be smaller than
//   the client area (wine's null display is 1024 x 768): the window is moved
//   so that the client pixel to reach lies on the screen, which leaves every
//   client position the tools compute as it is.
// Texts and box texts are GBK bytes, as the library gives them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/win32.h"

namespace host {

// A text the library drew (TextOutA) at client pixel (x, y).
struct DrawnText {
    int x = 0;
    int y = 0;
    std::string bytes;
};

// A message box the library showed; the host answered it with OK.
struct ShownBox {
    std::string caption;
    std::string text;
};

// What the user saw during one handler call.
struct Shown {
    std::vector<DrawnText> texts;
    std::vector<ShownBox> boxes;
    bool drew = false;         // the library drew into the window: a line, a shape or a text
    bool invalidated = false;  // the handler asked for a repaint
};

// The host's window, client width x height pixels. One at a time.
class HostWindow {
public:
    // onCommand: the host's answer to a WM_COMMAND a tool sends the window.
    HostWindow(int width, int height, std::function<void(WPARAM)> onCommand);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND handle() const { return hwnd_; }
    // Puts the cursor on client pixel p; false when the platform cannot.
    bool placeCursor(POINT p);
    // The cursor's client pixel.
    POINT cursor() const;
    // The text the "LENGTHINPUTDLG" dialog will be answered with next (GBK);
    // with none queued the dialog is cancelled.
    void queueDialogAnswer(const std::string& gbk);

    // Around one handler call: watch() before, seen() after.
    void watch();
    Shown seen();

private:
    HWND hwnd_ = nullptr;
};

// Runs `draw` on a device context of its own and hands every MoveToEx
// (move = true) and LineTo point it draws to `sink`, in logical pixels,
// keeping no other record of them: how the host reads back the geometry
// service's drawing of a curve.
void traceDrawing(const std::function<void(HDC)>& draw, const std::function<void(bool move, int x, int y)>& sink);

}  // namespace host

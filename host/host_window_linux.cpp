// The host's window on Linux: the desktop stand-in's one window, and what
// the host sees read from the stand-in's records (see host_window.h).
#include "host/host_window.h"

#include <utility>

#include "win/desktop.h"

namespace host {

namespace {

// Where the records stood when the current handler call began.
struct Marks {
    size_t log = 0;
    size_t invalidations = 0;
    size_t boxes = 0;
    long pathLines = 0;
};
Marks marks;
long pathLines = 0;  // LineTo calls handed to the host's path sink

// Calls of the log that draw into the window; the others read or set up
// state (GetDC, CreatePen, SelectObject, SetROP2, ...). MoveToEx draws
// nothing.
bool draws(const std::string& call) {
    return call == "TextOutA" || call == "LineTo" || call == "Ellipse" || call == "Rectangle";
}

}  // namespace

HostWindow::HostWindow(int width, int height, std::function<void(WPARAM)> onCommand) {
    // The desktop is not reset: the pattern lives in its global blocks.
    deskSetClientRect(width, height);
    hwnd_ = deskWindow();
    marks.boxes = deskMessageBoxes().size();
    // The tools' path calls (markers, rubber lines, the whole piece drawn
    // again) are not read by the host, only counted: they are not kept.
    deskSetPathSink([](HDC, bool move, int, int) {
        if (!move) ++pathLines;
    });
    deskSetSendMessageHandler([onCommand = std::move(onCommand)](HWND, UINT message, WPARAM wParam, LPARAM) -> LRESULT {
        if (message == WM_COMMAND && onCommand) onCommand(wParam);
        return 0;
    });
}

HostWindow::~HostWindow() {
    deskSetSendMessageHandler(nullptr);
    deskSetPathSink(nullptr);
}

bool HostWindow::placeCursor(POINT p) {
    deskSetCursorClient(p.x, p.y);
    return true;
}

POINT HostWindow::cursor() const { return deskCursorClient(); }

void HostWindow::queueDialogAnswer(const std::string& gbk) { deskQueueDialogAnswer(gbk); }

void HostWindow::watch() {
    marks.log = deskLog().size();
    marks.invalidations = deskInvalidations().size();
    marks.pathLines = pathLines;
}

Shown HostWindow::seen() {
    Shown shown;
    const auto& log = deskLog();
    for (size_t i = marks.log; i < log.size(); ++i) {
        const DeskCall& c = log[i];
        shown.drew = shown.drew || draws(c.name);
        if (c.name == "TextOutA" && c.args.size() >= 2)
            shown.texts.push_back({static_cast<int>(c.args[0]), static_cast<int>(c.args[1]), c.text});
    }
    const auto& boxes = deskMessageBoxes();
    for (; marks.boxes < boxes.size(); ++marks.boxes)
        shown.boxes.push_back({boxes[marks.boxes].caption, boxes[marks.boxes].text});
    // Read: the host keeps no record of the drawing calls (a large piece
    // would leave millions), only the message boxes and invalidations.
    deskClearLog();
    shown.invalidated = deskInvalidations().size() > marks.invalidations;
    shown.drew = shown.drew || pathLines != marks.pathLines;
    return shown;
}

void traceDrawing(const std::function<void(HDC)>& draw, const std::function<void(bool, int, int)>& sink) {
    HWND hwnd = deskWindow();
    HDC hdc = GetDC(hwnd);
    // The path calls come straight here, not through the desktop's log, so
    // that drawing a large piece keeps no record of them.
    DeskPathSink previous = deskSetPathSink([&](HDC on, bool move, int x, int y) {
        if (on == hdc) sink(move, x, y);
    });
    draw(hdc);
    deskSetPathSink(std::move(previous));
    ReleaseDC(hwnd, hdc);
    // Nothing else of the drawing's calls is read: keep no record of them
    // (a piece of many lines would leave one per call per line).
    deskClearLog();
}

}  // namespace host

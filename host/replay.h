// Replay: the host's part of a tool run, driven by a script.
//
// HostSession plays the Windows host around one pattern: it owns the host
// records the tools receive (HostView with the step words, HostDoc with its
// pattern cells, copy and view matrices, the GapFoldRecord, the pattern,
// piece and piece-index cells, the dialog's text buffer), fits the current
// piece into the client area of its window (host_window.h), turns piece
// millimetres into client pixels through the same matrices the tools build
// (placement x view x flip), sets the cursor there and calls the tool's
// handler with the window message. Prompts, texts and message boxes the
// library shows are printed as they happen, in UTF-8.
//
// Adding a tool is one entry of the tool table in replay_tools.cpp: its
// script name, how to call its handler with the host's records, which step
// words start it, how the host sees that its run is over, and what is the
// tool's own in the host: the words `set` may give it, the host controls
// it draws (the pleat table), the commands it sends to the window.
//
// Matrices: the 9-float view matrix handed to the tools maps pattern
// millimetres to y-up pixels (scale and translation); the tools add the
// flip themselves. HostDoc.viewMatrixA is that view times the flip and
// viewMatrixB the identity, so the tools that take HostDoc's two factors
// (they build no flip) land on the same pixels.
#pragma once

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "frame/records.h"
#include "host/host_io.h"
#include "host/host_window.h"
#include "host/pattern_store.h"
#include "host/script.h"
#include "win/win32.h"

namespace host {

class HostSession;

// A value of a set word with a name of its own (a point-increase mode).
struct NamedValue {
    int value;
    const char* name;
    const char* meaning;
};

// A word of the host's records that a script may set (set WORD VALUE), and
// the values a host sets it to: any other is a script error.
struct SetWord {
    const char* word;
    void (*set)(HostSession&, int16_t value);
    int16_t lowest;
    int16_t highest;
    const char* values;  // what they mean, for the error and `qpkit tools`
    std::vector<NamedValue> named = {};
};

struct ToolEntry {
    const char* name;       // script name: tool NAME
    const char* alias;      // a second accepted name
    const char* title;      // for people
    const char* about;      // what a run does and how a script drives it, for qpkit tools
    const char* handler;    // the export it drives
    bool (*available)();    // the library has the handler
    void (*start)(HostSession&);
    short (*call)(HostSession&, UINT message, WPARAM wParam, LPARAM lParam);
    // After a handled message: is the run over? `invalidated` tells whether
    // the handler invalidated the window during that message.
    bool (*finished)(HostSession&, bool invalidated);
    void (*stop)(HostSession&);  // the host ends the run (switches tools)
    // The step words of this tool's records that `set` may change.
    std::vector<SetWord> words = {};
    // Where a control the tool draws for the host (button apply|cancel, cell
    // ROW start|end) lies, in client pixels; false when it has no such one.
    bool (*control)(const ScriptCommand&, POINT& at) = nullptr;
    // The host's answer to a WM_COMMAND the tool sends to the window.
    void (*command)(HostSession&, WPARAM) = nullptr;
    // The tool has no last step of its own: its run lasts until the host
    // ends it, so a script may stop at any point of it.
    bool hostEnds = false;
};

const std::vector<ToolEntry>& toolTable();
// Null when there is no such tool.
const ToolEntry* findTool(const std::string& name);
// The host's own words (pickState, lengthUnit); each tool's are in its entry.
const std::vector<SetWord>& hostSetWords();
// The word `set WORD` names: the host's own, then every tool's; null when no
// record has the word.
const SetWord* findSetWord(const std::string& word);

// What a run did not do that its script asked, each said on one line as it
// happens (printed: "line N: <what>").
struct RunNote {
    enum Kind { kRefused, kPickedNothing, kUnfinished } kind;
    int line = 0;      // the script line
    std::string what;  // English, with the tool's own text beside it when it showed one
};

struct ReplayResult {
    int messages = 0;        // window messages sent
    bool runFinished = false;
    std::vector<std::string> printed;  // what was printed, in order (UTF-8)
    std::vector<RunNote> notes;
};

class HostSession {
public:
    // The session edits doc in place; `echo` (may be null) receives what the
    // library shows, line by line.
    HostSession(PatternDoc& doc, std::ostream* echo, bool verbose = false);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Plays every command; UserError (naming `scriptName` and the line) for
    // a command the pattern or the tool cannot take; EditFailure (the same
    // naming) when the pattern store stops a tool's edit. The session
    // installs the store's failure hook for its lifetime: the store's
    // refusal unwinds out of the tool's handler to the command being played.
    // What is left then: the pattern as the tool left it, half edited (the
    // session takes over any block the tool had put in its cells, so the
    // PatternDoc still owns a live one and frees it); the tool's own
    // statics, device contexts, pens and work blocks as they were at the
    // store call (qpkit reports and exits, so nothing reads them again); the
    // session has no tool. Nothing from that run may be written as a file.
    ReplayResult play(const std::vector<ScriptCommand>& script, const std::string& scriptName);
    // play() one command at a time, for a caller that chooses each command
    // from what the last one did (the random sessions of fuzz/): begin(),
    // then step() per command (same UserErrors as play), then finish().
    void begin();
    void step(const ScriptCommand& c, const std::string& scriptName);
    ReplayResult finish();

    // ---- what the tool table's entries work with ----
    PatternDoc& doc;
    HostView view{};
    HostDoc hostDoc{};
    GapFoldRecord fold{};
    float viewMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    PatternBuffer* patternCell = nullptr;
    Piece* pieceCell = nullptr;
    short pieceIndex = 0;
    char dialogText[256] = {0};
    HWND hwnd = nullptr;
    const ToolEntry* tool = nullptr;

    // Client pixel of a piece position of the current piece, and back.
    POINT clientOf(double x, double y) const;
    void pieceOf(POINT client, double& x, double& y) const;
    // Lines shown to the user (prompts, texts, message boxes, host notes).
    void say(const std::string& line);
    // The session whose window the library talks to (its dialogs and
    // commands); null between sessions.
    static HostSession* active();

private:
    void syncIn();
    void syncOut();
    void fitView();
    void clientMatrix(double m[9]) const;
    short send(UINT message, WPARAM wParam, LPARAM lParam, bool showTexts = true);
    // Shows a text the tool drew, or a message box; a refusal is noted.
    void showText(const std::string& gbk, bool prompt);
    void showBox(const std::string& gbk, const std::string& caption);
    void note(RunNote::Kind kind, const std::string& what);
    // A left click, with a note when it picked nothing: the host's records
    // and the piece's counts stayed as they were and nothing was drawn.
    short click(WPARAM buttons);
    void moveTo(const ScriptTarget& target, int line, const std::string& scriptName);
    void placeCursor(POINT p, int line, const std::string& scriptName);
    // The host's records, the cells and the current piece's counts, as bytes.
    std::string visibleState() const;
    void endRun();
    void play1(const ScriptCommand& c, const std::string& scriptName);
    // The EditFailure for a store refusal during the command being played.
    EditFailure stopped(const std::string& reason);
    // The store's failure hook while a session lives.
    [[noreturn]] static void storeFailed(const char* reason);

    HostWindow window_;
    std::ostream* echo_;
    bool verbose_;
    ReplayResult result_;
    int line_ = 0;        // the script line being played
    std::string place_;   // the same, as errors name it
    std::pair<std::string, const char*> lastAsked_;  // the run's last system text (GBK) and how it was shown
    bool showed_ = false;        // the last message drew, showed or invalidated something
    POINT cursorPixel_{-1, -1};  // where moveTo put the cursor, and the piece position it stood for
    double cursorX_ = 0.0, cursorY_ = 0.0;
    void (*previousHook_)(const char*) = nullptr;  // the store's, restored at the end
};

// Client size the host gives the desktop's window (pixels).
constexpr int kClientWidth = 1200;
constexpr int kClientHeight = 900;

}  // namespace host

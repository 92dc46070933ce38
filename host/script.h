// Replay scripts: one user action per line (docs/replay-scripts.md).
//
// A script says what a user does with a tool: which tool, mouse moves and
// clicks at piece coordinates in millimetres (or at a point of the piece by
// its number, or at a fraction along one of its lines), keys, typed text, answers to the host's dialog, and the few
// words the host itself sets. The parser only reads; replay.h plays it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

enum class ScriptOp {
    Tool,        // tool NAME            choose a tool; the host starts its run
    Piece,       // piece N              make piece N current (before `tool`)
    Move,        // move TARGET          WM_MOUSEMOVE (TARGET: X Y, point N, line N [T])
    Click,       // click [TARGET]       move there, then WM_LBUTTONDOWN
    RightClick,  // rclick [TARGET]      move there, then WM_RBUTTONDOWN
    Leave,       // leave                WM_NCMOUSEMOVE: the cursor left the window
    Key,         // key NAME|CODE        WM_KEYDOWN
    Type,        // type TEXT            WM_CHAR for every character
    Answer,      // answer TEXT          queue the answer of the next host dialog
    Straight,    // straight on|off      WM_COMMAND 0x117 (the straight-line switch)
    Set,         // set WORD VALUE       a word the host sets (step words, modes)
    Unfold,      // unfold [TARGET]      the dart fold's unfold click
    Button,      // button apply|cancel  a button of the pleat table
    Cell,        // cell ROW start|end   a width cell of the pleat table
    End,         // end                  the host ends the tool's run
    HostText,    // hosttext TEXT        the host's text buffer (a drill mark's size)
    Message,     // message NAME [W [L]] a message a Windows host forwards unasked
};

struct ScriptTarget {
    bool given = false;    // no target: where the cursor already is
    bool atPoint = false;  // "point N": the position of point N of the piece
    int point = -1;
    bool onLine = false;   // "line N [T]": the point at fraction T along line N
    int line = -1;
    float fraction = 0.5f;  // 0 .. 1
    float x = 0.0f;        // piece millimetres
    float y = 0.0f;
};

struct ScriptCommand {
    int line = 0;          // 1-based line in the script file
    std::string source;    // the line as written, without comment
    ScriptOp op = ScriptOp::Move;
    ScriptTarget target;
    int number = 0;        // piece, key code, switch value, row, set value, message code
    std::string word;      // tool name, set word, button, cell column, message name
    std::string text;      // typed text or dialog answer (UTF-8 as written)
    uint32_t wParam = 0;   // message: its two parameters, as 32-bit words
    uint32_t lParam = 0;
};

// The messages `message` sends: those a Windows host forwards to the
// selected tool without the user's doing (WM_CANCELMODE when a dialog opens
// or the window is disabled, WM_PAINT, WM_KILLFOCUS, WM_SIZE, WM_TIMER).
struct ScriptMessage {
    const char* name;
    unsigned code;
};
const std::vector<ScriptMessage>& scriptMessages();

// Throws UserError("<file>: line N", "<what is wrong>").
std::vector<ScriptCommand> parseScript(const std::string& text, const std::string& fileName);
std::vector<ScriptCommand> readScriptFile(const std::string& path);

// The words that `set` accepts (HostView, HostDoc and GapFoldRecord fields
// that the host writes), for messages and documentation.
const std::vector<std::string>& scriptSetWords();

}  // namespace host

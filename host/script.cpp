// Replay scripts read into commands (see script.h, docs/replay-scripts.md).
#include "host/script.h"

#include "host/replay.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "host/host_io.h"

namespace host {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    std::string w;
    while (in >> w) out.push_back(w);
    return out;
}

// Positions beyond this (mm, either way) are out of range: 10 km, far past
// any window, and still exact to a tenth of a millimetre in a float.
constexpr double kMaxPositionMm = 1.0e7;

enum class Number { kRead, kNotANumber, kOutOfRange };

Number parseNumber(const std::string& w, float& out) {
    if (w.empty()) return Number::kNotANumber;
    char* end = nullptr;
    errno = 0;
    double d = std::strtod(w.c_str(), &end);
    if (*end != '\0' || std::isnan(d)) return Number::kNotANumber;
    if (errno == ERANGE || !std::isfinite(d) || std::fabs(d) > kMaxPositionMm) return Number::kOutOfRange;
    out = static_cast<float>(d);
    return Number::kRead;
}

bool parseInt(const std::string& w, long lo, long hi, int& out) {
    if (w.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(w.c_str(), &end, 0);  // 0x86 and 134 both work
    if (*end != '\0' || errno != 0 || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

const std::map<std::string, int>& keyNames() {
    static const std::map<std::string, int> names = {
        {"f23", 0x86},    {"f24", 0x87},   {"up", 0x26},     {"down", 0x28},  {"left", 0x25},
        {"right", 0x27},  {"enter", 0x0D}, {"return", 0x0D}, {"back", 0x08},  {"backspace", 0x08},
        {"delete", 0x2E}, {"home", 0x24},  {"end", 0x23},    {"escape", 0x1B}, {"tab", 0x09},
    };
    return names;
}

// The rest of the line after the command word, with one pair of surrounding
// double quotes removed (so that a text may start or end with blanks).
std::string restText(const std::string& line, const std::string& command) {
    std::string rest = trim(line.substr(line.find(command) + command.size()));
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') rest = rest.substr(1, rest.size() - 2);
    return rest;
}

// A message parameter: a 32-bit word, written signed or unsigned, in
// decimal or 0x hexadecimal.
bool parseParam(const std::string& w, uint32_t& out) {
    if (w.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(w.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || v < -2147483648LL || v > 4294967295LL) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

const std::vector<ScriptMessage>& scriptMessages() {
    static const std::vector<ScriptMessage> messages = {
        {"WM_CANCELMODE", WM_CANCELMODE}, {"WM_PAINT", WM_PAINT}, {"WM_KILLFOCUS", WM_KILLFOCUS},
        {"WM_SIZE", WM_SIZE},             {"WM_TIMER", WM_TIMER},
    };
    return messages;
}

const std::vector<std::string>& scriptSetWords() {
    // The host's own words and every tool entry's, in table order.
    static const std::vector<std::string> words = [] {
        std::vector<std::string> w;
        for (const SetWord& h : hostSetWords()) w.push_back(h.word);
        for (const ToolEntry& t : toolTable())
            for (const SetWord& tw : t.words) w.push_back(tw.word);
        return w;
    }();
    return words;
}

std::vector<ScriptCommand> parseScript(const std::string& text, const std::string& fileName) {
    std::vector<ScriptCommand> out;
    std::istringstream in(text);
    std::string raw;
    int lineNo = 0;
    while (std::getline(in, raw)) {
        ++lineNo;
        auto fail = [&](const std::string& what) -> void {
            throw UserError(fileName + ": line " + std::to_string(lineNo), what);
        };
        std::string line = raw;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A '#' starts a comment, except inside a quoted text.
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '"') quoted = !quoted;
            if (line[i] == '#' && !quoted) {
                line.resize(i);
                break;
            }
        }
        line = trim(line);
        if (line.empty()) continue;
        std::vector<std::string> w = words(line);
        ScriptCommand c;
        c.line = lineNo;
        c.source = line;
        std::string verb = lower(w[0]);

        // TARGET: "X Y" in piece millimetres, "point N" or "line N [T]";
        // optional for some verbs.
        auto target = [&](size_t from, bool optional) {
            size_t n = w.size() - from;
            if (n == 0) {
                if (!optional) fail("'" + verb + "' needs a position: X Y (millimetres), point N or line N [T]");
                return;
            }
            if (lower(w[from]) == "line") {
                if ((n != 2 && n != 3) || !parseInt(w[from + 1], 0, 32767, c.target.line))
                    fail("expected 'line N [T]' with N a line number of the current piece");
                if (n == 3 && (parseNumber(w[from + 2], c.target.fraction) != Number::kRead ||
                               c.target.fraction < 0.0f || c.target.fraction > 1.0f))
                    fail("'" + w[from + 2] + "' is not a fraction from 0 to 1 (T in line N T)");
                c.target.given = true;
                c.target.onLine = true;
                return;
            }
            if (lower(w[from]) == "point") {
                if (n != 2 || !parseInt(w[from + 1], 0, 32767, c.target.point))
                    fail("expected 'point N' with N a point number of the current piece");
                c.target.given = true;
                c.target.atPoint = true;
                return;
            }
            if (n != 2) fail("expected a position X Y in millimetres (or point N, or line N [T]), found '" + line + "'");
            for (int axis = 0; axis < 2; ++axis) {
                const std::string& word = w[from + static_cast<size_t>(axis)];
                const std::string name = axis == 0 ? "X" : "Y";
                const Number read = parseNumber(word, axis == 0 ? c.target.x : c.target.y);
                if (read == Number::kNotANumber) fail("'" + word + "' is not a number (" + name + " in millimetres)");
                if (read == Number::kOutOfRange)
                    fail("'" + word + "' is out of range (" + name + " in millimetres, at most 10000000 either way)");
            }
            c.target.given = true;
        };

        if (verb == "tool") {
            c.op = ScriptOp::Tool;
            if (w.size() != 2) fail("expected 'tool NAME'");
            c.word = lower(w[1]);
        } else if (verb == "piece") {
            c.op = ScriptOp::Piece;
            if (w.size() != 2 || !parseInt(w[1], 0, 32767, c.number)) fail("expected 'piece N' (a piece number)");
        } else if (verb == "move") {
            c.op = ScriptOp::Move;
            target(1, false);
        } else if (verb == "click") {
            c.op = ScriptOp::Click;
            target(1, true);
        } else if (verb == "rclick") {
            c.op = ScriptOp::RightClick;
            target(1, true);
        } else if (verb == "unfold") {
            c.op = ScriptOp::Unfold;
            target(1, true);
        } else if (verb == "leave") {
            c.op = ScriptOp::Leave;
            if (w.size() != 1) fail("'leave' takes nothing after it");
        } else if (verb == "end") {
            c.op = ScriptOp::End;
            if (w.size() != 1) fail("'end' takes nothing after it");
        } else if (verb == "key") {
            c.op = ScriptOp::Key;
            if (w.size() != 2) fail("expected 'key NAME' or 'key CODE' (for example key F24, key 0x87, key up)");
            auto it = keyNames().find(lower(w[1]));
            if (it != keyNames().end()) {
                c.number = it->second;
            } else if (!parseInt(w[1], 1, 255, c.number)) {
                fail("unknown key '" + w[1] + "' (names: F23, F24, up, down, left, right, enter, backspace, "
                     "delete, home, end, escape, tab; or a code 1 .. 255 such as 0x87)");
            }
        } else if (verb == "type") {
            c.op = ScriptOp::Type;
            c.text = restText(line, w[0]);
            if (c.text.empty()) fail("expected 'type TEXT'");
        } else if (verb == "answer") {
            c.op = ScriptOp::Answer;
            c.text = restText(line, w[0]);
        } else if (verb == "hosttext") {
            c.op = ScriptOp::HostText;
            c.text = restText(line, w[0]);
        } else if (verb == "straight") {
            c.op = ScriptOp::Straight;
            std::string v = w.size() == 2 ? lower(w[1]) : "";
            if (v == "on") c.number = 1;
            else if (v == "off") c.number = 0;
            else fail("expected 'straight on' or 'straight off'");
        } else if (verb == "set") {
            c.op = ScriptOp::Set;
            if (w.size() != 3) fail("expected 'set WORD VALUE'");
            const SetWord* word = findSetWord(w[1]);
            if (!word) {
                std::string list;
                for (const auto& s : scriptSetWords()) list += (list.empty() ? "" : ", ") + s;
                fail("unknown word '" + w[1] + "' (the host sets: " + list + ")");
            }
            c.word = w[1];
            if (!parseInt(w[2], -32768, 32767, c.number)) fail("'" + w[2] + "' is not a 16-bit whole number");
            if (c.number < word->lowest || c.number > word->highest)
                fail(c.word + " " + w[2] + " is a value the host never sets: it sets " +
                     std::to_string(word->lowest) + " .. " + std::to_string(word->highest) + " (" + word->values +
                     ")");
        } else if (verb == "button") {
            c.op = ScriptOp::Button;
            c.word = w.size() == 2 ? lower(w[1]) : "";
            if (c.word != "apply" && c.word != "cancel") fail("expected 'button apply' or 'button cancel'");
        } else if (verb == "cell") {
            c.op = ScriptOp::Cell;
            if (w.size() != 3 || !parseInt(w[1], 0, 19, c.number))
                fail("expected 'cell ROW start' or 'cell ROW end' with ROW 0 .. 19");
            c.word = lower(w[2]);
            if (c.word != "start" && c.word != "end") fail("the cell column is 'start' or 'end'");
        } else if (verb == "message") {
            c.op = ScriptOp::Message;
            std::string names;
            for (const ScriptMessage& m : scriptMessages()) {
                names += (names.empty() ? "" : ", ") + std::string(m.name);
                if (w.size() >= 2 && lower(w[1]) == lower(m.name)) {
                    c.word = m.name;
                    c.number = static_cast<int>(m.code);
                }
            }
            if (w.size() < 2 || w.size() > 4 || c.word.empty())
                fail("expected 'message NAME [WPARAM [LPARAM]]' with NAME one of " + names);
            if (w.size() >= 3 && !parseParam(w[2], c.wParam))
                fail("'" + w[2] + "' is not a 32-bit whole number (WPARAM)");
            if (w.size() == 4 && !parseParam(w[3], c.lParam))
                fail("'" + w[3] + "' is not a 32-bit whole number (LPARAM)");
        } else {
            fail("unknown command '" + w[0] +
                 "' (commands: tool, piece, move, click, rclick, leave, key, type, answer, hosttext, straight, set, "
                 "unfold, button, cell, message, end)");
        }
        out.push_back(std::move(c));
    }
    return out;
}

std::vector<ScriptCommand> readScriptFile(const std::string& path) { return parseScript(readFile(path), path); }

}  // namespace host

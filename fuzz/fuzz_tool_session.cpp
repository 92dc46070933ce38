// Fuzz harness: random sessions of a tool handler, played through the
// qpkit host's own replay (host/replay.h) over the desktop stand-in.
//
// The input bytes decode to a session: the tool (first byte, or the tool
// named by FUZZ_TOOL), a sample piece from examples/ (with its formulas or
// without), the document's length unit, then up to kMaxCommands user actions:
// mouse moves and clicks at a point, near a point or a line, or anywhere
// around the piece; right clicks; the cursor leaving the window; keys;
// typed text (numbers, empty, non-numeric, huge, "inf"); answers for the
// host's dialog (a number, empty, text, or none: cancelled); the straight
// switch; the host words pickState, increaseMode, lengthUnit, foldPhase; the
// pleat table's buttons and cells; the host switching the tool off and on
// mid-run; and the messages a Windows host forwards unasked (WM_CANCELMODE
// above all, WM_PAINT, WM_KILLFOCUS, WM_SIZE, WM_TIMER) at any point.
// Positions are chosen from the piece as it is at that moment.
//
// After every session, anything but the following is a finding (abort):
// the store's checker passes on every piece of the pattern and of the
// host's patternCopy (so every coordinate is finite and within 100 m);
// every formula text evaluates to its point within 0.1 mm; every device
// context is released, every pen and brush deleted, no block's guard bytes
// overwritten (deskCheckDiscipline); the host's pattern cell, current piece
// and piece index agree; and once the pattern is freed, no global block is
// left alive.
//
// At exit the harness prints, per tool, its sessions and the share that
// reached the tool's edit (the pattern's bytes changed).
//
// Adding a tool is one line of kTools: its name in the host's tool table
// (host/replay_tools.cpp) and its own source file (for the coverage figure
// of scripts/test-fuzz.sh). FUZZ_LIST_TOOLS=1 prints the table and exits.
//
// Built with QP_SESSION_SEEDS, the same file is a small program instead:
// `session_seeds OUT_DIR` writes one input per case of examples/corpus.json,
// encoded exactly as the harness decodes, as the seed corpus.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "host/piece_geometry.h"
#include "host/replay.h"
#include "host/script.h"
#include "siblings/records/store_extras.h"
#include "win/desktop.h"

#ifndef QP_SOURCE_DIR
#define QP_SOURCE_DIR "."
#endif

namespace {

// ---- the tools: one line each ---------------------------------------------------
// gesture: what a user does to get the tool's edit, as words played in
// order when a session draws its gesture action: "click" (at point N of the
// piece, N from the input), "between" (a click at a point whose index lies
// between the gesture's last two clicks), "near" (a click near point N), "move" (to point
// N), "number" (the field cleared and a sound number typed), "answer" (a
// sound number for the host's dialog), "F24" (key 0x87), "apply" (the pleat
// table's apply button), "cell" (a pleat cell), "unfold" (the unfold click
// at point N), "mode" (set increaseMode from the input, 1..20), "line" (a
// click on an inner line of the piece, a fifth to four fifths along its
// first stretch: the gesture's first "line" word takes the piece's first
// inner line, the next the second, and so on, in three sessions of four;
// any inner line otherwise), "tip" (a click at the last point of the line
// the last "line" word clicked: a dart's apex), "base" (a click up to 8 mm
// off that line's first point). The rest of a session is random; the gesture
// only makes the edit likely enough to test what follows it.
// sample: the piece the gesture is made for ("file piece", with its
// formulas), played in half of the tool's sessions; any sample otherwise.
struct FuzzTool {
    const char* name;     // its name in the host's tool table
    const char* source;   // its own file, for the coverage figure
    const char* gesture;  // words, separated by blanks
    const char* sample = nullptr;  // "file piece", or any piece
};
const FuzzTool kTools[] = {
    {"italy", "pieces/sleeve_cap.cpp", "move click click between number F24"},
    {"symmetry", "pieces/symmetry.cpp", "move near"},
    // Measured over 30 s each (share of sessions that reached the edit, line
    // coverage of the tool's file): pleat 57%, 94%; point increase 77%, 92%;
    // dart transfer 26%, 93%; dart fold 37%, 92%. Inputs of past findings
    // are kept in fuzz/corpus/tool_session/<tool>/ and played first.
    {"pleat", "pieces/pleat_spread.cpp", "move line number F24 number line number F24 number apply",
     "basic-block.json 2"},
    {"increase", "pieces/point_increase.cpp", "mode move near answer near"},
    {"dart-transfer", "darts/gap_move.cpp", "line line line", "basic-block.json 0"},
    {"dart-fold", "darts/gap_fold.cpp", "move line line tip base unfold", "basic-block.json 0"},
};
constexpr int kToolCount = sizeof kTools / sizeof kTools[0];

// ---- the session's vocabulary ------------------------------------------------------
constexpr int kMaxCommands = 400;  // messages' worth of commands, clearing keys included
// A session ends early once its pattern holds more points than this: every
// action then costs the whole grown piece (symmetry doubles it each time),
// seconds under the sanitizers, and the sessions would be few. Large pieces
// are the benchmarks' and the long session's business.
constexpr long kMaxSessionPoints = 2048;
// Action codes (the first byte of an action, modulo kOpCount).
constexpr int kOpMove = 0;       // 0..3: move to a target
constexpr int kOpClick = 4;      // 4..11: click, at a target or where the cursor is
constexpr int kOpKey = 12;       // 12..15: a key of kKeys
constexpr int kOpType = 16;      // 16..19: the field cleared, a text of kTexts typed
constexpr int kOpRightClick = 20, kOpLeave = 21, kOpRawKey = 22, kOpRawType = 23, kOpAnswer = 24,
              kOpStraight = 25, kOpSet = 26, kOpButton = 27, kOpCell = 28, kOpSwitch = 29, kOpTool = 30,
              kOpUnfold = 31;
constexpr int kOpGesture = 32;   // 32..43: the tool's gesture (FuzzTool::gesture)
constexpr int kOpMessage = 44;   // a message of host::scriptMessages(), its two parameters
constexpr int kOpCount = 45;
constexpr int kSoundTexts = 8;   // kTexts[0..7] are sound typed numbers

// Keys, weighted toward the ones that do work: F24 (0x87) ends a number
// entry, F23 (0x86); then editing and navigation keys.
const int kKeys[] = {0x87, 0x87, 0x87, 0x87, 0x86, 0x0D, 0x08, 0x2E, 0x25, 0x27,
                     0x24, 0x23, 0x26, 0x28, 0x1B, 0x09, 0x20, 0x30, 0x41, 0x70};
constexpr int kKeyCount = sizeof kKeys / sizeof kKeys[0];

// Typed texts and dialog answers: sound numbers, both sides of the
// 1000 cm limit, and what the rule for typed numbers refuses.
const char* const kTexts[] = {"1.5",   "2",     "0",      "-1",     "0.5",  "10",   "3.25", "-0.8",
                              "1000",  "1001",  "-1000",  "999.99", "",     "abc",  "inf",  "1e30",
                              "nan",   "-",     ".",      "1..2",   "+3",   "1,5",  " 7",   "12345678901234567890",
                              "0.001", "-1e-9", "0x10",   "5cm",    "--1",  "1.",   ".5",   "\xB0\xA1"};
constexpr int kTextCount = sizeof kTexts / sizeof kTexts[0];

const char* const kSetWords[] = {"pickState", "increaseMode", "lengthUnit", "foldPhase"};
constexpr int kSetWordCount = sizeof kSetWords / sizeof kSetWords[0];

// The sample pieces: every piece of these files, as written (with the
// formulas the file gives) and with every formula taken away.
const char* const kSampleFiles[] = {"sleeve.json", "basic-block.json"};

struct Sample {
    std::string file;
    host::PatternModel model;
    int piece = 0;
    bool formulas = true;
};
std::vector<Sample> gSamples;

// Per tool: sessions run, sessions that changed the pattern.
long gSessions[kToolCount] = {};
long gEdits[kToolCount] = {};
int gForcedTool = -1;

host::PatternModel withoutFormulas(host::PatternModel model) {
    auto strip = [](auto& p) {
        p.fx.reset();
        p.fy.reset();
    };
    for (auto& piece : model.pieces) {
        for (auto& p : piece.points) strip(p);
        for (auto& chain : piece.outline)
            for (auto& p : chain) strip(p);
        for (auto& chain : piece.inner)
            for (auto& p : chain) strip(p);
        for (auto& m : piece.marks) strip(m.point);
    }
    return model;
}

bool needsFormulaValues(const host::PatternModel& model) {
    auto given = [](const auto& p) { return p.xFromFormula || p.yFromFormula; };
    for (const auto& piece : model.pieces) {
        for (const auto& p : piece.points)
            if (given(p)) return true;
        for (const auto& chain : piece.outline)
            for (const auto& p : chain)
                if (given(p)) return true;
        for (const auto& chain : piece.inner)
            for (const auto& p : chain)
                if (given(p)) return true;
        for (const auto& m : piece.marks)
            if (given(m.point)) return true;
    }
    return false;
}

void loadSamples() {
    if (!gSamples.empty()) return;
    for (const char* file : kSampleFiles) {
        const std::string path = std::string(QP_SOURCE_DIR) + "/examples/" + file;
        host::PatternModel model = host::readPatternFile(path);
        const host::PatternModel bare = withoutFormulas(model);
        for (int piece = 0; piece < static_cast<int>(model.pieces.size()); ++piece) {
            gSamples.push_back(Sample{file, model, piece, true});
            // A file whose coordinates come from its formulas keeps them.
            if (!needsFormulaValues(model)) gSamples.push_back(Sample{file, bare, piece, false});
        }
    }
}

// Input bytes, read front to back; zeros once they run out.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : p_(data), n_(size) {}
    bool done() const { return n_ == 0; }
    uint8_t next() {
        if (n_ == 0) return 0;
        --n_;
        return *p_++;
    }
    int16_t next16() {
        const int lo = next();
        return static_cast<int16_t>(lo | (next() << 8));
    }

private:
    const uint8_t* p_;
    size_t n_;
};

// The piece's points as they are now, and their bounding box.
struct PieceView {
    std::vector<host::Pt> points;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
};

PieceView viewOf(host::HostSession& s) {
    PieceView v;
    Piece* piece = s.doc.piece(s.pieceIndex);
    for (short i = 0; piece && i < piece->pointCount; ++i) {
        double x, y;
        if (host::pointPosition(piece, i, x, y)) v.points.push_back({x, y});
    }
    if (v.points.empty()) return v;
    v.minX = v.maxX = v.points[0].x;
    v.minY = v.maxY = v.points[0].y;
    for (const host::Pt& p : v.points) {
        v.minX = std::fmin(v.minX, p.x);
        v.maxX = std::fmax(v.maxX, p.x);
        v.minY = std::fmin(v.minY, p.y);
        v.maxY = std::fmax(v.maxY, p.y);
    }
    return v;
}

// Target kinds (byte % 16), weighted toward what picks something: 0 none
// (where the cursor is), 1-6 point N, 7-9 near point N (up to 32 mm off),
// 10-11 on or near the stretch from point N to N + 1, 12-14 anywhere over
// the piece's box and a tenth around it, 15 piece millimetres as given
// (tenths of a mm, 16-bit), as a script writes them.
constexpr int kTargetNone = 0, kTargetPoint = 1, kTargetMm = 15;

host::ScriptTarget decodeTarget(Bytes& in, host::HostSession& s, bool mayBeNone) {
    host::ScriptTarget t;
    const int kind = in.next() % 16;
    if (kind == kTargetNone && mayBeNone) return t;
    t.given = true;
    const PieceView v = viewOf(s);
    const int n = static_cast<int>(v.points.size());
    if (kind == kTargetMm || n == 0) {
        t.x = in.next16() / 10.0f;
        t.y = in.next16() / 10.0f;
        return t;
    }
    const int i = in.next() % n;
    if (kind >= 1 && kind <= 6) {
        t.atPoint = true;
        t.point = i;
    } else if (kind >= 7 && kind <= 9) {
        const int dx = static_cast<int8_t>(in.next()), dy = static_cast<int8_t>(in.next());
        t.x = static_cast<float>(v.points[i].x + dx / 4.0);
        t.y = static_cast<float>(v.points[i].y + dy / 4.0);
    } else if (kind >= 10 && kind <= 11) {
        const host::Pt a = v.points[i], b = v.points[(i + 1) % n];
        const double f = in.next() / 255.0;
        const int off = static_cast<int8_t>(in.next());
        t.x = static_cast<float>(a.x + (b.x - a.x) * f + off / 16.0);
        t.y = static_cast<float>(a.y + (b.y - a.y) * f - off / 16.0);
    } else {
        const double w = v.maxX - v.minX, h = v.maxY - v.minY;
        t.x = static_cast<float>(v.minX - 0.1 * w + 1.2 * w * in.next() / 255.0);
        t.y = static_cast<float>(v.minY - 0.1 * h + 1.2 * h * in.next() / 255.0);
    }
    return t;
}

host::ScriptCommand command(host::ScriptOp op) {
    host::ScriptCommand c;
    c.op = op;
    return c;
}

// The point indices of a gesture's clicks so far; its "line" words so far
// and the first and last point of the line the last one clicked.
std::vector<int> gClicked;
int gLineWords = 0;
int gLineFirst = -1, gLineLast = -1;

// The piece's inner lines (a line whose first point is not an outline
// point), as their first and last point indices.
std::vector<std::pair<int, int>> innerLines(host::HostSession& s) {
    std::vector<std::pair<int, int>> out;
    Piece* piece = s.doc.piece(s.pieceIndex);
    for (short i = 0; piece && i < piece->lineCount; ++i) {
        Line* l = nullptr;
        qpGetLineLptr(piece, i, &l);
        if (!l || l->pointCount < 2) continue;
        Point* p = nullptr;
        qpGetPointLptr(piece, l->firstPoint, &p);
        if (p && !isOutlineType(p->type)) out.emplace_back(l->firstPoint, l->firstPoint + l->pointCount - 1);
    }
    return out;
}

host::ScriptCommand onInnerLine(Bytes& in, host::HostSession& s) {
    host::ScriptCommand c = command(host::ScriptOp::Click);
    const std::vector<std::pair<int, int>> lines = innerLines(s);
    const PieceView v = viewOf(s);
    const int b = in.next();
    const int f = in.next();
    const int k = b < 192 ? gLineWords : b;
    ++gLineWords;
    if (lines.empty()) return c;
    const std::pair<int, int> line = lines[static_cast<size_t>(k) % lines.size()];
    const int n = static_cast<int>(v.points.size());
    if (line.first + 1 >= n || line.second >= n) return c;
    gLineFirst = line.first;
    gLineLast = line.second;
    const host::Pt a = v.points[static_cast<size_t>(line.first)], e = v.points[static_cast<size_t>(line.first + 1)];
    const double t = 0.2 + 0.6 * f / 255.0;
    c.target.given = true;
    c.target.x = static_cast<float>(a.x + (e.x - a.x) * t);
    c.target.y = static_cast<float>(a.y + (e.y - a.y) * t);
    return c;
}

host::ScriptCommand atPoint(host::ScriptOp op, Bytes& in, host::HostSession& s, bool near,
                            bool between = false) {
    host::ScriptCommand c = command(op);
    const PieceView v = viewOf(s);
    if (v.points.empty()) return c;
    int i = in.next() % static_cast<int>(v.points.size());
    if (between && gClicked.size() >= 2) {
        const int a = gClicked[gClicked.size() - 2], b = gClicked.back();
        const int lo = std::min(a, b), hi = std::max(a, b);
        if (hi - lo >= 2) i = lo + 1 + i % (hi - lo - 1);
    }
    if (op == host::ScriptOp::Click) gClicked.push_back(i);
    c.target.given = true;
    if (near) {
        c.target.x = static_cast<float>(v.points[i].x + static_cast<int8_t>(in.next()) / 16.0);
        c.target.y = static_cast<float>(v.points[i].y + static_cast<int8_t>(in.next()) / 16.0);
    } else {
        c.target.atPoint = true;
        c.target.point = i;
    }
    return c;
}

// The field cleared (End, then Backspace) before `text` is typed.
void retype(std::vector<host::ScriptCommand>& out, const std::string& text) {
    host::ScriptCommand key = command(host::ScriptOp::Key);
    key.number = 0x23;
    out.push_back(key);
    key.number = 0x08;
    for (int k = 0; k < 12; ++k) out.push_back(key);
    host::ScriptCommand c = command(host::ScriptOp::Type);
    c.text = text;
    out.push_back(c);
}

// Words of a gesture become commands; positions are decided as they play,
// so a word is decoded when its turn comes (see LLVMFuzzerTestOneInput).
void gestureWord(const std::string& word, Bytes& in, host::HostSession& s,
                 std::vector<host::ScriptCommand>& out) {
    using host::ScriptOp;
    if (word == "line") out.push_back(onInnerLine(in, s));
    else if (word == "tip" || word == "base") {
        host::ScriptCommand c = command(ScriptOp::Click);
        const int i = word == "tip" ? gLineLast : gLineFirst;
        const int dx = static_cast<int8_t>(in.next()), dy = static_cast<int8_t>(in.next());
        const PieceView v = viewOf(s);
        if (i >= 0 && i < static_cast<int>(v.points.size())) {
            c.target.given = true;
            c.target.x = static_cast<float>(v.points[static_cast<size_t>(i)].x + (word == "base" ? dx / 16.0 : 0));
            c.target.y = static_cast<float>(v.points[static_cast<size_t>(i)].y + (word == "base" ? dy / 16.0 : 0));
        }
        out.push_back(c);
    } else if (word == "click") out.push_back(atPoint(ScriptOp::Click, in, s, false));
    else if (word == "between") out.push_back(atPoint(ScriptOp::Click, in, s, false, true));
    else if (word == "near") out.push_back(atPoint(ScriptOp::Click, in, s, true));
    else if (word == "move") out.push_back(atPoint(ScriptOp::Move, in, s, false));
    else if (word == "unfold") out.push_back(atPoint(ScriptOp::Unfold, in, s, false));
    else if (word == "number") retype(out, kTexts[in.next() % kSoundTexts]);
    else if (word == "answer") {
        host::ScriptCommand c = command(ScriptOp::Answer);
        c.text = kTexts[in.next() % kSoundTexts];
        out.push_back(c);
    } else if (word == "F24") {
        host::ScriptCommand c = command(ScriptOp::Key);
        c.number = 0x87;
        out.push_back(c);
    } else if (word == "apply" || word == "cell") {
        host::ScriptCommand c = command(word == "apply" ? ScriptOp::Button : ScriptOp::Cell);
        c.word = word == "apply" ? "apply" : "start";
        c.number = in.next() % 4;
        out.push_back(c);
    } else if (word == "mode") {
        host::ScriptCommand c = command(ScriptOp::Set);
        c.word = "increaseMode";
        c.number = 1 + in.next() % 20;
        out.push_back(c);
    }
}

std::vector<std::string> words(const char* text) {
    std::vector<std::string> out;
    std::string w;
    for (const char* c = text;; ++c) {
        if (*c == ' ' || *c == 0) {
            if (!w.empty()) out.push_back(w);
            w.clear();
            if (*c == 0) return out;
        } else {
            w += *c;
        }
    }
}

// One user action (see the encoder below for the exact layout). Some
// actions are several commands (the host switching the tool off and on,
// retyping a field); a gesture is returned as its words in `gesture`.
std::vector<host::ScriptCommand> decodeAction(Bytes& in, host::HostSession& s, const char* toolName,
                                              bool& gesture) {
    using host::ScriptOp;
    std::vector<host::ScriptCommand> out;
    host::ScriptCommand toolOn = command(ScriptOp::Tool);
    toolOn.word = toolName;
    const int op = in.next() % kOpCount;
    host::ScriptCommand c;
    gesture = op >= kOpGesture && op < kOpMessage;
    if (gesture) return out;
    if (op < kOpKey) {
        // Clicks (8 in 32) and moves (4 in 32): every tool's picks.
        c = command(op >= kOpClick ? ScriptOp::Click : ScriptOp::Move);
        c.target = decodeTarget(in, s, c.op == ScriptOp::Click);
    } else if (op < kOpKey + 4) {
        c = command(ScriptOp::Key);
        c.number = kKeys[in.next() % kKeyCount];
    } else if (op < kOpType + 4) {
        // The user retypes a text of the table (raw typing, kOpRawType,
        // adds to what the field holds).
        retype(out, kTexts[in.next() % kTextCount]);
        return out;
    } else {
        switch (op) {
            case kOpRightClick:
                c = command(ScriptOp::RightClick);
                c.target = decodeTarget(in, s, true);
                break;
            case kOpLeave: c = command(ScriptOp::Leave); break;
            case kOpRawKey:
                c = command(ScriptOp::Key);
                c.number = in.next();
                break;
            case kOpRawType: {
                c = command(ScriptOp::Type);
                const int n = in.next() % 9;
                for (int k = 0; k < n; ++k) c.text += static_cast<char>(in.next());
                break;
            }
            case kOpAnswer: {
                // One answer in eight is none: the dialog is cancelled.
                const int a = in.next();
                if (a % 8 == 7) return out;
                c = command(ScriptOp::Answer);
                c.text = kTexts[a % kTextCount];
                break;
            }
            case kOpStraight:
                c = command(ScriptOp::Straight);
                c.number = in.next() & 1;
                break;
            case kOpSet:
                c = command(ScriptOp::Set);
                c.word = kSetWords[in.next() % kSetWordCount];
                c.number = static_cast<int8_t>(in.next()) % 24;  // point increase's modes run to 20
                break;
            case kOpButton:
                c = command(ScriptOp::Button);
                c.word = (in.next() & 1) ? "cancel" : "apply";
                break;
            case kOpCell: {
                c = command(ScriptOp::Cell);
                const int b = in.next();
                c.number = b % 8;
                c.word = (b & 0x80) ? "end" : "start";
                break;
            }
            case kOpSwitch:
                out.push_back(command(ScriptOp::End));
                c = toolOn;
                break;
            case kOpTool: c = toolOn; break;
            case kOpMessage: {
                // Half of them WM_CANCELMODE, the one that ends runs.
                const std::vector<host::ScriptMessage>& messages = host::scriptMessages();
                const size_t m = in.next() % (2 * messages.size());
                const host::ScriptMessage& message = messages[m < messages.size() ? 0 : m - messages.size()];
                c = command(ScriptOp::Message);
                c.word = message.name;
                c.number = static_cast<int>(message.code);
                c.wParam = static_cast<uint16_t>(in.next16());
                c.lParam = static_cast<uint16_t>(in.next16());
                break;
            }
            default:
                c = command(ScriptOp::Unfold);
                c.target = decodeTarget(in, s, true);
                break;
        }
    }
    out.push_back(c);
    return out;
}

bool needsTool(host::ScriptOp op) {
    using host::ScriptOp;
    return op != ScriptOp::Tool && op != ScriptOp::Piece && op != ScriptOp::Answer && op != ScriptOp::Set &&
           op != ScriptOp::End && op != ScriptOp::HostText;
}

// FUZZ_ECHO=1 prints each session as it plays (to read a finding's input).
bool gEcho = false;

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "tool session: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string describe(const host::ScriptCommand& c) {
    static const char* const names[] = {"tool", "piece", "move", "click", "rclick", "leave", "key", "type",
                                        "answer", "straight", "set", "unfold", "button", "cell", "end", "host text",
                                        "message"};
    std::string d = names[static_cast<int>(c.op)];
    if (c.target.given)
        d += c.target.atPoint ? " point " + std::to_string(c.target.point)
                              : " " + std::to_string(c.target.x) + " " + std::to_string(c.target.y);
    if (!c.word.empty()) d += " " + c.word;
    if (c.op == host::ScriptOp::Key || c.op == host::ScriptOp::Set || c.op == host::ScriptOp::Cell ||
        c.op == host::ScriptOp::Straight || c.op == host::ScriptOp::Piece)
        d += " " + std::to_string(c.number);
    if (c.op == host::ScriptOp::Type || c.op == host::ScriptOp::Answer) d += " \"" + c.text + "\"";
    if (c.op == host::ScriptOp::Message) d += " " + std::to_string(c.wParam) + " " + std::to_string(c.lParam);
    return d;
}

long pointsOf(PatternBuffer* pattern) {
    long points = 0;
    for (short k = 0; pattern != nullptr && k < pattern->pieceCount; ++k) {
        Piece* piece = nullptr;
        qpGetPieceLptr(pattern, k, &piece);
        if (piece != nullptr) points += piece->pointCount;
    }
    return points;
}

// Every formula text of every piece against its point, within 0.1 mm
// (texts in cm, coordinates in mm).
void checkFormulas(const host::PatternDoc& doc) {
    for (int k = 0; k < doc.pieceCount(); ++k) {
        Piece* piece = doc.piece(k);
        if (piece->formulaCount == 0) continue;
        for (short i = 0; i < piece->pointCount; ++i) {
            Point* p = nullptr;
            qpGetPointLptr(piece, i, &p);
            Coord* c = nullptr;
            qpGetCoordLptr(piece, p->coordIndex, &c);
            const float coord[2] = {c->x, c->y};
            for (int axis = 0; axis < 2; ++axis) {
                const std::string text = storeFormulaText(piece, p->formulaIndex, axis);
                if (text.empty()) continue;
                const double mm = qpFormulaCalculation(piece, text.c_str()) * 10.0;
                if (!(std::fabs(mm - coord[axis]) <= 0.1))
                    finding("piece " + std::to_string(k) + " point " + std::to_string(i) + ": formula \"" + text +
                            "\" gives " + std::to_string(mm) + " mm, the point lies at " +
                            std::to_string(coord[axis]) + " mm");
            }
        }
    }
}

void checkSession(host::HostSession& s) {
    host::PatternDoc& doc = s.doc;
    const std::string pattern = host::checkPattern(doc);
    if (!pattern.empty()) finding("pattern: " + pattern);
    const std::string copy = storeCheckPatternText(s.hostDoc.patternCopy);
    if (!copy.empty()) finding("patternCopy: " + copy);
    if (storeBlockSize(doc.pattern) < doc.pattern->totalSize) finding("the pattern is not a live block");
    if (s.pieceIndex < 0 || s.pieceIndex >= doc.pieceCount()) finding("the current piece index is out of range");
    if (s.pieceCell != doc.piece(s.pieceIndex)) finding("the current piece cell is not the current piece");
    if (s.hostDoc.pattern != doc.pattern || s.patternCell != doc.pattern)
        finding("the host's pattern cells disagree");
    checkFormulas(doc);
    const std::string discipline = deskCheckDiscipline();
    if (!discipline.empty()) finding("drawing discipline: " + discipline);
}

void printStats() {
    for (int t = 0; t < kToolCount; ++t) {
        if (gSessions[t] == 0) continue;
        std::fprintf(stderr, "tool session %s: %ld sessions, %ld reached the edit (%.1f%%)\n", kTools[t].name,
                     gSessions[t], gEdits[t], 100.0 * gEdits[t] / gSessions[t]);
    }
}

// The index in gSamples of the tool's own sample, or -1.
int preferredSample(const FuzzTool& tool) {
    if (!tool.sample) return -1;
    const std::string text = tool.sample;
    const size_t blank = text.find(' ');
    const std::string file = text.substr(0, blank);
    const int piece = std::atoi(text.c_str() + blank + 1);
    for (size_t k = 0; k < gSamples.size(); ++k)
        if (gSamples[k].file == file && gSamples[k].piece == piece && gSamples[k].formulas) return static_cast<int>(k);
    return -1;
}

int toolIndex(const std::string& name) {
    for (int t = 0; t < kToolCount; ++t)
        if (name == kTools[t].name) return t;
    return -1;
}

}  // namespace

#ifndef QP_SESSION_SEEDS

static void playAction(host::HostSession& s, std::vector<host::ScriptCommand>& action, const host::ScriptCommand& on,
                int& n) {
    for (host::ScriptCommand& c : action) {
        c.line = ++n;
        if (gEcho) std::fprintf(stderr, "> %s\n", describe(c).c_str());
        try {
            // A finished run starts again, as a user picks the tool anew.
            if (needsTool(c.op) && !s.tool) s.step(on, "session");
            s.step(c, "session");
        } catch (const host::UserError&) {
            // A position outside the window or a point the piece no longer
            // has: the host refuses the script line.
        }
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (std::getenv("FUZZ_LIST_TOOLS")) {
        for (const FuzzTool& t : kTools) {
            const host::ToolEntry* entry = host::findTool(t.name);
            if (entry && entry->available()) std::printf("%s %s\n", t.name, t.source);
        }
        std::exit(0);
    }
    if (const char* forced = std::getenv("FUZZ_TOOL")) {
        gForcedTool = toolIndex(forced);
        if (gForcedTool < 0) {
            std::fprintf(stderr, "tool session: no tool '%s' in the harness's table\n", forced);
            std::exit(2);
        }
    }
    gEcho = std::getenv("FUZZ_ECHO") != nullptr;
    loadSamples();
    std::atexit(printStats);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Bytes in(data, size);
    const int first = in.next();
    const int t = gForcedTool >= 0 ? gForcedTool : first % kToolCount;
    const FuzzTool& tool = kTools[t];
    const host::ToolEntry* entry = host::findTool(tool.name);
    if (!entry || !entry->available()) return 0;
    // With a sample of its own, an even byte plays the tool on it, an odd
    // one on any sample.
    const int pick = in.next();
    const int own = preferredSample(tool);
    const Sample& sample =
        gSamples[own >= 0 && pick % 2 == 0 ? static_cast<size_t>(own)
                                           : static_cast<size_t>(own >= 0 ? pick / 2 : pick) % gSamples.size()];
    const int lengthUnit = in.next() % 3;

    deskReset();
    host::PatternDoc doc = host::buildPattern(sample.model, sample.file);
    const std::vector<char> before(reinterpret_cast<const char*>(doc.pattern),
                                   reinterpret_cast<const char*>(doc.pattern) + doc.pattern->totalSize);
    ++gSessions[t];
    {
        if (gEcho)
            std::fprintf(stderr, "session: %s piece %d %s, lengthUnit %d\n", sample.file.c_str(), sample.piece,
                         sample.formulas ? "with formulas" : "without formulas", lengthUnit);
        host::HostSession s(doc, gEcho ? &std::cerr : nullptr);
        s.hostDoc.lengthUnit = static_cast<int16_t>(lengthUnit);
        host::ScriptCommand piece = command(host::ScriptOp::Piece);
        piece.number = sample.piece;
        host::ScriptCommand on = command(host::ScriptOp::Tool);
        on.word = tool.name;
        s.begin();
        s.step(piece, "session");
        s.step(on, "session");
        const std::vector<std::string> gestureWords = words(tool.gesture);
        for (int n = 0; n < kMaxCommands && !in.done() && pointsOf(s.hostDoc.pattern) <= kMaxSessionPoints;) {
            bool gesture = false;
            std::vector<host::ScriptCommand> action = decodeAction(in, s, tool.name, gesture);
            // A gesture's words are decoded one at a time, each against the
            // piece as the last one left it.
            const size_t steps = gesture ? gestureWords.size() : 1;
            gClicked.clear();
            gLineWords = 0;
            gLineFirst = gLineLast = -1;
            for (size_t w = 0; w < steps; ++w) {
                if (gesture) {
                    action.clear();
                    gestureWord(gestureWords[w], in, s, action);
                }
                playAction(s, action, on, n);
            }
        }
        s.finish();
        checkSession(s);
    }
    const bool changed = static_cast<size_t>(doc.pattern->totalSize) != before.size() ||
                         std::memcmp(doc.pattern, before.data(), before.size()) != 0;
    if (changed) ++gEdits[t];
    doc = host::PatternDoc();
    if (!deskLiveBlocks().empty())
        finding(std::to_string(deskLiveBlocks().size()) + " global blocks left alive after the session");
    return 0;
}

#else  // QP_SESSION_SEEDS: the seed corpus from the replay corpus

#include <nlohmann/json.hpp>

namespace {

void put16(std::string& out, int v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

// The inverse of decodeTarget for what scripts write: "point N" or
// millimetres (kind 15); no target (kind 0). A "line N [T]" comes here as
// the millimetres it stood for when the script played it (encode).
void putTarget(std::string& out, const host::ScriptTarget& t) {
    if (!t.given) {
        out += static_cast<char>(kTargetNone);
    } else if (t.atPoint) {
        out += static_cast<char>(kTargetPoint);
        out += static_cast<char>(t.point);
    } else {
        out += static_cast<char>(kTargetMm);
        put16(out, static_cast<int>(std::lround(t.x * 10.0f)));
        put16(out, static_cast<int>(std::lround(t.y * 10.0f)));
    }
}

int indexOf(const char* const* table, int n, const std::string& text) {
    for (int k = 0; k < n; ++k)
        if (text == table[k]) return k;
    return -1;
}

// Encodes a replay script; false for a command the sessions cannot say.
// The script plays on the pattern as it is encoded, so that a position
// along a line becomes the millimetres it was at that moment of the run.
bool encode(const std::vector<host::ScriptCommand>& script, const std::string& dir, const std::string& file,
            std::string& out) {
    using host::ScriptOp;
    int piece = 0, tool = -1;
    std::string actions;
    host::PatternDoc doc = host::loadPattern(dir + file);
    host::HostSession session(doc, nullptr);
    session.begin();
    for (host::ScriptCommand c : script) {
        if (c.target.onLine) {
            double x = 0, y = 0;
            if (!host::pointAlongLine(doc.piece(session.pieceIndex), static_cast<short>(c.target.line),
                                      c.target.fraction, x, y))
                return false;
            c.target.onLine = false;
            c.target.x = static_cast<float>(x);
            c.target.y = static_cast<float>(y);
        }
        session.step(c, file);
        switch (c.op) {
            case ScriptOp::Piece: piece = c.number; break;
            case ScriptOp::Tool:
                if (tool < 0) tool = toolIndex(host::findTool(c.word) ? host::findTool(c.word)->name : "");
                else actions += static_cast<char>(kOpTool);
                break;
            case ScriptOp::Move: actions += static_cast<char>(kOpMove); putTarget(actions, c.target); break;
            case ScriptOp::Click: actions += static_cast<char>(kOpClick); putTarget(actions, c.target); break;
            case ScriptOp::RightClick: actions += static_cast<char>(kOpRightClick); putTarget(actions, c.target); break;
            case ScriptOp::Unfold: actions += static_cast<char>(kOpUnfold); putTarget(actions, c.target); break;
            case ScriptOp::Leave: actions += static_cast<char>(kOpLeave); break;
            case ScriptOp::Key: {
                int k = 0;
                while (k < kKeyCount && kKeys[k] != c.number) ++k;
                if (k < kKeyCount) {
                    actions += static_cast<char>(kOpKey);
                    actions += static_cast<char>(k);
                } else {
                    actions += static_cast<char>(kOpRawKey);
                    actions += static_cast<char>(c.number);
                }
                break;
            }
            case ScriptOp::Type: {
                const int k = indexOf(kTexts, kTextCount, c.text);
                if (k >= 0) {
                    actions += static_cast<char>(kOpType);
                    actions += static_cast<char>(k);
                } else {
                    for (size_t at = 0; at < c.text.size(); at += 8) {
                        const std::string part = c.text.substr(at, 8);
                        actions += static_cast<char>(kOpRawType);
                        actions += static_cast<char>(part.size());
                        actions += part;
                    }
                }
                break;
            }
            case ScriptOp::Answer: {
                const int k = indexOf(kTexts, kTextCount, c.text);
                if (k < 0 || k % 8 == 7) return false;
                actions += static_cast<char>(kOpAnswer);
                actions += static_cast<char>(k);
                break;
            }
            case ScriptOp::Straight: actions += static_cast<char>(kOpStraight); actions += static_cast<char>(c.number & 1); break;
            case ScriptOp::Set: {
                const int w = indexOf(kSetWords, kSetWordCount, c.word);
                if (w < 0 || c.number < -23 || c.number > 23) return false;
                actions += static_cast<char>(kOpSet);
                actions += static_cast<char>(w);
                actions += static_cast<char>(c.number);
                break;
            }
            case ScriptOp::Button: actions += static_cast<char>(kOpButton); actions += static_cast<char>(c.word == "cancel"); break;
            case ScriptOp::Cell:
                actions += static_cast<char>(kOpCell);
                actions += static_cast<char>((c.number % 8) | (c.word == "end" ? 0x80 : 0));
                break;
            case ScriptOp::End: actions += static_cast<char>(kOpSwitch); break;
            case ScriptOp::Message: {
                const std::vector<host::ScriptMessage>& messages = host::scriptMessages();
                size_t m = 0;
                while (m < messages.size() && c.word != messages[m].name) ++m;
                if (m == messages.size() || c.wParam > 0xFFFF || c.lParam > 0xFFFF) return false;
                actions += static_cast<char>(kOpMessage);
                actions += static_cast<char>(m == 0 ? 0 : messages.size() + m);
                put16(actions, static_cast<int>(c.wParam));
                put16(actions, static_cast<int>(c.lParam));
                break;
            }
            case ScriptOp::HostText: return false;  // not a user's action
        }
    }
    if (tool < 0) return false;
    int sample = -1;
    for (size_t k = 0; k < gSamples.size(); ++k)
        if (gSamples[k].file == file && gSamples[k].piece == piece && gSamples[k].formulas) sample = static_cast<int>(k);
    if (sample < 0) return false;
    out.clear();
    out += static_cast<char>(tool);
    const int own = preferredSample(kTools[tool]);
    out += static_cast<char>(own < 0 ? sample : sample == own ? 0 : 2 * sample + 1);
    out += '\0';  // centimetres
    out += actions;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: session_seeds OUT_DIR\n");
        return 2;
    }
    loadSamples();
    const std::string dir = std::string(QP_SOURCE_DIR) + "/examples/";
    const nlohmann::json corpus = nlohmann::json::parse(host::readFile(dir + "corpus.json"));
    int written = 0;
    for (const auto& c : corpus["cases"]) {
        const std::string pattern = c["pattern"], script = c["script"];
        std::string bytes;
        if (!encode(host::readScriptFile(dir + script), dir, pattern, bytes)) {
            std::fprintf(stderr, "session_seeds: %s cannot be said as a session; left out\n", script.c_str());
            continue;
        }
        std::ofstream(std::string(argv[1]) + "/" + script.substr(0, script.rfind('.')), std::ios::binary) << bytes;
        ++written;
    }
    std::printf("session_seeds: %d seeds in %s\n", written, argv[1]);
    return 0;
}

#endif

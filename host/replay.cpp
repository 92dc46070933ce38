// The host's part of a replayed tool run (see replay.h): the view, the
// window messages, the script's commands; each tool's own part is its entry
// in replay_tools.cpp.
#include "host/replay.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "frame/host_protocol.h"
#include "frame/siblings.h"
#include "host/host_io.h"
#include "host/piece_geometry.h"
#include "siblings/records/store_extras.h"

namespace host {

namespace {

// The part of the client area a piece is fitted into: below the tools'
// 30-pixel prompt bar, above the result box the sleeve-cap tool draws along
// the bottom (49 pixels), and clear of the pleat table in the top left.
constexpr int kFitLeft = 400;
constexpr int kFitRight = 30;
constexpr int kFitTop = 40;
constexpr int kFitBottom = 70;

HostSession* current = nullptr;  // the session whose dialog and commands are open

LPARAM pixelParam(POINT p) {
    return static_cast<LPARAM>((static_cast<uint32_t>(p.y & 0xFFFF) << 16) | static_cast<uint32_t>(p.x & 0xFFFF));
}

void multiply(const double a[9], const double b[9], double out[9]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += a[r * 3 + k] * b[k * 3 + c];
            out[r * 3 + c] = s;
        }
}

// What the store's failure hook throws inside a session; caught where the
// script line is known (step, finish). Unwinding is the choice over a
// longjmp or a flag: the library's frames hold std::vectors and strings,
// which an exception frees on the way (a longjmp would leak them), and a
// handler has no error path back to the host for a store refusal (a flag
// would let it go on editing through records the store never made).
struct StoreStopped {
    std::string reason;
};

std::string trimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
    return s;
}

}  // namespace

HostSession::HostSession(PatternDoc& d, std::ostream* echo, bool verbose)
    : doc(d),
      window_(kClientWidth, kClientHeight,
              [](WPARAM command) {
                  if (current && current->tool && current->tool->command) current->tool->command(*current, command);
              }),
      echo_(echo),
      verbose_(verbose) {
    hwnd = window_.handle();
    current = this;
    // The host keeps a copy of the whole pattern for undo; the tools that
    // edit the pattern free it and make a new one.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(doc.pattern->totalSize));
    auto* copy = static_cast<PatternBuffer*>(GlobalLock(block));
    qpMemcpy(copy, doc.pattern, doc.pattern->totalSize);
    hostDoc.patternCopy = copy;
    hostDoc.lengthUnit = 0;  // centimetres
    syncIn();
    previousHook_ = storeSetFailureHook(storeFailed);
}

HostSession::~HostSession() {
    storeSetFailureHook(previousHook_);
    if (hostDoc.patternCopy) {
        HGLOBAL block = GlobalHandle(hostDoc.patternCopy);
        if (block) {
            GlobalUnlock(block);
            GlobalFree(block);
        }
        hostDoc.patternCopy = nullptr;
    }
    if (current == this) current = nullptr;
}

HostSession* HostSession::active() { return current; }

const std::vector<SetWord>& hostSetWords() {
    static const std::vector<SetWord> words = {
        {"pickState", [](HostSession& s, int16_t v) { s.view.pickState = v; }},
        {"lengthUnit", [](HostSession& s, int16_t v) { s.hostDoc.lengthUnit = v; }},
    };
    return words;
}

const SetWord* findSetWord(const std::string& word) {
    for (const SetWord& w : hostSetWords())
        if (word == w.word) return &w;
    for (const ToolEntry& t : toolTable())
        for (const SetWord& w : t.words)
            if (word == w.word) return &w;
    return nullptr;
}

void HostSession::say(const std::string& line) {
    result_.printed.push_back(line);
    if (echo_) *echo_ << line << "\n";
}

void HostSession::syncIn() {
    patternCell = doc.pattern;
    hostDoc.pattern = doc.pattern;
    hostDoc.patternView = doc.pattern;
    hostDoc.currentPiece = pieceIndex;
    pieceCell = doc.piece(pieceIndex);
}

// Takes over whatever cell a tool rewrote: a tool that replaces the pattern
// or the current piece writes it into the cell it was given.
void HostSession::syncOut() {
    if (patternCell != doc.pattern) doc.pattern = patternCell;
    else if (hostDoc.pattern != doc.pattern) doc.pattern = hostDoc.pattern;
    else if (hostDoc.patternView != doc.pattern) doc.pattern = hostDoc.patternView;
    if (hostDoc.currentPiece != pieceIndex) pieceIndex = hostDoc.currentPiece;
    if (pieceIndex < 0 || pieceIndex >= doc.pieceCount()) pieceIndex = 0;
    syncIn();
}

void HostSession::fitView() {
    Piece* piece = doc.piece(pieceIndex);
    double minX = 1e30, minY = 1e30, maxX = -1e30, maxY = -1e30;
    for (short i = 0; piece && i < piece->pointCount; ++i) {
        double x, y;
        if (!pointPosition(piece, i, x, y)) continue;
        // Pattern coordinates: the piece's placement applied.
        const float* m = piece->placement;
        double px = x * m[0] + y * m[3] + m[6], py = x * m[1] + y * m[4] + m[7];
        minX = std::min(minX, px);
        maxX = std::max(maxX, px);
        minY = std::min(minY, py);
        maxY = std::max(maxY, py);
    }
    if (minX > maxX) minX = maxX = minY = maxY = 0.0;
    double w = std::max(maxX - minX, 1.0), h = std::max(maxY - minY, 1.0);
    double availW = kClientWidth - kFitLeft - kFitRight, availH = kClientHeight - kFitTop - kFitBottom;
    double s = std::min(availW / w, availH / h);
    // y up: the fit region runs from kFitBottom to height - kFitTop.
    double tx = kFitLeft + (availW - w * s) / 2.0 - minX * s;
    double ty = kFitBottom + (availH - h * s) / 2.0 - minY * s;
    const float v[9] = {static_cast<float>(s), 0, 0, 0, static_cast<float>(s), 0, static_cast<float>(tx),
                        static_cast<float>(ty), 1};
    std::memcpy(viewMatrix, v, sizeof viewMatrix);
    const float flip[9] = {1, 0, 0, 0, -1, 0, 0, static_cast<float>(kClientHeight), 1};
    const float unit[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    qpMultiMatrix(0, viewMatrix, flip, hostDoc.viewMatrixA);
    std::memcpy(hostDoc.viewMatrixB, unit, sizeof unit);
}

POINT HostSession::clientOf(double x, double y) const {
    Piece* piece = doc.piece(pieceIndex);
    double p[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (piece)
        for (int i = 0; i < 9; ++i) p[i] = piece->placement[i];
    double v[9], f[9] = {1, 0, 0, 0, -1, 0, 0, static_cast<double>(kClientHeight), 1}, pv[9], m[9];
    for (int i = 0; i < 9; ++i) v[i] = viewMatrix[i];
    multiply(p, v, pv);
    multiply(pv, f, m);
    double cx = x * m[0] + y * m[3] + m[6];
    double cy = x * m[1] + y * m[4] + m[7];
    return POINT{static_cast<LONG>(std::lround(cx)), static_cast<LONG>(std::lround(cy))};
}

short HostSession::send(UINT message, WPARAM wParam, LPARAM lParam, bool showTexts) {
    if (!tool) return 0;
    window_.watch();
    syncIn();
    short handled = tool->call(*this, message, wParam, lParam);
    ++result_.messages;
    syncOut();
    const Shown shown = window_.seen();
    std::string lastText;
    for (const DrawnText& drawn : shown.texts) {
        if (!showTexts) break;
        std::string t = trimRight(gbkToUtf8(drawn.bytes));
        if (t.empty() || t == lastText) continue;
        lastText = t;
        bool prompt = drawn.y < 30;
        say(std::string(prompt ? "prompt: " : "text: ") + t);
    }
    for (const ShownBox& box : shown.boxes)
        say("message box: " + gbkToUtf8(box.text) + "  [" + gbkToUtf8(box.caption) + "]");
    if (tool->finished(*this, shown.invalidated)) {
        say(std::string("host: the ") + tool->title + " run is finished; the window is repainted");
        result_.runFinished = true;
        tool = nullptr;
    }
    return handled;
}

void HostSession::moveTo(const ScriptTarget& target, int line, const std::string& scriptName) {
    double x = target.x, y = target.y;
    Piece* piece = doc.piece(pieceIndex);
    if (target.atPoint) {
        if (!piece || target.point >= piece->pointCount || !pointPosition(piece, static_cast<short>(target.point), x, y))
            throw UserError(scriptName + ": line " + std::to_string(line),
                            "point " + std::to_string(target.point) + " does not exist in piece " +
                                std::to_string(pieceIndex) + " (it has " +
                                std::to_string(piece ? piece->pointCount : 0) + " points)");
    }
    if (target.onLine) {
        if (!piece || target.line >= piece->lineCount ||
            !pointAlongLine(piece, static_cast<short>(target.line), target.fraction, x, y))
            throw UserError(scriptName + ": line " + std::to_string(line),
                            "line " + std::to_string(target.line) + " does not exist in piece " +
                                std::to_string(pieceIndex) + " (it has " +
                                std::to_string(piece ? piece->lineCount : 0) + " lines)");
    }
    POINT p = clientOf(x, y);
    if (p.x < 0 || p.y < 0 || p.x >= kClientWidth || p.y >= kClientHeight)
        throw UserError(scriptName + ": line " + std::to_string(line),
                        "the position lies outside the window (client pixel " + std::to_string(p.x) + ", " +
                            std::to_string(p.y) + ")");
    placeCursor(p, line, scriptName);
}

void HostSession::placeCursor(POINT p, int line, const std::string& scriptName) {
    if (!window_.placeCursor(p))
        throw UserError(scriptName + ": line " + std::to_string(line),
                        "the cursor cannot be put on client pixel " + std::to_string(p.x) + ", " +
                            std::to_string(p.y));
}

void HostSession::endRun() {
    if (tool && tool->stop) tool->stop(*this);
    tool = nullptr;
}

ReplayResult HostSession::play(const std::vector<ScriptCommand>& script, const std::string& scriptName) {
    begin();
    for (const ScriptCommand& c : script) step(c, scriptName);
    return finish();
}

void HostSession::begin() {
    result_ = ReplayResult{};
    fitView();
}

ReplayResult HostSession::finish() {
    if (tool) {
        say(std::string("host: the script ended before the ") + tool->title + " run finished; the host ends it");
        place_ = "the end of the script";
        try {
            endRun();
        } catch (const StoreStopped& stop) {
            throw stopped(stop.reason);
        }
    }
    syncOut();
    return result_;
}

EditFailure HostSession::stopped(const std::string& reason) {
    // A tool that had already replaced the pattern's block put the new one
    // in its cell: the document takes it over, so that it frees a live block.
    syncOut();
    const std::string title = tool ? tool->title : "tool's";
    tool = nullptr;
    return EditFailure(place_, "the pattern store stopped the " + title + " edit: " + reason +
                                   "; the pattern is left unsaved");
}

void HostSession::storeFailed(const char* reason) {
#if defined(_WIN32)
    // Qpkit6.dll and the siblings each carry their own copy of the unwinder
    // (the GCC runtime is linked into every DLL), so nothing thrown here
    // could unwind through their frames to the script line. The run ends
    // where it stands instead, as main() ends it for an EditFailure: its
    // line on stderr, status 2, no file written (none is before the replay
    // is over).
    const EditFailure failure = current->stopped(reason);
    std::cout.flush();
    std::cerr << "qpkit: " << failure.oneLine() << std::endl;
    std::_Exit(2);
#else
    throw StoreStopped{reason};
#endif
}

void HostSession::step(const ScriptCommand& c, const std::string& scriptName) {
    place_ = scriptName + ": line " + std::to_string(c.line);
    try {
        play1(c, scriptName);
    } catch (const StoreStopped& stop) {
        throw stopped(stop.reason);
    }
}

void HostSession::play1(const ScriptCommand& c, const std::string& scriptName) {
    auto fail = [&](const std::string& what) {
        throw UserError(scriptName + ": line " + std::to_string(c.line), what);
    };
    if (verbose_) say("> " + c.source);
    bool needsTool = c.op != ScriptOp::Tool && c.op != ScriptOp::Piece && c.op != ScriptOp::Answer &&
                     c.op != ScriptOp::HostText &&
                     c.op != ScriptOp::Set && c.op != ScriptOp::End;
    if (needsTool && !tool) {
        fail(result_.runFinished ? "the tool's run is already finished; start it again with 'tool NAME'"
                                 : "no tool is chosen yet: start with 'tool NAME'");
    }
    auto pointer = [&](UINT message, WPARAM buttons) {
        if (c.target.given) {
            moveTo(c.target, c.line, scriptName);
            short r = send(WM_MOUSEMOVE, 0, pixelParam(window_.cursor()));
            if (verbose_) say("  WM_MOUSEMOVE -> " + std::to_string(r));
            if (!tool) return;
        }
        short r = send(message, buttons, pixelParam(window_.cursor()));
        if (verbose_) say("  message -> " + std::to_string(r));
    };
    switch (c.op) {
        case ScriptOp::Tool: {
            const ToolEntry* t = findTool(c.word);
            if (!t) {
                std::string list;
                for (const auto& e : toolTable()) list += (list.empty() ? "" : ", ") + std::string(e.name);
                fail("unknown tool '" + c.word + "' (tools: " + list + ")");
            }
            if (!t->available())
                fail(std::string("the library has no ") + t->title + " tool yet (" + t->handler + ")");
            endRun();
            tool = t;
            result_.runFinished = false;
            fitView();
            tool->start(*this);
            break;
        }
        case ScriptOp::Piece:
            if (c.number >= doc.pieceCount())
                fail("piece " + std::to_string(c.number) + " does not exist (the pattern has " +
                     std::to_string(doc.pieceCount()) + " pieces)");
            if (tool) fail("choose the piece before the tool ('piece N' before 'tool NAME')");
            pieceIndex = static_cast<short>(c.number);
            syncIn();
            fitView();
            break;
        case ScriptOp::Move: {
            moveTo(c.target, c.line, scriptName);
            short r = send(WM_MOUSEMOVE, 0, pixelParam(window_.cursor()));
            if (verbose_) say("  WM_MOUSEMOVE -> " + std::to_string(r));
            break;
        }
        case ScriptOp::Click: pointer(WM_LBUTTONDOWN, 1); break;
        case ScriptOp::RightClick: pointer(WM_RBUTTONDOWN, 2); break;
        case ScriptOp::Unfold:
            fold.foldPhase = 2;
            pointer(WM_LBUTTONDOWN, 1);
            break;
        case ScriptOp::Leave: send(WM_NCMOUSEMOVE, 0, 0); break;
        case ScriptOp::Key: {
            short r = send(WM_KEYDOWN, static_cast<WPARAM>(c.number), 1);
            if (verbose_) say("  WM_KEYDOWN -> " + std::to_string(r));
            break;
        }
        case ScriptOp::Type:
            // The typed characters are in the script; the edit field's
            // echo of each keystroke is not printed.
            for (unsigned char ch : c.text) {
                send(WM_CHAR, ch, 1, false);
                if (!tool) break;
            }
            break;
        case ScriptOp::Answer: {
            std::string gbk;
            if (!utf8ToGbk(c.text, gbk)) fail("the answer has characters the dialog cannot take (not GBK)");
            window_.queueDialogAnswer(gbk);
            break;
        }
        case ScriptOp::HostText: {
            // What the host's own size box leaves in its text buffer: the
            // point-increase tool reads it for a drill mark (mode 14).
            std::string gbk;
            if (!utf8ToGbk(c.text, gbk)) fail("the text has characters the host cannot take (not GBK)");
            if (gbk.size() >= sizeof dialogText) fail("the text does not fit the host's buffer");
            std::memset(dialogText, 0, sizeof dialogText);
            std::memcpy(dialogText, gbk.data(), gbk.size());
            break;
        }
        case ScriptOp::Straight: {
            short r = send(WM_COMMAND, frame::kCmdStraight, c.number);
            if (verbose_) say("  WM_COMMAND 0x117 -> " + std::to_string(r));
            break;
        }
        case ScriptOp::Set:
            // The parser knows the words; a record without one sets nothing.
            if (const SetWord* w = findSetWord(c.word)) w->set(*this, static_cast<int16_t>(c.number));
            break;
        case ScriptOp::Button:
        case ScriptOp::Cell: {
            POINT at{};
            if (!tool->control || !tool->control(c, at))
                fail(std::string("the ") + tool->title + " tool has no " +
                     (c.op == ScriptOp::Button ? "button " : "cell ") + c.word + " of its own");
            placeCursor(at, c.line, scriptName);
            send(WM_LBUTTONDOWN, 1, pixelParam(window_.cursor()));
            break;
        }
        case ScriptOp::Message: {
            // LPARAM is signed: a word written above 0x7FFFFFFF is its two's
            // complement, as a 32-bit host passes it.
            short r = send(static_cast<UINT>(c.number), static_cast<WPARAM>(c.wParam),
                           static_cast<LPARAM>(static_cast<int32_t>(c.lParam)));
            if (verbose_) say("  " + c.word + " -> " + std::to_string(r));
            break;
        }
        case ScriptOp::End:
            if (tool) say(std::string("host: the ") + tool->title + " run is ended by the host");
            endRun();
            break;
    }
}

}  // namespace host

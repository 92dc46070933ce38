// The host's part of a replayed tool run (see replay.h): the view, the
// window messages, the script's commands; each tool's own part is its entry
// in replay_tools.cpp.
#include "host/replay.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "frame/handler_frame.h"
#include "frame/host_protocol.h"
#include "frame/siblings.h"
#include "frame/texts.h"
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

// The system text with these bytes (trailing blanks aside), or null. A text
// that a tool completes with its own figures after a blank (the pleat rows
// it skipped) is the table text it begins with.
const SystemText* systemText(const std::string& gbk) {
    const std::string text = trimRight(gbk);
    const SystemText* begun = nullptr;
    for (const SystemText& t : kSystemTexts) {
        const std::string own = trimRight(t.gbk);
        if (own == text) return &t;
        if (text.size() > own.size() && text[own.size()] == ' ' && text.compare(0, own.size(), own) == 0) begun = &t;
    }
    return begun;
}

// The English reading of a text the library showed, with the text beside
// it: "pick the cut point (prompt: 请指定…)".
std::string readingOf(const std::string& gbk, const char* shownAs) {
    const SystemText* t = systemText(gbk);
    const std::string own = std::string(shownAs) + ": " + trimRight(gbkToUtf8(gbk));
    return t ? std::string(t->reading) + " (" + own + ")" : "(" + own + ")";
}

std::string oneDecimal(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.1f", v);
    return std::string(t) == "-0.0" ? "0.0" : t;
}

std::string mmPair(double x, double y) { return "(" + oneDecimal(x) + ", " + oneDecimal(y) + ") mm"; }

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
        {"pickState", [](HostSession& s, int16_t v) { s.view.pickState = v; }, 0, 1,
         "1 starts tracking the mouse, 0 stops it"},
        {"lengthUnit", [](HostSession& s, int16_t v) { s.hostDoc.lengthUnit = v; }, 0, 2,
         "0 centimetre, 1 inch, 2 the host's 33.33 mm unit"},
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

// Piece millimetres to client pixels of the current piece: placement x
// view x flip.
void HostSession::clientMatrix(double m[9]) const {
    Piece* piece = doc.piece(pieceIndex);
    double p[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    if (piece)
        for (int i = 0; i < 9; ++i) p[i] = piece->placement[i];
    double v[9], f[9] = {1, 0, 0, 0, -1, 0, 0, static_cast<double>(kClientHeight), 1}, pv[9];
    for (int i = 0; i < 9; ++i) v[i] = viewMatrix[i];
    multiply(p, v, pv);
    multiply(pv, f, m);
}

POINT HostSession::clientOf(double x, double y) const {
    double m[9];
    clientMatrix(m);
    double cx = x * m[0] + y * m[3] + m[6];
    double cy = x * m[1] + y * m[4] + m[7];
    return POINT{static_cast<LONG>(std::lround(cx)), static_cast<LONG>(std::lround(cy))};
}

void HostSession::pieceOf(POINT client, double& x, double& y) const {
    double m[9];
    clientMatrix(m);
    const double det = m[0] * m[4] - m[1] * m[3];
    const double cx = client.x - m[6], cy = client.y - m[7];
    x = det != 0.0 ? (cx * m[4] - cy * m[3]) / det : 0.0;
    y = det != 0.0 ? (cy * m[0] - cx * m[1]) / det : 0.0;
}

short HostSession::send(UINT message, WPARAM wParam, LPARAM lParam, bool showTexts) {
    showed_ = false;
    if (!tool) return 0;
    const size_t saidBefore = result_.printed.size();
    window_.watch();
    syncIn();
    short handled = tool->call(*this, message, wParam, lParam);
    ++result_.messages;
    syncOut();
    const Shown shown = window_.seen();
    std::string lastText;
    for (const DrawnText& drawn : shown.texts) {
        if (!showTexts) break;
        const std::string text = trimRight(drawn.bytes);
        if (text.empty() || text == lastText) continue;
        lastText = text;
        showText(drawn.bytes, drawn.y < frame::kPromptBarHeight);
    }
    for (const ShownBox& box : shown.boxes) showBox(box.text, box.caption);
    // The length dialog, which the host answers, printed a line of its own.
    showed_ = shown.drew || !shown.boxes.empty() || shown.invalidated || result_.printed.size() > saidBefore;
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
    if (p.x < 0 || p.y < 0 || p.x >= kClientWidth || p.y >= kClientHeight) {
        // What the window shows of the piece, in its millimetres.
        double lowX = 1e300, lowY = 1e300, highX = -1e300, highY = -1e300;
        for (POINT corner : {POINT{0, 0}, POINT{kClientWidth - 1, 0}, POINT{0, kClientHeight - 1},
                             POINT{kClientWidth - 1, kClientHeight - 1}}) {
            double cx = 0, cy = 0;
            pieceOf(corner, cx, cy);
            lowX = std::min(lowX, cx);
            lowY = std::min(lowY, cy);
            highX = std::max(highX, cx);
            highY = std::max(highY, cy);
        }
        throw UserError(scriptName + ": line " + std::to_string(line),
                        "the position " + mmPair(x, y) + " lies outside the window, which shows piece " +
                            std::to_string(pieceIndex) + " from x " + oneDecimal(lowX) + " to " + oneDecimal(highX) +
                            " mm and y " + oneDecimal(lowY) + " to " + oneDecimal(highY) + " mm");
    }
    placeCursor(p, line, scriptName);
    cursorPixel_ = p;
    cursorX_ = x;
    cursorY_ = y;
}

std::string HostSession::visibleState() const {
    std::string bytes;
    auto add = [&bytes](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
    add(&view, sizeof view);
    add(&hostDoc, sizeof hostDoc);
    add(&fold, sizeof fold);
    add(&pieceIndex, sizeof pieceIndex);
    add(&patternCell, sizeof patternCell);
    add(&pieceCell, sizeof pieceCell);
    add(dialogText, sizeof dialogText);
    const int pieces = doc.pieceCount();
    add(&pieces, sizeof pieces);
    if (const Piece* piece = doc.piece(pieceIndex))
        add(&piece->groupFlag, offsetof(Piece, byteSize) + sizeof piece->byteSize - offsetof(Piece, groupFlag));
    return bytes;
}

short HostSession::click(WPARAM buttons) {
    const std::string before = visibleState();
    const POINT at = window_.cursor();
    const short handled = send(WM_LBUTTONDOWN, buttons, pixelParam(at));
    if (showed_ || visibleState() != before) return handled;
    double x = cursorX_, y = cursorY_;
    if (at.x != cursorPixel_.x || at.y != cursorPixel_.y) pieceOf(at, x, y);
    char radius[16];
    std::snprintf(radius, sizeof radius, "%g", static_cast<double>(frame::kPickRadiusMm));
    note(RunNote::kPickedNothing, "the click at " + mmPair(x, y) + " picked nothing within " + radius + " mm");
    return handled;
}

void HostSession::note(RunNote::Kind kind, const std::string& what) {
    for (const RunNote& n : result_.notes)
        if (n.line == line_ && n.what == what) return;  // a text drawn again
    result_.notes.push_back(RunNote{kind, line_, what});
    say("line " + std::to_string(line_) + ": " + what);
}

void HostSession::showText(const std::string& gbk, bool prompt) {
    const SystemText* t = systemText(gbk);
    if (t && t->refusal && tool) {
        note(RunNote::kRefused, std::string("the ") + tool->title + " refused: " + readingOf(gbk, "prompt"));
        return;
    }
    // What the tool is waiting for: its last text of its own (a figure it
    // shows is no text of the table).
    if (t) lastAsked_ = {gbk, prompt ? "prompt" : "text"};
    say(std::string(prompt ? "prompt: " : "text: ") + trimRight(gbkToUtf8(gbk)));
}

// Every message box a tool shows is a refusal: the library shows none
// other (each under the system's caption, kCaption).
void HostSession::showBox(const std::string& gbk, const std::string& caption) {
    const std::string title = tool ? tool->title : "library";
    std::string what = "the " + title + " refused: " + readingOf(gbk, "message box");
    if (caption != kCaption) what += " [" + trimRight(gbkToUtf8(caption)) + "]";
    note(RunNote::kRefused, what);
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
    if (tool && tool->hostEnds) {
        say(std::string("host: the script ends the ") + tool->title + " run");
    } else if (tool) {
        std::string what = std::string("the script ended before the ") + tool->title + " run finished; the host ends it";
        if (!lastAsked_.first.empty())
            what += "; the tool last showed: " + readingOf(lastAsked_.first, lastAsked_.second);
        note(RunNote::kUnfinished, what);
    }
    if (tool) {
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
    line_ = c.line;
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
        short r = message == WM_LBUTTONDOWN ? click(buttons) : send(message, buttons, pixelParam(window_.cursor()));
        if (verbose_) say(std::string(message == WM_LBUTTONDOWN ? "  WM_LBUTTONDOWN" : "  WM_RBUTTONDOWN") + " -> " +
                          std::to_string(r));
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
            lastAsked_ = {};
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

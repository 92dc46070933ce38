// How each cost grows with the piece: every benchmark here runs over the
// sizes of kScaleSizes (or the formula sizes up to LargestFormulaPiece) with
// SetComplexityN, so that one run gives time per point at every size and
// the ratios of bench/main.cpp's table. Edits run on a fresh copy per
// iteration; copying is timed apart (CopyPattern).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "bench/child_process.h"
#include "bench/large_pieces.h"
#include "frame/exports.h"
#include "frame/siblings.h"
#include "host/pattern_json.h"
#include "host/pattern_store.h"
#include "pieces/point_increase.h"
#include "win/desktop.h"

namespace {

using bench::kScaleSizes;

const float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

void ScaleSizes(benchmark::internal::Benchmark* b) {
    for (int n : kScaleSizes) b->Arg(n);
    b->Complexity();
}
// Pieces with formulas: the 16-bit text area holds about 26 bytes of texts
// per point here, so 1024 points is the largest power of two that fits
// (LargestFormulaPiece tells; a size beyond it is skipped with its reason).
void FormulaSizes(benchmark::internal::Benchmark* b) {
    for (int n = 128; n <= 1024; n *= 2) b->Arg(n);
    b->Complexity();
}

// One piece per size and kind, built once (the builder is not what is timed).
struct Piece1 {
    PatternBuffer* pattern;
    Piece* piece;
};
Piece1 Shared(int n, bench::Outline outline = bench::Outline::Curved, bool formulas = false) {
    if (formulas && n > bench::LargestFormulaPiece()) {
        std::fprintf(stderr, "bench: %d points with formulas overflow the text area\n", n);
        std::abort();
    }
    static std::vector<std::pair<std::string, Piece1>> made;
    const std::string key = std::to_string(n) + (outline == bench::Outline::Straight ? "s" : "c") + (formulas ? "f" : "");
    for (auto& m : made)
        if (m.first == key) return m.second;
    storeSetParameter("H", 90.0f);
    storeSetParameter("BL", 40.0f);
    PatternBuffer* p = bench::PatternOf(bench::LargePiece(n, outline, formulas));
    made.push_back({key, Piece1{p, bench::FirstPiece(p)}});
    return made.back().second;
}

// ---- the floor and the snap ---------------------------------------------------

// One pass over the piece's coordinates through the store's getters.
void OnePassOverPoints(benchmark::State& state) {
    Piece1 f = Shared(state.range(0));
    for (auto _ : state) {
        double sum = 0;
        for (short i = 0; i < f.piece->pointCount; ++i) {
            Point* p = nullptr;
            qpGetPointLptr(f.piece, i, &p);
            Coord* c = nullptr;
            qpGetCoordLptr(f.piece, p->coordIndex, &c);
            sum += c->x + c->y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(OnePassOverPoints)->Apply(ScaleSizes);

// One mouse move: the nearest outline vertex (the sleeve cap's track) and
// the nearest point on any line (the part match of the other tools).
void SnapOneMouseMove(benchmark::State& state) {
    Piece1 f = Shared(state.range(0));
    for (auto _ : state) {
        short index = -1;
        float length = 0, x = 412.5f, y = 371.25f;
        qpCurve(nullptr, f.piece, qpcurve::kOpSearch, qpcurve::kNearestVertex, qpcurve::kStylePlain,
                qpcurve::kModeWholePiece | qpcurve::kSnapOutlineVertices, 0, 0, qpcurve::kColourDefault,
                qpcurve::kDefaultResolution, &index, &length, &x, &y, kIdentity);
        x = 412.5f;
        y = 371.25f;
        qpCurve(nullptr, f.piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kModeWholePiece | qpcurve::kSnapAllLines, 0, 0, qpcurve::kColourDefault,
                qpcurve::kDefaultResolution, &index, &length, &x, &y, kIdentity);
        benchmark::DoNotOptimize(x);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(SnapOneMouseMove)->Apply(ScaleSizes);

// ---- store operations on a fresh copy --------------------------------------------

// The copy every editing benchmark makes before its timed call.
void CopyPattern(benchmark::State& state) {
    Piece1 f = Shared(state.range(0));
    for (auto _ : state) {
        PatternBuffer* copy = bench::CopyOf(f.pattern);
        benchmark::DoNotOptimize(copy);
        storeFreePattern(copy);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(CopyPattern)->Apply(ScaleSizes);

template <class Edit>
void OnCopies(benchmark::State& state, Piece1 f, Edit edit) {
    for (auto _ : state) {
        state.PauseTiming();
        PatternBuffer* copy = bench::CopyOf(f.pattern);
        Piece* piece = bench::FirstPiece(copy);
        state.ResumeTiming();
        edit(copy, piece);
        state.PauseTiming();
        storeFreePattern(copy);
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}

void StoreInsertPoint(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0)), [](PatternBuffer* p, Piece* piece) {
        Point* point = nullptr;
        qpInsertPoint(p, piece, static_cast<short>(piece->pointCount / 2), &point);
    });
}
BENCHMARK(StoreInsertPoint)->Apply(ScaleSizes);

void StoreDeletePoint(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0)), [](PatternBuffer* p, Piece* piece) {
        qpDeletePoint(p, piece, static_cast<short>(piece->pointCount / 2));
    });
}
BENCHMARK(StoreDeletePoint)->Apply(ScaleSizes);

void StoreAppendPoint(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0)), [](PatternBuffer* p, Piece* piece) {
        Seg* seg = nullptr;
        qpGetSegLptr(piece, 0, &seg);
        Point* point = nullptr;
        qpIncreasePoint(p, piece, seg, -1, 0, &point);
    });
}
BENCHMARK(StoreAppendPoint)->Apply(ScaleSizes);

// Copies of a 16-point group of the outline into the same piece.
template <short kMode>
void StoreCopyGroup(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0)), [](PatternBuffer* p, Piece* piece) {
        const short at = static_cast<short>(piece->pointCount / 3);
        qpCopyGroupPoint(p, piece, at, static_cast<short>(at + 15), p, piece, static_cast<short>(at + 20), kMode);
    });
}
BENCHMARK_TEMPLATE(StoreCopyGroup, 48)->Apply(ScaleSizes);
BENCHMARK_TEMPLATE(StoreCopyGroup, 16)->Apply(ScaleSizes);
BENCHMARK_TEMPLATE(StoreCopyGroup, 1)->Apply(ScaleSizes);
BENCHMARK_TEMPLATE(StoreCopyGroup, 0x11)->Apply(ScaleSizes);

// A run that grows with the piece (3/8 of its outline) appended to a new
// empty piece, as the dart fold copies the outline across the dart's mouth.
// Each copy that grows the new piece one record at a time moves the records
// it already holds, so this row shows the copy's cost in the run's length.
void StoreCopyGroupSpan(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0)), [](PatternBuffer* p, Piece* piece) {
        const short first = static_cast<short>(piece->pointCount / 4);
        const short last = static_cast<short>(first + piece->pointCount * 3 / 8);
        const short index = p->pieceCount;
        Piece* copy = nullptr;
        qpIncreasePiece(p, &copy);
        qpGetPieceLptr(p, 0, &piece);
        qpGetPieceLptr(p, index, &copy);
        qpCopyGroupPoint(p, piece, first, last, p, copy, -1, 0x11);  // append, as the fold copies
    });
}
BENCHMARK(StoreCopyGroupSpan)->Apply(ScaleSizes);

// Piece replacement: the piece of a one-piece block appended to a pattern
// (a tool that rebuilds a piece hands it over so).
void StoreAddPieceToBuffer(benchmark::State& state) {
    Piece1 f = Shared(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        PatternBuffer* target = bench::CopyOf(f.pattern, 1 << 10);
        PatternBuffer* block = bench::CopyOf(f.pattern, 0);
        Piece* newPiece = bench::FirstPiece(block);
        Piece* pieceCell = nullptr;
        state.ResumeTiming();
        qpAddPiece2Buffer(&block, &newPiece, &target, &pieceCell, 0);
        state.PauseTiming();
        storeFreePattern(target);
        storeFreePattern(block);
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(StoreAddPieceToBuffer)->Apply(ScaleSizes);

void StoreDeleteString(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0), bench::Outline::Curved, true), [](PatternBuffer* p, Piece* piece) {
        Formula* f = nullptr;
        qpGetFormulaLptr(piece, 0, &f);
        short chars = 0;
        qpDeleteString(p, piece, &chars, f->xTextOffset, f->xTextLength);
    });
}
BENCHMARK(StoreDeleteString)->Apply(FormulaSizes);

void InsertSamePoint(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0)), [](PatternBuffer* p, Piece* piece) {
        Point* twin = nullptr;
        qpInsertSamePoint(p, piece, static_cast<short>(piece->pointCount / 2), &twin);
    });
}
BENCHMARK(InsertSamePoint)->Apply(ScaleSizes);

void InsertSamePointWithFormulas(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0), bench::Outline::Curved, true), [](PatternBuffer* p, Piece* piece) {
        Point* twin = nullptr;
        qpInsertSamePoint(p, piece, static_cast<short>(piece->pointCount / 2), &twin);
    });
}
BENCHMARK(InsertSamePointWithFormulas)->Apply(FormulaSizes);

void CalcuPointFormula(benchmark::State& state) {
    OnCopies(state, Shared(state.range(0), bench::Outline::Curved, true), [](PatternBuffer* p, Piece* piece) {
        Formula* target = nullptr;
        qpGetFormulaLptr(piece, 4, &target);
        qpCalcuPointFormula(p, piece, target, 3, 5, 140.0f, 370.0f, 1);
    });
}
BENCHMARK(CalcuPointFormula)->Apply(FormulaSizes);

// A 50-piece group pattern (n points in all) copied twice with qpMemcpy:
// the yardstick of symmetry on such a pattern (at most 4 times this).
void GroupPatternCopyTwice(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    PatternBuffer* group = bench::GroupPattern(50, n / 50);
    PatternBuffer* a = storeNewPattern(group->totalSize);
    PatternBuffer* b = storeNewPattern(group->totalSize);
    for (auto _ : state) {
        qpMemcpy(a, group, group->totalSize);
        qpMemcpy(b, group, group->totalSize);
        benchmark::ClobberMemory();
    }
    storeFreePattern(a);
    storeFreePattern(b);
    storeFreePattern(group);
    state.SetComplexityN(n);
}
BENCHMARK(GroupPatternCopyTwice)->Apply(ScaleSizes);
// ---- symmetry's editing message: the click on the axis ------------------------------

// The host's view for symmetry: piece (x, y) at client (x + 400, 718 - y).
const float kSymmetryView[9] = {1, 0, 0, 0, -1, 0, 400, 718, 1};

// Mirrors piece 0 of `shared` about the line through its point 0 (the first
// outline line), on a fresh copy per iteration; the copies, the mouse move
// that prepares the run and the freeing are not timed. In a pattern of kind
// 11 every group piece is mirrored.
void SymmetryClick(benchmark::State& state, PatternBuffer* shared, int n) {
    deskSetClientRect(1024, 768);
    Coord* c = nullptr;
    qpGetCoordLptr(bench::FirstPiece(shared), 0, &c);
    const int cx = static_cast<int>(std::lround(c->x + 400)), cy = static_cast<int>(std::lround(718 - c->y));
    int mirrored = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HostDoc doc{};
        doc.pattern = doc.patternView = bench::CopyOf(shared, 0);
        doc.patternCopy = bench::CopyOf(shared, 0);
        std::memcpy(doc.viewMatrixA, kSymmetryView, sizeof kSymmetryView);
        std::memcpy(doc.viewMatrixB, kIdentity, sizeof kIdentity);
        HostView view{};
        view.symmetryStep = 1;
        deskSetCursorClient(cx, cy);
        qpHandlePieceSymmatry(deskWindow(), WM_MOUSEMOVE, 0, 0, &view, &doc);
        deskClearLog();
        state.ResumeTiming();
        qpHandlePieceSymmatry(deskWindow(), WM_LBUTTONDOWN, 0, 0, &view, &doc);
        state.PauseTiming();
        mirrored += view.symmetryStep == 0;
        storeFreePattern(doc.pattern);
        storeFreePattern(doc.patternCopy);
        deskClearLog();
        state.ResumeTiming();
    }
    if (mirrored != static_cast<int>(state.iterations())) state.SkipWithError("the click mirrored nothing");
    state.SetComplexityN(n);
}

// A half piece of n / 2 points: the whole piece has about n. Piece.pointCount
// is 16-bit, so the largest size, 16384, mirrors a half piece of 8192 points.
void SymmetryEdit(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    PatternBuffer* half = bench::PatternOf(bench::LargePiece(n / 2));
    SymmetryClick(state, half, n);
    storeFreePattern(half);
}
// The sizes of the other benchmarks, 1k to 16k points.
void SymmetrySizes(benchmark::internal::Benchmark* b) {
    for (int n : kScaleSizes) b->Arg(n);
    b->Complexity();
}
BENCHMARK(SymmetryEdit)->Apply(SymmetrySizes)->Unit(benchmark::kMillisecond);

// The 50-piece group pattern of GroupPatternCopyTwice (n points in all), as a
// pattern of kind 11: every piece is mirrored.
void SymmetryGroupEdit(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    PatternBuffer* group = bench::GroupPattern(50, n / 50);
    group->kind = 11;
    SymmetryClick(state, group, n);
    storeFreePattern(group);
}
// 1k to 16k points in all (20 to 327 per piece).
void SymmetryGroupSizes(benchmark::internal::Benchmark* b) {
    for (int n : kScaleSizes) b->Arg(n);
    b->Complexity();
}
BENCHMARK(SymmetryGroupEdit)->Apply(SymmetryGroupSizes)->Unit(benchmark::kMillisecond);

// ---- the editing messages of pleat spread, the darts and point increase -----------

// The panel of LargeDartedPanel, one per size (and with or without
// formulas), built once.
PatternBuffer* SharedPanel(int n, bool formulas = false) {
    static std::vector<std::pair<int, PatternBuffer*>> made;
    const int key = formulas ? -n : n;
    for (auto& m : made)
        if (m.first == key) return m.second;
    storeSetParameter("H", 90.0f);
    storeSetParameter("BL", 40.0f);
    made.push_back({key, bench::PatternOf(bench::LargeDartedPanel(n, formulas))});
    return made.back().second;
}
// The darts and the pleat spread on a panel with formulas: every moved
// point's texts are graded. A transfer at 1024 points turns more texts than
// the text area has room for, so 512 is the top.
void PanelFormulaSizes(benchmark::internal::Benchmark* b) {
    for (int n = 128; n <= 512; n *= 2) b->Arg(n);
    b->Complexity();
}

// These tools' view: piece (x, y) at client (x + 100, 718 - y).
const float kToolView[9] = {1, 0, 0, 0, 1, 0, 100, 50, 1};
void CursorAtPiece(double x, double y) {
    deskSetCursorClient(static_cast<int>(std::lround(x + 100)), static_cast<int>(std::lround(718 - y)));
}
// The cursor on the middle of the two-point line that starts at `first`.
void CursorOnLine(Piece* piece, short first) {
    Coord* a = nullptr;
    Coord* b = nullptr;
    Point* p = nullptr;
    qpGetPointLptr(piece, first, &p);
    qpGetCoordLptr(piece, p->coordIndex, &a);
    qpGetPointLptr(piece, static_cast<short>(first + 1), &p);
    qpGetCoordLptr(piece, p->coordIndex, &b);
    CursorAtPiece((a->x + b->x) / 2.0, (a->y + b->y) / 2.0);
}

// Pleat spread: both pleat lines picked, widths 1 and 3 cm typed at their
// ends; the apply button is timed. One pleat's foot lies inside a hem line,
// so the store puts a point there.
void PleatSpread(benchmark::State& state, bool formulas) {
    const int n = static_cast<int>(state.range(0));
    PatternBuffer* shared = SharedPanel(n, formulas);
    const bench::DartedPanelLines lines = bench::DartedPanelLinesOf(n);
    deskSetClientRect(1024, 768);
    int spread = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PatternBuffer* pattern = bench::CopyOf(shared);
        Piece* piece = bench::FirstPiece(pattern);
        short pieceIndex = 0;
        HostView view{};
        view.pieceFoldStep = 1;
        auto send = [&](UINT m, WPARAM w) {
            return qpHandlePieceFold(deskWindow(), m, w, 0, nullptr, &pattern, &piece, &pieceIndex, nullptr,
                                     &view, kToolView);
        };
        send(WM_MOUSEMOVE, 0);
        for (const short line : {lines.pleat0, lines.pleat1}) {
            CursorOnLine(piece, line);
            send(WM_LBUTTONDOWN, 0);
            send(WM_CHAR, '1');
            send(WM_KEYDOWN, 0x87);
            send(WM_CHAR, '3');
        }
        deskSetCursorClient(5 + 320, 35 + 24);  // the apply button
        deskClearLog();
        state.ResumeTiming();
        send(WM_LBUTTONDOWN, 0);
        state.PauseTiming();
        spread += pieceIndex == 0 && piece->pointCount > n;
        storeFreePattern(pattern);
        deskClearLog();
        state.ResumeTiming();
    }
    if (spread != static_cast<int>(state.iterations())) state.SkipWithError("the apply spread nothing");
    state.SetComplexityN(n);
}
void PleatSpreadEdit(benchmark::State& state) { PleatSpread(state, false); }
BENCHMARK(PleatSpreadEdit)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
// Every point of the spread part graded: the rows spread again at each
// nudged size.
void PleatSpreadEditWithFormulas(benchmark::State& state) { PleatSpread(state, true); }
BENCHMARK(PleatSpreadEditWithFormulas)->Apply(PanelFormulaSizes)->Unit(benchmark::kMillisecond);

// Dart transfer: the two legs picked, then the click on the line to the
// right that moves the dart there (timed: the pick and the transfer).
void DartTransfer(benchmark::State& state, bool formulas) {
    const int n = static_cast<int>(state.range(0));
    PatternBuffer* shared = SharedPanel(n, formulas);
    const bench::DartedPanelLines lines = bench::DartedPanelLinesOf(n);
    deskSetClientRect(1024, 768);
    int moved = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PatternBuffer* pattern = bench::CopyOf(shared);
        Piece* piece = bench::FirstPiece(pattern);
        HostView view{};
        view.gapMoveStep = 1;
        auto click = [&](short line) {
            CursorOnLine(piece, line);
            qpHandleGapMove(deskWindow(), WM_LBUTTONDOWN, 0, 0, pattern, 0, &view, kToolView);
        };
        click(lines.leg0);
        click(lines.leg1);
        CursorOnLine(piece, lines.newPlace);
        deskClearLog();
        state.ResumeTiming();
        qpHandleGapMove(deskWindow(), WM_LBUTTONDOWN, 0, 0, pattern, 0, &view, kToolView);
        state.PauseTiming();
        moved += view.gapMoveStep == 0;
        storeFreePattern(pattern);
        deskClearLog();
        state.ResumeTiming();
    }
    if (moved != static_cast<int>(state.iterations())) state.SkipWithError("the click moved no dart");
    state.SetComplexityN(n);
}
void DartTransferEdit(benchmark::State& state) { DartTransfer(state, false); }
BENCHMARK(DartTransferEdit)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
void DartTransferEditWithFormulas(benchmark::State& state) { DartTransfer(state, true); }
BENCHMARK(DartTransferEditWithFormulas)->Apply(PanelFormulaSizes)->Unit(benchmark::kMillisecond);

// Dart fold: legs and centre line picked, the cursor moved toward leg 1;
// the click that folds is timed.
void DartFold(benchmark::State& state, bool formulas) {
    const int n = static_cast<int>(state.range(0));
    PatternBuffer* shared = SharedPanel(n, formulas);
    const bench::DartedPanelLines lines = bench::DartedPanelLinesOf(n);
    deskSetClientRect(1024, 768);
    int folded = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PatternBuffer* pattern = bench::CopyOf(shared);
        short pieceIndex = 0;
        GapFoldRecord record{};
        record.foldPhase = 1;
        HostView view{};
        view.gapFoldStep = 1;
        view.pickState = 1;
        auto send = [&](UINT m) {
            return qpHandleGapFold(deskWindow(), m, 0, 0, pattern, &pieceIndex, &record, &view, kToolView);
        };
        send(WM_MOUSEMOVE);
        for (const short line : {lines.leg0, lines.leg1, lines.centre}) {
            CursorOnLine(bench::FirstPiece(pattern), line);
            send(WM_LBUTTONDOWN);
        }
        CursorAtPiece(315, 380);
        send(WM_MOUSEMOVE);
        deskClearLog();
        state.ResumeTiming();
        send(WM_LBUTTONDOWN);
        state.PauseTiming();
        folded += pieceIndex == 1;
        storeFreePattern(pattern);
        deskClearLog();
        state.ResumeTiming();
    }
    if (folded != static_cast<int>(state.iterations())) state.SkipWithError("the click folded nothing");
    state.SetComplexityN(n);
}
void DartFoldEdit(benchmark::State& state) { DartFold(state, false); }
BENCHMARK(DartFoldEdit)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
void DartFoldEditWithFormulas(benchmark::State& state) { DartFold(state, true); }
BENCHMARK(DartFoldEditWithFormulas)->Apply(PanelFormulaSizes)->Unit(benchmark::kMillisecond);

// Point increase: the host's dialog for the by-length modes, answered from
// the desktop's queue into the host's text.
char increaseText[64];
INT_PTR CALLBACK IncreaseDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message != WM_COMMAND) return FALSE;
    const WPARAM button = wParam & 0xFFFF;
    if (button != static_cast<WPARAM>(IDOK) && button != static_cast<WPARAM>(IDCANCEL)) return FALSE;
    if (button == static_cast<WPARAM>(IDOK)) {
        const UINT got = GetDlgItemTextA(dialog, 1000, increaseText, static_cast<int>(sizeof increaseText));
        increaseText[got < sizeof increaseText ? got : sizeof increaseText - 1] = '\0';
    }
    EndDialog(dialog, static_cast<INT_PTR>(button));
    return TRUE;
}

// One click of point increase in mode kMode on LargePiece(n), timed alone
// (with its undo copy of the whole pattern, as every click makes): outline
// inserts (1 to 3) and the notch (12) on the outline's far left, half way
// round it; an outline line's first point (4), an inner line's first point
// (8, whose on-outline test searches the inner lines) and a drill mark (13)
// inside; by length (17) 2 cm back along the outline from the point picked there.
template <int kMode>
void PointIncreaseEdit(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    Piece1 f = Shared(n);
    deskSetClientRect(1024, 768);
    const float viewA[9] = {1, 0, 0, 0, -1, 0, 100, 718, 1};
    const increase::ModeTraits& traits = increase::traitsOf(kMode);
    const bool onOutline = traits.picks == increase::Picks::kStretch || traits.mayGoAlong();
    const double x = onOutline ? 0.0 : 300.0, y = 200.0;
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        HostDoc doc{};
        doc.pattern = doc.patternView = bench::CopyOf(f.pattern);
        std::memcpy(doc.viewMatrixA, viewA, sizeof viewA);
        std::memcpy(doc.viewMatrixB, kIdentity, sizeof kIdentity);
        HostView view{};
        view.increaseMode = kMode;
        view.pickState = 1;
        auto send = [&](UINT m) {
            return qpHandleIncreasePoint(deskWindow(), m, 0, 0, IncreaseDialog, increaseText, &view, &doc);
        };
        CursorAtPiece(x, y);
        send(WM_MOUSEMOVE);
        if (traits.mayGoAlong()) {
            send(WM_LBUTTONDOWN);  // picks the outline point under the marker
            deskQueueDialogAnswer("2");
            CursorAtPiece(x + 10, y + 40);  // back along the outline (it runs down here)
            send(WM_MOUSEMOVE);
        }
        deskClearLog();
        state.ResumeTiming();
        send(WM_LBUTTONDOWN);
        state.PauseTiming();
        Piece* piece = bench::FirstPiece(doc.pattern);
        added += piece->pointCount == n + 1;
        send(WM_CANCELMODE);
        if (doc.patternCopy) {
            HGLOBAL block = GlobalHandle(doc.patternCopy);
            GlobalUnlock(block);
            GlobalFree(block);
        }
        storeFreePattern(doc.pattern);
        deskClearLog();
        state.ResumeTiming();
    }
    if (added != static_cast<int>(state.iterations())) state.SkipWithError("the click added no point");
    state.SetComplexityN(n);
}
BENCHMARK_TEMPLATE(PointIncreaseEdit, 1)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(PointIncreaseEdit, 2)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(PointIncreaseEdit, 3)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(PointIncreaseEdit, 4)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(PointIncreaseEdit, 8)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(PointIncreaseEdit, 12)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(PointIncreaseEdit, 13)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(PointIncreaseEdit, 17)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);

// ---- formula routines on 5- and 10-term texts --------------------------------------

void FormulaRoutines(benchmark::State& state) {
    const char* text = state.range(0) == 5 ? "H/4+2-BL/2+3*H-1.5" : "H/4+2-BL/2+3*H-1.5+2*(H/8+BL)-4+H*0.25-BL/3+7";
    for (auto _ : state) {
        char buffer[128];
        std::strcpy(buffer, text);
        qpSpreadBracketsExpression(buffer);
        qpPackExpression(buffer);
        qpCalcuSubExpression(buffer, '*', 1.5f);
        benchmark::DoNotOptimize(qpFormulaCalculation(nullptr, buffer));
    }
}
BENCHMARK(FormulaRoutines)->Arg(5)->Arg(10);

// ---- the sleeve cap's editing message -------------------------------------------------

// Picks the ends and the cut point through messages on a fresh copy, types
// the increase, and times key 0x87 alone (the copy and picks are not timed).
void SleeveCapEdit(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    static PatternBuffer* sleeves[32] = {};
    static int sizes[32] = {};
    int slot = 0;
    while (sizes[slot] != 0 && sizes[slot] != n) ++slot;
    if (sizes[slot] == 0) {
        sleeves[slot] = bench::PatternOf(bench::LargeSleeve(n));
        sizes[slot] = n;
    }
    deskSetClientRect(1024, 768);
    const float view[9] = {1, 0, 0, 0, 1, 0, 100, 50, 1};
    for (auto _ : state) {
        state.PauseTiming();
        PatternBuffer* pattern = bench::CopyOf(sleeves[slot]);
        Piece* piece = bench::FirstPiece(pattern);
        HostView hv{};
        hv.italyStep = 1;
        hv.pickState = 1;
        auto send = [&](UINT m, WPARAM w) {
            return qpHandlePieceItaly(deskWindow(), m, w, 0, nullptr, &pattern, &piece, nullptr, nullptr, &hv, view);
        };
        auto clickAt = [&](float x, float y) {
            deskSetCursorClient(static_cast<int>(x + 100), static_cast<int>(718 - y));
            send(WM_MOUSEMOVE, 0);
            send(WM_LBUTTONDOWN, 1);
        };
        deskSetCursorClient(100, 718);
        send(WM_MOUSEMOVE, 0);
        clickAt(0, 440);
        clickAt(340, 440);
        clickAt(170, 580);
        for (const char c : std::string("1.5")) send(WM_CHAR, static_cast<WPARAM>(c));
        deskClearLog();
        state.ResumeTiming();
        send(WM_KEYDOWN, 0x87);
        state.PauseTiming();
        storeFreePattern(pattern);
        deskClearLog();
        state.ResumeTiming();
    }
    state.SetComplexityN(n);
}
BENCHMARK(SleeveCapEdit)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);

// ---- pattern files: load and write against the JSON parse alone -------------------

std::string PatternText(int n) {
    Piece1 f = Shared(n);
    host::PatternDoc doc;
    doc.pattern = bench::CopyOf(f.pattern, 0);
    std::string text = host::patternJson(host::readPatternBack(doc));
    return text;
}

void FileJsonParseOnly(benchmark::State& state) {
    const std::string text = PatternText(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(FileJsonParseOnly)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);

void FileLoad(benchmark::State& state) {
    const std::string text = PatternText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        host::PatternDoc doc = host::buildPattern(host::parsePatternJson(text, "bench.json"), "bench.json");
        benchmark::DoNotOptimize(doc.pattern);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(FileLoad)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);

// The same large piece written by hand in the shorthand (its chains and
// marks), with straight lines only: a line per point, the case where
// building the lines one by one cost points x lines.
std::string ShorthandText(int n) {
    const PieceShape shape = bench::LargePiece(n, bench::Outline::Straight);
    nlohmann::json piece{{"name", "shorthand"}, {"outline", nlohmann::json::array()}, {"inner", nlohmann::json::array()},
                         {"marks", nlohmann::json::array()}};
    for (const ShapeChain& chain : shape.chains) {
        nlohmann::json points = nlohmann::json::array();
        for (const ShapePoint& p : chain.points) points.push_back({std::string(1, p.type), p.x, p.y});
        piece[isOutlineType(chain.points.front().type) ? "outline" : "inner"].push_back(points);
    }
    for (const ShapeMark& m : shape.marks)
        piece["marks"].push_back({{"type", std::string(1, m.point.type)}, {"x", m.point.x}, {"y", m.point.y}});
    return nlohmann::json{{"pieces", {piece}}}.dump();
}

void FileLoadShorthand(benchmark::State& state) {
    const std::string text = ShorthandText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        host::PatternDoc doc = host::buildPattern(host::parsePatternJson(text, "bench.json"), "bench.json");
        benchmark::DoNotOptimize(doc.pattern);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(FileLoadShorthand)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);

void FileJsonParseShorthand(benchmark::State& state) {
    const std::string text = ShorthandText(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(text));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(FileJsonParseShorthand)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);

void FileWrite(benchmark::State& state) {
    const std::string text = PatternText(static_cast<int>(state.range(0)));
    host::PatternDoc doc = host::buildPattern(host::parsePatternJson(text, "bench.json"), "bench.json");
    for (auto _ : state) benchmark::DoNotOptimize(host::patternJson(host::readPatternBack(doc)));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(FileWrite)->Apply(ScaleSizes)->Unit(benchmark::kMillisecond);

// ---- qpkit as whole commands: time and peak memory -------------------------------------

#ifdef QPKIT_BINARY
std::string WorkFile(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp ? tmp : "/tmp") + "/qp_bench_" + std::to_string(getpid()) + "_" + name;
}

// The sleeve with its cap of n points as a file, and a script that
// lengthens the cap.
void WriteSleeveFiles(int n, const std::string& pattern, const std::string& script) {
    PatternBuffer* p = bench::PatternOf(bench::LargeSleeve(n));
    host::PatternDoc doc;
    doc.pattern = p;
    std::ofstream(pattern) << host::patternJson(host::readPatternBack(doc));
    std::ofstream(script) << "tool italy\nmove point 0\nclick point 2\nclick point " << (n - 2)
                          << "\nclick point " << n / 2 << "\ntype 1.5\nkey F24\n";
}

void WritePieceFile(int n, bench::Outline outline, const std::string& pattern) {
    PatternBuffer* p = bench::PatternOf(bench::LargePiece(n, outline));
    host::PatternDoc doc;
    doc.pattern = p;
    std::ofstream(pattern) << host::patternJson(host::readPatternBack(doc));
}

// Commands: 0 render, 1 info, 2 run (the sleeve cap), 3 run of an empty
// script (start-up size and loading), on the large sleeve; 4 render and
// 5 info of the large piece with curves, 6 and 7 the same with straight
// lines only.
template <int kCommand>
void Qpkit(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    const std::string pattern = WorkFile("p.json"), script = WorkFile("s.txt"), empty = WorkFile("e.txt");
    const std::string out = WorkFile("out.json"), svg = WorkFile("out.svg");
    if (kCommand < 4) WriteSleeveFiles(n, pattern, script);
    else WritePieceFile(n, kCommand < 6 ? bench::Outline::Curved : bench::Outline::Straight, pattern);
    std::ofstream(empty) << "# nothing\n";
    std::vector<std::string> args;
    if (kCommand % 2 == 0 && kCommand != 2) args = {"render", pattern, "-o", svg};
    if (kCommand % 2 == 1 && kCommand != 3) args = {"info", pattern};
    if (kCommand == 2) args = {"run", pattern, script, "-o", out};
    if (kCommand == 3) args = {"run", pattern, empty, "-o", out};
    long peak = 0;
    for (auto _ : state) {
        double seconds = 0;
        if (!bench::runChild(QPKIT_BINARY, args, seconds, peak)) {
            state.SkipWithError("qpkit failed");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["peak_KB"] = static_cast<double>(peak);
    state.counters["KB_per_point"] = static_cast<double>(peak) / n;
    state.SetComplexityN(n);
    for (const std::string& f : {pattern, script, empty, out, svg}) std::remove(f.c_str());
}
BENCHMARK_TEMPLATE(Qpkit, 0)->Name("QpkitRender")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Qpkit, 1)->Name("QpkitInfo")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Qpkit, 2)->Name("QpkitRun")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Qpkit, 3)->Name("QpkitRunEmpty")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Qpkit, 4)->Name("QpkitRenderCurved")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Qpkit, 5)->Name("QpkitInfoCurved")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Qpkit, 6)->Name("QpkitRenderStraight")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(Qpkit, 7)->Name("QpkitInfoStraight")->Apply(ScaleSizes)->UseManualTime()->Unit(benchmark::kMillisecond);
#endif

}  // namespace

// What a user waits on: the snap of every mouse move, the length loop of the
// sleeve cap, and the formula texts written for every new point.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "frame/exports.h"
#include "frame/siblings.h"
#include "siblings/records/store_extras.h"
#include "win/win32.h"

namespace {

// A sleeve of ten outline points with a seven-point cap curve, in mm.
PieceShape Sleeve(bool formulas) {
    PieceShape shape;
    ShapeChain chain;
    const float xy[][2] = {{300, 0},   {40, 0},    {0, 440},   {40, 500}, {100, 560},
                           {170, 580}, {240, 560}, {300, 500}, {340, 440}};
    const char types[] = "SKKCCCCCK";
    for (int i = 0; i < 9; ++i) {
        ShapePoint p;
        p.type = types[i];
        p.x = xy[i][0];
        p.y = xy[i][1];
        if (formulas) {
            p.xFormula = "H/4+" + std::to_string(static_cast<int>(p.x / 10));
            p.yFormula = "BL-" + std::to_string(static_cast<int>(p.y / 10));
        }
        chain.points.push_back(p);
    }
    chain.close = true;
    shape.chains.push_back(chain);
    return shape;
}

struct Fixture {
    PatternBuffer* pattern = storeNewPattern(1 << 20, kWorkBufferKind);
    Piece* piece = nullptr;
    explicit Fixture(bool formulas = false) {
        storeSetParameter("H", 90.0f);
        storeSetParameter("BL", 40.0f);
        piece = storeAppendPiece(&pattern, Sleeve(formulas));
    }
    ~Fixture() { storeFreePattern(pattern); }
};

const float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

void NearestPointOnLines(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        short index = -1;
        float length = 0, x = 123.4f, y = 543.2f;
        qpCurve(nullptr, f.piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                qpcurve::kModeWholePiece | qpcurve::kSnapAllLines, 0, 0, qpcurve::kColourDefault,
                qpcurve::kDefaultResolution, &index, &length, &x,
                &y, kIdentity);
        benchmark::DoNotOptimize(x);
    }
}
BENCHMARK(NearestPointOnLines);

void PartMatchOverEveryStretch(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        for (short k = 0; k + 1 < f.piece->pointCount; ++k) {
            short index = -1;
            float length = 0, x = 170, y = 580;
            qpCurve(nullptr, f.piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, qpcurve::kStylePlain,
                    qpcurve::kSnapAllLinesDefault, k, 2, qpcurve::kColourDefault,
                    qpcurve::kDefaultResolution, &index, &length, &x, &y,
                    kIdentity);
            benchmark::DoNotOptimize(x);
        }
    }
}
BENCHMARK(PartMatchOverEveryStretch);

void CapLength(benchmark::State& state) {
    Fixture f;
    for (auto _ : state) {
        short index = 0;
        float length = 0, x = 0, y = 0;
        qpCurve(nullptr, f.piece, qpcurve::kOpSearch, qpcurve::kMeasureLength, qpcurve::kStylePlain,
                qpcurve::kSnapAllLinesDefault, 2, 7, qpcurve::kColourDefault, qpcurve::kDefaultResolution, &index, &length, &x, &y,
                kIdentity);
        benchmark::DoNotOptimize(length);
    }
}
BENCHMARK(CapLength);

void AdjustCapLength(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Fixture f;
        state.ResumeTiming();
        benchmark::DoNotOptimize(qpAdjustCurveLength(nullptr, f.pattern, f.piece, 2, 8, 480.0f));
    }
}
BENCHMARK(AdjustCapLength);

void PointFormulaBlend(benchmark::State& state) {
    Fixture f(true);
    Formula* target = nullptr;
    qpGetFormulaLptr(f.piece, 4, &target);
    for (auto _ : state) {
        qpCalcuPointFormula(f.pattern, f.piece, target, 3, 5, 140.0f, 570.0f, 1);
        state.PauseTiming();
        // Take the two new texts out again, so that the area stays the same size.
        short chars = 0;
        qpDeleteString(f.pattern, f.piece, &chars, target->yTextOffset, target->yTextLength);
        qpDeleteString(f.pattern, f.piece, &chars, target->xTextOffset, target->xTextLength);
        state.ResumeTiming();
    }
}
BENCHMARK(PointFormulaBlend);

void PackAndSpread(benchmark::State& state) {
    for (auto _ : state) {
        char text[100];
        std::strcpy(text, "2*(H/4+2)-(BL/2-H/8)+H+3");
        qpSpreadBracketsExpression(text);
        qpPackExpression(text);
        benchmark::DoNotOptimize(text[0]);
    }
}
BENCHMARK(PackAndSpread);

}  // namespace


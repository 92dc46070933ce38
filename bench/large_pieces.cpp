#include "bench/large_pieces.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

namespace {

constexpr double kPi = 3.14159265358979323846;

ShapePoint Point(char type, double x, double y, bool formulas) {
    ShapePoint p;
    p.type = type;
    p.x = static_cast<float>(x);
    p.y = static_cast<float>(y);
    if (formulas) {
        // "0*H+12.345": names a parameter, yet gives the coordinate (cm).
        char fx[40], fy[40];
        std::snprintf(fx, sizeof fx, "0*H+%.3f", p.x / 10.0);
        std::snprintf(fy, sizeof fy, "0*BL+%.3f", p.y / 10.0);
        p.xFormula = fx;
        p.yFormula = fy;
    }
    return p;
}

}  // namespace

PieceShape LargePiece(int points, Outline outline, bool formulas) {
    PieceShape shape;
    shape.formulas = formulas;
    const int marks = points / 20;
    const int innerLines = points / 80;  // 8 points each
    const int onOutline = points - marks - innerLines * 8 - 1;  // the closing K repeats the start
    ShapeChain chain;
    chain.close = true;
    for (int i = 0; i < onOutline; ++i) {
        const double t = 2.0 * kPi * i / onOutline;
        const double wave = 1.0 + 0.04 * std::sin(7.0 * t);
        const double x = 300.0 + 300.0 * wave * std::cos(t), y = 200.0 + 200.0 * wave * std::sin(t);
        char type = outline == Outline::Straight || i % 16 == 0 ? 'K' : 'C';
        if (i == 0) type = 'S';
        if (i == onOutline - 1) type = 'K';
        chain.points.push_back(Point(type, x, y, formulas));
    }
    shape.chains.push_back(chain);
    for (int l = 0; l < innerLines; ++l) {
        ShapeChain inner;
        const double y = 60.0 + 280.0 * l / (innerLines > 1 ? innerLines - 1 : 1);
        for (int k = 0; k < 8; ++k) {
            char type = outline == Outline::Straight ? 'k' : 'c';
            if (k == 0) type = 's';
            if (k == 7) type = 'k';
            inner.points.push_back(Point(type, 150.0 + 40.0 * k, y + 6.0 * std::sin(k + l), formulas));
        }
        shape.chains.push_back(inner);
    }
    for (int m = 0; m < marks; ++m) {
        // Notches on the outline's curve (their angle in lineOut), as a
        // pattern maker places them, drill marks inside.
        const double t = 2.0 * kPi * (m + 0.5) / marks;
        const double wave = 1.0 + 0.04 * std::sin(7.0 * t);
        ShapeMark mark;
        const bool notch = m % 2 == 0;
        mark.point = notch ? Point('v', 300.0 + 300.0 * wave * std::cos(t), 200.0 + 200.0 * wave * std::sin(t),
                                   formulas)
                           : Point('o', 300.0 + 150.0 * std::cos(t), 200.0 + 100.0 * std::sin(t), formulas);
        mark.lineIn = 0;
        mark.lineOut = static_cast<int16_t>(notch ? 1571 : 0);
        mark.segCode = 15;
        mark.segValue = 12;
        shape.marks.push_back(mark);
    }
    return shape;
}

PieceShape LargeSleeve(int points, bool formulas) {
    PieceShape shape;
    shape.formulas = formulas;
    ShapeChain chain;
    chain.close = true;
    chain.points.push_back(Point('S', 300, 0, formulas));
    chain.points.push_back(Point('K', 40, 0, formulas));
    chain.points.push_back(Point('K', 0, 440, formulas));
    const int cap = points - 5;  // inner cap points; the closing K is the fifth
    for (int i = 1; i <= cap; ++i) {
        const double t = static_cast<double>(i) / (cap + 1);
        chain.points.push_back(Point('C', 340.0 * t, 440.0 + 140.0 * std::sin(kPi * t), formulas));
    }
    chain.points.push_back(Point('K', 340, 440, formulas));
    shape.chains.push_back(chain);
    return shape;
}

PieceShape LargeDartedPanel(int points, bool formulas) {
    PieceShape shape;
    shape.formulas = formulas;
    ShapeChain chain;
    chain.close = true;
    auto arch = [formulas](double t, char type) {
        return Point(type, 300.0 - 300.0 * std::cos(t), 400.0 * std::sin(t), formulas);
    };
    // Arch samples either side of the mouth (t in (0, a] and [b, pi)), then
    // the mouth's corners at pi/2 - d, pi/2, pi/2 + d and the arch's end K.
    const double d = 20.0 / 300.0, gap = 0.02;
    const double a = kPi / 2 - d - gap, b = kPi / 2 + d + gap;
    const int samples = points - 19 - 4;
    const int left = samples / 2, right = samples - left;
    chain.points.push_back(Point('S', 0, 0, formulas));
    for (int i = 1; i <= left; ++i) chain.points.push_back(arch(a * i / left, i % 16 == 0 ? 'K' : 'C'));
    chain.points.back().type = 'K';
    for (const double t : {kPi / 2 - d, kPi / 2, kPi / 2 + d}) chain.points.push_back(arch(t, 'K'));
    std::vector<ShapePoint> rightSide;
    for (int j = 0; j < right; ++j) rightSide.push_back(arch(b + (kPi - b) * j / right, j % 16 == 15 ? 'K' : 'C'));
    const ShapePoint newPlace = rightSide[static_cast<size_t>(right / 2)];
    chain.points.insert(chain.points.end(), rightSide.begin(), rightSide.end());
    chain.points.push_back(arch(kPi, 'K'));
    for (int x = 500; x >= 100; x -= 100) chain.points.push_back(Point('K', x, 0, formulas));
    shape.chains.push_back(chain);

    const ShapePoint apex = Point('s', 300, 250, formulas);
    auto line = [&](const ShapePoint& from, const ShapePoint& to) {
        ShapeChain inner;
        inner.points = {from, to};
        inner.points[0].type = 's';
        inner.points[1].type = 'k';
        shape.chains.push_back(inner);
    };
    for (const double t : {kPi / 2 - d, kPi / 2, kPi / 2 + d}) line(apex, arch(t, 'k'));
    line(apex, newPlace);
    // Pleat lines: from the arch sample nearest x = 150 (and 450) straight
    // down to the hem, inside the hem line between its corners.
    for (const double x : {150.0, 450.0}) {
        const double t = std::acos((300.0 - x) / 300.0);
        const int i = x < 300 ? static_cast<int>(std::lround(t / a * left)) : 0;
        const ShapePoint top = x < 300 ? chain.points[static_cast<size_t>(i)]
                                       : rightSide[static_cast<size_t>(std::lround((t - b) / (kPi - b) * right))];
        line(top, Point('k', top.x, 0, formulas));
    }
    return shape;
}

DartedPanelLines DartedPanelLinesOf(int points) {
    const short n = static_cast<short>(points);
    return DartedPanelLines{static_cast<short>(n - 12), static_cast<short>(n - 10), static_cast<short>(n - 8),
                            static_cast<short>(n - 6),  static_cast<short>(n - 4),  static_cast<short>(n - 2)};
}

int LargestFormulaPiece() {
    static int largest = 0;
    if (largest != 0) return largest;
    for (int n = 128; n <= 16384; n *= 2) {
        PatternBuffer* pattern = storeNewPattern(1 << 16);
        std::string error;
        const bool built = storeAppendPiece(&pattern, LargePiece(n, Outline::Curved, true), &error) != nullptr;
        storeFreePattern(pattern);
        if (!built) break;
        largest = n;
    }
    return largest;
}

PatternBuffer* PatternOf(const PieceShape& shape) {
    PatternBuffer* pattern = storeNewPattern(1 << 16);
    std::string error;
    if (!storeAppendPiece(&pattern, shape, &error)) {
        std::fprintf(stderr, "bench: the builder refused a piece: %s\n", error.c_str());
        std::abort();
    }
    return pattern;
}

Piece* FirstPiece(PatternBuffer* pattern) {
    Piece* piece = nullptr;
    qpGetPieceLptr(pattern, 0, &piece);
    return piece;
}

PatternBuffer* GroupPattern(int pieces, int pointsEach) {
    PatternBuffer* pattern = storeNewPattern(1 << 16);
    for (int k = 0; k < pieces; ++k) {
        PieceShape shape = LargePiece(pointsEach);
        shape.groupFlag = 1;
        shape.placement[6] = static_cast<float>(700 * (k % 10));
        shape.placement[7] = static_cast<float>(500 * (k / 10));
        std::string error;
        if (!storeAppendPiece(&pattern, shape, &error)) {
            std::fprintf(stderr, "bench: the builder refused a group piece: %s\n", error.c_str());
            std::abort();
        }
    }
    return pattern;
}

PatternBuffer* CopyOf(const PatternBuffer* pattern, long spare) {
    PatternBuffer* copy = storeNewPattern(pattern->totalSize + spare, pattern->kind);
    qpMemcpy(copy, pattern, pattern->totalSize);
    return copy;
}

}  // namespace bench

// Pieces for the geometry tests, built through the store, and a thin caller
// of qpCurve that keeps its outputs together.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "frame/siblings.h"
#include "siblings/geometry/curve_model.h"
#include "siblings/records/store_extras.h"
#include "tests/support/scene.h"

namespace geotest {

using namespace qpcurve;  // the tests call qpCurve with its own words

// Distances in millimetres.
constexpr float kSnapMatch = 0.1f;     // the tools' "same point" test, per axis
constexpr double kOnCurve = 0.01;      // a placed point lies on the curve
constexpr double kExact = 1e-3;        // float round trips of exact answers

constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

inline ShapePoint pt(char type, float x, float y) {
    ShapePoint p;
    p.type = type;
    p.x = x;
    p.y = y;
    return p;
}

inline ShapeChain chain(std::vector<ShapePoint> points, bool close = false, int16_t segCode = 0,
                       int16_t lineKind = 0) {
    ShapeChain c;
    c.points = std::move(points);
    c.close = close;
    c.segCode = segCode;
    c.lineKind = lineKind;
    return c;
}

// Owns one pattern with the pieces appended to it.
class PatternFixture : public ::testing::Test {
protected:
    // The desktop is reset before the pattern exists: a reset frees every
    // global block, the pattern's included. Tests clear only the log.
    void SetUp() override {
#if QP_HAVE_DESKTOP
        deskReset();
#endif
        pattern_ = storeNewPattern(400000, kWorkBufferKind);
        ASSERT_NE(pattern_, nullptr);
    }
    void TearDown() override { storeFreePattern(pattern_); }

    Piece* build(const PieceShape& shape) {
        std::string error;
        Piece* piece = storeAppendPiece(&pattern_, shape, &error);
        EXPECT_NE(piece, nullptr) << error;
        return piece;
    }
    // The store's verdict on an edited piece.
    static void expectConsistent(const Piece* piece) {
        EXPECT_EQ(storeCheckPieceText(piece), "");
    }

    PatternBuffer* pattern_ = nullptr;
};

// The unit square of side 100, counter-clockwise from (0, 0) and closed; an
// inner line from (20, 50) to (80, 50); a mark 'o' at (50, 20).
//   points: 0 S(0,0) 1 K(100,0) 2 K(100,100) 3 K(0,100) 4 K(0,0)
//           5 s(20,50) 6 k(80,50) 7 o(50,20)
//   lines:  0: 0-1  1: 1-2  2: 2-3  3: 3-4  4: 5-6
inline PieceShape squareShape() {
    PieceShape shape;
    shape.chains.push_back(chain({pt('S', 0, 0), pt('K', 100, 0), pt('K', 100, 100), pt('K', 0, 100)}, true));
    shape.chains.push_back(chain({pt('s', 20, 50), pt('k', 80, 50)}));
    ShapeMark mark;
    mark.point = pt('o', 50, 20);
    shape.marks.push_back(mark);
    return shape;
}

// The outputs of one qpCurve call.
struct CurveResult {
    short index = -7;
    float length = 0.0f;
    float x = 0.0f;
    float y = 0.0f;
};

inline CurveResult curve(Piece* piece, short op, long flags, short style, unsigned long mode,
                         short first, short count, short colour, short resolution, float x = 0.0f,
                         float y = 0.0f, float length = 0.0f, const float* m = kIdentity,
                         HDC hdc = nullptr) {
    CurveResult r;
    r.x = x;
    r.y = y;
    r.length = length;
    qpCurve(hdc, piece, op, flags, style, mode, first, count, colour, resolution, &r.index,
            &r.length, &r.x, &r.y, m);
    return r;
}

// Nearest point of the lines among count points from first (mode 0).
inline CurveResult nearestIn(Piece* piece, short first, short count, float x, float y) {
    return curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, first, count, kColourDefault, kDefaultResolution, x, y);
}
// Length of count points from first.
inline float lengthOf(Piece* piece, short first, short count) {
    return curve(piece, kOpSearch, kMeasureLength, kStylePlain, kSnapAllLinesDefault, first, count, kColourDefault, kDefaultResolution).length;
}
// The point at `length` forward from first.
inline CurveResult atLength(Piece* piece, short first, float length, short count = 0) {
    return curve(piece, kOpSearch, kPointAtLength, kStylePlain, kSnapAllLinesDefault, first, count, kColourDefault, kDefaultResolution, 0.0f, 0.0f, length);
}

}  // namespace geotest

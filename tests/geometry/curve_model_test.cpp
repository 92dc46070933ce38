// The curve model: nearest points, lengths and points at a length agree
// with each other on straight, curved and arc lines; what each mode may snap
// to; the odd pieces (empty, one point, coincident points, open and closed
// outlines).
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/store_fixture.h"

namespace {

using namespace qpcurve;  // qpCurve's own words

constexpr double kPi = 3.14159265358979323846;

double dist(const CurveResult& a, const CurveResult& b) { return std::hypot(a.x - b.x, a.y - b.y); }

class CurveModel : public PatternFixture {
protected:
    // Places points along the line of `count` points from `first` and finds
    // them again: both directions must give the same point and length.
    void expectAgreement(Piece* piece, short first, short count) {
        const float total = lengthOf(piece, first, count);
        ASSERT_GT(total, 0.0f);
        for (double frac : {0.0, 0.1, 0.25, 0.5, 0.77, 0.99, 1.0}) {
            SCOPED_TRACE(frac);
            const float want = static_cast<float>(frac * total);
            const CurveResult placed = atLength(piece, first, want, count);
            EXPECT_NEAR(placed.length, want, kOnCurve);
            const CurveResult found = nearestIn(piece, first, count, placed.x, placed.y);
            EXPECT_LT(dist(placed, found), kOnCurve);
            EXPECT_NEAR(found.length, want, kOnCurve);
        }
        // Off the curve: the nearest point, placed again by its length, is
        // the same point.
        for (float dx : {-7.0f, 3.0f, 12.0f}) {
            const CurveResult mid = atLength(piece, first, total * 0.4f, count);
            const CurveResult found = nearestIn(piece, first, count, mid.x + dx, mid.y - dx);
            const CurveResult again = atLength(piece, first, found.length, count);
            EXPECT_LT(dist(found, again), kOnCurve) << dx;
        }
    }
    // Every point of the line lies on its curve, at the length of the points
    // before it.
    void expectThroughPoints(Piece* piece, short first, short count, const std::vector<ShapePoint>& pts) {
        for (short j = 0; j < count; ++j) {
            const CurveResult found = nearestIn(piece, first, count, pts[j].x, pts[j].y);
            EXPECT_NEAR(found.x, pts[j].x, kExact) << j;
            EXPECT_NEAR(found.y, pts[j].y, kExact) << j;
            EXPECT_NEAR(found.length, lengthOf(piece, first, static_cast<short>(j + 1)), kOnCurve) << j;
        }
    }
};

TEST_F(CurveModel, StraightLinesAgree) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 30, 40), P('K', 130, 40)}));
    Piece* piece = build(shape);
    EXPECT_NEAR(lengthOf(piece, 0, 2), 50.0f, kExact);
    EXPECT_NEAR(lengthOf(piece, 0, 3), 150.0f, kExact);
    expectAgreement(piece, 0, 3);
    const CurveResult at = atLength(piece, 0, 25.0f);
    EXPECT_NEAR(at.x, 15.0f, kExact);
    EXPECT_NEAR(at.y, 20.0f, kExact);
}

TEST_F(CurveModel, CurveLinesAgreeAndPassThroughTheirPoints) {
    const std::vector<ShapePoint> pts = {P('S', 0, 0), P('C', 30, 40), P('C', 70, -20), P('C', 110, 30),
                                        P('K', 150, 0)};
    PieceShape shape;
    shape.chains.push_back(Chain(pts));
    Piece* piece = build(shape);
    expectAgreement(piece, 0, 5);
    expectThroughPoints(piece, 0, 5, pts);
    // A curve through points that zig-zag is longer than their polygon.
    double polygon = 0.0;
    for (size_t i = 1; i < pts.size(); ++i) polygon += std::hypot(pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y);
    EXPECT_GT(lengthOf(piece, 0, 5), polygon);
}

// The curve has no corner at its inner points: the direction just before a
// point and just after it differ by little, where the polygon through the
// points turns sharply.
TEST_F(CurveModel, CurveLinesAreSmoothAtTheirPoints) {
    const std::vector<ShapePoint> pts = {P('S', 0, 0), P('C', 40, 30), P('C', 90, 10), P('K', 120, 60)};
    PieceShape shape;
    shape.chains.push_back(Chain(pts));
    Piece* piece = build(shape);
    auto turnOf = [](double ax, double ay, double bx, double by) {
        double turn = std::fabs(std::atan2(by, bx) - std::atan2(ay, ax));
        return turn > kPi ? 2 * kPi - turn : turn;
    };
    for (short j = 1; j <= 2; ++j) {
        const float at = lengthOf(piece, 0, static_cast<short>(j + 1));
        const CurveResult before = atLength(piece, 0, at - 0.5f);
        const CurveResult here = atLength(piece, 0, at);
        const CurveResult after = atLength(piece, 0, at + 0.5f);
        const double curveTurn = turnOf(here.x - before.x, here.y - before.y, after.x - here.x, after.y - here.y);
        const double polygonTurn = turnOf(pts[j].x - pts[j - 1].x, pts[j].y - pts[j - 1].y,
                                          pts[j + 1].x - pts[j].x, pts[j + 1].y - pts[j].y);
        EXPECT_GT(polygonTurn, 0.8) << "point " << j;
        EXPECT_LT(curveTurn, 0.1) << "point " << j;
    }
}

TEST_F(CurveModel, ArcLinesFollowTheirCircle) {
    const double r = 100.0;
    const std::vector<ShapePoint> pts = {P('S', 100, 0), P('C', float(r * std::cos(kPi / 4)), float(r * std::sin(kPi / 4))),
                                        P('K', 0, 100)};
    PieceShape shape;
    shape.chains.push_back(Chain(pts, false, 0, qpcurve::kArcLineKind));
    Piece* piece = build(shape);
    EXPECT_NEAR(lengthOf(piece, 0, 3), kPi / 2 * r, kOnCurve);
    expectAgreement(piece, 0, 3);
    expectThroughPoints(piece, 0, 3, pts);
    // The sampled arc lies on the circle within the sagitta of one sample.
    const double sagitta = r * (1 - std::cos(kPi / 4 / 40 / 2));
    for (float len : {10.0f, 55.5f, 100.0f, 150.0f}) {
        const CurveResult p = atLength(piece, 0, len);
        EXPECT_NEAR(std::hypot(p.x, p.y), r, sagitta + kExact) << len;
    }
}

// An arc turns the way its points do: the same three points in the other
// order give the same circle.
TEST_F(CurveModel, ArcLinesTurnEitherWay) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 100), P('C', 70.710678f, 70.710678f), P('K', 100, 0)}, false, 0,
                                qpcurve::kArcLineKind));
    Piece* piece = build(shape);
    EXPECT_NEAR(lengthOf(piece, 0, 3), kPi / 2 * 100, kOnCurve);
    const CurveResult mid = atLength(piece, 0, float(kPi / 4 * 100 / 2));
    EXPECT_NEAR(std::hypot(mid.x, mid.y), 100.0, 0.01);
}

// Three collinear points cannot make a circle: the arc line is its two
// straight stretches.
TEST_F(CurveModel, CollinearArcIsStraight) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('C', 40, 0), P('K', 100, 0)}, false, 0, qpcurve::kArcLineKind));
    Piece* piece = build(shape);
    EXPECT_NEAR(lengthOf(piece, 0, 3), 100.0f, kExact);
    const CurveResult p = atLength(piece, 0, 70.0f);
    EXPECT_NEAR(p.y, 0.0f, kExact);
    EXPECT_NEAR(p.x, 70.0f, kExact);
}

TEST_F(CurveModel, ResolutionZeroMeansForty) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('C', 30, 40), P('K', 80, 0)}));
    Piece* piece = build(shape);
    const float at40 = curve(piece, kOpSearch, kMeasureLength, kStylePlain, kSnapAllLinesDefault, 0, 3, kColourDefault, kDefaultResolution).length;
    EXPECT_EQ(curve(piece, kOpSearch, kMeasureLength, kStylePlain, kSnapAllLinesDefault, 0, 3, kColourDefault, 0).length, at40);
    EXPECT_EQ(curve(piece, kOpSearch, kMeasureLength, kStylePlain, kSnapAllLinesDefault, 0, 3, kColourDefault, -3).length, at40);
    EXPECT_NE(curve(piece, kOpSearch, kMeasureLength, kStylePlain, kSnapAllLinesDefault, 0, 3, kColourDefault, 5).length, at40);
}

// Searches and measures at resolution 5 agree with each other as well.
TEST_F(CurveModel, CoarseResolutionAgreesWithItself) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('C', 30, 40), P('K', 80, 0)}));
    Piece* piece = build(shape);
    const CurveResult found = curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 3, kColourDefault, 5, 45, 45);
    const CurveResult placed = curve(piece, kOpSearch, kPointAtLength, kStylePlain, kSnapAllLinesDefault, 0, 3, kColourDefault, 5, 0, 0, found.length);
    EXPECT_LT(dist(found, placed), kOnCurve);
}

TEST_F(CurveModel, CoincidentPointsAreZeroLengthStretches) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 50, 0), P('K', 50, 0), P('K', 100, 0)}));
    shape.chains.push_back(Chain({P('s', 0, 50), P('c', 50, 70), P('c', 50, 70), P('c', 50, 70), P('k', 100, 50)}));
    Piece* piece = build(shape);
    EXPECT_NEAR(lengthOf(piece, 0, 4), 100.0f, kExact);
    EXPECT_NEAR(lengthOf(piece, 1, 2), 0.0f, kExact);
    const CurveResult mid = atLength(piece, 0, 50.0f);
    EXPECT_NEAR(mid.x, 50.0f, kExact);
    // The curve with a doubled inner point is still a finite curve through it.
    const float curveLength = lengthOf(piece, 4, 5);
    EXPECT_TRUE(std::isfinite(curveLength));
    EXPECT_GT(curveLength, 100.0f);
    const CurveResult on = nearestIn(piece, 4, 5, 50, 70);
    EXPECT_NEAR(on.x, 50.0f, kExact);
    EXPECT_NEAR(on.y, 70.0f, kExact);
    for (float len = 0; len <= curveLength; len += 7.5f) {
        const CurveResult p = atLength(piece, 4, len, 5);
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << len;
    }
    expectAgreement(piece, 4, 5);
}

// A point doubled in place (the twin a tool makes before it moves one of
// them) leaves the curve as it was.
TEST_F(CurveModel, TwinPointLeavesTheCurveAsItWas) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('C', 40, 30), P('C', 90, 10), P('K', 120, 60)}));
    Piece* piece = build(shape);
    const float whole = lengthOf(piece, 0, 4);
    const float head = lengthOf(piece, 0, 3);
    std::vector<CurveResult> before;
    for (float len : {10.0f, 45.0f, 70.0f, 100.0f, 130.0f}) before.push_back(atLength(piece, 0, len));

    Point* twin = nullptr;
    qpInsertPoint(pattern_, piece, 2, &twin);
    qpGetPointLptr(piece, 3, &twin);
    twin->coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern_, piece, &c);
    c->pointIndex = 3;
    c->x = 90.0f;
    c->y = 10.0f;
    expectConsistent(piece);

    EXPECT_NEAR(lengthOf(piece, 0, 5), whole, kExact);
    EXPECT_NEAR(lengthOf(piece, 0, 3), head, kExact);
    EXPECT_EQ(lengthOf(piece, 2, 2), 0.0f);
    int i = 0;
    for (float len : {10.0f, 45.0f, 70.0f, 100.0f, 130.0f}) {
        const CurveResult after = atLength(piece, 0, len);
        EXPECT_LT(dist(before[i++], after), kExact) << len;
    }
}

TEST_F(CurveModel, EmptyPieceFindsNothing) {
    Piece* piece = build(PieceShape{});
    const CurveResult near = curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapAllLines, 0, 0, kColourDefault, kDefaultResolution, 10, 10);
    EXPECT_EQ(near.index, -1);
    EXPECT_EQ(near.x, qpcurve::kFar);
    EXPECT_EQ(curve(piece, kOpSearch, kNearestVertex, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, 10, 10).y, qpcurve::kFar);
    EXPECT_EQ(lengthOf(piece, 0, 0), 0.0f);
    EXPECT_EQ(atLength(piece, 0, 10.0f).x, qpcurve::kFar);
    EXPECT_EQ(qpGetPieceClockwise(piece), -1);
}

// A piece of one mark point has a point but no line: nothing to snap to.
TEST_F(CurveModel, OnePointWithoutLine) {
    PieceShape shape;
    ShapeMark mark;
    mark.point = P('o', 5, 5);
    shape.marks.push_back(mark);
    Piece* piece = build(shape);
    EXPECT_EQ(curve(piece, kOpSearch, kNearestVertex, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, 5, 5).index, -1);
    EXPECT_EQ(nearestIn(piece, 0, 1, 5, 5).x, qpcurve::kFar);
    EXPECT_EQ(atLength(piece, 0, 1.0f).x, qpcurve::kFar);
    EXPECT_EQ(lengthOf(piece, 0, 1), 0.0f);
}

TEST_F(CurveModel, OpenOutlineClampsAtItsEnd) {
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 100, 0), P('K', 100, 50)}));
    Piece* piece = build(shape);
    const CurveResult end = atLength(piece, 0, 1000.0f);
    EXPECT_NEAR(end.x, 100.0f, kExact);
    EXPECT_NEAR(end.y, 50.0f, kExact);
    EXPECT_NEAR(end.length, 150.0f, kExact);
    EXPECT_EQ(end.index, 1);
    const CurveResult start = atLength(piece, 1, -5.0f);
    EXPECT_NEAR(start.x, 100.0f, kExact);
    EXPECT_NEAR(start.y, 0.0f, kExact);
    EXPECT_EQ(start.length, 0.0f);
    // A count stops the walk earlier.
    const CurveResult counted = atLength(piece, 0, 1000.0f, 2);
    EXPECT_NEAR(counted.x, 100.0f, kExact);
    EXPECT_NEAR(counted.y, 0.0f, kExact);
}

// The walk along a closed outline stops at its closing point and never runs
// on into the inner line that follows it.
TEST_F(CurveModel, ClosedOutlineWalkStopsAtTheClosingPoint) {
    Piece* piece = build(SquareShape());
    const CurveResult end = atLength(piece, 2, 1000.0f);
    EXPECT_NEAR(end.x, 0.0f, kExact);
    EXPECT_NEAR(end.y, 0.0f, kExact);
    EXPECT_NEAR(end.length, 200.0f, kExact);
    EXPECT_NEAR(lengthOf(piece, 0, 5), 400.0f, kExact);
    // From a point on no line there is no walk.
    EXPECT_EQ(atLength(piece, 7, 5.0f).x, qpcurve::kFar);
}

TEST_F(CurveModel, IndicesOutOfRangeFindNothing) {
    Piece* piece = build(SquareShape());
    EXPECT_EQ(nearestIn(piece, 100, 2, 0, 0).x, qpcurve::kFar);
    EXPECT_EQ(nearestIn(piece, -1, 2, 0, 0).x, qpcurve::kFar);
    EXPECT_EQ(nearestIn(piece, 6, 5, 0, 0).x, qpcurve::kFar);  // only point 6, 7 are in range
    EXPECT_EQ(atLength(piece, 100, 5.0f).x, qpcurve::kFar);
    EXPECT_EQ(lengthOf(piece, 100, 3), 0.0f);
}

TEST_F(CurveModel, NullArgumentsAreSafe) {
    Piece* piece = build(SquareShape());
    short index = 5;
    float length = 3.0f, x = 1.0f;
    qpCurve(nullptr, piece, kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, &index, &length, &x, nullptr, kIdentity);
    EXPECT_EQ(index, -1);
    qpCurve(nullptr, piece, kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, nullptr, nullptr, nullptr, nullptr, qpcurve::kIdentity);
    float y = 0.0f;
    x = 50.0f;
    y = 40.0f;
    qpCurve(nullptr, nullptr, kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, &index, &length, &x, &y, kIdentity);
    EXPECT_EQ(x, qpcurve::kFar);
    x = 50.0f;
    y = 40.0f;
    qpCurve(nullptr, piece, kOpSearch, kNearestOnLines, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault, kDefaultResolution, &index, &length, &x, &y, qpcurve::kIdentity);
    EXPECT_NEAR(y, 50.0f, kExact);
}

// Every form reads its matrix, as the geometry library may: without one a
// search finds nothing, a measure gives 0 and a walk no point, however
// plainly the piece would answer.
TEST_F(CurveModel, EveryFormRefusesANullMatrix) {
    Piece* piece = build(SquareShape());
    for (const long flags : {kNearestOnLines, kNearestVertex, kPointAtLength, kMeasureLength,
                             kFlagLength | kFlagLines}) {
        SCOPED_TRACE(flags);
        for (const short op : {kOpSearch, kOpDraw}) {
            const CurveResult r = curve(piece, op, flags, kStylePlain, kSnapAllLinesDefault, 0, 0, kColourDefault,
                                        kDefaultResolution, 50, 40, 30, nullptr);
            EXPECT_EQ(r.length, 0.0f);
            if (flags & (kFlagNearestPoint | kFlagNearestOnLines | kFlagAtLength)) {
                EXPECT_EQ(r.index, -1);
                EXPECT_EQ(r.x, qpcurve::kFar);
            }
            const CurveResult given = curve(piece, op, flags, kStylePlain, kSnapAllLinesDefault, 0, 0,
                                            kColourDefault, kDefaultResolution, 50, 40, 30);
            if (flags & (kFlagNearestPoint | kFlagNearestOnLines | kFlagAtLength)) EXPECT_GE(given.index, 0);
            else EXPECT_GT(given.length, 0.0f);
        }
    }
}

// Two outline chains, the second in a code-3 segment: mode 8 snaps to it
// alone, mode 2 to both, mode 0xA to outline points only.
TEST_F(CurveModel, ModesChooseWhatMayBeSnappedTo) {
    PieceShape shape = SquareShape();
    shape.chains.push_back(Chain({P('S', 200, 0), P('K', 300, 0)}, false, 3));
    Piece* piece = build(shape);
    // points: square 0..4, inner line 5, 6, code-3 line 7, 8, mark 9
    const CurveResult code3 = curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapCode3, 0, 0, kColourDefault, kDefaultResolution, 50, 40);
    EXPECT_NEAR(code3.x, 200.0f, kExact);
    EXPECT_NEAR(code3.y, 0.0f, kExact);
    EXPECT_EQ(code3.index, 7);
    const CurveResult outline = curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapOutline, 0, 0, kColourDefault, kDefaultResolution, 50, 40);
    EXPECT_NEAR(outline.x, 50.0f, kExact);
    EXPECT_NEAR(outline.y, 0.0f, kExact);
    const CurveResult all = curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapAllLines, 0, 0, kColourDefault, kDefaultResolution, 50, 40);
    EXPECT_NEAR(all.y, 50.0f, kExact);
    const CurveResult vertex = curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapOutlineVertices, 0, 0, kColourDefault, kDefaultResolution, 30, 40);
    EXPECT_EQ(vertex.index, 0);
    EXPECT_NEAR(vertex.x, 0.0f, kExact);
    // Within a counted range the mode still filters: the inner line is not
    // an outline stretch.
    EXPECT_EQ(curve(piece, kOpSearch, kNearestOnLines, kStylePlain, kModeWholePiece | kSnapOutline, 5, 2, kColourDefault, kDefaultResolution, 50, 50).x, qpcurve::kFar);
}

TEST_F(CurveModel, Clockwise) {
    Piece* ccw = build(SquareShape());
    EXPECT_EQ(qpGetPieceClockwise(ccw), -1);
    PieceShape shape;
    shape.chains.push_back(Chain({P('S', 0, 0), P('K', 0, 100), P('K', 100, 100), P('K', 100, 0)}, true));
    Piece* cw = build(shape);
    EXPECT_EQ(qpGetPieceClockwise(cw), 1);
    PieceShape inner;
    inner.chains.push_back(Chain({P('s', 0, 0), P('k', 0, 100), P('k', 100, 100)}));
    EXPECT_EQ(qpGetPieceClockwise(build(inner)), -1) << "no outline chain";
    EXPECT_EQ(qpGetPieceClockwise(nullptr), -1);
}

}  // namespace

// A held piece (geometry_extras.h) gives exactly the answers of unheld calls,
// for measuring and for snapping, in every mode; letting go reads the piece
// afresh, so an edit made after the hold shows.
#include "siblings/geometry/geometry_extras.h"
#include "tests/support/store_fixture.h"

namespace {

std::vector<float> answers(Piece* piece) {
    std::vector<float> out;
    for (unsigned long mode : {0ul, static_cast<unsigned long>(qpcurve::kSnapOutline)}) {
        for (short first = 0; first < piece->pointCount; ++first) {
            short index = -1;
            float length = 0, x = 0, y = 0;
            qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kMeasureLength, 0, mode, first, 3, -1,
                    qpcurve::kDefaultResolution, &index, &length, &x, &y, qpcurve::kIdentity);
            out.push_back(length);
            x = 120.0f + first;
            y = 95.0f;
            qpCurve(nullptr, piece, qpcurve::kOpSearch, qpcurve::kNearestOnLines, 0, mode, 0, 0, -1,
                    qpcurve::kDefaultResolution, &index, &length, &x, &y, qpcurve::kIdentity);
            out.insert(out.end(), {static_cast<float>(index), length, x, y});
        }
    }
    return out;
}

TEST(HeldPiece, AnswersAsUnheldAndLetsGo) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    ASSERT_NE(piece, nullptr);
    const std::vector<float> unheld = answers(piece);
    geometryHoldPiece(piece);
    EXPECT_EQ(answers(piece), unheld);
    EXPECT_EQ(answers(piece), unheld);  // from the kept tables
    geometryHoldPiece(nullptr);
    CoordOf(piece, 3)->y += 10.0f;
    EXPECT_NE(answers(piece), unheld);
}

}  // namespace

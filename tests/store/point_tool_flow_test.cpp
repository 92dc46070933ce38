// The append operations as the point-increase tool drives them: an outline
// drawn point by point (a first point, then straight-line points), and an
// inner line drawn and ended. After each finished line the piece is whole.
#include "tests/support/store_fixture.h"

namespace {

// Appends a point to the last line of segment `seg` (the tool's "index
// lineCount - 1, kind 0") and gives it a coordinate.
Point* AddPoint(PatternBuffer* pattern, Piece* piece, int seg, float x, float y) {
    Point* p = nullptr;
    qpIncreasePoint(pattern, piece, SegAt(piece, seg), static_cast<short>(piece->lineCount - 1), 0, &p);
    p->coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern, piece, &c);
    c->pointIndex = static_cast<int16_t>(piece->pointCount - 1);
    c->x = x;
    c->y = y;
    return PointAt(piece, piece->pointCount - 1);
}

TEST(PointToolFlow, AnOutlineOfStraightLines) {
    TestPattern pattern;
    Piece* piece = nullptr;
    qpIncreasePiece(pattern.get(), &piece);
    // First point of a new outline line: new segment, new line.
    Seg* seg = nullptr;
    qpIncreaseSegment(pattern.get(), piece, &seg);
    Line* line = nullptr;
    qpIncreaseLine(pattern.get(), piece, SegAt(piece, 0), &line);
    Point* p = AddPoint(pattern.get(), piece, 0, 0, 0);
    EXPECT_EQ(p->type, 'S');
    p->lineOut = static_cast<int16_t>(piece->lineCount - 1);
    // A straight-line point joins the open line and closes it.
    p = AddPoint(pattern.get(), piece, 0, 100, 0);
    p->type = 'K';
    p->lineIn = PointAt(piece, 0)->lineOut;
    EXPECT_TRUE(PieceConsistent(piece));
    // The next one opens a new line from the previous K.
    for (int k = 0; k < 2; ++k) {
        qpIncreaseLine(pattern.get(), piece, SegAt(piece, 0), &line);
        p = AddPoint(pattern.get(), piece, 0, 100.0f - 100 * k, 50);
        p->type = 'K';
        int last = piece->pointCount - 1;
        int L = piece->lineCount - 1;
        PointAt(piece, last - 1)->lineOut = static_cast<int16_t>(L);
        LineAt(piece, L)->pointCount = 2;
        LineAt(piece, L)->firstPoint = static_cast<int16_t>(last - 1);
        PointAt(piece, last)->lineIn = PointAt(piece, last - 1)->lineOut;
        EXPECT_TRUE(PieceConsistent(piece)) << k;
    }
    EXPECT_EQ(piece->lineCount, 3);
    EXPECT_EQ(SegAt(piece, 0)->lineCount, 3);
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(PointToolFlow, AnInnerLineDrawnAndEnded) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(200, 100));
    Seg* seg = nullptr;
    qpIncreaseSegment(pattern.get(), piece, &seg);
    seg->code = 2;
    seg->value = 14;
    int s = piece->segCount - 1;
    Line* line = nullptr;
    qpIncreaseLine(pattern.get(), piece, SegAt(piece, s), &line);
    int L = piece->lineCount - 1;
    Point* p = AddPoint(pattern.get(), piece, s, 20, 20);
    EXPECT_EQ(p->type, 's');
    p->lineOut = static_cast<int16_t>(L);
    for (int k = 1; k <= 2; ++k) {
        p = AddPoint(pattern.get(), piece, s, 20.0f + 30 * k, 20.0f + 10 * k);
        p->type = 'c';
        p->lineIn = p->lineOut = static_cast<int16_t>(L);
    }
    // Ending the line: more than two points make a curve line.
    LineAt(piece, L)->kind = 2;
    p = PointAt(piece, piece->pointCount - 1);
    p->type = 'k';
    p->lineIn = static_cast<int16_t>(L);
    p->lineOut = -1;
    EXPECT_EQ(LineAt(piece, L)->firstPoint, 5);
    EXPECT_EQ(LineAt(piece, L)->pointCount, 3);
    EXPECT_TRUE(PieceConsistent(piece));
}

}  // namespace

// Inserting and deleting points and lines: the structure they leave and the
// renumbering of every record that names a point or a line.
#include <cstring>
#include <string>
#include <vector>

#include "siblings/records/store_internals.h"
#include "tests/support/store_fixture.h"

namespace {

// CurvedWithInnerShape with a notch and the records that name points:
//   points 0 S, 1 K, 2 K, 3 C, 4 C, 5 K, 6 K (outline), 7 s, 8 c, 9 k (inner),
//   10 v (a notch on line 2; lineIn 0 and lineOut 3 are its own codes)
//   lines 0 = 0..1, 1 = 1..2, 2 = 2..5, 3 = 5..6, 4 = 7..9
//   rules: r0 = prules 0, 1 (points 3 and 5, codes 5 and 506), r1 = prule 2 (point 9)
//   extwids (1, 5), (6, 6); cutangls at 2 and 5; line 3 joinPoint 5
PieceShape RichShape() {
    PieceShape shape = CurvedWithInnerShape();
    ShapeMark notch = Mark('v', 100, 120, 0, 3, 16, 0);
    notch.lineIndex = 2;
    notch.position = 50;
    shape.marks.push_back(notch);
    shape.rules.push_back(ShapeRule{0, 0, {PRule{5, 3, 1, 2}, PRule{506, 5, 3, 4}}});
    shape.rules.push_back(ShapeRule{0, 0, {PRule{1, 9, 5, 6}}});
    shape.extwids = {Extwid{1, 5, 10, 12}, Extwid{6, 6, 8, 8}};
    shape.cutangls = {Cutangl{1, 2, 3, 5}, Cutangl{2, 5, 1, 1}};
    return shape;
}

Piece* AddRich(TestPattern& pattern) {
    Piece* piece = pattern.add(RichShape());
    if (piece != nullptr) LineAt(piece, 3)->joinPoint = 5;
    return piece;
}

// Gives a freshly inserted point its own Coord at (x, y), as callers do.
void GiveCoord(PatternBuffer* pattern, Piece* piece, int p, float x, float y) {
    PointAt(piece, p)->coordIndex = piece->coordCount;
    Coord* c = nullptr;
    qpIncreaseCoord(pattern, piece, &c);
    c->pointIndex = static_cast<int16_t>(p);
    c->x = x;
    c->y = y;
}

// ---- qpInsertPoint ---------------------------------------------------------------

TEST(InsertPoint, InsideACurveLineItIsACurvePointAndEveryLaterIndexMoves) {
    TestPattern pattern;
    Piece* piece = AddRich(pattern);
    ASSERT_NE(piece, nullptr);
    Point* p = nullptr;
    qpInsertPoint(pattern.get(), piece, 3, &p);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p, PointAt(piece, 4));
    EXPECT_EQ(p->type, 'C');
    EXPECT_EQ(p->lineIn, 2);
    EXPECT_EQ(p->lineOut, 2);
    EXPECT_EQ(p->segIndex, 0);
    EXPECT_EQ(p->coordIndex, -1);
    EXPECT_EQ(p->formulaIndex, -1);
    EXPECT_EQ(piece->pointCount, 12);
    EXPECT_EQ(LineAt(piece, 2)->firstPoint, 2);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 5);
    EXPECT_EQ(LineAt(piece, 3)->firstPoint, 6);
    EXPECT_EQ(LineAt(piece, 4)->firstPoint, 8);
    // Coordinates, the notch, rules, seam allowances and corners follow.
    EXPECT_EQ(CoordOf(piece, 5)->pointIndex, 5);
    EXPECT_FLOAT_EQ(CoordOf(piece, 5)->x, 50.0f);  // was point 4
    EXPECT_EQ(SPointAt(piece, 0)->pointIndex, 11);
    EXPECT_EQ(SPointAt(piece, 0)->lineIndex, 2);
    EXPECT_EQ(PRuleAt(piece, 0)->pointIndex, 3);
    EXPECT_EQ(PRuleAt(piece, 1)->pointIndex, 6);
    EXPECT_EQ(PRuleAt(piece, 2)->pointIndex, 10);
    EXPECT_EQ(ExtwidAt(piece, 0)->fromPoint, 1);
    EXPECT_EQ(ExtwidAt(piece, 0)->toPoint, 6);
    EXPECT_EQ(ExtwidAt(piece, 1)->fromPoint, 7);
    EXPECT_EQ(CutanglAt(piece, 0)->pointIndex, 2);
    EXPECT_EQ(CutanglAt(piece, 1)->pointIndex, 6);
    // The tools' own codes stay as they were.
    EXPECT_EQ(PRuleAt(piece, 1)->code, 506);
    EXPECT_EQ(LineAt(piece, 3)->joinPoint, 5);
    EXPECT_EQ(PointAt(piece, 11)->lineOut, 3);
    GiveCoord(pattern.get(), piece, 4, 100, 125);
    EXPECT_TRUE(PieceConsistent(piece));
}

PieceShape Rectangle200x100() { return RectangleShape(200, 100); }

// Before / operation / after: qpInsertPoint(after) on a piece (PieceDump),
// the new point's type, lines and segment, the piece after; once the caller
// has given the point its own Coord at (x, y), the piece is consistent.
struct InsertRow {
    const char* what;
    PieceShape (*shape)();
    const char* before;
    short after;  // insert after this point; the new one is after + 1
    const char* piece;
    char type;
    short lineIn, lineOut, seg;
    float x, y;
};

const InsertRow kInserts[] = {
    {"after a turning point it joins the outgoing line as a curve point", Rectangle200x100,
     "SKKKK|0+2 1+2 2+2 3+2|1:0+4", 1,
     "SKCKKK|0+2 1+3 3+2 4+2|1:0+4", 'C', 1, 1, 0, 200, 50},
    {"after a chain end it belongs to no line", CurvedWithInnerShape,
     "SKKCCKKsck|0+2 1+2 2+4 5+2 7+3|1:0+4 2:4+1", 6,
     "SKKCCKKKsck|0+2 1+2 2+4 5+2 8+3|1:0+4 2:4+1", 'K', -1, -1, 0, 0, 0},
    {"on an inner line the curve point is lower case", CurvedWithInnerShape,
     "SKKCCKKsck|0+2 1+2 2+4 5+2 7+3|1:0+4 2:4+1", 7,
     "SKKCCKKscck|0+2 1+2 2+4 5+2 7+4|1:0+4 2:4+1", 'c', 4, 4, 1, 75, 55},
    {"at the start with -1: a lone start point", CurvedWithInnerShape,
     "SKKCCKKsck|0+2 1+2 2+4 5+2 7+3|1:0+4 2:4+1", -1,
     "SSKKCCKKsck|1+2 2+2 3+4 6+2 8+3|1:0+4 2:4+1", 'S', -1, -1, 0, -10, -10},
};

TEST(InsertPoint, WhereTheNewPointGoes) {
    for (const InsertRow& row : kInserts) {
        SCOPED_TRACE(row.what);
        TestPattern pattern;
        Piece* piece = pattern.add(row.shape());
        ASSERT_NE(piece, nullptr);
        EXPECT_EQ(PieceDump(piece), row.before);
        Point* p = nullptr;
        qpInsertPoint(pattern.get(), piece, row.after, &p);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p, PointAt(piece, row.after + 1));
        EXPECT_EQ(PieceDump(piece), row.piece);
        EXPECT_EQ(p->type, row.type);
        EXPECT_EQ(p->lineIn, row.lineIn);
        EXPECT_EQ(p->lineOut, row.lineOut);
        EXPECT_EQ(p->segIndex, row.seg);
        GiveCoord(pattern.get(), piece, row.after + 1, row.x, row.y);
        EXPECT_TRUE(PieceConsistent(piece));
    }
}

TEST(InsertPoint, AnIndexOutOfRangeChangesNothing) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    std::vector<char> before(reinterpret_cast<char*>(piece), reinterpret_cast<char*>(piece) + piece->byteSize);
    Point* p = reinterpret_cast<Point*>(1);
    qpInsertPoint(pattern.get(), piece, 10, &p);
    EXPECT_EQ(p, nullptr);
    qpInsertPoint(pattern.get(), piece, -2, &p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(std::vector<char>(reinterpret_cast<char*>(piece), reinterpret_cast<char*>(piece) + piece->byteSize),
              before);
    EXPECT_TRUE(PieceConsistent(piece));
}

// ---- qpInsertLine ----------------------------------------------------------------

TEST(InsertLine, SplittingACurveAtItsFirstInnerPoint) {
    TestPattern pattern;
    Piece* piece = AddRich(pattern);
    LineAt(piece, 1)->joinCount = 3;
    Line* l = nullptr;
    qpInsertLine(pattern.get(), piece, 1, &l);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l, LineAt(piece, 2));
    EXPECT_EQ(l->firstPoint, 2);
    EXPECT_EQ(l->pointCount, 2);
    EXPECT_EQ(l->joinCount, 3);  // a copy of line 1, join fields included
    EXPECT_EQ(LineAt(piece, 3)->firstPoint, 3);  // the curve hands over its first stretch
    EXPECT_EQ(LineAt(piece, 3)->pointCount, 3);
    EXPECT_EQ(LineAt(piece, 4)->firstPoint, 5);
    EXPECT_EQ(SegAt(piece, 0)->lineCount, 5);
    EXPECT_EQ(SegAt(piece, 1)->firstLine, 5);
    EXPECT_EQ(PointAt(piece, 4)->lineIn, 3);
    EXPECT_EQ(PointAt(piece, 5)->lineIn, 3);
    EXPECT_EQ(PointAt(piece, 5)->lineOut, 4);
    EXPECT_EQ(PointAt(piece, 8)->lineIn, 5);
    EXPECT_EQ(SPointAt(piece, 0)->lineIndex, 3);
    EXPECT_EQ(PointAt(piece, 10)->lineOut, 3);  // the notch's own code stays
    EXPECT_EQ(LineAt(piece, 4)->joinPoint, 5);
    // Point 3 becomes the turning point between the two parts.
    PointAt(piece, 2)->lineOut = 2;
    Point* p3 = PointAt(piece, 3);
    p3->type = 'K';
    p3->lineIn = 2;
    p3->lineOut = 3;
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(InsertLine, AnIndexOutOfRangeChangesNothing) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedShape());
    Line* l = reinterpret_cast<Line*>(1);
    qpInsertLine(pattern.get(), piece, 4, &l);
    EXPECT_EQ(l, nullptr);
    qpInsertLine(pattern.get(), piece, -1, &l);
    EXPECT_EQ(l, nullptr);
    EXPECT_EQ(piece->lineCount, 4);
    EXPECT_TRUE(PieceConsistent(piece));
}

// ---- qpInsertPRule ----------------------------------------------------------------

TEST(InsertPRule, TheCallerMovesTheRulesAsTheSymmetryToolDoes) {
    TestPattern pattern;
    Piece* piece = AddRich(pattern);
    PRule* twin = nullptr;
    qpInsertPRule(pattern.get(), piece, 1, &twin);
    ASSERT_NE(twin, nullptr);
    EXPECT_EQ(twin, PRuleAt(piece, 2));
    EXPECT_EQ(twin->pointIndex, -1);
    EXPECT_EQ(piece->pRuleCount, 4);
    EXPECT_EQ(RuleAt(piece, 0)->pRuleCount, 2);  // the store leaves the rules alone
    EXPECT_EQ(RuleAt(piece, 1)->firstPRule, 2);
    EXPECT_EQ(PRuleAt(piece, 3)->pointIndex, 9);
    twin->code = 5;
    twin->pointIndex = 4;
    ++RuleAt(piece, 0)->pRuleCount;
    ++RuleAt(piece, 1)->firstPRule;
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(InsertPRule, IntoAPieceWithoutPRules) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(10, 10));
    PRule* r = nullptr;
    qpInsertPRule(pattern.get(), piece, -1, &r);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(piece->pRuleCount, 1);
    r->pointIndex = 0;
    EXPECT_TRUE(PieceConsistent(piece));
}

// ---- qpDeletePoint ----------------------------------------------------------------

TEST(DeletePoint, AnInnerCurvePointShrinksItsLine) {
    TestPattern pattern;
    Piece* piece = AddRich(pattern);
    qpDeletePoint(pattern.get(), piece, 3);
    EXPECT_EQ(piece->pointCount, 10);
    EXPECT_EQ(piece->coordCount, 10);
    EXPECT_EQ(LineAt(piece, 2)->pointCount, 3);
    EXPECT_EQ(LineAt(piece, 3)->firstPoint, 4);
    EXPECT_EQ(LineAt(piece, 4)->firstPoint, 6);
    EXPECT_FLOAT_EQ(CoordOf(piece, 3)->x, 50.0f);
    // PRule 0 named point 3: gone, with rule 0's count; rule 1 moves down.
    EXPECT_EQ(piece->pRuleCount, 2);
    EXPECT_EQ(RuleAt(piece, 0)->pRuleCount, 1);
    EXPECT_EQ(RuleAt(piece, 1)->firstPRule, 1);
    EXPECT_EQ(PRuleAt(piece, 0)->pointIndex, 4);
    EXPECT_EQ(PRuleAt(piece, 0)->code, 506);
    EXPECT_EQ(ExtwidAt(piece, 0)->toPoint, 4);
    EXPECT_EQ(CutanglAt(piece, 1)->pointIndex, 4);
    EXPECT_EQ(SPointAt(piece, 0)->pointIndex, 9);
    EXPECT_EQ(LineAt(piece, 3)->joinPoint, 5);  // the tools' code, untouched
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(DeletePoint, ATurningPointBeforeACurveMergesTheCurveIntoTheLineBefore) {
    TestPattern pattern;
    Piece* piece = AddRich(pattern);
    qpDeletePoint(pattern.get(), piece, 2);
    EXPECT_EQ(piece->lineCount, 4);
    EXPECT_EQ(LineAt(piece, 1)->firstPoint, 1);
    EXPECT_EQ(LineAt(piece, 1)->pointCount, 4);
    EXPECT_EQ(PointAt(piece, 2)->lineIn, 1);  // the former curve points
    EXPECT_EQ(PointAt(piece, 3)->lineOut, 1);
    EXPECT_EQ(PointAt(piece, 4)->lineIn, 1);
    EXPECT_EQ(SPointAt(piece, 0)->lineIndex, 1);  // the notch's curve is part of line 1 now
    EXPECT_EQ(piece->cutanglCount, 1);  // the corner at point 2 went with it
    EXPECT_EQ(CutanglAt(piece, 0)->pointIndex, 4);
    EXPECT_EQ(SegAt(piece, 1)->firstLine, 3);
    EXPECT_TRUE(PieceConsistent(piece));
}

// A dart's straight mouth (line 1, two points) merged into the arc after it
// leaves an arc, whichever of the two keeps its record.
TEST(DeletePoint, AStraightMouthMergedIntoAnArcKeepsTheArc) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedShape());
    LineAt(piece, 2)->kind = 3;  // 2..5 an arc
    qpDeletePoint(pattern.get(), piece, 2);
    EXPECT_EQ(LineAt(piece, 1)->pointCount, 4);
    EXPECT_EQ(LineAt(piece, 1)->kind, 3);
    EXPECT_TRUE(PieceConsistent(piece));
    // An arc absorbing the straight line after it stays an arc as before.
    Piece* other = pattern.add(CurvedShape());
    LineAt(other, 2)->kind = 3;
    qpDeletePoint(pattern.get(), other, 5);
    EXPECT_EQ(LineAt(other, 2)->pointCount, 4);
    EXPECT_EQ(LineAt(other, 2)->kind, 3);
    EXPECT_TRUE(PieceConsistent(other));
}

// A rectangle with two two-point inner lines meeting at (100, 100), as a dart
// leaves them: points 5 s, 6 k (line 4) and 7 s, 8 k (line 5).
PieceShape RectangleWithDartLegs() {
    PieceShape shape = RectangleShape(200, 100);
    shape.chains.push_back(Chain({P('s', 50, 50), P('k', 100, 100)}));
    shape.chains.push_back(Chain({P('s', 150, 50), P('k', 100, 100)}));
    return shape;
}

// Before / operation / after: the piece (PieceDump), then each point deleted
// with the piece after it. The checker passes after every delete, which also
// holds each point's lineIn and lineOut to its lines.
struct DeleteStep {
    short point;
    const char* after;
};
struct DeleteRow {
    const char* what;
    PieceShape (*shape)();
    const char* before;
    std::vector<DeleteStep> steps;
};

const DeleteRow kDeletes[] = {
    {"a turning point between two straight lines leaves one two-point line", Rectangle200x100,
     "SKKKK|0+2 1+2 2+2 3+2|1:0+4", {{2, "SKKK|0+2 1+2 2+2|1:0+3"}}},
    {"the chain start passes to the next point; line 0 kept one point and went", Rectangle200x100,
     "SKKKK|0+2 1+2 2+2 3+2|1:0+4", {{0, "SKKK|0+2 1+2 2+2|1:0+3"}}},
    {"the start of a longer inner line: the c becomes its s", CurvedWithInnerShape,
     "SKKCCKKsck|0+2 1+2 2+4 5+2 7+3|1:0+4 2:4+1", {{7, "SKKCCKKsk|0+2 1+2 2+4 5+2 7+2|1:0+4 2:4+1"}}},
    {"the end of the inner curve, then of the outline: the point before ends the chain", CurvedWithInnerShape,
     "SKKCCKKsck|0+2 1+2 2+4 5+2 7+3|1:0+4 2:4+1",
     {{9, "SKKCCKKsk|0+2 1+2 2+4 5+2 7+2|1:0+4 2:4+1"}, {6, "SKKCCKsk|0+2 1+2 2+4 6+2|1:0+3 2:3+1"}}},
    {"both points of a two-point inner line, as the dart tool removes them (f + 1, then f; an s start stays s)",
     RectangleWithDartLegs, "SKKKKsksk|0+2 1+2 2+2 3+2 5+2 7+2|1:0+4 2:4+1 2:5+1",
     {{6, "SKKKKssk|0+2 1+2 2+2 3+2 6+2|1:0+4 2:4+0 2:4+1"}, {5, "SKKKKsk|0+2 1+2 2+2 3+2 5+2|1:0+4 2:4+0 2:4+1"}}},
};

TEST(DeletePoint, StructureAfterEachDelete) {
    for (const DeleteRow& row : kDeletes) {
        SCOPED_TRACE(row.what);
        TestPattern pattern;
        Piece* piece = pattern.add(row.shape());
        ASSERT_NE(piece, nullptr);
        EXPECT_EQ(PieceDump(piece), row.before);
        for (const DeleteStep& step : row.steps) {
            qpDeletePoint(pattern.get(), piece, step.point);
            EXPECT_EQ(PieceDump(piece), step.after) << "after deleting point " << step.point;
            EXPECT_TRUE(PieceConsistent(piece)) << "after deleting point " << step.point;
        }
    }
}

// The line that absorbs its neighbour takes over the neighbour's join.
TEST(DeletePoint, TheAbsorbedLinesJoinGoesAlong) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(200, 100));
    LineAt(piece, 2)->joinKind = 2;
    qpDeletePoint(pattern.get(), piece, 2);
    EXPECT_EQ(LineAt(piece, 1)->joinKind, 2);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(DeletePoint, AMarkTakesItsSPointAlong) {
    TestPattern pattern;
    PieceShape shape = RectangleShape(200, 100);
    shape.marks = {Mark('o', 10, 10, 0, 0, 15, 12), Mark('o', 20, 10, 0, 0, 15, 12), Mark('g', 30, 10, 2, 0, 17, 0)};
    Piece* piece = pattern.add(shape);
    qpDeletePoint(pattern.get(), piece, 5);
    EXPECT_EQ(piece->sPointCount, 2);
    EXPECT_EQ(SegAt(piece, 1)->lineCount, 1);
    EXPECT_EQ(SegAt(piece, 2)->firstLine, 1);
    EXPECT_EQ(SPointAt(piece, 0)->pointIndex, 5);
    EXPECT_EQ(SPointAt(piece, 1)->pointIndex, 6);
    EXPECT_EQ(PointAt(piece, 6)->lineIn, 2);  // a mark's code, not a line
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(DeletePoint, SeamAllowanceEndsKeepTheirPlaceClampedIntoRange) {
    TestPattern pattern;
    PieceShape shape = CurvedShape();
    shape.extwids = {Extwid{2, 4, 1, 1}, Extwid{1, 6, 1, 1}, Extwid{0, 1, 1, 1}};
    Piece* piece = pattern.add(shape);
    qpDeletePoint(pattern.get(), piece, 6);
    EXPECT_EQ(ExtwidAt(piece, 1)->toPoint, 5);
    qpDeletePoint(pattern.get(), piece, 2);
    EXPECT_EQ(ExtwidAt(piece, 0)->fromPoint, 2);
    EXPECT_EQ(ExtwidAt(piece, 0)->toPoint, 3);
    EXPECT_EQ(ExtwidAt(piece, 1)->fromPoint, 1);
    EXPECT_EQ(ExtwidAt(piece, 1)->toPoint, 4);
    EXPECT_EQ(ExtwidAt(piece, 2)->toPoint, 1);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(DeletePoint, ItsFormulaAndTextsGoAndTheOtherTextsFollow) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithFormulasShape());
    short chars = piece->charCount;
    size_t gone = FormulaX(piece, 3).size() + FormulaY(piece, 3).size() + 2;
    qpDeletePoint(pattern.get(), piece, 3);
    EXPECT_EQ(piece->formulaCount, 9);
    EXPECT_EQ(piece->charCount, chars - static_cast<short>(gone));
    EXPECT_EQ(FormulaX(piece, 3), "0*H+5");
    EXPECT_EQ(FormulaY(piece, 9 - 1), "0*BL+5");
    for (int p = 0; p < piece->pointCount; ++p)
        EXPECT_EQ(CoordOf(piece, p)->formulaIndex, PointAt(piece, p)->formulaIndex) << p;
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(DeletePoint, AnIndexOutOfRangeChangesNothing) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedShape());
    qpDeletePoint(pattern.get(), piece, 7);
    qpDeletePoint(pattern.get(), piece, -1);
    EXPECT_EQ(piece->pointCount, 7);
    EXPECT_TRUE(PieceConsistent(piece));
}

// ---- qpDeleteLine, qpDeleteExtwid -----------------------------------------------------

TEST(DeleteLine, JoiningTwoLinesAsTheSymmetryToolDoes) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(200, 100));
    // Join lines 1 (1..2) and 2 (2..3) at point 2: point 2 becomes a curve
    // point of line 2, which takes over from point 1; line 1 goes.
    PointAt(piece, 1)->lineOut = 2;
    Point* p2 = PointAt(piece, 2);
    p2->type = 'C';
    p2->lineIn = p2->lineOut = 2;
    LineAt(piece, 2)->firstPoint = 1;
    LineAt(piece, 2)->pointCount = 3;
    LineAt(piece, 1)->pointCount = 0;
    qpDeleteLine(pattern.get(), piece, 1);
    EXPECT_EQ(piece->lineCount, 3);
    EXPECT_EQ(SegAt(piece, 0)->lineCount, 3);
    EXPECT_EQ(PointAt(piece, 1)->lineOut, 1);
    EXPECT_EQ(PointAt(piece, 2)->lineIn, 1);
    EXPECT_EQ(PointAt(piece, 3)->lineIn, 1);
    EXPECT_EQ(PointAt(piece, 3)->lineOut, 2);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(DeleteLine, ReferencesToTheDeletedLineBecomeNone) {
    TestPattern pattern;
    Piece* piece = pattern.add(CurvedWithInnerShape());
    qpDeleteLine(pattern.get(), piece, 4);
    EXPECT_EQ(PointAt(piece, 7)->lineOut, -1);
    EXPECT_EQ(PointAt(piece, 8)->lineIn, -1);
    EXPECT_EQ(PointAt(piece, 9)->lineIn, -1);
    EXPECT_EQ(SegAt(piece, 1)->lineCount, 0);
    // The curve point left without a line is what the checker names.
    EXPECT_EQ(storeCheckPieceText(piece),
              "point 8: curve point 'c' with lineIn -1 and lineOut -1 lies on no one line");
    qpDeletePoint(pattern.get(), piece, 8);
    EXPECT_TRUE(PieceConsistent(piece));
}

TEST(DeleteExtwid, RemovesOneRecord) {
    TestPattern pattern;
    Piece* piece = AddRich(pattern);
    qpDeleteExtwid(pattern.get(), piece, 0);
    EXPECT_EQ(piece->extwidCount, 1);
    EXPECT_EQ(ExtwidAt(piece, 0)->fromPoint, 6);
    qpDeleteExtwid(pattern.get(), piece, 1);  // out of range: nothing
    EXPECT_EQ(piece->extwidCount, 1);
    EXPECT_TRUE(PieceConsistent(piece));
}

}  // namespace

// ---- batches: one renumbering, the same piece as one call after another ----------

bool SameBytes(TestPattern& a, TestPattern& b) {
    return a.get()->totalSize == b.get()->totalSize &&
           std::memcmp(a.get(), b.get(), static_cast<size_t>(a.get()->totalSize)) == 0;
}

TEST(InsertPoints, AreTheInsertsOneAfterAnother) {
    // Before the first point, on a turning point, inside a curve line, at a
    // line's end, inside the inner line and after the last point.
    const struct {
        short after, n;
    } rows[] = {{-1, 3}, {1, 2}, {3, 4}, {5, 1}, {8, 5}, {10, 2}, {4, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE("after " + std::to_string(r.after) + ", " + std::to_string(r.n) + " points");
        TestPattern one, batch;
        Piece* a = AddRich(one);
        Piece* b = AddRich(batch);
        for (short k = 0; k < r.n; ++k) {
            Point* p = nullptr;
            qpInsertPoint(one.get(), a, static_cast<short>(r.after + k), &p);
        }
        storeInsertPoints(batch.get(), b, r.after, r.n);
        EXPECT_TRUE(SameBytes(one, batch));
    }
}

TEST(InsertLines, AreTheInsertsOneAfterAnother) {
    // Segment 0 holds lines 0..3, segment 1 line 4: at the outline's front,
    // between, at its end; a refused batch (not rising, or outside the
    // segment's range) changes nothing.
    const struct {
        short s;
        std::vector<short> at;
        bool done;
    } rows[] = {{0, {0, 1, 2}, true}, {0, {2, 4, 6}, true}, {0, {4, 5}, true}, {1, {4, 6}, true},
                {1, {5}, true},       {0, {3, 3}, false},   {1, {2}, false}};
    for (const auto& r : rows) {
        SCOPED_TRACE("segment " + std::to_string(r.s) + ", first at " + std::to_string(r.at[0]));
        TestPattern one, batch;
        Piece* a = AddRich(one);
        Piece* b = AddRich(batch);
        if (r.done) {
            for (short at : r.at) {
                Line* l = nullptr;
                storeInsertLine(one.get(), a, r.s, at, &l);
                ASSERT_NE(l, nullptr);
            }
        }
        EXPECT_EQ(storeInsertLines(batch.get(), b, r.s, static_cast<short>(r.at.size()), r.at.data()),
                  r.done ? 1 : 0);
        EXPECT_TRUE(SameBytes(one, batch));
    }
}

TEST(IncreaseRecords, AreTheAppendsOneAfterAnother) {
    // Coords and formulas are the records qpIncreaseCoord and
    // qpIncreaseFormula leave; points are written whole by their caller, so
    // one qpIncreasePoint after another, each record overwritten alike, is
    // what a batch of opened points becomes.
    for (short n : {1, 3, 7}) {
        SCOPED_TRACE(std::to_string(n) + " records");
        TestPattern one, batch;
        Piece* a = AddRich(one);
        Piece* b = AddRich(batch);
        const short points = a->pointCount;
        for (short k = 0; k < n; ++k) {
            Coord* c = nullptr;
            qpIncreaseCoord(one.get(), a, &c);
            Formula* f = nullptr;
            qpIncreaseFormula(one.get(), a, &f);
            Seg* g = nullptr;
            qpGetSegLptr(a, 0, &g);
            Point* p = nullptr;
            qpIncreasePoint(one.get(), a, g, -1, 0, &p);
            *p = Point{'k', 0, static_cast<int16_t>(k), -1, -1, 0, static_cast<int16_t>(-1 - k)};
        }
        ASSERT_NE(storeIncreaseCoords(batch.get(), b, n), nullptr);
        ASSERT_NE(storeIncreaseFormulas(batch.get(), b, n), nullptr);
        Point* opened = storeOpenPoints(batch.get(), b, n);
        ASSERT_NE(opened, nullptr);
        for (short k = 0; k < n; ++k)
            opened[k] = Point{'k', 0, static_cast<int16_t>(k), -1, -1, 0, static_cast<int16_t>(-1 - k)};
        EXPECT_EQ(b->pointCount, points + n);
        EXPECT_TRUE(SameBytes(one, batch));
    }
    TestPattern pattern;
    Piece* piece = AddRich(pattern);
    const std::vector<char> before(reinterpret_cast<char*>(pattern.get()),
                                   reinterpret_cast<char*>(pattern.get()) + pattern.get()->totalSize);
    EXPECT_EQ(storeIncreaseCoords(pattern.get(), piece, 0), nullptr);
    EXPECT_EQ(storeIncreaseFormulas(pattern.get(), piece, 0), nullptr);
    EXPECT_EQ(storeOpenPoints(pattern.get(), piece, 0), nullptr);
    EXPECT_EQ(0, std::memcmp(before.data(), pattern.get(), before.size()));
}

TEST(IncreaseLineAbove, IsQpIncreaseLine) {
    // Lines of the outline segment (below the inner line: the points are
    // renumbered), of the inner segment and of a new segment (above every
    // point's lines), one after another; the kept highest index stays what
    // a fresh look at the points gives.
    TestPattern one, kept;
    Piece* a = AddRich(one);
    Piece* b = AddRich(kept);
    int highest = storeHighestLineRef(b);
    EXPECT_GE(highest, 0);
    Seg* g = nullptr;
    qpIncreaseSegment(one.get(), a, &g);
    qpIncreaseSegment(kept.get(), b, &g);
    const short added = static_cast<short>(b->segCount - 1);
    for (short s : {short{0}, short{1}, added, added, short{0}}) {
        SCOPED_TRACE("segment " + std::to_string(s));
        Line* l = nullptr;
        qpGetSegLptr(a, s, &g);
        qpIncreaseLine(one.get(), a, g, &l);
        ASSERT_NE(l, nullptr);
        qpGetSegLptr(b, s, &g);
        storeIncreaseLineAbove(kept.get(), b, g, &highest, &l);
        ASSERT_NE(l, nullptr);
        EXPECT_TRUE(SameBytes(one, kept));
        EXPECT_EQ(highest, storeHighestLineRef(b));
    }
}

// The consistency checker catches each kind of damage and names the record;
// a sound piece passes; its message never runs past the caller's buffer.
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/store_fixture.h"

namespace {

// Points: 0 S, 1 K, 2 K, 3 C, 4 C, 5 K, 6 K | 7 s, 8 c, 9 k | 10 s, 11 k | 12 v
// Lines: 0..3 outline, 4 = 7..9, 5 = 10..11. Segments: 0 outline, 1 and 2
// inner, 3 the notch's (mark). Every point has a formula.
PieceShape SoundShape() {
    PieceShape shape = CurvedWithFormulasShape();
    shape.chains.push_back(Chain({P('s', 20, 20, "2", "2"), P('k', 40, 20, "4", "2")}));
    ShapeMark notch = Mark('v', 100, 120, 0, 1571, 16, 0);
    notch.lineIndex = 2;
    shape.marks.push_back(notch);
    shape.rules.push_back(ShapeRule{0, 0, {PRule{5, 3, 1, 2}, PRule{1, 5, 0, 0}}});
    shape.extwids = {Extwid{1, 5, 10, 12}};
    shape.cutangls = {Cutangl{1, 2, 3, 5}};
    return shape;
}

struct Damage {
    const char* what;
    std::function<void(PatternBuffer*, Piece*)> harm;
    const char* reason;  // the checker's message, or its start
};

std::vector<Damage> Damages() {
    return {
        {"a negative count", [](PatternBuffer*, Piece* p) { p->cutanglCount = -1; },
         "piece: cutangl count -1 is negative"},
        {"byteSize that disagrees with the counts", [](PatternBuffer*, Piece* p) { p->byteSize += 4; },
         "piece: byteSize"},
        {"a point type that is no type", [](PatternBuffer*, Piece* p) { PointAt(p, 1)->type = 'X'; },
         "point 1: unknown type 'X'"},
        {"a point type of zero", [](PatternBuffer*, Piece* p) { PointAt(p, 12)->type = 0; },
         "point 12: unknown type 0x00"},
        {"a segment index out of range", [](PatternBuffer*, Piece* p) { PointAt(p, 2)->segIndex = 4; },
         "point 2: segIndex 4 out of range 0..3"},
        {"a coordinate index out of range", [](PatternBuffer*, Piece* p) { PointAt(p, 2)->coordIndex = 13; },
         "point 2: coordIndex 13 out of range 0..12"},
        {"two points on one coordinate", [](PatternBuffer*, Piece* p) { PointAt(p, 2)->coordIndex = 1; },
         "point 2: its coord 1 belongs to point 1"},
        {"a coordinate naming the wrong point", [](PatternBuffer*, Piece* p) { CoordOf(p, 4)->pointIndex = 3; },
         "point 4: its coord 4 belongs to point 3"},
        {"a formula index out of range", [](PatternBuffer*, Piece* p) { PointAt(p, 5)->formulaIndex = -1; },
         "point 5: formulaIndex -1 out of range 0..12"},
        {"two points on one formula", [](PatternBuffer*, Piece* p) { PointAt(p, 5)->formulaIndex = 0; },
         "point 5: formula 0 also belongs to point 0"},
        {"lineIn out of range", [](PatternBuffer*, Piece* p) { PointAt(p, 0)->lineIn = 6; },
         "point 0: lineIn 6 out of range -1..5"},
        {"a chain start with a line coming in", [](PatternBuffer*, Piece* p) { PointAt(p, 10)->lineIn = 4; },
         "point 10: chain start 's' has lineIn 4"},
        {"a turning point whose lineIn ends elsewhere", [](PatternBuffer*, Piece* p) { PointAt(p, 11)->lineIn = 4; },
         "line 5: its last point 11 has lineIn 4"},
        {"a curve point on two lines", [](PatternBuffer*, Piece* p) { PointAt(p, 3)->lineOut = 3; },
         "line 2: inner point 3 is 'C' with lineIn 2 and lineOut 3"},
        {"a turning point inside a line", [](PatternBuffer*, Piece* p) { PointAt(p, 4)->type = 'K'; },
         "line 2: inner point 4 is 'K'"},
        {"a mark inside a line", [](PatternBuffer*, Piece* p) { PointAt(p, 8)->type = 'o'; },
         "line 4: inner point 8 is 'o'"},
        {"a line of one point", [](PatternBuffer*, Piece* p) { LineAt(p, 5)->pointCount = 1; },
         "line 5: 1 points, fewer than 2"},
        {"a line past the last point", [](PatternBuffer*, Piece* p) { LineAt(p, 5)->pointCount = 4; },
         "line 5: points 10..13 out of range 0..12"},
        {"a line whose first point leaves on another line",
         [](PatternBuffer*, Piece* p) { PointAt(p, 1)->lineOut = 0; }, "line 1: its first point 1 has lineOut 0"},
        {"a line that lost its first point's lineOut", [](PatternBuffer*, Piece* p) { PointAt(p, 7)->lineOut = -1; },
         "line 4: its first point 7 has lineOut -1"},
        {"lines out of outline order",
         [](PatternBuffer*, Piece* p) {
             // Swap the two inner lines' records and everything that names them.
             std::swap(*LineAt(p, 4), *LineAt(p, 5));
             for (int q : {7, 8, 9}) {
                 if (PointAt(p, q)->lineIn == 4) PointAt(p, q)->lineIn = 5;
                 if (PointAt(p, q)->lineOut == 4) PointAt(p, q)->lineOut = 5;
             }
             PointAt(p, 10)->lineOut = 4;
             PointAt(p, 11)->lineIn = 4;
             SegAt(p, 1)->firstLine = 5;
             SegAt(p, 2)->firstLine = 4;
         },
         "line 5: starts at point 7, before line 4 ends at 11"},
        {"a segment past the last line", [](PatternBuffer*, Piece* p) { SegAt(p, 2)->lineCount = 2; },
         "seg 2: lines 5..6 out of range 0..5"},
        {"a line in two segments", [](PatternBuffer*, Piece* p) { SegAt(p, 1)->lineCount = 2; },
         "seg 2: line 5 also belongs to seg 1"},
        {"a line in no segment", [](PatternBuffer*, Piece* p) { SegAt(p, 0)->lineCount = 3; },
         "line 3: belongs to no segment"},
        {"a mark segment past the last SPoint", [](PatternBuffer*, Piece* p) { SegAt(p, 3)->firstLine = 1; },
         "seg 3: SPoints 1..1 out of range 0..0"},
        {"a curve point of no line", [](PatternBuffer*, Piece* p) { PointAt(p, 11)->type = 'c'; },
         "point 11: curve point 'c' with lineIn 5 and lineOut -1 lies on no one line"},
        {"an extra coordinate",
         [](PatternBuffer* b, Piece* p) {
             Coord* c = nullptr;
             qpIncreaseCoord(b, p, &c);
         },
         "piece: 14 coords for 13 points"},
        {"a coordinate whose formula is another point's",
         [](PatternBuffer*, Piece* p) { CoordOf(p, 2)->formulaIndex = 1; },
         "coord 2: formulaIndex 1 but its point 2 has formula 2"},
        {"an extra formula",
         [](PatternBuffer* b, Piece* p) {
             Formula* f = nullptr;
             qpIncreaseFormula(b, p, &f);
         },
         "piece: 14 formulas for 13 points"},
        {"a formula text past the area", [](PatternBuffer*, Piece* p) { FormulaOf(p, 6)->yTextOffset = p->charCount; },
         "formula 6: y text at"},
        {"a formula text of no bytes", [](PatternBuffer*, Piece* p) { FormulaOf(p, 6)->xTextLength = 0; },
         "formula 6: x text at"},
        {"a formula text without its terminating zero",
         [](PatternBuffer*, Piece* p) {
             Formula* f = FormulaOf(p, 2);
             char* area = nullptr;
             short n = 0;
             qpGetCharLptr(p, &n, &area);
             area[f->xTextOffset + f->xTextLength - 1] = '1';
         },
         "formula 2: x text at"},
        {"an SPoint of no point", [](PatternBuffer*, Piece* p) {
             SPoint* s = nullptr;
             qpGetSPointLptr(p, 0, &s);
             s->pointIndex = 13;
         },
         "spoint 0: pointIndex 13 out of range 0..12"},
        {"an SPoint on a line that does not exist", [](PatternBuffer*, Piece* p) {
             SPoint* s = nullptr;
             qpGetSPointLptr(p, 0, &s);
             s->lineIndex = 6;
         },
         "spoint 0: lineIndex 6 out of range -1..5"},
        {"a rule past its PRules", [](PatternBuffer*, Piece* p) {
             Rule* r = nullptr;
             qpGetRuleLptr(p, 0, &r);
             r->pRuleCount = 3;
         },
         "rule 0: prules 0..2 out of range 0..1"},
        {"a PRule of no point", [](PatternBuffer*, Piece* p) {
             PRule* r = nullptr;
             qpGetPRuleLptr(p, 1, &r);
             r->pointIndex = -1;
         },
         "prule 1: pointIndex -1 out of range 0..12"},
        {"a seam allowance past the last point", [](PatternBuffer*, Piece* p) {
             Extwid* e = nullptr;
             qpGetExtwidLptr(p, 0, &e);
             e->toPoint = 13;
         },
         "extwid 0: points 1..13 out of range 0..12"},
        {"a point written into another segment than its line's",
         [](PatternBuffer*, Piece* p) { PointAt(p, 8)->segIndex = 0; },
         "point 8: segIndex 0 but its line 4 belongs to seg 1"},
        {"a corner of no point", [](PatternBuffer*, Piece* p) {
             Cutangl* c = nullptr;
             qpGetCutanglLptr(p, 0, &c);
             c->pointIndex = 20;
         },
         "cutangl 0: pointIndex 20 out of range 0..12"},
    };
}

TEST(Checker, ASoundPiecePasses) {
    TestPattern pattern;
    Piece* piece = pattern.add(SoundShape());
    ASSERT_NE(piece, nullptr);
    char message[200] = "untouched";
    EXPECT_EQ(storeCheckPiece(piece, message, sizeof message), 1);
    EXPECT_STREQ(message, "");
    EXPECT_TRUE(PatternConsistent(pattern.get()));
}

TEST(Checker, CatchesEachKindOfDamage) {
    for (const Damage& d : Damages()) {
        TestPattern pattern;
        Piece* piece = pattern.add(SoundShape());
        ASSERT_NE(piece, nullptr);
        d.harm(pattern.get(), piece);
        char message[200];
        EXPECT_EQ(storeCheckPiece(piece, message, sizeof message), 0) << d.what;
        EXPECT_EQ(std::string(message).rfind(d.reason, 0), 0u) << d.what << ": " << message;
        std::string whole = storeCheckPatternText(pattern.get());
        EXPECT_EQ(whole.rfind("piece 0: ", 0), 0u) << d.what << ": " << whole;
    }
}

// A coordinate must be finite and within 100 m (100000 mm) of the piece's
// origin: a row on each side of the limit, on each axis and on the diagonal.
TEST(Checker, CoordinatesFiniteAndWithin100m) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        float x, y;
        const char* reason;  // "" when the piece passes
    } rows[] = {
        {99999.0f, 0.0f, ""},
        {0.0f, -100000.0f, ""},
        {70710.0f, 70710.0f, ""},  // 99999.4 mm from the origin
        {100001.0f, 0.0f, "coord 4: (100001, 0) lies more than 100 m from the piece's origin"},
        {0.0f, -100010.0f, "coord 4: (0, -100010) lies more than 100 m"},
        {70711.0f, 70711.0f, "coord 4: (70711, 70711) lies more than 100 m"},
        {inf, 0.0f, "coord 4: (inf, 0) is not finite"},
        {0.0f, -inf, "coord 4: (0, -inf) is not finite"},
        {nan, 5.0f, "coord 4: (nan, 5) is not finite"},
        {3.4e38f, 0.0f, "coord 4: (3.4e+38, 0) lies more than 100 m"},
    };
    for (const Row& row : rows) {
        TestPattern pattern;
        Piece* piece = pattern.add(SoundShape());
        ASSERT_NE(piece, nullptr);
        CoordOf(piece, 4)->x = row.x;
        CoordOf(piece, 4)->y = row.y;
        const std::string reason = storeCheckPieceText(piece);
        if (*row.reason == 0)
            EXPECT_EQ(reason, "") << row.x << ", " << row.y;
        else
            EXPECT_EQ(reason.rfind(row.reason, 0), 0u) << reason;
    }
}

TEST(Checker, TextWithoutFormulas) {
    TestPattern pattern;
    Piece* piece = pattern.add(RectangleShape(10, 10));
    short offset = 0;
    char* text = nullptr;
    qpIncreaseString(pattern.get(), piece, 3, &offset, &text);
    EXPECT_EQ(storeCheckPieceText(piece), "piece: 3 bytes of formula text but no formulas");
}

TEST(Checker, TheMessageStaysInsideTheCallersBuffer) {
    TestPattern pattern;
    Piece* piece = pattern.add(SoundShape());
    PointAt(piece, 1)->type = 'X';
    char message[16];
    std::memset(message, '#', sizeof message);
    EXPECT_EQ(storeCheckPiece(piece, message, 8), 0);
    EXPECT_STREQ(message, "point 1");
    for (int k = 8; k < 16; ++k) EXPECT_EQ(message[k], '#') << k;
    EXPECT_EQ(storeCheckPiece(piece, nullptr, 0), 0);
    EXPECT_EQ(storeCheckPiece(piece, message, 0), 0);
    EXPECT_EQ(message[0], 'p');
    EXPECT_EQ(storeCheckPiece(nullptr, message, 16), 0);
    EXPECT_STREQ(message, "piece: null");
}

TEST(Checker, PatternDamage) {
    struct Row {
        const char* what;
        std::function<void(PatternBuffer*)> harm;
        const char* reason;
    };
    std::vector<Row> rows = {
        {"a header size that does not fit the count", [](PatternBuffer* b) { b->headerSize = 20; },
         "pattern: headerSize 20 for 2 pieces (expected 28)"},
        {"pieces not back to back", [](PatternBuffer* b) { pieceOffsets(b)[1] += 4; },
         "pattern: pieceOffset[1]"},
        {"a totalSize past the pieces", [](PatternBuffer* b) { b->totalSize += 1; }, "pattern: totalSize"},
        {"a negative piece count", [](PatternBuffer* b) { b->pieceCount = -1; }, "pattern: pieceCount -1"},
        {"a damaged second piece",
         [](PatternBuffer* b) {
             Piece* p = nullptr;
             qpGetPieceLptr(b, 1, &p);
             LineAt(p, 0)->pointCount = 3;
         },
         "piece 1: line 0: its last point 2 has lineIn 1"},
    };
    for (const Row& r : rows) {
        TestPattern pattern;
        pattern.add(RectangleShape(10, 10));
        pattern.add(RectangleShape(20, 20));
        r.harm(pattern.get());
        std::string reason = storeCheckPatternText(pattern.get());
        EXPECT_EQ(reason.rfind(r.reason, 0), 0u) << r.what << ": " << reason;
        if (pattern.get()->pieceCount < 0) pattern.get()->pieceCount = 2;  // the fixture frees it
    }
}

// Whatever the bytes, the checker answers with a verdict and reads nothing
// outside the block: damaged patterns come from files too.
TEST(Checker, SurvivesRandomDamage) {
    std::mt19937 random(20261208);
    int caught = 0;
    for (int round = 0; round < 3000; ++round) {
        TestPattern pattern(12000);
        PieceShape shape = SoundShape();
        pattern.add(RectangleShape(10, 10));
        pattern.add(shape);
        char* bytes = reinterpret_cast<char*>(pattern.get());
        int32_t total = pattern.get()->totalSize;
        int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f)
            bytes[random() % static_cast<uint32_t>(total)] = static_cast<char>(random());
        char message[120];
        int verdict = storeCheckPattern(pattern.get(), message, sizeof message);
        ASSERT_TRUE(verdict == 0 || verdict == 1);
        if (verdict == 0) {
            ++caught;
            EXPECT_NE(std::strlen(message), 0u);
        }
    }
    EXPECT_GT(caught, 1000);  // most single-byte damage shows
}

TEST(Checker, APatternLargerThanItsBlock) {
    TestPattern pattern(2000);
    pattern.add(RectangleShape(10, 10));
    long block = storeBlockSize(pattern.get());
    pattern.get()->totalSize = static_cast<int32_t>(block + 1);
    EXPECT_EQ(storeCheckPatternText(pattern.get()).rfind("pattern: totalSize", 0), 0u);
}

}  // namespace

namespace {

// An inner line as it stands after its first click: a segment of its own, a
// line of one point, that point a chain start with its coordinate.
Piece* WithOpenLine(TestPattern& pattern) {
    Piece* piece = pattern.add(RectangleShape(200, 100));
    Seg* seg = nullptr;
    qpIncreaseSegment(pattern.get(), piece, &seg);
    const short s = static_cast<short>(piece->segCount - 1);
    SegAt(piece, s)->code = 2;
    Line* line = nullptr;
    qpIncreaseLine(pattern.get(), piece, SegAt(piece, s), &line);
    const short L = static_cast<short>(piece->lineCount - 1);
    Point* p = nullptr;
    qpIncreasePoint(pattern.get(), piece, SegAt(piece, s), L, 0, &p);
    const short n = static_cast<short>(piece->pointCount - 1);
    Coord* c = nullptr;
    qpIncreaseCoord(pattern.get(), piece, &c);
    c->pointIndex = n;
    c->x = 50;
    c->y = 50;
    PointAt(piece, n)->coordIndex = static_cast<short>(piece->coordCount - 1);
    PointAt(piece, n)->lineOut = L;
    return piece;
}

}  // namespace

TEST(Checker, AnOpenLineOfOnePointIsLegalOnlyAsItsSegmentsLastLine) {
    {
        TestPattern pattern;
        Piece* piece = WithOpenLine(pattern);
        EXPECT_EQ(PointAt(piece, piece->pointCount - 1)->type, 's');
        EXPECT_TRUE(PieceConsistent(piece));
    }
    {
        TestPattern pattern;  // its one point is no chain start
        Piece* piece = WithOpenLine(pattern);
        PointAt(piece, piece->pointCount - 1)->type = 'c';
        EXPECT_EQ(storeCheckPieceText(piece), "line 4: 1 points, fewer than 2");
    }
    {
        TestPattern pattern;  // another line follows it in its segment
        Piece* piece = WithOpenLine(pattern);
        Line* line = nullptr;
        qpIncreaseLine(pattern.get(), piece, SegAt(piece, piece->segCount - 1), &line);
        EXPECT_EQ(storeCheckPieceText(piece).rfind("line 4: 1 points", 0), 0u) << storeCheckPieceText(piece);
    }
    {
        TestPattern pattern;  // a line of one point in the closed outline
        Piece* piece = pattern.add(RectangleShape(200, 100));
        LineAt(piece, 3)->pointCount = 1;
        EXPECT_FALSE(PieceConsistent(piece));
    }
}

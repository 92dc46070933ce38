// Patterns and pieces for tests, made through the store's builder
// (siblings/records/store_extras.h), the consistency checker as a GoogleTest
// assertion, a one-line dump of a piece for before / after tables, and a
// thin caller of qpCurve that keeps its outputs together.
//
//   TestPattern pattern;                       // an empty pattern, freed at the end
//   Piece* piece = pattern.add(RectangleShape(200, 100));
//   ... edit through the store operations ...
//   EXPECT_TRUE(PieceConsistent(piece));       // every editing test ends so
//
// Coordinates in millimetres, formula texts in centimetres. Record pointers
// die at every store operation that adds or removes records: fetch again.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include <vector>

#include "frame/records.h"
#include "frame/siblings.h"
#include "siblings/geometry/curve_model.h"
#include "siblings/records/store_extras.h"

// The checker's verdict on a piece or a pattern, with its reason on failure.
::testing::AssertionResult PieceConsistent(const Piece* piece);
::testing::AssertionResult PatternConsistent(const PatternBuffer* pattern);

// A point of a chain: type letter, x and y in mm, optional formula texts.
ShapePoint P(char type, float x, float y, const char* xFormula = "", const char* yFormula = "");
// A chain of points; `close` appends a K on the first point. segCode and
// lineKind 0: the builder's choice.
ShapeChain Chain(std::vector<ShapePoint> points, bool close = false, int16_t segCode = 0, int16_t lineKind = 0);
// A mark point with its codes and SPoint.
ShapeMark Mark(char type, float x, float y, int16_t lineIn, int16_t lineOut, int16_t segCode = 15,
              int16_t segValue = 12);

// Closed rectangle (0, 0)..(w, h): S K K K and the closing K, four 2-point lines.
PieceShape RectangleShape(float w, float h);
// Closed outline with a curve on its top side:
//   0 S(0,0)  1 K(200,0)  2 K(200,100)  3 C(150,120)  4 C(50,120)  5 K(0,100)  6 K(0,0)
// lines: 0 = 0..1, 1 = 1..2, 2 = 2..5 (a curve of 4 points), 3 = 5..6.
PieceShape CurvedShape();
// CurvedShape plus an inner line s(50,50) c(100,60) k(150,50) (points 7..9,
// line 4) in a segment of code 2, value 14.
PieceShape CurvedWithInnerShape();
// The square of side 100, counter-clockwise from (0, 0) and closed; an
// inner line from (20, 50) to (80, 50); a mark 'o' at (50, 20). Searches on
// it have exact answers.
//   points: 0 S(0,0) 1 K(100,0) 2 K(100,100) 3 K(0,100) 4 K(0,0)
//           5 s(20,50) 6 k(80,50) 7 o(50,20)
//   lines:  0: 0-1  1: 1-2  2: 2-3  3: 3-4  4: 5-6
PieceShape SquareShape();
// Gives every point of a chain formula texts made from its coordinates (mm):
// each format takes one number, the coordinate divided by xPer or yPer.
void GiveFormulas(ShapeChain& chain, const char* xFormat, double xPer, const char* yFormat, double yPer);
// CurvedWithInnerShape with a formula on every point: "0*H+<x in cm>" and
// "0*BL+<y in cm>", which name parameters yet give the coordinates.
PieceShape CurvedWithFormulasShape();

// `shape` (with formulas) and an inner line of points from (x, y) to the
// right in 0.5 mm steps, whose formula texts (worth their coordinates,
// padded with zero terms) fill the piece's 32767-byte text area to within
// exactly `freeBytes` bytes. For the tools' room checks.
PieceShape WithTextAreaFilled(PieceShape shape, long freeBytes, float x, float y);

// A piece's or a pattern's bytes, for "left byte for byte as it was".
std::string BytesOf(const Piece* piece);
std::string BytesOf(const PatternBuffer* pattern);

// An empty pattern in a movable global block, freed when the test ends.
class TestPattern {
public:
    explicit TestPattern(long capacity = 4096, short kind = kWorkBufferKind);
    ~TestPattern();
    TestPattern(const TestPattern&) = delete;
    TestPattern& operator=(const TestPattern&) = delete;

    // Appends a built piece (the pattern may move); null and a test failure
    // when the builder refuses the shape.
    Piece* add(const PieceShape& shape);
    Piece* piece(int i) const;
    PatternBuffer* get() const { return pattern_; }
    PatternBuffer** cell() { return &pattern_; }

private:
    PatternBuffer* pattern_;
};

// Convenience readers (null-checked by the store's getters).
Point* PointAt(Piece* piece, int i);
Coord* CoordOf(Piece* piece, int point);
Line* LineAt(Piece* piece, int i);
Seg* SegAt(Piece* piece, int i);
SPoint* SPointAt(Piece* piece, int i);
Rule* RuleAt(Piece* piece, int i);
PRule* PRuleAt(Piece* piece, int i);
Extwid* ExtwidAt(Piece* piece, int i);
Cutangl* CutanglAt(Piece* piece, int i);
// The Formula of a point (null when the piece has none).
Formula* FormulaOf(Piece* piece, int point);
// The x and y formula texts of a point ("" when it has none).
std::string FormulaX(Piece* piece, int point);
std::string FormulaY(Piece* piece, int point);

// The outline segment's point range, first to last (the first segment of
// code 1).
void OutlineRange(Piece* piece, int& a, int& e);
// The area inside the outline's points taken as a polygon (mm², either
// turning sense).
double PolygonArea(Piece* piece);

// One line for before / after tables: the point types in order, then each
// line as first+count and each segment as code:firstLine+lineCount (mark
// segments with an 'm' and their SPoints), e.g.
//   "SKKKK|0+2 1+2 2+2 3+2|1:0+4".
std::string PieceDump(Piece* piece);

// ---- Geometry ------------------------------------------------------------------

// Distances in millimetres.
constexpr float kSnapMatch = 0.1f;  // the tools' "same point" test, per axis
constexpr double kOnCurve = 0.01;   // a placed point lies on the curve
constexpr double kExact = 1e-3;     // float round trips of exact answers

using qpcurve::kIdentity;

// Owns one big pattern for a test; the desktop (where there is one) is reset
// before the pattern exists, since a reset frees every global block.
class PatternFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    Piece* build(const PieceShape& shape);
    // The store's verdict on an edited piece.
    static void expectConsistent(const Piece* piece) { EXPECT_TRUE(PieceConsistent(piece)); }

    PatternBuffer* pattern_ = nullptr;
};

// The outputs of one qpCurve call; index starts at -7 to show it untouched.
struct CurveResult {
    short index = -7;
    float length = 0.0f;
    float x = 0.0f;
    float y = 0.0f;
};

CurveResult curve(Piece* piece, short op, long flags, short style, unsigned long mode, short first, short count,
                  short colour, short resolution, float x = 0.0f, float y = 0.0f, float length = 0.0f,
                  const float* m = kIdentity, HDC hdc = nullptr);
// Nearest point of the lines among count points from first (every line).
CurveResult nearestIn(Piece* piece, short first, short count, float x, float y);
// Length of count points from first.
float lengthOf(Piece* piece, short first, short count);
// The point at `length` forward from first.
CurveResult atLength(Piece* piece, short first, float length, short count = 0);

// Patterns and pieces for tests, made through the store's builder
// (siblings/records/store_extras.h), and the consistency checker as a
// GoogleTest assertion.
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

#include "frame/records.h"
#include "frame/siblings.h"
#include "siblings/records/store_extras.h"

// The checker's verdict on a piece or a pattern, with its reason on failure.
::testing::AssertionResult PieceConsistent(const Piece* piece);
::testing::AssertionResult PatternConsistent(const PatternBuffer* pattern);

// A point of a chain: type letter, x and y in mm, optional formula texts.
ShapePoint P(char type, float x, float y, const char* xFormula = "", const char* yFormula = "");
// A chain of points; `close` appends a K on the first point.
ShapeChain Chain(std::initializer_list<ShapePoint> points, bool close = false);
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
// CurvedWithInnerShape with a formula on every point: "0*H+<x in cm>" and
// "0*BL+<y in cm>", which name parameters yet give the coordinates.
PieceShape CurvedWithFormulasShape();

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

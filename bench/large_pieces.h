// Realistic large pieces for the benchmarks, built through the store's own
// builder (storeAppendPiece), as a digitised or graded piece would arrive.
//
// Sizes are total point counts (kScaleSizes: 1k to 16k; Piece.pointCount is
// 16-bit and symmetry doubles a piece, so 16k is the top). Coordinates in
// millimetres, formula texts in centimetres.
#pragma once

#include <string>
#include <vector>

#include "frame/records.h"
#include "siblings/records/store_extras.h"

namespace bench {

constexpr int kScaleSizes[] = {1024, 2048, 4096, 8192, 16384};

enum class Outline {
    Curved,    // K every 16th point, C between: long curves
    Straight,  // every point a K: two-point lines only
};

// A closed outline (about 85% of the points) on a smooth, gently waved
// oval of some 600 x 400 mm, with inner lines of 8 points (about 10%),
// notches and marks (about 5%). `formulas` gives every point x and y texts
// that name parameters and evaluate to its coordinates.
PieceShape LargePiece(int points, Outline outline = Outline::Curved, bool formulas = false);

// A sleeve whose cap (points 2 .. capEnd) holds most of the points, for the
// sleeve cap's editing message: hem (300, 0) -> (40, 0) -> underarm (0, 440)
// -> cap up to (170, 580) -> underarm (340, 440) -> closed at the hem.
PieceShape LargeSleeve(int points, bool formulas = false);
constexpr short kSleeveLeftUnderarm = 2;
inline short SleeveRightUnderarm(int points) { return static_cast<short>(points - 2); }

// A panel for the tools that cut and turn (dart transfer and fold, pleat
// spread), of `points` points in all: an arch from (0, 0) over (300, 400) to
// (600, 0) (K every 16th point, C between) with a dart's mouth at its top,
// three corners 20 mm apart with no other outline point within 6 mm, and a
// hem of 100 mm straight lines back to the start. Its last twelve points
// are six two-point inner lines, each from its first point on: the dart's
// legs and centre line from the apex (300, 250) to the mouth's corners, a
// line from the apex to the arch on the right (where a transfer puts the
// dart), and two pleat lines from the arch down into hem lines (at x near
// 150 and 450, between hem corners). `formulas` gives every point texts as
// LargePiece does.
PieceShape LargeDartedPanel(int points, bool formulas = false);
struct DartedPanelLines {
    short leg0, centre, leg1, newPlace, pleat0, pleat1;  // first points
};
DartedPanelLines DartedPanelLinesOf(int points);

// The largest piece with formulas whose texts fit the 16-bit text area,
// among powers of two from 128 (the formula benchmarks' top size).
int LargestFormulaPiece();

// A pattern of `pieces` pieces of `pointsEach` points (a marker's group).
PatternBuffer* GroupPattern(int pieces, int pointsEach);

// A pattern holding one piece; freed with storeFreePattern.
PatternBuffer* PatternOf(const PieceShape& shape);
Piece* FirstPiece(PatternBuffer* pattern);
// A byte copy of a pattern in a block of its own size plus `spare` bytes.
PatternBuffer* CopyOf(const PatternBuffer* pattern, long spare = 1 << 20);

}  // namespace bench

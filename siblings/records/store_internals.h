// Inside the store stand-in: what Qpkit1, Qpkit3 and Qpkit4 share among
// themselves (sizes, piece lookup, the refusal and failure reports, moving
// pieces within a pattern block). Tests of the store itself may use it; the
// host and the tools' tests use store_extras.h only, and the library neither.
//
// Memory: the pattern's block, through the pointers the callers hand in;
// growth moves later pieces, so record pointers die at every resize.
// Units: bytes for sizes and offsets, millimetres for coordinates.
#pragma once

#include "siblings/records/store_extras.h"

// Tells the host's edit observer (store_extras.h), when there is one; the
// piece's slot is found here.
QP_SIBLING_EXPORT void storeTellPointEdit(int kind, const PatternBuffer* pattern, const Piece* piece, int at,
                                          int count);
QP_SIBLING_EXPORT void storeTellEdit(const StoreEdit* edit);
// Slot of `piece` among the pattern's pieceOffset[], -1 if it is not there.
QP_SIBLING_EXPORT int storeFindPiece(const PatternBuffer* pattern, const Piece* piece);
// One line on stderr, for a call the store refuses (it then changes nothing).
QP_SIBLING_EXPORT void storeReport(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
// The failure hook with the line (store_extras.h), else one line on stderr
// and abort(): for a call that cannot go on without
// writing past a block (out of room) or through a damaged piece.
QP_SIBLING_EXPORT void storeFail(const char* format, ...)
    __attribute__((noreturn, format(printf, 1, 2)));
// The point qpIncreasePoint(seg s, owner, kind) makes as point `index`,
// and what it does to its owner (the line grows by it or starts at it; the
// SPoint names it). The caller puts the point at `index`.
QP_SIBLING_EXPORT Point storeNewPoint(Piece* piece, short s, short owner, short kind, int index);
// n new points after point i (-1: at the front), exactly as n calls of
// qpInsertPoint(i), qpInsertPoint(i + 1), ... would leave the piece, with
// one renumbering instead of n.
QP_SIBLING_EXPORT void storeInsertPoints(PatternBuffer* pattern, Piece* piece, short i, short n);
// n new lines in segment s at indices at[0] < at[1] < ..., exactly as
// storeInsertLine(s, at[0]), storeInsertLine(s, at[1]), ... would leave the
// piece, with one renumbering. 0, and nothing changed, when one of those
// calls would be refused (or s is a mark segment, or at[] does not rise).
QP_SIBLING_EXPORT int storeInsertLines(PatternBuffer* pattern, Piece* piece, short s, short n, const short* at);
// n new coords after the last, exactly as n calls of qpIncreaseCoord would
// leave the piece (pointIndex and formulaIndex -1), moving the rest of the
// block once. Returns the first new one, null when n <= 0.
QP_SIBLING_EXPORT Coord* storeIncreaseCoords(PatternBuffer* pattern, Piece* piece, short n);
// The same for n zeroed formulas (n calls of qpIncreaseFormula).
QP_SIBLING_EXPORT Formula* storeIncreaseFormulas(PatternBuffer* pattern, Piece* piece, short n);
// n zeroed points after the last, for a caller that writes every field of
// each: the piece is then what n calls of qpIncreasePoint, each record
// overwritten the same way, would leave. Nothing is renumbered (an appended
// point moves no index). Returns the first, null when n <= 0.
QP_SIBLING_EXPORT Point* storeOpenPoints(PatternBuffer* pattern, Piece* piece, short n);
// The highest line index a non-mark point of the piece holds, -1 if none.
QP_SIBLING_EXPORT int storeHighestLineRef(const Piece* piece);
// qpIncreaseLine, exactly, for a caller that keeps *highest as
// storeHighestLineRef would give it: a line that goes above every point's
// lines renumbers no point, so the points are not walked. *highest follows
// the renumbering when they are.
QP_SIBLING_EXPORT void storeIncreaseLineAbove(PatternBuffer* pattern, Piece* piece, Seg* seg, int* highest,
                                              Line** p);
// Opens (delta > 0) or closes (delta < 0) delta bytes at byte `at` of the
// piece block: the rest of the piece and every later piece move, byteSize,
// later pieceOffset entries and totalSize follow. Aborts when out of room.
QP_SIBLING_EXPORT void storeResizePiece(PatternBuffer* pattern, Piece* piece, long at,
                                        long delta);
// Appends a copy of `piece` (byteSize bytes) as the last piece of *cell,
// moving the pattern to a larger block when it does not fit (*cell follows;
// the old block is freed). Returns the appended piece.
QP_SIBLING_EXPORT Piece* storeAppendPieceCopy(PatternBuffer** cell, const Piece* piece);
// The same within the pattern's own block; stops when it does not fit.
QP_SIBLING_EXPORT Piece* storeAppendPieceInPlace(PatternBuffer* pattern, const Piece* piece);
// The end of the bytes in use: totalSize, or the end of the last piece when
// a header's totalSize lags behind its pieces.
QP_SIBLING_EXPORT long storePatternEnd(const PatternBuffer* pattern);
// A coordinate as formula text: centimetres, at most three decimals, no
// trailing zeros ("12.34", "-5", "0"). Returns its length, 0 when it does not
// fit size bytes (text is then empty).
QP_SIBLING_EXPORT int storeCoordinateText(float millimetres, char* text, int size);

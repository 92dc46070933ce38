// Inside the store (Qpkit1 only): where each record array sits in a piece
// block, and the opening and closing of records within a pattern buffer.
//
// Arrangement, after the 800-byte header: points, coords, lines, segs,
// spoints, formulas, the text area, then rules, prules, extwids, cutangls and
// frules. The text area takes charCount bytes rounded up to a multiple of 4
// (the padding is zero), so that every array and every piece block of a
// pattern starts on a 4-byte boundary as the records' alignment asks.
// The first seven arrays are those whose counts a tool zeroes when it turns a
// copied header into an empty scratch piece (byteSize 800), so such a piece
// stays usable: its leftover rule counts describe arrays past its end, which
// the store refuses to touch instead of reading or writing them.
//
// Memory: the pattern's block, through the pointers the callers hand in.
// Units: bytes for offsets and sizes; indices are record indices.
#pragma once

#include <cstdint>

#include "frame/records.h"

namespace store {

enum Kind {
    kPoints,
    kCoords,
    kLines,
    kSegs,
    kSPoints,
    kFormulas,
    kChars,
    kRules,
    kPRules,
    kExtwids,
    kCutangls,
    kFRules,
    kKindCount
};

// Bytes per record of each kind (one per text byte): the records' own
// sizes, which records.h pins.
constexpr int kRecordSize[kKindCount] = {
    sizeof(Point), sizeof(Coord), sizeof(Line),  sizeof(Seg),   sizeof(SPoint),  sizeof(Formula),
    1,             sizeof(Rule),  sizeof(PRule), sizeof(Extwid), sizeof(Cutangl), sizeof(FRule)};

extern const char* const kKindName[kKindCount];  // "point", "coord", ...

// Bytes the text area of charCount bytes takes.
inline long textSpan(long charCount) { return (charCount + 3) & ~3L; }

int16_t& countOf(Piece* piece, Kind kind);
int countOf(const Piece* piece, Kind kind);
// Byte offset of the array of `kind` from the start of the piece block.
long offsetOf(const Piece* piece, Kind kind);
// Record i of `kind`, or null when i is outside 0..count-1 or the record would
// lie past byteSize. Index 0 of an empty array gives its base.
char* recordAt(Piece* piece, Kind kind, int i);
const char* recordAt(const Piece* piece, Kind kind, int i);

template <class T>
T* record(Piece* piece, Kind kind, int i) {
    return reinterpret_cast<T*>(recordAt(piece, kind, i));
}
template <class T>
const T* record(const Piece* piece, Kind kind, int i) {
    return reinterpret_cast<const T*>(recordAt(piece, kind, i));
}
// Unchecked array bases, for loops over 0..count-1 of a piece whose arrays
// have been seen to lie inside the block (see arraysInside).
template <class T>
T* array(Piece* piece, Kind kind) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(piece) + offsetOf(piece, kind));
}
template <class T>
const T* array(const Piece* piece, Kind kind) {
    return reinterpret_cast<const T*>(reinterpret_cast<const char*>(piece) + offsetOf(piece, kind));
}

// True when every array up to and including `last` lies inside byteSize.
bool arraysInside(const Piece* piece, Kind last);

// The records of one kind, for range loops; empty when the array does not lie
// inside the block (the leftover counts of a scratch piece).
template <class T>
struct Items {
    T* data;
    int count;
    T* begin() const { return data; }
    T* end() const { return data + count; }
    T& operator[](int i) const { return data[i]; }
};
template <class T>
Items<T> items(Piece* piece, Kind kind) {
    if (!arraysInside(piece, kind)) return {nullptr, 0};
    return {array<T>(piece, kind), countOf(piece, kind)};
}
template <class T>
Items<const T> items(const Piece* piece, Kind kind) {
    if (!arraysInside(piece, kind)) return {nullptr, 0};
    return {array<T>(piece, kind), countOf(piece, kind)};
}

// Opens n zeroed records of `kind` at index i (0..count) and raises the count;
// later records of the piece and later pieces move. Returns record i. Aborts
// with a message when the block is out of room or the piece is damaged.
char* openRecords(PatternBuffer* pattern, Piece* piece, Kind kind, int i, int n);
// Closes n records of `kind` at index i (the caller has checked the range).
void closeRecords(PatternBuffer* pattern, Piece* piece, Kind kind, int i, int n);
// The most bytes the text area may hold: 32767 (16-bit charCount), or less
// for a test (storeSetTextAreaLimit).
long textAreaBytes();
// Grows the text area by n zeroed bytes at its end; returns the first.
char* growText(PatternBuffer* pattern, Piece* piece, int n);
// Removes n bytes at `offset` of the text area (the caller has checked them).
void shrinkText(PatternBuffer* pattern, Piece* piece, int offset, int n);

// Index of `p` in the array of `kind`, -1 when it is not a record of it.
int indexOf(const Piece* piece, Kind kind, const void* p);

// The letter of a mark point type ('V', 'O', 'G', 'P'), whose lineIn and
// lineOut hold the mark's own codes.
inline bool isMark(char type) {
    char t = typeLetter(type);
    return t == 'V' || t == 'O' || t == 'G' || t == 'P';
}
inline bool isTurning(char type) {
    char t = typeLetter(type);
    return t == 'S' || t == 'K';
}
inline bool isCurve(char type) {
    char t = typeLetter(type);
    return t == 'C' || t == 'M';
}
// A line's last point.
inline int lastPoint(const Line& l) { return l.firstPoint + l.pointCount - 1; }

}  // namespace store

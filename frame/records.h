// Pattern-store records and host records: their layouts are the public
// header's (include/qpkit6/records.h), the one definition that the library,
// the stand-ins, the host and a host developer's program all compile against.
// Here: what the library adds to them (the piece offset table, the sizes it
// builds with, the point-type letters).
//
// Units: millimetres in records; record indices are i16, negative = none.
#pragma once

#include <cstdint>

#include "include/qpkit6/records.h"

constexpr int kPatternHeaderFixed = 20;  // header bytes before pieceOffset[]
constexpr int16_t kWorkBufferKind = 20;  // kind of buffers this library builds

inline int32_t* pieceOffsets(PatternBuffer* b) {
    return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(b) + kPatternHeaderFixed);
}
inline const int32_t* pieceOffsets(const PatternBuffer* b) {
    return reinterpret_cast<const int32_t*>(reinterpret_cast<const char*>(b) + kPatternHeaderFixed);
}

constexpr int32_t kEmptyPieceSize = 800;

// The case-blind letter of a point type: 'k' and 'K' both give 'K'.
inline char typeLetter(char type) { return static_cast<char>(type & 0x5F); }
// Outline points have a type code below 0x60 (upper case).
inline bool isOutlineType(char type) { return static_cast<unsigned char>(type) < 0x60; }
// Marks (notches, drill holes and the like) belong to no line.
inline bool isMarkType(char type) {
    const char t = typeLetter(type);
    return t == 'V' || t == 'O' || t == 'G' || t == 'P';
}
// Rewrites a type letter keeping the case bit (0x20) of the old one.
inline char withCaseOf(char oldType, char upperLetter) {
    return static_cast<char>((upperLetter & 0x5F) | (oldType & 0x20));
}

constexpr int16_t kLineNotchFlag = 0x20;  // Line.flags: a notch lies on it

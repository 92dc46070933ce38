// One-piece work buffers and piece replacement.
//
// A tool that rebuilds a piece copies it into a work buffer of its own: a
// movable global block of byteSize + 20000 bytes, locked, whose header makes
// it a pattern of one piece (kind 20, headerSize 24, totalSize byteSize + 24,
// pieceOffset[0] = 24). The store appends the piece's new records into the
// spare bytes. The handler frees the buffer (FreeGlobalBlock) or hands its
// piece back to the host's pattern (ReplacePatternPiece, or the store's
// qpAddPiece2Buffer).
//
// Memory: the blocks made here are the caller's; it frees them with
// FreeGlobalBlock on their locked pointer. Sizes are in bytes.
#pragma once

#include "frame/records.h"

constexpr long kWorkBufferSpare = 20000;  // bytes left for the piece to grow
constexpr int kWorkBufferHeader = 24;     // header of a one-piece buffer

// A locked one-piece work buffer holding a copy of `piece`, or null when the
// piece is null, its byteSize is below the 800-byte header, or no block can
// be had.
PatternBuffer* MakeWorkBuffer(const Piece* piece);
// The same with `spare` bytes for the piece to grow instead of
// kWorkBufferSpare, for a tool that knows it adds more (never less than
// kWorkBufferSpare).
PatternBuffer* MakeWorkBuffer(const Piece* piece, long spare);

// A locked movable global block of `size` bytes, or null when none can be
// had.
void* AllocLockedBlock(long size);
// Releases a locked movable block: GlobalHandle, GlobalUnlock, GlobalFree.
void FreeGlobalBlock(void* locked);

// A scratch piece: a locked one-piece buffer with `room` bytes past its 824
// bytes of headers, holding `piece`'s header and no records (the point,
// coordinate, line, segment, SPoint, formula and text counts 0, byteSize
// 800; the other counts are the piece's and describe nothing), or null when
// no block can be had. A tool copies points into it with the store's
// operations and out again; EmptyScratchPiece drops whatever records it
// gained since.
PatternBuffer* MakeScratchBuffer(const Piece* piece, long room);
void EmptyScratchPiece(PatternBuffer* scratch);

// Puts `piece` in the place of piece n of `pattern`: the later pieces move by
// the difference in size, their pieceOffset entries and totalSize follow,
// and the piece's bytes are copied to pieceOffset[n]. 1 when done; 0, with
// the pattern unchanged, when n is not a piece of the pattern or the
// pattern's block cannot hold the result.
short ReplacePatternPiece(PatternBuffer* pattern, short n, const Piece* piece);

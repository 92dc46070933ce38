// One-piece work buffers and piece replacement (see work_buffer.h).
#include "frame/work_buffer.h"

#include <cstring>
#include <vector>

#include "frame/siblings.h"
#include "win/win32.h"

namespace {

// The header of a one-piece buffer whose piece takes `pieceBytes`.
void writeOnePieceHeader(PatternBuffer* buffer, long pieceBytes) {
    std::memset(buffer, 0, kWorkBufferHeader);
    buffer->kind = kWorkBufferKind;
    buffer->headerSize = kWorkBufferHeader;
    buffer->pieceCount = 1;
    buffer->totalSize = static_cast<int32_t>(pieceBytes + kWorkBufferHeader);
    pieceOffsets(buffer)[0] = kWorkBufferHeader;
}

}  // namespace

PatternBuffer* MakeWorkBuffer(const Piece* piece) { return MakeWorkBuffer(piece, kWorkBufferSpare); }

PatternBuffer* MakeWorkBuffer(const Piece* piece, long spare) {
    if (piece == nullptr || piece->byteSize < kEmptyPieceSize) return nullptr;
    if (spare < kWorkBufferSpare) spare = kWorkBufferSpare;
    auto* buffer = static_cast<PatternBuffer*>(AllocLockedBlock(piece->byteSize + spare));
    if (buffer == nullptr) return nullptr;
    writeOnePieceHeader(buffer, piece->byteSize);
    qpMemcpy(reinterpret_cast<char*>(buffer) + kWorkBufferHeader, piece, piece->byteSize);
    return buffer;
}

PatternBuffer* MakeScratchBuffer(const Piece* piece, long room) {
    auto* scratch = static_cast<PatternBuffer*>(AllocLockedBlock(kWorkBufferHeader + kEmptyPieceSize + room));
    if (scratch == nullptr) return nullptr;
    writeOnePieceHeader(scratch, kEmptyPieceSize);
    qpMemcpy(reinterpret_cast<char*>(scratch) + kWorkBufferHeader, piece, kEmptyPieceSize);
    EmptyScratchPiece(scratch);
    return scratch;
}

void EmptyScratchPiece(PatternBuffer* scratch) {
    scratch->totalSize = kWorkBufferHeader + kEmptyPieceSize;
    Piece* piece = nullptr;
    qpGetPieceLptr(scratch, 0, &piece);
    piece->charCount = piece->formulaCount = piece->coordCount = 0;
    piece->pointCount = piece->sPointCount = piece->lineCount = 0;
    piece->segCount = 0;
    piece->byteSize = kEmptyPieceSize;
}

void* AllocLockedBlock(long size) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size));
    if (handle == nullptr) return nullptr;
    void* locked = GlobalLock(handle);
    if (locked == nullptr) GlobalFree(handle);
    return locked;
}

void FreeGlobalBlock(void* locked) {
    if (locked == nullptr) return;
    HGLOBAL handle = GlobalHandle(locked);
    if (handle == nullptr) return;
    GlobalUnlock(handle);
    GlobalFree(handle);
}

short ReplacePatternPiece(PatternBuffer* pattern, short n, const Piece* piece) {
    if (pattern == nullptr || piece == nullptr || n < 0 || n >= pattern->pieceCount) return 0;
    if (piece->byteSize < kEmptyPieceSize) return 0;
    HGLOBAL handle = GlobalHandle(pattern);
    if (handle == nullptr) return 0;
    long capacity = static_cast<long>(GlobalSize(handle));
    char* base = reinterpret_cast<char*>(pattern);
    int32_t* offsets = pieceOffsets(pattern);
    const auto* old = reinterpret_cast<const Piece*>(base + offsets[n]);
    // The difference is kept in 32 bits: a piece may grow by more than a
    // 16-bit quantity can say.
    long delta = static_cast<long>(piece->byteSize) - old->byteSize;
    long total = pattern->totalSize;
    if (total + delta > capacity || offsets[n] + static_cast<long>(piece->byteSize) > capacity) return 0;
    // A piece taken from this very block would move under its own copy.
    std::vector<char> copy;
    const char* source = reinterpret_cast<const char*>(piece);
    if (source >= base && source < base + capacity) {
        copy.assign(source, source + piece->byteSize);
        source = copy.data();
    }
    if (n + 1 < pattern->pieceCount) {
        long next = offsets[n + 1];
        std::memmove(base + next + delta, base + next, static_cast<size_t>(total - next));
        for (int k = n + 1; k < pattern->pieceCount; ++k) offsets[k] += static_cast<int32_t>(delta);
    }
    // Through the store's byte copy, so that a host following the store's
    // edits sees the piece arrive.
    qpMemcpy(base + offsets[n], source, piece->byteSize);
    pattern->totalSize = static_cast<int32_t>(total + delta);
    return 1;
}

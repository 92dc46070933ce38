// Qpkit3: whole pieces and pattern buffers — byte copies, appending and
// deleting pieces, and handing a rebuilt piece back to the host's pattern.
//
// Patterns are movable global blocks; the pattern header grows by one 4-byte
// pieceOffset entry per piece, so adding or removing a piece moves every
// piece block. Nothing is written past a block: when a pattern cannot hold
// the result, qpIncreasePiece stops with a message, qpAddPiece2Buffer moves
// the pattern to a larger block.
#include <cstring>

#include "siblings/records/store_internals.h"

QP_SIBLING_EXPORT void qpMemcpy(void* dst, const void* src, long n) {
    if (n <= 0) return;
    if (dst == nullptr || src == nullptr) {
        storeReport("store: qpMemcpy: null %s", dst == nullptr ? "destination" : "source");
        return;
    }
    // A copy that starts at a block's first byte must fit that block; copies
    // into the middle of a block (a piece into a work buffer) are the
    // caller's to size.
    long room = storeBlockSize(dst);
    if (room >= 0 && n > room)
        storeFail("store: qpMemcpy: %ld bytes do not fit the block of %ld bytes", n, room);
    long have = storeBlockSize(src);
    if (have >= 0 && n > have)
        storeFail("store: qpMemcpy: %ld bytes asked from a block of %ld bytes", n, have);
    std::memmove(dst, src, static_cast<size_t>(n));
    StoreEdit edit{};
    edit.kind = kStoreBytesCopied;
    edit.piece = edit.sourcePiece = -1;
    edit.source = src;
    edit.destination = dst;
    edit.bytes = n;
    storeTellEdit(&edit);
}

QP_SIBLING_EXPORT void qpIncreasePiece(PatternBuffer* pattern, Piece** p) {
    if (p != nullptr) *p = nullptr;
    if (pattern == nullptr) {
        storeReport("store: qpIncreasePiece: no pattern");
        return;
    }
    Piece empty;
    std::memset(&empty, 0, sizeof empty);
    empty.byteSize = kEmptyPieceSize;
    // Identity placement: the new piece sits where its coordinates say.
    empty.placement[0] = empty.placement[4] = empty.placement[8] = 1.0f;
    Piece* made = storeAppendPieceInPlace(pattern, &empty);
    storeTellPointEdit(kStorePieceAppended, pattern, made, 0, 0);
    if (p != nullptr) *p = made;
}

QP_SIBLING_EXPORT void qpDeletePiece(PatternBuffer* pattern, Piece* piece) {
    int slot = storeFindPiece(pattern, piece);
    if (slot < 0) {
        storeReport("store: qpDeletePiece: the piece is not a piece of this pattern");
        return;
    }
    storeTellPointEdit(kStorePieceDeleted, pattern, piece, 0, 0);
    char* base = reinterpret_cast<char*>(pattern);
    int n = pattern->pieceCount;
    int32_t* offsets = pieceOffsets(pattern);
    long end = storePatternEnd(pattern);
    long start = offsets[slot];
    long size = piece->byteSize;
    std::memmove(base + start, base + start + size, static_cast<size_t>(end - start - size));
    end -= size;
    for (int k = slot + 1; k < n; ++k) offsets[k] -= size;
    for (int k = slot; k + 1 < n; ++k) offsets[k] = offsets[k + 1];
    // The header loses the entry: every piece moves down 4 bytes.
    long header = kPatternHeaderFixed + 4L * n;
    std::memmove(base + header - 4, base + header, static_cast<size_t>(end - header));
    for (int k = 0; k + 1 < n; ++k) offsets[k] -= 4;
    pattern->pieceCount = static_cast<int16_t>(n - 1);
    pattern->headerSize = static_cast<int16_t>(header - 4);
    pattern->totalSize = static_cast<int32_t>(end - 4);
}

QP_SIBLING_EXPORT void qpAddPiece2Buffer(PatternBuffer** blockCell, Piece** newPieceCell,
                                         PatternBuffer** patternCell, Piece** pieceCell, int /*reserved*/) {
    if (newPieceCell == nullptr || *newPieceCell == nullptr || patternCell == nullptr || *patternCell == nullptr) {
        storeReport("store: qpAddPiece2Buffer: needs the new piece and the pattern");
        return;
    }
    // The block that holds the new piece stays its owner's to free.
    StoreEdit edit{};
    edit.kind = kStorePieceAppended;
    edit.sourcePattern = blockCell != nullptr ? *blockCell : nullptr;
    edit.sourcePiece = storeFindPiece(edit.sourcePattern, *newPieceCell);
    Piece* appended = storeAppendPieceCopy(patternCell, *newPieceCell);
    edit.pattern = *patternCell;
    edit.piece = storeFindPiece(*patternCell, appended);
    storeTellEdit(&edit);
    if (pieceCell != nullptr) *pieceCell = appended;
}

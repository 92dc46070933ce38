// Piece blocks inside pattern buffers: where the arrays sit, opening and
// closing records, moving later pieces, and the pattern blocks themselves.
//
// Every byte the store writes lies inside the global block that holds the
// pattern: the block's size comes from GlobalSize(GlobalHandle(pattern)), and
// an operation that would need more stops before it writes anything: with
// one line on stderr and abort(), or through the host's failure hook.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "siblings/records/store_internals.h"
#include "siblings/records/store_layout.h"

namespace store {

const char* const kKindName[kKindCount] = {"point",   "coord",  "line",   "seg",
                                           "spoint",  "formula", "text",  "rule",
                                           "prule",   "extwid",  "cutangl", "frule"};

int16_t& countOf(Piece* piece, Kind kind) {
    switch (kind) {
        case kPoints: return piece->pointCount;
        case kCoords: return piece->coordCount;
        case kLines: return piece->lineCount;
        case kSegs: return piece->segCount;
        case kSPoints: return piece->sPointCount;
        case kFormulas: return piece->formulaCount;
        case kChars: return piece->charCount;
        case kRules: return piece->ruleCount;
        case kPRules: return piece->pRuleCount;
        case kExtwids: return piece->extwidCount;
        case kCutangls: return piece->cutanglCount;
        case kFRules: return piece->fRuleCount;
        default: break;
    }
    storeFail("store: no record kind %d", static_cast<int>(kind));
}

int countOf(const Piece* piece, Kind kind) {
    return countOf(const_cast<Piece*>(piece), kind);
}

// Bytes the array of `kind` takes.
static long spanOf(const Piece* piece, Kind kind) {
    long n = countOf(piece, kind);
    return kind == kChars ? textSpan(n) : n * kRecordSize[kind];
}

long offsetOf(const Piece* piece, Kind kind) {
    long offset = kEmptyPieceSize;
    for (int k = 0; k < kind; ++k) offset += spanOf(piece, static_cast<Kind>(k));
    return offset;
}

bool arraysInside(const Piece* piece, Kind last) {
    long end = kEmptyPieceSize;
    for (int k = 0; k <= last; ++k) {
        if (countOf(piece, static_cast<Kind>(k)) < 0) return false;
        end += spanOf(piece, static_cast<Kind>(k));
    }
    return end <= piece->byteSize;
}

const char* recordAt(const Piece* piece, Kind kind, int i) {
    if (piece == nullptr || i < 0) return nullptr;
    int n = countOf(piece, kind);
    if (i >= n && !(i == 0 && n == 0)) return nullptr;
    if (!arraysInside(piece, kind)) return nullptr;
    long at = offsetOf(piece, kind) + static_cast<long>(i) * kRecordSize[kind];
    if (n > 0 && at + kRecordSize[kind] > piece->byteSize) return nullptr;
    if (at > piece->byteSize) return nullptr;
    return reinterpret_cast<const char*>(piece) + at;
}

char* recordAt(Piece* piece, Kind kind, int i) {
    return const_cast<char*>(recordAt(static_cast<const Piece*>(piece), kind, i));
}

int indexOf(const Piece* piece, Kind kind, const void* p) {
    if (piece == nullptr || p == nullptr) return -1;
    long at = static_cast<const char*>(p) - reinterpret_cast<const char*>(piece) -
              offsetOf(piece, kind);
    if (at < 0 || at % kRecordSize[kind] != 0) return -1;
    long i = at / kRecordSize[kind];
    return i < countOf(piece, kind) ? static_cast<int>(i) : -1;
}

// Refuses to work on a piece whose arrays up to `kind` do not fit its block.
static void requireInside(const Piece* piece, Kind kind) {
    if (!arraysInside(piece, kind))
        storeFail("store: piece damaged: its %s array lies past its byteSize %ld",
                  kKindName[kind], static_cast<long>(piece->byteSize));
}

char* openRecords(PatternBuffer* pattern, Piece* piece, Kind kind, int i, int n) {
    requireInside(piece, kind);
    int count = countOf(piece, kind);
    if (static_cast<long>(count) + n > 32767)
        storeFail("store: piece full: %d %s records and %d more exceed 32767", count,
                  kKindName[kind], n);
    long at = offsetOf(piece, kind) + static_cast<long>(i) * kRecordSize[kind];
    storeResizePiece(pattern, piece, at, static_cast<long>(n) * kRecordSize[kind]);
    countOf(piece, kind) = static_cast<int16_t>(count + n);
    if (kind == kPoints) storeTellPointEdit(kStorePointsOpened, pattern, piece, i, n);
    return reinterpret_cast<char*>(piece) + at;
}

void closeRecords(PatternBuffer* pattern, Piece* piece, Kind kind, int i, int n) {
    requireInside(piece, kind);
    long at = offsetOf(piece, kind) + static_cast<long>(i) * kRecordSize[kind];
    storeResizePiece(pattern, piece, at, -static_cast<long>(n) * kRecordSize[kind]);
    countOf(piece, kind) = static_cast<int16_t>(countOf(piece, kind) - n);
    if (kind == kPoints) storeTellPointEdit(kStorePointsClosed, pattern, piece, i, n);
}

char* growText(PatternBuffer* pattern, Piece* piece, int n) {
    requireInside(piece, kChars);
    long count = piece->charCount;
    if (count + n > textAreaBytes())
        storeFail("store: text area full: %ld bytes and %d more exceed %ld", count, n, textAreaBytes());
    long base = offsetOf(piece, kChars);
    storeResizePiece(pattern, piece, base + textSpan(count), textSpan(count + n) - textSpan(count));
    char* area = reinterpret_cast<char*>(piece) + base;
    std::memset(area + count, 0, static_cast<size_t>(n));
    piece->charCount = static_cast<int16_t>(count + n);
    return area + count;
}

void shrinkText(PatternBuffer* pattern, Piece* piece, int offset, int n) {
    requireInside(piece, kChars);
    long count = piece->charCount;
    long base = offsetOf(piece, kChars);
    char* area = reinterpret_cast<char*>(piece) + base;
    std::memmove(area + offset, area + offset + n, static_cast<size_t>(count - offset - n));
    std::memset(area + count - n, 0, static_cast<size_t>(textSpan(count) - (count - n)));
    storeResizePiece(pattern, piece, base + textSpan(count - n), textSpan(count - n) - textSpan(count));
    piece->charCount = static_cast<int16_t>(count - n);
}

}  // namespace store

using namespace store;

QP_SIBLING_EXPORT void storeReport(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

namespace {
StoreFailureHook failureHook = nullptr;
// The text area's limit in bytes: charCount is 16-bit. A test may lower it
// (storeSetTextAreaLimit, or QP_STORE_TEXT_AREA_LIMIT in the environment
// for a whole program) to reach the store's own refusal through a tool
// whose room check counts with the real limit.
long textAreaLimit = -1;
}  // namespace

namespace {
StoreEditObserver editObserver = nullptr;
void* editContext = nullptr;
}  // namespace

QP_SIBLING_EXPORT StoreEditObserver storeSetEditObserver(StoreEditObserver observer, void* context,
                                                         void** previousContext) {
    StoreEditObserver previous = editObserver;
    if (previousContext != nullptr) *previousContext = editContext;
    editObserver = observer;
    editContext = context;
    return previous;
}

QP_SIBLING_EXPORT void storeTellEdit(const StoreEdit* edit) {
    if (editObserver != nullptr) editObserver(edit, editContext);
}

QP_SIBLING_EXPORT void storeTellPointEdit(int kind, const PatternBuffer* pattern, const Piece* piece, int at,
                                          int count) {
    if (editObserver == nullptr) return;
    StoreEdit edit{};
    edit.kind = kind;
    edit.pattern = pattern;
    edit.piece = storeFindPiece(pattern, piece);
    edit.at = at;
    edit.count = count;
    edit.sourcePiece = -1;
    editObserver(&edit, editContext);
}

QP_SIBLING_EXPORT StoreFailureHook storeSetFailureHook(StoreFailureHook hook) {
    StoreFailureHook previous = failureHook;
    failureHook = hook;
    return previous;
}

QP_SIBLING_EXPORT void storeSetTextAreaLimit(long bytes) {
    textAreaLimit = bytes > 0 && bytes < 32767 ? bytes : 32767;
}

namespace store {
long textAreaBytes() {
    if (textAreaLimit < 0) {
        const char* text = std::getenv("QP_STORE_TEXT_AREA_LIMIT");
        storeSetTextAreaLimit(text ? std::strtol(text, nullptr, 10) : 32767);
    }
    return textAreaLimit;
}
}  // namespace store

// With a hook, the hook has the line (it may unwind); without one, or when
// it returns, the line goes to stderr and the process stops. Nothing has
// been written when this is called.
QP_SIBLING_EXPORT void storeFail(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (failureHook != nullptr) failureHook(line);
    std::fputs(line, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    std::abort();
}

QP_SIBLING_EXPORT long storeBlockSize(const void* locked) {
    if (locked == nullptr) return -1;
    HGLOBAL handle = GlobalHandle(locked);
    if (handle == nullptr) return -1;
    return static_cast<long>(GlobalSize(handle));
}

QP_SIBLING_EXPORT PatternBuffer* storeNewPattern(long capacityBytes, short kind) {
    if (capacityBytes < kPatternHeaderFixed) {
        storeReport("store: storeNewPattern: %ld bytes cannot hold the 20-byte header",
                    capacityBytes);
        return nullptr;
    }
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(capacityBytes));
    if (handle == nullptr) return nullptr;
    auto* pattern = static_cast<PatternBuffer*>(GlobalLock(handle));
    if (pattern == nullptr) {
        GlobalFree(handle);
        return nullptr;
    }
    std::memset(pattern, 0, kPatternHeaderFixed);
    pattern->kind = kind;
    pattern->headerSize = kPatternHeaderFixed;
    pattern->pieceCount = 0;
    pattern->totalSize = kPatternHeaderFixed;
    return pattern;
}

QP_SIBLING_EXPORT void storeFreePattern(PatternBuffer* pattern) {
    if (pattern == nullptr) return;
    HGLOBAL handle = GlobalHandle(pattern);
    if (handle == nullptr) {
        storeReport("store: storeFreePattern: %p is not a global block", static_cast<void*>(pattern));
        return;
    }
    GlobalUnlock(handle);
    GlobalFree(handle);
}

QP_SIBLING_EXPORT long storePieceSize(const Piece* piece) {
    long size = kEmptyPieceSize;
    for (int k = 0; k < kKindCount; ++k) {
        if (countOf(piece, static_cast<Kind>(k)) < 0) return -1;
        size += spanOf(piece, static_cast<Kind>(k));
    }
    return size;
}

QP_SIBLING_EXPORT int storeFindPiece(const PatternBuffer* pattern, const Piece* piece) {
    if (pattern == nullptr || piece == nullptr) return -1;
    long at = reinterpret_cast<const char*>(piece) - reinterpret_cast<const char*>(pattern);
    const int32_t* offsets = pieceOffsets(pattern);
    for (int k = 0; k < pattern->pieceCount; ++k)
        if (offsets[k] == at) return k;
    return -1;
}

// The end of the bytes in use: totalSize, or the end of the last piece when a
// header's totalSize lags behind its pieces (a work buffer whose header was
// written for a smaller piece), so that moving them loses nothing.
static long usedEnd(const PatternBuffer* pattern) {
    long end = pattern->totalSize;
    const int32_t* offsets = pieceOffsets(pattern);
    for (int k = 0; k < pattern->pieceCount; ++k) {
        const auto* p = reinterpret_cast<const Piece*>(reinterpret_cast<const char*>(pattern) + offsets[k]);
        end = std::max(end, static_cast<long>(offsets[k]) + p->byteSize);
    }
    return end;
}

QP_SIBLING_EXPORT void storeResizePiece(PatternBuffer* pattern, Piece* piece, long at,
                                        long delta) {
    int slot = storeFindPiece(pattern, piece);
    if (slot < 0)
        storeFail("store: piece %p is not a piece of pattern %p", static_cast<void*>(piece),
                  static_cast<void*>(pattern));
    if (at < kEmptyPieceSize || at > piece->byteSize || (delta < 0 && at - delta > piece->byteSize))
        storeFail("store: cannot move %ld bytes at byte %ld of a piece of %ld bytes", delta, at,
                  static_cast<long>(piece->byteSize));
    if (delta == 0) return;
    long capacity = storeBlockSize(pattern);
    if (capacity < 0)
        storeFail("store: pattern %p is not a global memory block", static_cast<void*>(pattern));
    long end = usedEnd(pattern);
    if (end > capacity)
        storeFail("store: pattern damaged: %ld bytes in use, block holds %ld", end, capacity);
    if (end + delta > capacity)
        storeFail("store: pattern buffer full: need %ld bytes, block holds %ld", end + delta,
                  capacity);
    char* base = reinterpret_cast<char*>(pattern);
    long from = (reinterpret_cast<char*>(piece) - base) + at;
    if (delta > 0) {
        std::memmove(base + from + delta, base + from, static_cast<size_t>(end - from));
        std::memset(base + from, 0, static_cast<size_t>(delta));
    } else {
        std::memmove(base + from, base + from - delta, static_cast<size_t>(end - (from - delta)));
    }
    piece->byteSize += delta;
    int32_t* offsets = pieceOffsets(pattern);
    for (int k = slot + 1; k < pattern->pieceCount; ++k) offsets[k] += delta;
    pattern->totalSize += delta;
}

// Appends a copy of `piece` after the last piece; the header grows by one
// offset entry, so every piece moves up 4 bytes. A pattern that cannot hold
// it moves to a larger block when the caller can follow (cell), else the
// store stops.
static Piece* appendPiece(PatternBuffer** cell, const Piece* piece, bool mayMove) {
    if (cell == nullptr || *cell == nullptr || piece == nullptr)
        storeFail("store: appending a piece needs a pattern and a piece");
    long size = piece->byteSize;
    if (size < kEmptyPieceSize) storeFail("store: cannot append a piece of %ld bytes", size);
    // The piece may lie inside the very block that has to move.
    std::vector<char> copy(reinterpret_cast<const char*>(piece), reinterpret_cast<const char*>(piece) + size);
    PatternBuffer* pattern = *cell;
    long capacity = storeBlockSize(pattern);
    if (capacity < 0)
        storeFail("store: pattern %p is not a global memory block", static_cast<void*>(pattern));
    long end = usedEnd(pattern);
    long need = end + 4 + size;
    if (need > capacity && !mayMove)
        storeFail("store: pattern buffer full: need %ld bytes, block holds %ld", need, capacity);
    if (need > capacity) {
        // Room for the next few appends too, so that building a pattern piece
        // by piece does not copy it every time.
        long grown = need + std::max(need / 2, 20000L);
        HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(grown));
        auto* moved = handle ? static_cast<PatternBuffer*>(GlobalLock(handle)) : nullptr;
        if (moved == nullptr)
            storeFail("store: pattern buffer full: need %ld bytes, no block of %ld bytes", need, grown);
        std::memcpy(moved, pattern, static_cast<size_t>(end));
        HGLOBAL old = GlobalHandle(pattern);
        GlobalUnlock(old);
        GlobalFree(old);
        StoreEdit edit{};
        edit.kind = kStorePatternMoved;
        edit.pattern = moved;
        edit.piece = edit.sourcePiece = -1;
        edit.source = pattern;
        storeTellEdit(&edit);
        pattern = moved;
        *cell = moved;
    }
    char* base = reinterpret_cast<char*>(pattern);
    int n = pattern->pieceCount;
    long header = kPatternHeaderFixed + 4L * n;
    std::memmove(base + header + 4, base + header, static_cast<size_t>(end - header));
    int32_t* offsets = pieceOffsets(pattern);
    for (int k = 0; k < n; ++k) offsets[k] += 4;
    offsets[n] = static_cast<int32_t>(end + 4);
    std::memcpy(base + end + 4, copy.data(), static_cast<size_t>(size));
    pattern->pieceCount = static_cast<int16_t>(n + 1);
    pattern->headerSize = static_cast<int16_t>(header + 4);
    pattern->totalSize = static_cast<int32_t>(end + 4 + size);
    return reinterpret_cast<Piece*>(base + end + 4);
}

QP_SIBLING_EXPORT Piece* storeAppendPieceCopy(PatternBuffer** cell, const Piece* piece) {
    return appendPiece(cell, piece, true);
}

QP_SIBLING_EXPORT Piece* storeAppendPieceInPlace(PatternBuffer* pattern, const Piece* piece) {
    return appendPiece(&pattern, piece, false);
}

QP_SIBLING_EXPORT long storePatternEnd(const PatternBuffer* pattern) { return usedEnd(pattern); }

QP_SIBLING_EXPORT int storeCoordinateText(float millimetres, char* text, int size) {
    if (text == nullptr || size < 1) return 0;
    char number[48];
    std::snprintf(number, sizeof number, "%.3f", static_cast<double>(millimetres) / 10.0);
    size_t n = std::strlen(number);
    while (n > 0 && number[n - 1] == '0') number[--n] = 0;
    if (n > 0 && number[n - 1] == '.') number[--n] = 0;
    if (n == 0 || std::strcmp(number, "-0") == 0) std::strcpy(number, "0");
    n = std::strlen(number);
    if (n + 1 > static_cast<size_t>(size)) {
        text[0] = 0;
        return 0;
    }
    std::memcpy(text, number, n + 1);
    return static_cast<int>(n);
}

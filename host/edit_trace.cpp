// Following the store's edits through a run (see edit_trace.h).
#include "host/edit_trace.h"

#include <algorithm>

#include "frame/siblings.h"

namespace host {

EditTrace::EditTrace(const PatternDoc& doc) {
    std::vector<Traced>& pieces = patterns_[doc.pattern];
    for (int i = 0; i < doc.pieceCount(); ++i) {
        Traced t;
        t.known = true;
        t.origin.piece = i;
        for (int k = 0; k < doc.piece(i)->pointCount; ++k) t.origin.points.push_back(k);
        pieces.push_back(std::move(t));
    }
    previous_ = storeSetEditObserver(&EditTrace::observe, this, &previousContext_);
}

EditTrace::~EditTrace() { storeSetEditObserver(previous_, previousContext_, nullptr); }

void EditTrace::observe(const StoreEdit* edit, void* self) { static_cast<EditTrace*>(self)->edit(*edit); }

// A block the store holds as a pattern, whole: its header, table and pieces
// lie inside it. A block freed since it was followed fails here, and so
// does one that now holds something else.
bool EditTrace::live(const PatternBuffer* pattern) const {
    const long size = storeBlockSize(pattern);
    if (size < kPatternHeaderFixed) return false;
    const long count = pattern->pieceCount;
    if (count < 0 || pattern->headerSize != kPatternHeaderFixed + 4 * count || pattern->headerSize > size ||
        pattern->totalSize > size)
        return false;
    const int32_t* offsets = pieceOffsets(pattern);
    for (long k = 0; k < count; ++k)
        if (offsets[k] < pattern->headerSize || offsets[k] + static_cast<long>(kEmptyPieceSize) > pattern->totalSize)
            return false;
    return true;
}

std::vector<EditTrace::Traced>* EditTrace::follow(const PatternBuffer* pattern) {
    if (!pattern) return nullptr;
    auto it = patterns_.find(pattern);
    if (!live(pattern)) {
        if (it != patterns_.end()) patterns_.erase(it);
        return nullptr;
    }
    if (it == patterns_.end()) it = patterns_.emplace(pattern, std::vector<Traced>()).first;
    std::vector<Traced>& pieces = it->second;
    // A followed pattern holds as many pieces as its table: one that does
    // not is another pattern in a reused block.
    if (!pieces.empty() && pieces.size() != static_cast<size_t>(pattern->pieceCount)) pieces.clear();
    if (pieces.empty()) {
        pieces.resize(static_cast<size_t>(pattern->pieceCount));
        const char* base = reinterpret_cast<const char*>(pattern);
        for (int k = 0; k < pattern->pieceCount; ++k) {
            const auto l = loose_.find(base + pieceOffsets(pattern)[k]);
            if (l == loose_.end()) continue;
            pieces[static_cast<size_t>(k)] = std::move(l->second);
            loose_.erase(l);
        }
    }
    return &pieces;
}

EditTrace::Traced* EditTrace::piece(const PatternBuffer* pattern, int slot) {
    std::vector<Traced>* pieces = follow(pattern);
    if (!pieces || slot < 0 || slot >= static_cast<int>(pieces->size())) return nullptr;
    return &(*pieces)[static_cast<size_t>(slot)];
}

EditTrace::Traced* EditTrace::pieceAt(const void* at) {
    const auto l = loose_.find(at);
    if (l != loose_.end()) return &l->second;
    for (auto it = patterns_.begin(); it != patterns_.end();) {
        const PatternBuffer* p = it->first;
        if (!live(p)) {
            it = patterns_.erase(it);
            continue;
        }
        const char* base = reinterpret_cast<const char*>(p);
        if (it->second.size() == static_cast<size_t>(p->pieceCount))
            for (int k = 0; k < p->pieceCount; ++k)
                if (base + pieceOffsets(p)[k] == at) return &it->second[static_cast<size_t>(k)];
        ++it;
    }
    return nullptr;
}

void EditTrace::copied(const void* destination, const void* source, long bytes) {
    // A whole pattern copied: the copy is followed as the pattern is.
    const auto whole = patterns_.find(static_cast<const PatternBuffer*>(source));
    if (whole != patterns_.end() && live(whole->first) && bytes >= whole->first->totalSize) {
        std::vector<Traced> copy = whole->second;
        patterns_[static_cast<const PatternBuffer*>(destination)] = std::move(copy);
        return;
    }
    patterns_.erase(static_cast<const PatternBuffer*>(destination));
    // A piece copied whole keeps its points; anything else overwrites what
    // was at the destination with bytes the trace cannot read.
    // (The source's header is read only when the copy covered it.)
    Traced arrived;
    if (const Traced* from = pieceAt(source))
        if (bytes >= kEmptyPieceSize && bytes >= static_cast<const Piece*>(source)->byteSize) arrived = *from;
    if (Traced* at = pieceAt(destination)) *at = arrived;
    else if (arrived.known) loose_[destination] = std::move(arrived);
}

void EditTrace::edit(const StoreEdit& e) {
    switch (e.kind) {
        case kStorePointsOpened:
        case kStorePointsClosed: {
            Traced* t = piece(e.pattern, e.piece);
            if (!t || !t->known) return;
            std::vector<int>& points = t->origin.points;
            const bool opened = e.kind == kStorePointsOpened;
            const size_t at = static_cast<size_t>(e.at), n = static_cast<size_t>(e.count);
            if (e.at < 0 || at > points.size() || (!opened && at + n > points.size())) {
                t->known = false;
                return;
            }
            if (opened) points.insert(points.begin() + static_cast<long>(at), n, -1);
            else points.erase(points.begin() + static_cast<long>(at), points.begin() + static_cast<long>(at + n));
            return;
        }
        case kStorePieceDeleted: {
            std::vector<Traced>* pieces = follow(e.pattern);
            if (pieces && e.piece >= 0 && e.piece < static_cast<int>(pieces->size()))
                pieces->erase(pieces->begin() + e.piece);
            return;
        }
        case kStorePieceAppended: {
            // The copy's trace before the pattern's table is read again.
            Traced made;
            if (!e.sourcePattern) {
                made.known = true;  // a new, empty piece: every point it gets is the run's
            } else if (const Traced* from = piece(e.sourcePattern, e.sourcePiece)) {
                made = *from;
            }
            std::vector<Traced>& pieces = patterns_[e.pattern];
            if (pieces.size() + 1 == static_cast<size_t>(e.pattern->pieceCount)) pieces.emplace_back();
            else pieces.clear();
            if (std::vector<Traced>* followed = follow(e.pattern))
                if (e.piece >= 0 && e.piece < static_cast<int>(followed->size()))
                    (*followed)[static_cast<size_t>(e.piece)] = std::move(made);
            return;
        }
        case kStorePatternMoved: {
            const auto old = patterns_.find(static_cast<const PatternBuffer*>(e.source));
            if (old == patterns_.end()) return;
            std::vector<Traced> pieces = std::move(old->second);
            patterns_.erase(old);
            patterns_[e.pattern] = std::move(pieces);
            return;
        }
        case kStoreBytesCopied: copied(e.destination, e.source, e.bytes); return;
        default: return;
    }
}

const PieceOrigin* EditTrace::origin(const PatternDoc& doc, int i) const {
    const auto it = patterns_.find(doc.pattern);
    Piece* piece = doc.piece(i);
    if (it == patterns_.end() || !piece || it->second.size() != static_cast<size_t>(doc.pieceCount())) return nullptr;
    const Traced& t = it->second[static_cast<size_t>(i)];
    if (!t.known || t.origin.points.size() != static_cast<size_t>(piece->pointCount)) return nullptr;
    return &t.origin;
}

}  // namespace host

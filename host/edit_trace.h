// What a run did to the points, as the pattern store tells it: for each
// point of the pattern after the run, the point it was before, or that the
// run made it.
//
// The store tells a host every edit of which records a pattern holds
// (storeSetEditObserver): points opened and closed, pieces appended and
// deleted, bytes copied, a pattern moved to a larger block. An EditTrace
// follows the document's pattern through them: a point is renumbered as the
// store renumbers it, a pattern or piece copied through the store keeps its
// points' identities, and the points a run opens are its own. What the
// trace cannot follow (a piece rebuilt from bytes the store did not copy)
// it leaves unknown, and the change report pairs that piece's points by
// their geometry instead. A host whose store tells nothing gets geometry
// everywhere.
//
// One trace at a time: it is the store's observer while it lives (the one
// it replaces is put back). Memory: reads the header of a pattern block the
// store names, or of one it follows, once the block is seen to be live and
// whole (storeBlockSize); keeps per point one index.
#pragma once

#include <map>
#include <vector>

#include "frame/records.h"
#include "host/pattern_store.h"
#include "siblings/records/store_extras.h"

namespace host {

// Where a piece of the pattern after the run came from.
struct PieceOrigin {
    int piece = -1;           // its piece before the run; -1: a piece the run made
    std::vector<int> points;  // per point, its index before the run; -1: a point the run made
};

class EditTrace {
public:
    // Starts following the document's pattern as it is now.
    explicit EditTrace(const PatternDoc& doc);
    ~EditTrace();
    EditTrace(const EditTrace&) = delete;
    EditTrace& operator=(const EditTrace&) = delete;

    // Where piece `piece` of the document's pattern came from; null when the
    // trace lost it, or when its points no longer tally with the piece's.
    const PieceOrigin* origin(const PatternDoc& doc, int piece) const;

private:
    struct Traced {
        bool known = false;
        PieceOrigin origin;
    };
    static void observe(const StoreEdit* edit, void* self);
    void edit(const StoreEdit& e);
    // The pieces of a pattern the trace follows (it starts following a live
    // pattern the store names, its pieces unknown but for copies it saw
    // arrive at their addresses); null when the block is not a live one.
    std::vector<Traced>* follow(const PatternBuffer* pattern);
    Traced* piece(const PatternBuffer* pattern, int slot);
    // The piece (or pattern) of a followed, live pattern that starts at
    // `at`: its trace, or null.
    Traced* pieceAt(const void* at);
    bool live(const PatternBuffer* pattern) const;
    void copied(const void* destination, const void* source, long bytes);

    std::map<const PatternBuffer*, std::vector<Traced>> patterns_;
    // Copies of pieces at addresses no pattern's table names yet (a piece
    // copied into a work buffer before its header names it).
    std::map<const void*, Traced> loose_;
    StoreEditObserver previous_ = nullptr;
    void* previousContext_ = nullptr;
};

}  // namespace host

// The desktop stand-in's global memory (KERNEL32 Global*; not logged: it is
// no drawing). Every block sits between guard bytes that GlobalFree and
// deskCheckHeap check; a moveable block's handle is a fake one from the
// desktop's handle counter, a fixed block's handle is its address.
//
// Memory: blocks are owned here until GlobalFree or deskReset.
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <set>

#include "win/desktop.h"
#include "win/desktop_parts.h"

namespace {

using deskparts::fault;
using deskparts::hex;
using deskparts::takeHandle;

constexpr std::size_t kGuardBytes = 16;
constexpr unsigned char kGuardByte = 0xFD;
constexpr unsigned char kFreshByte = 0xCD;

HANDLE asHandle(std::uintptr_t v) { return reinterpret_cast<HANDLE>(v); }
std::uintptr_t asValue(const void* h) { return reinterpret_cast<std::uintptr_t>(h); }

struct Block {
    std::size_t size = 0;
    int locks = 0;
    bool fixed = false;
    bool discarded = false;       // moveable block of 0 bytes: nothing to lock
    unsigned char* storage = nullptr;  // guard, data, guard
    unsigned char* data() const { return storage ? storage + kGuardBytes : nullptr; }
};

struct Heap {
    std::map<std::uintptr_t, Block> blocks;
    std::map<const void*, std::uintptr_t> blockByData;
    std::set<std::uintptr_t> freedBlocks;
};

// Never destroyed: code that frees its blocks from static destructors at
// exit still finds the heap there.
Heap& heap() {
    static Heap* h = new Heap;
    return *h;
}

void releaseStorage(Block& b) {
    std::free(b.storage);
    b.storage = nullptr;
}

bool guardsIntact(const Block& b) {
    if (!b.storage) return true;
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        if (b.storage[i] != kGuardByte) return false;
        if (b.storage[kGuardBytes + b.size + i] != kGuardByte) return false;
    }
    return true;
}

}  // namespace

void deskparts::freeAllBlocks() {
    Heap& h = heap();
    for (auto& entry : h.blocks) releaseStorage(entry.second);
    h.blocks.clear();
    h.blockByData.clear();
    h.freedBlocks.clear();
}

std::vector<std::string> deskparts::heapProblems() {
    std::vector<std::string> lines;
    for (const auto& entry : heap().blocks) {
        if (!guardsIntact(entry.second)) {
            lines.push_back("global block " + hex(asHandle(entry.first)) + " of " +
                            std::to_string(entry.second.size) +
                            " bytes: written outside its bounds");
        }
    }
    return lines;
}

std::vector<DeskBlock> deskLiveBlocks() {
    std::vector<DeskBlock> out;
    for (const auto& e : heap().blocks) {
        out.push_back(DeskBlock{asHandle(e.first), e.second.size, e.second.locks, e.second.data()});
    }
    return out;
}

std::string deskCheckHeap() {
    std::string out;
    for (const auto& h : deskparts::heapProblems()) {
        fault(h);
        out += h + "\n";
    }
    return out;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T bytes) {
    Block b;
    b.size = bytes;
    b.fixed = (flags & GMEM_MOVEABLE) == 0;
    b.discarded = !b.fixed && bytes == 0;
    if (!b.discarded) {
        if (bytes > (SIZE_T(1) << 30)) return nullptr;  // refuse, as a full heap would
        // calloc's zeros cost nothing until a page is touched, as a
        // committed Windows block's: a pattern block sized with spare room
        // for a tool's growth stays small in memory until used. (glibc's
        // blocks are 16-byte aligned, as the records want.)
        b.storage = static_cast<unsigned char*>(std::calloc(bytes + 2 * kGuardBytes, 1));
        if (b.storage == nullptr) return nullptr;
        std::memset(b.storage, kGuardByte, kGuardBytes);
        if ((flags & GMEM_ZEROINIT) == 0) std::memset(b.storage + kGuardBytes, kFreshByte, bytes);
        std::memset(b.storage + kGuardBytes + bytes, kGuardByte, kGuardBytes);
    }
    std::uintptr_t handle;
    if (b.fixed) {
        handle = asValue(b.data());  // a fixed block's handle is its address
    } else {
        handle = takeHandle();
    }
    Heap& d = heap();
    d.freedBlocks.erase(handle);
    if (b.storage) d.blockByData[b.data()] = handle;
    d.blocks[handle] = b;
    return asHandle(handle);
}

void* WINAPI GlobalLock(HGLOBAL block) {
    auto it = heap().blocks.find(asValue(block));
    if (it == heap().blocks.end()) {
        fault(std::string("GlobalLock: ") +
              (heap().freedBlocks.count(asValue(block)) ? "freed" : "unknown") + " block " +
              hex(block));
        return nullptr;
    }
    Block& b = it->second;
    if (b.discarded) return nullptr;
    if (!b.fixed) ++b.locks;
    return b.data();
}

BOOL WINAPI GlobalUnlock(HGLOBAL block) {
    auto it = heap().blocks.find(asValue(block));
    if (it == heap().blocks.end()) {
        fault("GlobalUnlock: unknown or freed block " + hex(block));
        return FALSE;
    }
    Block& b = it->second;
    if (b.fixed) return FALSE;
    if (b.locks == 0) {
        fault("GlobalUnlock: block " + hex(block) + " is not locked");
        return FALSE;
    }
    --b.locks;
    return b.locks > 0;
}

HGLOBAL WINAPI GlobalHandle(const void* locked) {
    auto it = heap().blockByData.find(locked);
    return it == heap().blockByData.end() ? nullptr : asHandle(it->second);
}

HGLOBAL WINAPI GlobalFree(HGLOBAL block) {
    if (!block) return nullptr;
    Heap& d = heap();
    auto it = d.blocks.find(asValue(block));
    if (it == d.blocks.end()) {
        fault(std::string("GlobalFree: ") +
              (d.freedBlocks.count(asValue(block)) ? "block " + hex(block) + " freed twice"
                                                   : "unknown block " + hex(block)));
        return block;
    }
    Block& b = it->second;
    if (!guardsIntact(b)) {
        fault("GlobalFree: global block " + hex(block) + " of " + std::to_string(b.size) +
              " bytes was written outside its bounds");
    }
    if (b.storage) d.blockByData.erase(b.data());
    releaseStorage(b);
    d.blocks.erase(it);
    d.freedBlocks.insert(asValue(block));
    return nullptr;
}

SIZE_T WINAPI GlobalSize(HGLOBAL block) {
    auto it = heap().blocks.find(asValue(block));
    return it == heap().blocks.end() ? 0 : it->second.size;
}

// What the desktop stand-in's own files share (desktop.cpp and
// global_memory.cpp), never seen outside win/: the handle counter, the fault
// list and the heap's reset and check.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace deskparts {

// The next run-time handle value; handles only grow, so that one kept across
// deskReset is still stale.
std::uintptr_t takeHandle();
// Records a fault for deskCheckDiscipline and deskFaults.
void fault(const std::string& what);
std::string hex(const void* handle);
// Frees every global block and forgets the freed ones (deskReset).
void freeAllBlocks();
// One line per live block whose guard bytes were overwritten.
std::vector<std::string> heapProblems();

}  // namespace deskparts

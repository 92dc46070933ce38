// Runs a program as a child and measures its wall time and peak resident
// memory. Linux carries a process's peak memory across exec, so a child
// spawned straight from the benchmark would report the benchmark's own peak
// (its large pieces); the children are therefore spawned by a small helper
// process forked at start-up (startChildRunner), before anything grows.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Forks the helper; call first thing in main.
void startChildRunner();
// Runs `program args...` with its output discarded. False when it could not
// run or did not exit with 0.
bool runChild(const std::string& program, const std::vector<std::string>& args, double& seconds, long& peakKb);

}  // namespace bench

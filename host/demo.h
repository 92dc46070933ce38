// The demo: every tool the library has, replayed on a built-in pattern,
// shown on one HTML page with the pictures before and after, the script
// that was replayed, what the library showed, and the figures that matter
// for the tool.
//
// Adding a tool to the demo is one entry of the demo table in demo.cpp
// (its script on the built-in pattern and its figures); the replay itself
// comes from the tool table (replay.h).
#pragma once

#include <ostream>
#include <string>

namespace host {

// The built-in pattern (JSON pattern file text).
const char* demoPatternJson();

// Writes DIR/index.html with its pictures and files; returns 0 when every
// section ran and every edited pattern passed the consistency checker.
int runDemo(const std::string& dir, std::ostream& out);

}  // namespace host

// The files of examples/ (patterns, scripts, the size chart), built into the
// program (cmake/embed_files.cmake), so that the demo plays the examples
// themselves and not copies of them.
#pragma once

#include <string>

namespace host {

// The text of examples/NAME; null when there is no such file.
const char* exampleText(const std::string& name);

}  // namespace host

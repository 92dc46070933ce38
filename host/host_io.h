// Shared odds and ends of the qpkit host: the error a user sees, files
// written whole or not at all, and the GBK texts of the library shown as
// UTF-8.
//
// The library's texts (prompts, message boxes, the result line) are GBK
// bytes; the host converts them only for its own output. Files are written to
// a temporary name beside the target and renamed over it, so a failed run
// never leaves a half-written file.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace host {

// An error that names its place: `where` is the file and the place in it
// (a line or a field path), and oneLine() is "<where>: <what>" on one line.
class PlacedError : public std::runtime_error {
public:
    PlacedError(std::string where, const std::string& what)
        : std::runtime_error(what), where_(std::move(where)) {}
    const std::string& where() const { return where_; }
    std::string oneLine() const;

private:
    std::string where_;
};

// A user error: bad input or an output that cannot be written. main()
// prints "qpkit: <where>: <what>" on one line and exits with status 1.
class UserError : public PlacedError {
public:
    using PlacedError::PlacedError;
};

// A tool's edit that the pattern store stopped (out of room, a count past
// its 16-bit limit, a damaged piece) during a replayed run: a fault of the
// library, not of the user's input, so it is not a UserError (the random
// sessions of fuzz/ treat UserErrors as refused script lines, and must see
// this one). `where` names the script and its line; main() prints
// "qpkit: <where>: <what>" on one line and exits with status 2, writing no
// file.
class EditFailure : public PlacedError {
public:
    using PlacedError::PlacedError;
};

// A replayed run that did not do all its script asks: a tool refused (a
// message box, or a refusal text in the prompt bar), a click picked
// nothing, or the script ended before a tool's run was finished. Not a
// fault of the files: the outputs are written, the pattern as the run left
// it. `where` names the script and the line; main() prints
// "qpkit: <where>: <what>" on one line and exits with status 3.
class RunShortfall : public PlacedError {
public:
    using PlacedError::PlacedError;
};

// The whole file, or a UserError naming it.
std::string readFile(const std::string& path);
// Writes `content` to path through a temporary file in the same directory and
// a rename; on failure nothing is left behind and a UserError names the file.
void writeFileAtomic(const std::string& path, const std::string& content);
// Creates the directory (and its parents) when missing.
void makeDirectories(const std::string& path);

// GBK (code page 936) to UTF-8. Bytes that are not valid GBK are kept as
// "\xNN" escapes, so nothing is silently dropped.
std::string gbkToUtf8(const std::string& gbk);
// UTF-8 to GBK, for texts the host hands to the library (dialog answers).
// Returns false when the text has characters outside GBK.
bool utf8ToGbk(const std::string& utf8, std::string& gbk);

// The text without blanks (isspace) at either end.
std::string trim(const std::string& s);

// One conversion of a whole text between GBK (code page 936) and UTF-8;
// false when a byte or a character cannot be converted. The platform's own
// converter: glibc's iconv on Linux, the system's code pages on Windows.
enum class TextCoding { GbkToUtf8, Utf8ToGbk };
bool convertCodePage(TextCoding coding, const std::string& in, std::string& out);

// Shortest decimal text that reads back as the same 32-bit float
// ("12.3", not "12.30000019").
std::string floatText(float value);

// Escapes &, <, >, " for XML and HTML text and attributes.
std::string xmlEscape(const std::string& text);

}  // namespace host

// Files, user errors and GBK text for the host (see host_io.h); what
// differs between Linux and Windows is in host_io_linux.cpp and
// host_io_win32.cpp.
#include "host/host_io.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace host {

std::string PlacedError::oneLine() const {
    std::string line = where_.empty() ? std::string(what()) : where_ + ": " + what();
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return line;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError(path, std::string("cannot read the file: ") + std::strerror(errno));
    std::ostringstream all;
    all << in.rdbuf();
    if (in.bad()) throw UserError(path, "read error");
    return all.str();
}

std::string gbkToUtf8(const std::string& gbk) {
    std::string out;
    std::string all;
    // Convert run by run so that one bad byte costs only itself.
    size_t i = 0;
    while (i < gbk.size()) {
        unsigned char c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (i + 1 < gbk.size() && c >= 0x81 && c <= 0xFE) {
            std::string pair = gbk.substr(i, 2);
            if (convertCodePage(TextCoding::GbkToUtf8, pair, all)) {
                out += all;
                i += 2;
                continue;
            }
        }
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02X", c);
        out += esc;
        ++i;
    }
    return out;
}

bool utf8ToGbk(const std::string& utf8, std::string& gbk) {
    return convertCodePage(TextCoding::Utf8ToGbk, utf8, gbk);
}

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::string floatText(float value) {
    char text[64];
    for (int precision = 6; precision <= 9; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    std::string s = text;
    if (s == "-0") s = "0";
    return s;
}

std::string xmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace host

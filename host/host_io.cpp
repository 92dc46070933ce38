// Files, user errors and GBK text for the host (see host_io.h).
#include "host/host_io.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

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

void writeFileAtomic(const std::string& path, const std::string& content) {
    std::string temp = path + ".tmp-XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0) throw UserError(path, std::string("cannot write the file: ") + std::strerror(errno));
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            throw UserError(path, std::string("cannot write the file: ") + std::strerror(e));
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    // mkstemp makes the file 0600; a pattern or picture is an ordinary file.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    if (::close(fd) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        int e = errno;
        ::unlink(temp.c_str());
        throw UserError(path, std::string("cannot write the file: ") + std::strerror(e));
    }
}

void makeDirectories(const std::string& path) {
    if (path.empty()) return;
    std::string sofar;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find('/', i);
        if (slash == std::string::npos) slash = path.size();
        sofar = path.substr(0, slash);
        if (!sofar.empty() && sofar != "." && sofar != "..") {
            struct stat st;
            if (stat(sofar.c_str(), &st) != 0) {
                if (mkdir(sofar.c_str(), 0777) != 0 && errno != EEXIST)
                    throw UserError(sofar, std::string("cannot make the directory: ") + std::strerror(errno));
            } else if (!S_ISDIR(st.st_mode)) {
                throw UserError(sofar, "exists and is not a directory");
            }
        }
        i = slash + 1;
    }
}

namespace {

// One conversion through glibc's iconv; returns false at the first byte it
// cannot convert, leaving `done` with the bytes consumed.
bool convert(const char* to, const char* from, const std::string& in, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    std::string src = in;
    char* inp = &src[0];
    size_t inLeft = src.size();
    bool ok = true;
    while (inLeft > 0) {
        char buffer[256];
        char* outp = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        out.append(buffer, static_cast<size_t>(outp - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

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
            if (convert("UTF-8", "GBK", pair, all)) {
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
    return convert("GBK", "UTF-8", utf8, gbk);
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

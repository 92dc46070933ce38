// What host_io.h asks of the platform, on Linux: files written through a
// temporary file and a rename, directories, and GBK through glibc's iconv.
#include "host/host_io.h"

#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace host {

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

// One conversion through glibc's iconv; returns false at the first byte it
// cannot convert, `out` holding the bytes converted before it.
bool convertCodePage(TextCoding coding, const std::string& in, std::string& out) {
    const bool toUtf8 = coding == TextCoding::GbkToUtf8;
    iconv_t cd = iconv_open(toUtf8 ? "UTF-8" : "GBK", toUtf8 ? "GBK" : "UTF-8");
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

}  // namespace host

// What host_io.h asks of the platform, on Windows: files written through a
// temporary file and MoveFileEx, directories, and GBK through the system's
// code pages (936 and UTF-8, by way of UTF-16).
#include "host/host_io.h"

#include <cstdio>
#include <cstring>

#include "win/win32.h"

namespace host {

namespace {

constexpr UINT kGbk = 936;

// The system's text for the calling thread's last error, on one line.
std::string lastErrorText() {
    const DWORD code = GetLastError();
    char text[256] = {0};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                             sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    if (s.empty()) s = "error " + std::to_string(code);
    return s;
}

bool isDirectory(const std::string& path, bool& exists) {
    const DWORD a = GetFileAttributesA(path.c_str());
    exists = a != INVALID_FILE_ATTRIBUTES;
    return exists && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Texts the host prints are UTF-8 (gbkToUtf8): a console is told so before
// main, so that the tools' texts read right there too.
const bool utf8Console = [] {
    SetConsoleOutputCP(CP_UTF8);
    return true;
}();

}  // namespace

void writeFileAtomic(const std::string& path, const std::string& content) {
    // A name beside the target that no other run uses at the same time.
    const std::string temp = path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount());
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw UserError(path, "cannot write the file: " + lastErrorText());
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, p, chunk, &written, nullptr)) {
            const std::string why = lastErrorText();
            CloseHandle(file);
            DeleteFileA(temp.c_str());
            throw UserError(path, "cannot write the file: " + why);
        }
        p += written;
        left -= written;
    }
    if (!CloseHandle(file) || !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const std::string why = lastErrorText();
        DeleteFileA(temp.c_str());
        throw UserError(path, "cannot write the file: " + why);
    }
}

void makeDirectories(const std::string& path) {
    if (path.empty()) return;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find_first_of("/\\", i);
        if (slash == std::string::npos) slash = path.size();
        const std::string sofar = path.substr(0, slash);
        // The root, a drive ("C:"), "." and ".." are there already.
        if (!sofar.empty() && sofar.back() != ':' && sofar != "." && sofar != "..") {
            bool exists = false;
            if (!isDirectory(sofar, exists)) {
                if (exists) throw UserError(sofar, "exists and is not a directory");
                if (!CreateDirectoryA(sofar.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
                    throw UserError(sofar, "cannot make the directory: " + lastErrorText());
            }
        }
        i = slash + 1;
    }
}

bool convertCodePage(TextCoding coding, const std::string& in, std::string& out) {
    out.clear();
    if (in.empty()) return true;
    const bool toUtf8 = coding == TextCoding::GbkToUtf8;
    const UINT from = toUtf8 ? kGbk : CP_UTF8, to = toUtf8 ? CP_UTF8 : kGbk;
    const int n = static_cast<int>(in.size());
    const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), n, nullptr, 0);
    if (wide <= 0) return false;
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), n, &w[0], wide);
    // Into GBK nothing may be replaced by the code page's default character.
    BOOL defaulted = FALSE;
    BOOL* checkDefault = toUtf8 ? nullptr : &defaulted;
    const DWORD flags = toUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int bytes = WideCharToMultiByte(to, flags, w.data(), wide, nullptr, 0, nullptr, checkDefault);
    if (bytes <= 0 || defaulted) return false;
    out.resize(static_cast<size_t>(bytes));
    WideCharToMultiByte(to, flags, w.data(), wide, &out[0], bytes, nullptr, nullptr);
    return true;
}

}  // namespace host

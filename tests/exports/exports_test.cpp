// The library as a host program meets it: loaded by file name (Qpkit6.dll,
// or libqpkit6.so here on Linux), its exports found by their plain names and
// called through __stdcall pointers. On Windows this also proves that the
// DLL's imports resolve: the siblings and the system DLLs load with it.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "frame/exports.h"

#if defined(_WIN32)
#  include "win/win32.h"
#else
#  include <dlfcn.h>
#endif

namespace {

#if defined(_WIN32)
using Module = HMODULE;
Module openLibrary() { return LoadLibraryA(QP_LIBRARY_FILE); }
void* lookUp(Module m, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(m, name));
}
#else
using Module = void*;
Module openLibrary() { return dlopen(QP_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL); }
void* lookUp(Module m, const char* name) { return dlsym(m, name); }
#endif

// Loaded once; the host keeps the library loaded for its whole run too.
Module library() {
    static Module m = openLibrary();
    return m;
}

template <typename Fn>
Fn exported(const char* name) {
    return reinterpret_cast<Fn>(lookUp(library(), name));
}

using TextFn = short(QP_WINAPI*)(char*);
using ScaleFn = short(QP_WINAPI*)(char*, char, float);
using AtofFn = float(QP_WINAPI*)(const char*);

TEST(Exports, LibraryLoadsByFileName) {
    ASSERT_NE(library(), nullptr) << QP_LIBRARY_FILE << " did not load";
}

struct NumberRow {
    const char* text;
    float value;
};

const NumberRow kNumberRows[] = {
    {"12.5", 12.5f},
    {"0.25", 0.25f},
    {"3", 3.0f},
    {"1.2.3", 0.0f},  // a second point gives 0
};

TEST(Exports, QpAtofByItsPlainName) {
    auto fn = exported<AtofFn>("qpAtof");
    ASSERT_NE(fn, nullptr);
    for (const NumberRow& row : kNumberRows) EXPECT_EQ(fn(row.text), row.value) << row.text;
}

struct TextRow {
    const char* name;  // the export
    const char* input;
    char op;           // qpCalcuSubExpression only
    float factor;      // qpCalcuSubExpression only
    const char* expected;
    short status;
};

// A few exact examples of each formula-text export, the arguments passed the
// way the host passes them; the full tables are in tests/formula.
const TextRow kTextRows[] = {
    {"qpPackExpression", "H+H", 0, 0, "2*H", 1},
    {"qpPackExpression", "0.5*B+B/4", 0, 0, "0.75*B", 1},
    {"qpPackBracketsExpression", "a+2*(b+c)+a-3", 0, 0, "2*(b+c)+2*a-3", 1},
    {"qpPackBracketsExpression", "2*(b+c", 0, 0, "2*(b+c", 0},
    {"qpSpreadBracketsExpression", "2*(H/4+2)", 0, 0, "H*0.5+4", 1},
    {"qpSpreadBracketsExpression", "-(-a+b)", 0, 0, "a-b", 1},
    {"qpCalcuSubExpression", "H+BL", '*', 2.0f, "2*H+2*BL", 1},
    {"qpCalcuSubExpression", "2", '/', 3.0f, "0.667", 1},
    {"qpCalcuSubExpression", "H/0", '*', 2.0f, "H*2", -1},
    {"qpCalcuSubExpression", "H", '+', 2.0f, "H", 0},
};

TEST(Exports, FormulaTextsByTheirPlainNames) {
    for (const TextRow& row : kTextRows) {
        SCOPED_TRACE(std::string(row.name) + " \"" + row.input + "\"");
        char text[256] = {};
        std::strcpy(text, row.input);
        short status;
        if (std::strcmp(row.name, "qpCalcuSubExpression") == 0) {
            auto fn = exported<ScaleFn>(row.name);
            ASSERT_NE(fn, nullptr);
            status = fn(text, row.op, row.factor);
        } else {
            auto fn = exported<TextFn>(row.name);
            ASSERT_NE(fn, nullptr);
            status = fn(text);
        }
        EXPECT_EQ(status, row.status);
        EXPECT_STREQ(text, row.expected);
    }
}

// The piece-symmetry handler, as the host's window procedure calls it: a
// message it does not handle, and a click before its preparation, give 0.
TEST(Exports, PieceSymmetryByItsPlainName) {
    using HandlerFn = short(QP_WINAPI*)(HWND, UINT, WPARAM, LPARAM, HostView*, HostDoc*);
    auto fn = exported<HandlerFn>("qpHandlePieceSymmatry");
    ASSERT_NE(fn, nullptr);
    HostView view{};
    HostDoc doc{};
    EXPECT_EQ(fn(nullptr, WM_KEYDOWN, 0, 0, &view, &doc), 0);
    EXPECT_EQ(fn(nullptr, WM_LBUTTONDOWN, 0, 0, &view, &doc), 0);
}

#if defined(_WIN32)
// The .def gives each export its plain name only; dllexport besides, or an
// export without the alias, would add the decorated __stdcall name as well.
TEST(Exports, NoDecoratedNames) {
    const char* decorated[] = {"qpAtof@4", "_qpAtof@4", "qpPackExpression@4",
                               "qpCalcuSubExpression@12", "_qpCalcuSubExpression@12"};
    for (const char* name : decorated) EXPECT_EQ(lookUp(library(), name), nullptr) << name;
}
#endif

}  // namespace

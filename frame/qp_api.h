// Visibility of the library's exported functions. Their calling convention,
// QP_WINAPI, is the public header's (include/qpkit6/qpkit6.h).
//
// The 14 exports of Qpkit6 are __stdcall (WINAPI) with undecorated names: on
// Windows the .def file gives the plain names, on Linux a version script and
// hidden visibility keep everything but the exports out of the dynamic
// symbol table.
#pragma once

#include "win/win32.h"
#include "include/qpkit6/qpkit6.h"

// Marks the definition of an export. On Windows the .def file exports, so
// nothing is added there (dllexport as well would export the names twice).
#if defined(_WIN32)
#  define QP_EXPORT extern "C"
#else
#  define QP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

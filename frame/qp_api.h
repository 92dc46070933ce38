// Calling convention and visibility of the library's exported functions.
//
// The 14 exports of Qpkit6 are __stdcall (WINAPI) with undecorated names: on
// Windows the .def file gives the plain names, on Linux a version script and
// hidden visibility keep everything but the exports out of the dynamic
// symbol table. Changing QP_WINAPI here changes the convention of every export
// at once; nothing else in the tree spells the convention out.
#pragma once

#if defined(_WIN32)
#  define QP_WINAPI __stdcall
#elif defined(__i386__)
#  define QP_WINAPI __attribute__((stdcall))
#else
#  define QP_WINAPI /* x86-64 has a single calling convention */
#endif

// Marks the definition of an export. On Windows the .def file exports, so
// nothing is added there (dllexport as well would export the names twice).
#if defined(_WIN32)
#  define QP_EXPORT extern "C"
#else
#  define QP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

# Cross-build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686):
#   cmake -S . -B build/windows -G Ninja --toolchain cmake/i686-w64-mingw32.cmake
# or the "windows" preset. Qpkit6.dll, the five sibling DLLs and the test
# programs land in build/windows/bin; the tests run under wine.
#
# Thread model: posix. GoogleTest needs std::mutex, which the win32 model of
# GCC 12 lacks. The posix model's threads library (winpthread) is linked
# statically like the GCC and C++ runtimes (-static), so every DLL imports
# only system DLLs (KERNEL32, USER32, GDI32, msvcrt) and its siblings;
# scripts/check-dll.sh verifies that.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(QP_MINGW_TRIPLE i686-w64-mingw32)
find_program(QP_MINGW_CC NAMES ${QP_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(QP_MINGW_CXX NAMES ${QP_MINGW_TRIPLE}-g++-posix REQUIRED)
set(CMAKE_C_COMPILER ${QP_MINGW_CC})
set(CMAKE_CXX_COMPILER ${QP_MINGW_CXX})
set(CMAKE_RC_COMPILER ${QP_MINGW_TRIPLE}-windres)
set(CMAKE_NM ${QP_MINGW_TRIPLE}-nm CACHE FILEPATH "nm of the MinGW toolchain")
set(CMAKE_OBJDUMP ${QP_MINGW_TRIPLE}-objdump CACHE FILEPATH "objdump of the MinGW toolchain")
set(CMAKE_DLLTOOL ${QP_MINGW_TRIPLE}-dlltool CACHE FILEPATH "dlltool of the MinGW toolchain")

set(CMAKE_FIND_ROOT_PATH /usr/${QP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# SSE2 arithmetic for all 32-bit x86 builds is chosen in the top
# CMakeLists.txt (it keys on CMAKE_SYSTEM_PROCESSOR above).

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test programs built here run under wine, not on the build machine.
find_program(QP_WINE wine)
if(QP_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QP_WINE})
endif()

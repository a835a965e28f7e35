# SPDX-License-Identifier: MIT
# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (gcc, posix thread model):
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
# Programs built here run on Windows or, on Linux, under Wine (the tests' emulator).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZELVANE_MINGW_TRIPLET x86_64-w64-mingw32)
# The -posix compilers use winpthreads, which std::thread and std::mutex need.
set(CMAKE_C_COMPILER ${ZELVANE_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZELVANE_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZELVANE_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELVANE_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages built for Windows may live anywhere (-DCMAKE_PREFIX_PATH=<the installed folder>).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Tests and benchmarks built for Windows run under Wine.
find_program(ZELVANE_WINE NAMES wine wine64)
if(ZELVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELVANE_WINE})
endif()

# SPDX-License-Identifier: MIT
# The Windows build (mingw-w64): where its files go, the compiler's runtime DLLs that travel
# with them, and GoogleTest built from Debian's sources with the same compiler.

# Every DLL and program in one folder, so that the tests and benchmarks find the DLLs (Windows
# looks beside the program first).
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# Every DLL and program built here has its sections at page-sized offsets in the file (mingw's
# default is 512 bytes): a loader can then map them straight from the file, sharing clean pages
# and loading only those used. Wine cannot map a 512-byte-aligned image: it reads all of it into
# private memory at every start.
add_link_options(LINKER:--file-alignment,4096 LINKER:--section-alignment,4096)

# libstdc++, libgcc and winpthreads as DLLs beside ours: one C++ runtime shared by every DLL
# (exceptions, allocations and the standard library's state cross DLL boundaries), and a folder
# that runs on a Windows machine without mingw installed. They are copied without their debug
# information: a loader that cannot map a DLL's sections straight from the file (Wine, with
# mingw's 512-byte file alignment) reads all of them into memory, 23 MB for libstdc++ alone.
# The copies are laid out with page-sized file alignment, as ours are, so that the loader maps
# them; only the sections' places in the file change, not their contents or addresses.
set(ZELVANE_WINDOWS_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(path "${path}" ABSOLUTE)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "the compiler's runtime DLL ${dll} was not found")
  endif()
  set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll})
  file(MAKE_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  execute_process(COMMAND ${CMAKE_OBJCOPY} --strip-debug --file-alignment 4096 ${path} ${copy}
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${CMAKE_OBJCOPY} could not copy ${dll}")
  endif()
  list(APPEND ZELVANE_WINDOWS_RUNTIME_DLLS ${copy})
endforeach()
install(FILES ${ZELVANE_WINDOWS_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

# NSIS, for the installer beside the ZIP (cmake/PackageWindows.cmake); optional.
find_program(ZELVANE_MAKENSIS makensis)

# Debian's googletest package ships its sources: built here for Windows as static libraries
# with the GTest:: names that find_package(GTest) gives on Linux.
macro(zelvane_windows_gtest)
  set(ZELVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the Windows build")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_SHARED_LIBS OFF)
  add_subdirectory(${ZELVANE_GTEST_SOURCE} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(lib gtest gtest_main gmock gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
endmacro()

# SPDX-License-Identifier: MIT
# Every target of the project builds with the same warning set and must stay clean.
add_library(zelvane_warnings INTERFACE)
target_compile_options(zelvane_warnings INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wno-missing-field-initializers>)

# CI builds with warnings as errors (scripts/test.sh); a local build only reports them.
option(ZELVANE_WERROR "Treat compiler warnings as errors" OFF)
if(ZELVANE_WERROR)
  target_compile_options(zelvane_warnings INTERFACE $<$<CXX_COMPILER_ID:GNU,Clang>:-Werror>)
endif()

# Every target of the project builds with the same warning set and must stay clean.
add_library(zelvane_warnings INTERFACE)
target_compile_options(zelvane_warnings INTERFACE
  $<$<CXX_COMPILER_ID:GNU,Clang>:-Wall -Wextra -Wpedantic -Wno-missing-field-initializers>)

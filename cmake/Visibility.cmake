# SPDX-License-Identifier: MIT
# The shared libraries export only what their export macro marks; every other symbol, inline
# member functions included, stays inside the library that defines it. One template
# (cmake/export.h.in) gives every library its export header: on Linux the library is built with
# hidden visibility and the macro makes a symbol visible; on Windows the macro is
# __declspec(dllexport) while the DLL's own sources are compiled (<MACRO>_BUILDING) and
# __declspec(dllimport) for its users, and the linker exports only what is marked.

# Where the generated export headers go: <dir>/<folder>/<name>.h, on every library's include path.
set(ZELVANE_EXPORTS_DIR ${PROJECT_BINARY_DIR}/exports)

# Hidden visibility for the targets given (object libraries and the like, which have no export
# header of their own).
function(zelvane_hide_internals)
  if(WIN32)
    return()
  endif()
  set_target_properties(${ARGN} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# zelvane_export_header(<target> <MACRO> <folder/name.h> [NOT_A_DLL_ON_WINDOWS])
# Generates the target's export header in ZELVANE_EXPORTS_DIR, puts that folder on the target's
# include path and hides everything the macro does not mark. NOT_A_DLL_ON_WINDOWS: the macro is
# empty on Windows, where the library is the system's own (the Win32 subset).
function(zelvane_export_header target macro header)
  cmake_parse_arguments(ARG "NOT_A_DLL_ON_WINDOWS" "" "" ${ARGN})
  set(EXPORT_MACRO ${macro})
  get_target_property(output ${target} OUTPUT_NAME)
  if(NOT output)
    set(output ${target})
  endif()
  set(EXPORT_LIBRARY lib${output})
  if(ARG_NOT_A_DLL_ON_WINDOWS)
    set(EXPORT_WINDOWS_EXPORT "")
    set(EXPORT_WINDOWS_IMPORT "")
    set(EXPORT_WINDOWS_NOTE "the macro is empty:\n/// there the API is the system's own.")
  else()
    set(EXPORT_WINDOWS_EXPORT " __declspec(dllexport)")
    set(EXPORT_WINDOWS_IMPORT " __declspec(dllimport)")
    set(EXPORT_WINDOWS_NOTE "the DLL exports what is marked (its own\n/// build defines ${macro}_BUILDING) and its users import it.")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/export.h.in ${ZELVANE_EXPORTS_DIR}/${header} @ONLY)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${ZELVANE_EXPORTS_DIR}>)
  else()
    target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${ZELVANE_EXPORTS_DIR}>)
    target_compile_definitions(${target} PRIVATE ${macro}_BUILDING)
    zelvane_hide_internals(${target})
  endif()
endfunction()

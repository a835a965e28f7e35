# SPDX-License-Identifier: MIT
# The shared libraries export only what their export macro marks (win32/export.h,
# framework/export.h, comm/CommExport.h, widgets/export.h); every other symbol, inline member
# functions included, stays inside the library that defines it. Not on Windows for now: there the
# macros are empty and the MinGW DLLs export every symbol automatically.
function(zelvane_hide_internals)
  if(WIN32)
    return()
  endif()
  set_target_properties(${ARGN} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# SPDX-License-Identifier: MIT
# The shared libraries export only what their export macro marks (win32/export.h,
# framework/export.h, comm/CommExport.h, widgets/export.h); every other symbol, inline member
# functions included, stays inside the library that defines it. On Linux that takes hidden
# visibility; on Windows the macros are __declspec(dllexport) while a DLL's own sources are
# compiled (its *_BUILDING definition) and the linker then exports only those, so there is
# nothing to set here.
function(zelvane_hide_internals)
  if(WIN32)
    return()
  endif()
  set_target_properties(${ARGN} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

// SPDX-License-Identifier: MIT
// The Win32 front end only: the window handle behind a control, for programs and tests that
// talk to the window through the Win32 API (cast it to HWND). Main thread only.
#pragma once

#include <widgets/controls.h>
#include <widgets/export.h>

namespace widgets_native {
// The control's window (an HWND).
COMM_WIDGETS_API void* WindowHandle(const TControl& Control);
}  // namespace widgets_native

// SPDX-License-Identifier: MIT
// The Win32 front end's objects behind the framework's controls, named for the shared control
// headers (widgets/controls.h and the others): each front end provides its own native.h. The
// classes are defined inside the front end; no Win32 type appears here.
// Threads: main thread only, as the controls.
#pragma once

namespace winwidgets {
class TNativeWindow;
class TNativeTimer;
class TNativeTray;
class TNativeStatusText;
}  // namespace winwidgets

namespace widgets_native {
using Widget = winwidgets::TNativeWindow;          // behind every control: one window
using Timer = winwidgets::TNativeTimer;            // behind TTimer
using Tray = winwidgets::TNativeTray;              // behind TTrayIcon
using StatusText = winwidgets::TNativeStatusText;  // the text of TStatusBar
}  // namespace widgets_native

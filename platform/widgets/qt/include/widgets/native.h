// SPDX-License-Identifier: MIT
// The Qt front end's objects behind the framework's controls, named for the shared control
// headers (widgets/controls.h and the others): each front end provides its own native.h.
// Threads: main thread only, as the controls.
#pragma once

class QWidget;
class QTimer;
class QSystemTrayIcon;
class QLabel;

namespace widgets_native {
using Widget = QWidget;        // behind every control
using Timer = QTimer;          // behind TTimer
using Tray = QSystemTrayIcon;  // behind TTrayIcon
using StatusText = QLabel;     // the text of TStatusBar
}  // namespace widgets_native

#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs a test program on its own virtual X display with a system tray host (trayer).
exec xvfb-run --auto-servernum --server-args="-screen 0 800x600x24 -nolisten tcp" sh -c '
  trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
    >/dev/null 2>&1 &
  QT_QPA_PLATFORM=xcb "$@"
  status=$?
  kill $! 2>/dev/null
  exit $status' with_tray "$@"

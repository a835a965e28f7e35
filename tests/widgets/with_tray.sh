#!/bin/sh
# Runs a test program on its own virtual X display with a system tray host (trayer).
set -u
display=":$((500 + $$ % 400))"
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $tray $xvfb 2>/dev/null; wait 2>/dev/null' EXIT
export DISPLAY="$display"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
trayer --edge top --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
QT_QPA_PLATFORM=xcb "$@"

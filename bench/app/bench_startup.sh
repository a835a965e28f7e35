#!/bin/sh
# Runs bench_startup on its own virtual display: ./bench_startup.sh BUILD_DIR
set -eu
build=${1:-build/release}
display=":$((600 + $$ % 300))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
export DISPLAY="$display"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$build/bench/app/bench_startup" "$build/bench/app/bench_anchor" "$build/app/zelvane"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Screenshots of the program's window as the Windows build's native front end shows it under
# Wine, one per page: builds the Windows tree's window_showcase (tests/windows), runs it in a
# throwaway Wine prefix on a virtual display (Xvfb) unless DISPLAY is set, and saves the screen
# with scrot.
#   ./scripts/winshot.sh [output folder]   (default build/winshots; prints the files' paths)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/winshots}")
build=build/windows
mkdir -p "$out"

cmake -S . -B "$build" -G Ninja -DZELVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" --target window_showcase >/dev/null

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(cat "$work/display")"
fi
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineboot -i >/dev/null 2>&1
wineserver -w

mkdir "$work/signals"
wine "$build/bin/window_showcase.exe" "$(winepath -w "$work/signals")" &
program=$!
for page in 1 2; do
  for _ in $(seq 600); do [ -e "$work/signals/page$page.ready" ] && break; sleep 0.1; done
  [ -e "$work/signals/page$page.ready" ] || { echo "the window did not show page $page" >&2; exit 1; }
  scrot -o "$out/windows-page$page.png"
  touch "$work/signals/page$page.shot"
  echo "$out/windows-page$page.png"
done
wait "$program"

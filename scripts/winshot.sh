#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Screenshots of the program's window as the Windows build's native front end shows it under
# Wine, one per page: builds the Windows tree's window_showcase (tests/windows), runs it in a
# throwaway Wine prefix on a virtual display (Xvfb) unless DISPLAY is set, and saves the screen
# with scrot.
#   ./scripts/winshot.sh [output folder]   (default build/winshots; prints the files' paths)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
out=$(realpath -m "${1:-build/winshots}")
build=build/windows
mkdir -p "$out"

zelvane_configure_windows "$build"
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
  zelvane_start_xvfb "$work"
fi
zelvane_wine_prefix "$work"

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

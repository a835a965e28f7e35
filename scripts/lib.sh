# SPDX-License-Identifier: MIT
# Steps the project's scripts share, sourced by them (". scripts/lib.sh" from the top folder, or
# by the path of the script that sources it): a virtual display, a throwaway Wine prefix, and the
# Windows build's configure line. Each function says what it sets; none changes folder.

# The top folder of the checkout.
zelvane_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Starts a virtual display (Xvfb, 1024x768, no network) on a number Xvfb picks itself (a number
# picked here could be another server's) and exports DISPLAY. Sets xvfb_pid.
#   zelvane_start_xvfb <scratch folder>   (the display number is written to <folder>/display)
zelvane_start_xvfb() {
  local number_file=$1/display
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$number_file" ] && break
    sleep 0.1
  done
  [ -s "$number_file" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(cat "$number_file")"
}

# Makes a Wine prefix in <folder>/prefix, without a display, and exports WINEPREFIX, WINEDEBUG
# and WINEDLLOVERRIDES for the commands that follow. With a UART library (tests/support/wine,
# host/libwine_uart.so of the Windows build) Wine's processes load it, which gives its COM ports
# a UART's modem lines. Wine's own faces (fonts-wine) are linked into the prefix's font folder,
# where Debian's Wine finds them (README, "Wine differs from Windows"). The prefix's server is
# left to end; the next command starts one.
#   zelvane_wine_prefix <scratch folder> [uart library]
zelvane_wine_prefix() {
  export WINEPREFIX=$1/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  LD_PRELOAD=${2:-} DISPLAY= wineboot -i >/dev/null 2>&1
  wineserver -w
  local face
  for face in /usr/share/wine/fonts/*.ttf; do
    [ -e "$face" ] && ln -sf "$face" "$WINEPREFIX/drive_c/windows/Fonts/"
  done
  return 0
}

# Configures the Windows build (mingw-w64) in <build folder>, as the tests build it.
#   zelvane_configure_windows <build folder> [cmake arguments...]
zelvane_configure_windows() {
  local dir=$1
  shift
  cmake -S "$zelvane_top" -B "$dir" -G Ninja -DZELVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$zelvane_top/cmake/toolchains/mingw-w64-x86_64.cmake" "$@" >/dev/null
}

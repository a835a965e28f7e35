#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs Zelvane against the board simulator: installs what is missing, builds both programs,
# starts zelvane-board on a pseudo-terminal and Zelvane on it as COM7, with its settings in a
# throwaway folder (your own settings are never touched). Closing the window stops the simulator.
#
# Without a display (or with ZELVANE_HEADLESS=1) it runs on a virtual display instead, saves a
# screenshot once the first thermometer poll has filled the four fields and one of the history
# page a few polls later (against a plain board the demo polls every second), prints their paths
# and exits 0.
#
# With --windows first, the Windows build of Zelvane (build/windows, mingw-w64) runs under Wine
# instead, in a throwaway Wine prefix whose COM7 is the simulator's pseudo-terminal and whose
# registry holds the port number; its screenshots are named zelvane-windows*.png. ZELVANE_WINE_DPI
# (96) sets the prefix's screen density, e.g. 144 for a screen at 150 % (zelvane-windows-144dpi*).
#
# Arguments go to the simulator, e.g. ./scripts/run.sh --silent all   (a board that never answers)
#                                     ./scripts/run.sh --delay 800    (a slow board)
# See ./build/release/board/zelvane-board --help for all of them.
#
# A board that hangs up (--hangup-after N: the cable pulled after N commands) is plugged in again
# ZELVANE_REPLUG_SECONDS (5) later, on the same link: Zelvane reports the loss and finds the board
# again at a later thermometer tick. Without a display, screenshots of both moments follow the
# first one.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
top=$zelvane_top

windows=0
if [ "${1:-}" = --windows ]; then
  windows=1
  shift
fi

./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if [ "$windows" = 1 ]; then
  # The simulator is a Linux program; Zelvane and the UART emulation for Wine's side of the
  # pty (tests/support/wine) come from the Windows build, configured as the windows stage does.
  cmake --build build/release -j "$(nproc)" --target zelvane-board
  zelvane_configure_windows build/windows
  cmake --build build/windows -j "$(nproc)" --target zelvane wine_host_tools
else
  cmake --build build/release -j "$(nproc)" --target zelvane zelvane-board
fi

port=7
replug=${ZELVANE_REPLUG_SECONDS:-5}
hangs_up=0
for arg in "$@"; do [ "$arg" = --hangup-after ] && hangs_up=1; done
work=$(mktemp -d /tmp/zelvane-run.XXXXXX)
link=$work/board-line
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ "$windows" = 1 ] && wineserver -k 2>/dev/null || true
  [ -s "$work/board.pid" ] && kill "$(cat "$work/board.pid")" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The settings store holds the port number, as a first run would have left it.
mkdir -p "$work/config/zelvane"
printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Brennwick\\Zelvane]\n"PortNum"=dword:%08x\n' \
  "$port" >"$work/config/zelvane/user.reg"

# Under Wine: a prefix of its own, made without a display (as the windows stage does), whose
# registry holds the port number. Wine's processes (its server included) load the UART
# emulation, which gives the pty the modem lines of a real COM port.
if [ "$windows" = 1 ]; then
  uart=$top/build/windows/host/libwine_uart.so
  echo "Making a Wine prefix in $work/prefix (a minute the first time)"
  zelvane_wine_prefix "$work" "$uart"
  LD_PRELOAD=$uart wine reg add 'HKCU\Software\Brennwick\Zelvane' /v PortNum /t REG_DWORD \
    /d "$port" /f >/dev/null 2>&1
  dpi=${ZELVANE_WINE_DPI:-96}
  for key in 'HKCU\Control Panel\Desktop' \
    'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    LD_PRELOAD=$uart wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  done
  wineserver -w  # the program's own start brings up a server (and desktop) on the display
fi

# The board on the link, once; a board that hung up is plugged in again (board-2.log, ...).
serve_board() {
  local n=1
  while :; do
    build/release/board/zelvane-board --pty --link "$link" --log "$work/board-$n.log" "$@" \
      >"$work/board-$n.out" &
    echo $! >"$work/board.pid"
    wait $! || return 0
    [ "$hangs_up" = 1 ] || return 0
    echo "The board hung up; it is plugged in again in $replug s." >&2
    sleep "$replug"
    n=$((n + 1))
  done
}
serve_board "$@" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/board-1.out" ] && break; sleep 0.1; done
slave=$(head -n 1 "$work/board-1.out" 2>/dev/null || true)
if [ -z "$slave" ]; then
  echo "The board simulator did not start:" >&2
  cat "$work/board-1.log" >&2 2>/dev/null || true
  exit 1
fi
echo "Board simulator on $slave, linked as $link (its byte log: $work/board-1.log while running)"

if [ "$windows" = 1 ]; then
  # COM7 of the prefix is the link, which always names the board's current line.
  ln -sfn "$link" "$WINEPREFIX/dosdevices/com$port"
  program=(env LD_PRELOAD="$uart" wine build/windows/bin/zelvane.exe)
  shots=zelvane-windows
  [ "$dpi" = 96 ] || shots=$shots-${dpi}dpi
  visible=--onlyvisible  # Wine also makes X windows for windows never shown
else
  export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"  # the temperature log too
  export "COMM_PORT_$port=$link"
  program=(build/release/app/zelvane)
  shots=zelvane
  visible=
fi

# The temperature log starts with the hour before, as an earlier run would have left it (a poll
# every 10 s, thermometer 3 without data for five minutes): the history page reads it at start.
if [ "$windows" = 1 ]; then
  log_folder="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Zelvane"
else
  log_folder="$XDG_DATA_HOME/zelvane"
fi
mkdir -p "$log_folder"
/usr/bin/python3 - "$log_folder" <<'EOF'
import datetime, math, pathlib, sys
now = datetime.datetime.now().astimezone().replace(microsecond=0)
for age in range(3600, 0, -10):
    t = (now - datetime.timedelta(seconds=age)).astimezone()
    texts = ["%+.1f" % (21 + 2 * math.sin(age / 700 + i) + i) for i in range(4)]
    if 1500 < age <= 1800:
        texts[2] = "Нет данных"
    numbers = ["" if x == "Нет данных" else "%g" % float(x) for x in texts]
    path = pathlib.Path(sys.argv[1]) / t.strftime("zelvane-%Y-%m-%d.csv")
    with open(path, "a", encoding="utf-8") as log:
        if log.tell() == 0:
            log.write("\ufeffВремя,Термометр №1,Термометр №2,Термометр №3,Термометр №4,"
                      "№1 °C,№2 °C,№3 °C,№4 °C\n")
        log.write(",".join([t.isoformat()] + texts + numbers) + "\n")
EOF
echo "Temperature log (an hour of demo readings to start with): $log_folder"

if [ "${ZELVANE_HEADLESS:-0}" != 1 ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "${program[@]}"
  exit 0
fi

# No display: a virtual one, a screenshot after the first poll, and done. Against a plain board
# the demo polls every second (ZELVANE_DEMO_POLL_MS), so that the history page has a few polls to
# show. A board given faults keeps the program's own ten seconds: unasked bytes or a slow reply
# must meet a poll as they would in use, not one that follows the last with no pause between.
[ $# -gt 0 ] || export ZELVANE_DEMO_POLL_MS=${ZELVANE_DEMO_POLL_MS:-1000}
zelvane_start_xvfb "$work"
pids+=("$xvfb_pid")
"${program[@]}" >"$work/zelvane.log" 2>&1 &
zelvane=$!
pids+=("$zelvane")

# The first poll runs ten seconds after the window opens. Wait for its first command, then for
# its last (a silent or slow board may never get there: an exchange gives up after two seconds).
wait_for() {  # pattern, tenths of a second, log (board-1.log)
  for _ in $(seq "$2"); do
    grep -q "$1" "$work/${3:-board-1.log}" 2>/dev/null && return 0
    kill -0 "$zelvane" 2>/dev/null || { cat "$work/zelvane.log" >&2; exit 1; }
    sleep 0.1
  done
  return 1
}
mkdir -p build/demo
window=
scale=${dpi:-96}  # the tabs' places below are for 96 dpi
screenshot() {  # file name
  [ -n "$window" ] || window=$(xdotool search $visible --name '^Zelvane 0.1$' | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  scrot --overwrite --autoselect "$X,$Y,$WIDTH,$HEIGHT" "$top/build/demo/$1"
  echo "Screenshot: $top/build/demo/$1"
}
wait_for 'BA (command' 600 || { echo "Zelvane sent no command in 60 s" >&2; exit 1; }
wait_for 'BD (command' 80 || true
sleep 0.5
screenshot "$shots.png"

# scripts/screenshots.sh: the scheduler page too (its tab is the second one, top left).
if [ "${ZELVANE_ALL_PAGES:-0}" = 1 ]; then
  xdotool mousemove $((X + 130 * scale / 96)) $((Y + 18 * scale / 96)) click 1
  sleep 0.5
  screenshot "$shots-scheduler.png"
  xdotool mousemove $((X + 40 * scale / 96)) $((Y + 18 * scale / 96)) click 1
fi

# The history page (the third tab) a few seconds later: a few more polls at the demo pace.
if [ "$hangs_up" = 0 ]; then
  sleep 6
  xdotool mousemove $((X + 205 * scale / 96)) $((Y + 18 * scale / 96)) click 1
  sleep 1
  screenshot "$shots-history.png"
fi

# The board unplugged, and found again.
if [ "$hangs_up" = 1 ]; then
  first_board=$(cat "$work/board.pid")
  for _ in $(seq 600); do kill -0 "$first_board" 2>/dev/null || break; sleep 0.1; done
  sleep 1
  screenshot "$shots-unplugged.png"
  wait_for 'BD (command' 300 board-2.log || { echo "The board was not found again" >&2; exit 1; }
  sleep 0.5
  screenshot "$shots-replugged.png"
fi

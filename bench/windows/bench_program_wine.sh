#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Zelvane's Windows build under Wine on a virtual display, in one run:
#  - start-up to window shown, against a minimal Win32 window with one line of text
#    (minimal_window.exe): from the launch until its top-level X window is mapped and visible
#    (xdotool, polled every 10 ms), the median of RUNS (5) starts of each, taken in turn;
#  - the same against Zelvane's first page written directly in Win32 with Zelvane's manifest
#    (controls_window.exe): what the common controls and the controls cost is in both, so the
#    ratio is what Zelvane's framework, libraries and port add;
#  - resident memory of each (VmRSS of the Wine process, 3 s after its window showed);
#  - idle CPU of zelvane.exe, and of the wineserver, with a silent board (--silent all) over
#    IDLE_SECONDS (30): the thermometer poll still tries every ten seconds.
# The programs run from the Windows build installed as a user gets it (cmake --install --strip:
# no debug information, which Wine would read into memory). The Wine prefix is a throwaway one
# with a persistent wineserver and desktop process, as a desktop session has (without a program
# holding it, Wine ends the desktop process a moment after each program, and each start paid
# for a new one: about 350 ms, and now and then a start that never got a display); the first
# start of each program is a warm-up and is not counted.
#   bench/windows/bench_program_wine.sh [LINUX_BUILD] [WINDOWS_BUILD]   (build/release, build/windows)
# With MAPS_OUT=<folder>, each program's memory map (/proc/<pid>/smaps) at its last memory
# sample is kept there, and the files mapped with the most resident memory are listed.
# (Wine 8 keeps about 1 MiB resident in each thread's anonymous stack area, whatever stack size
# the thread asks for: zelvane.exe's worker threads are most of its anonymous memory.)
# The Linux build needs zelvane-board; the Windows build zelvane.exe, minimal_window.exe,
# controls_window.exe and host/libwine_uart.so.
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib.sh"
linux=${1:-build/release}
windows=$(realpath "${2:-build/windows}")
runs=${RUNS:-5}
idle_seconds=${IDLE_SECONDS:-30}
com=7

work=$(mktemp -d)
uart=$windows/host/libwine_uart.so
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

cmake --install "$windows" --prefix "$work/install" --strip >/dev/null
for baseline in minimal_window controls_window; do
  x86_64-w64-mingw32-strip -o "$work/install/bin/$baseline.exe" "$windows/bin/$baseline.exe"
done
programs=$work/install/bin

zelvane_wine_prefix "$work" "$uart"
LD_PRELOAD=$uart wine reg add 'HKCU\Software\Brennwick\Zelvane' /v PortNum /t REG_DWORD /d $com \
  /f >/dev/null 2>&1
wineserver -w

# A display of its own, whose number Xvfb picks (another Xvfb's windows are never searched).
zelvane_start_xvfb "$work"
pids+=("$xvfb_pid")
LD_PRELOAD=$uart wineserver -p
# The desktop process (explorer.exe), kept for the whole run by a console program that waits
# for a key on a pipe no one writes to (opened for reading and writing, it never ends).
mkfifo "$work/no-key"
LD_PRELOAD=$uart wine cmd.exe /c pause <>"$work/no-key" >/dev/null 2>&1 &
pids+=("$!")
for _ in $(seq 100); do pgrep -f 'explorer.exe /desktop' >/dev/null && break; sleep 0.1; done

board=
board_log=
start_board() {  # log name, simulator options...
  board_log=$work/$1
  shift
  [ -n "$board" ] && kill "$board" && wait "$board" 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com$com" "$work/board.out"
  "$linux/board/zelvane-board" --pty --link "$WINEPREFIX/dosdevices/com$com" \
    --log "$board_log" "$@" >"$work/board.out" &
  board=$!
  pids+=("$board")
  for _ in $(seq 100); do [ -s "$work/board.out" ] && break; sleep 0.05; done
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Starts the program and waits for its window (the Wine process is the launcher's process: a
# window of an earlier run, not yet gone, is not taken for it); sets shown_ms, window and pid.
launch() {  # exe, window title
  local started w
  started=$(now_ms)
  LD_PRELOAD=$uart wine "$programs/$1" >/dev/null 2>&1 &
  pid=$!
  pids+=("$pid")
  window=
  for _ in $(seq 3000); do
    for w in $(xdotool search --onlyvisible --name "^$2\$" 2>/dev/null); do
      [ "$(xdotool getwindowpid "$w" 2>/dev/null)" = "$pid" ] && window=$w
    done
    [ -n "$window" ] && break
    sleep 0.01
  done
  [ -n "$window" ] || { echo "$1 showed no window" >&2; exit 1; }
  shown_ms=$(($(now_ms) - started))
}

# Ends the program and lets Wine settle before the next start.
close_program() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  sleep 2
}

rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
median() { sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

start_board board.log
declare -A times memory
programs_list=(minimal_window.exe:'Minimal window' controls_window.exe:'Controls window'
  zelvane.exe:'Zelvane 0.1')
for program in "${programs_list[@]}"; do
  launch "${program%%:*}" "${program#*:}"  # warm-up
  close_program
done
for run in $(seq "$runs"); do
  for program in "${programs_list[@]}"; do
    exe=${program%%:*}
    launch "$exe" "${program#*:}"
    times[$exe]+="$shown_ms "
    sleep 3
    memory[$exe]+="$(rss_kib "$pid") "
    [ -z "${MAPS_OUT:-}" ] || cp "/proc/$pid/smaps" "$MAPS_OUT/$exe.smaps"
    close_program
  done
done

report() {  # exe
  local t m
  t=$(tr ' ' '\n' <<<"${times[$1]}" | grep . | median)
  m=$(tr ' ' '\n' <<<"${memory[$1]}" | grep . | median)
  echo "$t $m"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
mib() { awk -v k="$1" 'BEGIN {printf "%.1f", k / 1024}'; }
read -r min_ms min_kib < <(report minimal_window.exe)
read -r con_ms con_kib < <(report controls_window.exe)
read -r zel_ms zel_kib < <(report zelvane.exe)
echo "start-up to window shown, median of $runs: minimal window $min_ms ms, zelvane.exe $zel_ms ms" \
  "($(ratio "$zel_ms" "$min_ms")x)"
echo "  against the first page written directly: $con_ms ms ($(ratio "$zel_ms" "$con_ms")x;" \
  "that window is $(ratio "$con_ms" "$min_ms")x the minimal one)"
echo "  each run (ms): minimal ${times[minimal_window.exe]}; controls" \
  "${times[controls_window.exe]}; zelvane ${times[zelvane.exe]}"
echo "resident memory, median: minimal window $(mib "$min_kib") MiB, zelvane.exe" \
  "$(mib "$zel_kib") MiB ($(ratio "$zel_kib" "$min_kib")x)"
echo "  against the first page written directly: $(mib "$con_kib") MiB" \
  "($(ratio "$zel_kib" "$con_kib")x)"

# Resident memory by what is mapped (a file, or [heap], [stack] and the like; anonymous
# mappings together), largest first.
largest_mappings() {  # smaps file
  awk '/^[0-9a-f]+-[0-9a-f]+ / {name = NF >= 6 ? $NF : "(anonymous)"}
       /^Rss:/ {rss[name] += $2}
       END {for (n in rss) if (rss[n] >= 256) printf "%8d KiB  %s\n", rss[n], n}' "$1" |
    sort -rn | head -n 12
}
if [ -n "${MAPS_OUT:-}" ]; then
  for exe in minimal_window.exe controls_window.exe zelvane.exe; do
    echo "resident memory of $exe by mapping, the last run:"
    largest_mappings "$MAPS_OUT/$exe.smaps"
  done
fi

# Idle: a board that never answers; CPU time of the program and of this prefix's wineserver.
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
server_pid() {  # the wineserver whose working folder is this prefix's server folder
  local id dir p
  id=$(stat -c '%d %i' "$WINEPREFIX")
  dir=$(printf 'server-%x-%x' ${id})
  for p in /proc/[0-9]*; do
    [[ "$(readlink "$p/cwd" 2>/dev/null)" == */"$dir" ]] && { echo "${p#/proc/}"; return; }
  done
}
# CPU time over IDLE_SECONDS of the program just launched and of the wineserver, in per cent of
# a core.
idle_cpu() {
  local server program_before server_before
  sleep 2
  server=$(server_pid)
  program_before=$(cpu_ticks "$pid")
  server_before=$(cpu_ticks "$server")
  sleep "$idle_seconds"
  echo "$(percent $(($(cpu_ticks "$pid") - program_before))) %," \
    "wineserver $(percent $(($(cpu_ticks "$server") - server_before))) %"
}
ticks=$(getconf CLK_TCK)
percent() { awk -v t="$1" -v hz="$ticks" -v s="$idle_seconds" 'BEGIN {printf "%.2f", 100 * t / hz / s}'; }

launch minimal_window.exe 'Minimal window'
echo "idle CPU over $idle_seconds s, in per cent of a core: minimal window $(idle_cpu)"
close_program
start_board silent-board.log --silent all
launch zelvane.exe 'Zelvane 0.1'
echo "  zelvane.exe, a silent board: $(idle_cpu)"
echo "  (commands the silent board received meanwhile: $(grep -c ' <- ' "$board_log" || true))"
close_program

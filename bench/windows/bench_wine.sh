#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# TCommPort natively and under Wine against the same board simulator on the same pty, in one run:
# open, exchange ("BZ" and its reply) and close times, and the difference of the exchanges.
#   bench/windows/bench_wine.sh [LINUX_BUILD] [WINDOWS_BUILD]   (build/release, build/windows)
# The Linux build needs zelvane-board and bench_port_exchange, the Windows build
# bench_port_exchange.exe and host/libwine_uart.so. Uses $WINEPREFIX (default: a throwaway one).
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib.sh"
linux=${1:-build/release}
windows=${2:-build/windows}
com=9
export WINEDEBUG=-all
work=$(mktemp -d)
if [ -z "${WINEPREFIX:-}" ]; then
  zelvane_wine_prefix "$work"
fi
cleanup() {
  [ -n "${board:-}" ] && kill "$board" 2>/dev/null && wait "$board" 2>/dev/null
  rm -f "$WINEPREFIX/dosdevices/com$com"
  rm -rf "$work"
}
trap cleanup EXIT

"$linux/board/zelvane-board" --pty --log "$work/board.log" >"$work/slave" &
board=$!
for _ in $(seq 100); do [ -s "$work/slave" ] && break; sleep 0.05; done
slave=$(head -n 1 "$work/slave")
ln -sf "$slave" "$WINEPREFIX/dosdevices/com$com"

echo "native: $(COMM_PORT_9="$slave" "$linux/bench/windows/bench_port_exchange" $com)"
echo "wine:   $(LD_PRELOAD="$PWD/$windows/host/libwine_uart.so" \
  wine "$windows/bin/bench_port_exchange.exe" $com | tr -d '\r')"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the examples as a user would, against the board simulator on a pseudo-terminal reached as
# COM7: the request/reply program (a reply, a silent board, a missing device), the README's own
# minimal program, the event-driven program through a hang-up and the board's return, and the
# port lister.
# Usage: run_examples.sh BOARD REQUEST_REPLY README_PROGRAM EVENTS LIST_PORTS
set -euo pipefail
board=$1 request_reply=$2 readme_program=$3 events=$4 list_ports=$5
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export COMM_PORT_7=$work/line

fail() {
  echo "FAILED: $*" >&2
  for f in "$work"/*.out "$work"/*.log; do echo "--- $f" >&2; cat "$f" >&2; done
  exit 1
}

# Starts a board (its number names its files) and waits until it serves the link.
start_board() {
  local n=$1
  shift
  "$board" --link "$work/line" --log "$work/board-$n.log" --temps 23.5,-4,20,21.5 --drift 0 "$@" \
    >"$work/board-$n.out" &
  board_pid=$!
  for _ in $(seq 100); do [ -s "$work/board-$n.out" ] && return 0; sleep 0.1; done
  fail "board $n did not start"
}

expect_output() {  # expected text, command...
  local expected=$1 got
  shift
  got=$("$@" 2>"$work/stderr.out") || fail "$* exited with $?"
  [ "$got" = "$expected" ] || fail "$*: printed '$got', expected '$expected'"
}

expect_status() {  # expected status, command...
  local expected=$1 status=0
  shift
  "$@" >"$work/stdout.out" 2>"$work/stderr.out" || status=$?
  [ "$status" = "$expected" ] || fail "$*: exit status $status, expected $expected"
}

start_board 1
expect_output "+23.5" "$request_reply"
expect_output "+21.5" "$request_reply" 7 BD
expect_output "+23.5" "$readme_program"
kill "$board_pid"; wait "$board_pid" || true

start_board 2 --silent all
expect_status 1 "$request_reply"
grep -q "no reply to BA" "$work/stderr.out" || fail "no 'no reply' message"
kill "$board_pid"; wait "$board_pid" || true

COMM_PORT_7=$work/no-such-device expect_status 2 "$request_reply"
grep -q "COM7: error 2" "$work/stderr.out" || fail "the open failure does not say why"

# The board hangs up after its second command, comes back a moment later on the same link.
start_board 3 --hangup-after 2
"$events" 7 12 >"$work/events.out" 2>&1 &
events_pid=$!
wait "$board_pid" || true
start_board 4
wait "$events_pid" || fail "events exited with $?"
kill "$board_pid"; wait "$board_pid" || true
grep -q "^port open$" "$work/events.out" || fail "events did not open the port"
grep -q "device gone" "$work/events.out" || fail "events did not see the hang-up"
sed -n '/device back: port open again/,$p' "$work/events.out" | grep -q "received 5 bytes: +23.5" \
  || fail "events did not read the board again after it came back"

"$list_ports" >"$work/list.out" || fail "list_ports exited with $?"
grep -q "Port map:" "$work/list.out" || fail "list_ports printed no port map"
echo "examples: all ran as expected"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Screenshots of the three pages of the Zelvane window, on a virtual display, against the board
# simulator (arguments go to the simulator, as with run.sh). Not part of the tests: for looking
# at the layout. With --windows first, the Windows build under Wine (build/demo/zelvane-windows*).
set -euo pipefail
cd "$(dirname "$0")/.."
ZELVANE_HEADLESS=1 ZELVANE_ALL_PAGES=1 exec ./scripts/run.sh "$@"

#!/usr/bin/env bash
# Runs the Zelvane program against the board simulator.
set -euo pipefail
echo "The Zelvane program and the board simulator are not built yet: only the Comm library,"
echo "its platform layer and their tests exist so far. Run ./scripts/test.sh to build and test them."
exit 1

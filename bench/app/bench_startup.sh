#!/bin/sh
# SPDX-License-Identifier: MIT
# Runs bench_startup on its own virtual display: sh bench/app/bench_startup.sh [BUILD_DIR]
build=${1:-build/release}
exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -nolisten tcp" \
  "$build/bench/app/bench_startup" "$build/bench/app/bench_anchor" "$build/app/zelvane"

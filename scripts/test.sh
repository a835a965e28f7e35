#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs every test of the project: a format check of every tracked source, the
# static checks of clang-tidy (.clang-tidy files) over every tracked source the build compiles, a
# normal build, a ThreadSanitizer build, an AddressSanitizer+UndefinedBehaviorSanitizer build, a
# short bounded run of each fuzz target, the Debian packages built and checked with lintian, and a
# Windows build (mingw-w64) whose tests run under Wine. Every build treats warnings as errors.
# Installs the Debian packages it needs first.
# Usage: ./scripts/test.sh [format|tidy|release|tsan|asan|fuzz|package|windows]...
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
./scripts/install-deps.sh

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(format tidy release tsan asan fuzz package windows)
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-20}

configure_and_build() {  # dir, extra cmake args... (BUILD_TARGET: one target instead of all)
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DZELVANE_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
}

summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

run_ctest() {  # dir, extra ctest args...
  local dir=$1; shift
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" | tee -a "$summary"
}

for stage in "${stages[@]}"; do
  echo "==== $stage"
  case "$stage" in
    format)
      # Every C and C++ source in git, whoever added it, as the repository's .clang-format says.
      git ls-files -z '*.c' '*.cc' '*.cpp' '*.h' '*.hpp' | xargs -0 -r clang-format --dry-run --Werror
      echo "format: clean"
      ;;
    tidy)
      # Every tracked C++ source of the release build, checked with that build's compile
      # commands (configuring is enough: no generated header is needed); any finding fails.
      cmake -S . -B build/release -G Ninja -DZELVANE_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        >/dev/null
      compiled=$(grep -o '"file": "[^"]*"' build/release/compile_commands.json | cut -d'"' -f4)
      git ls-files -z --full-name '*.cpp' | while IFS= read -r -d '' f; do
        if grep -qxF "$PWD/$f" <<<"$compiled"; then printf '%s\0' "$f"; fi
      done | xargs -0 -r -n 4 -P "$jobs" clang-tidy -p build/release --quiet
      echo "tidy: clean"
      ;;
    release)
      configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
      run_ctest build/release
      ;;
    tsan)
      configure_and_build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVANE_SANITIZE=thread \
        -DZELVANE_BENCH=OFF
      TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build/tsan -L tsan
      ;;
    asan)
      configure_and_build build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVANE_SANITIZE=address \
        -DZELVANE_BENCH=OFF
      ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" run_ctest build/asan
      ;;
    fuzz)
      BUILD_TARGET=fuzzers configure_and_build build/fuzz -DCMAKE_CXX_COMPILER=clang++ \
        -DZELVANE_FUZZ=ON -DZELVANE_TESTS=OFF -DZELVANE_BENCH=OFF
      shopt -s nullglob
      work=$(mktemp -d)
      for target in build/fuzz/fuzz/fuzz_*; do
        [ -x "$target" ] || continue
        name=$(basename "$target")
        # Run on a scratch copy of the seed corpus so the tree stays clean; keep any crash input.
        mkdir -p "$work/$name" build/fuzz/artifacts
        [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/$name/"
        echo "-- $name for ${fuzz_seconds}s"
        "$target" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
          -artifact_prefix="build/fuzz/artifacts/$name-" "$work/$name" 2>&1 | tail -n 4
      done
      rm -rf "$work"
      ;;
    package)
      # The Debian packages of the release build (cmake/Package.cmake), checked by Debian's rules:
      # lintian fails the stage on any error or warning not overridden, with its reason, in the
      # package; the menu entry must pass desktop-file-validate.
      configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
      rm -f build/release/*.deb
      (cd build/release && cpack -G DEB >cpack.log) || { cat build/release/cpack.log; exit 1; }
      ls build/release/*.deb
      lintian --fail-on error,warning --display-level ">=warning" build/release/*.deb
      desktop-file-validate app/res/zelvane.desktop
      echo "package: lintian and desktop-file-validate clean"
      ;;
    windows)
      # A throwaway Wine prefix; its wineserver is started by the first test, which gives it the
      # tests' UART emulation (tests/support/wine/CMakeLists.txt). The GUI tests need a display: a
      # virtual one (Xvfb, no window manager) when there is none.
      wine_prefix=$(mktemp -d)
      xvfb_pid=
      if [ -z "${DISPLAY:-}" ]; then
        zelvane_start_xvfb "$wine_prefix"
      fi
      end_windows() { wineserver -k || true; [ -z "$xvfb_pid" ] || kill "$xvfb_pid"; rm -rf "$wine_prefix"; }
      zelvane_wine_prefix "$wine_prefix"
      zelvane_configure_windows build/windows
      cmake --build build/windows -j "$jobs"
      run_ctest build/windows || { end_windows; exit 1; }
      end_windows
      [ -z "$xvfb_pid" ] || unset DISPLAY
      unset WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
      ;;
    *) echo "unknown stage: $stage" >&2; exit 2 ;;
  esac
done

# One closing line over every ctest stage that ran (none when only other stages ran).
total=$({ grep -Eo 'tests failed out of [0-9]+' "$summary" || true; } | awk '{s += $5} END {print s + 0}')
failed=$({ grep -Eo '[0-9]+ tests failed out of' "$summary" || true; } | awk '{s += $1} END {print s + 0}')
if [ "$total" -gt 0 ]; then
  echo "Tests: $((total - failed)) passed, $failed failed"
fi


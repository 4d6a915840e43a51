#!/usr/bin/env bash
# Installs what Quovis needs, then builds and runs every test: the release build with all
# tests (display tests under a private Xvfb), then the AddressSanitizer+UBSan and
# ThreadSanitizer builds of the tests that need no display.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
start=$(date +%s)

run_preset() {
  local preset=$1
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== $preset: test"
  if [ "$preset" = release ]; then
    # The display tests run the saver under a private X server with Mesa's OpenGL; one test
    # at a time there, since they look at the whole screen.
    xvfb-run -a -s "-screen 0 1280x720x24 +extension GLX" \
      ctest --preset "$preset" -j "$jobs" -LE display
    xvfb-run -a -s "-screen 0 1280x720x24 +extension GLX" \
      ctest --preset "$preset" -j 1 -L display
  else
    ctest --preset "$preset" -j "$jobs"
  fi
}

run_preset release
run_preset asan
run_preset tsan

echo "=== all tests passed in $(( $(date +%s) - start )) s"

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
  ctest --preset "$preset" -j "$jobs"
}

run_preset release
run_preset asan
run_preset tsan

echo "=== all tests passed in $(( $(date +%s) - start )) s"

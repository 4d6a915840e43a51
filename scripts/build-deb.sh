#!/usr/bin/env bash
# Builds the Debian package of Quovis: a release build for the baseline x86-64 instruction set
# (so the package runs on any amd64 machine; the kernels pick their vector width at build time
# from what is enabled), without tests or benchmarks, then CPack's DEB generator. Prints the
# package's path on its last line.
#
#   scripts/build-deb.sh [BUILD_DIR]     (default build/deb)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${1:-build/deb}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUOVIS_ARCH= \
  -DQUOVIS_BUILD_TESTS=OFF -DQUOVIS_BUILD_BENCH=OFF -DQUOVIS_WERROR=ON >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB >/dev/null)
ls "$(cd "$build" && pwd)"/quovis_*_amd64.deb

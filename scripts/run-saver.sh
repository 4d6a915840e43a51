#!/usr/bin/env bash
# Installs what Quovis needs, builds the release configuration and runs the saver in a window
# of its own (close the window, or press Ctrl+C here, to stop it). Arguments are passed on:
# scripts/run-saver.sh /s runs it full screen. Without a display it renders the built-in
# presets into quovis-presets.png in the current folder instead and prints its path.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$PWD/quovis-presets.png"
cd "$root"
scripts/install-deps.sh
# Warnings stay warnings here (the test command makes them errors): a newer compiler's new
# warning must not stop someone from running the saver.
cmake --preset release -DQUOVIS_WERROR=OFF >/dev/null
cmake --build --preset release
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  if [ $# -eq 0 ]; then set -- --window; fi
  exec build/release/host/quovis "$@"
fi
echo "No display: drawing the built-in presets into a picture instead."
build/release/tools/quovis-tool render --contact-sheet --builtin --size 448x252 --cell 224x126 \
  --frames 300 --out "$out"
echo "Quovis drew its built-in presets into $out"

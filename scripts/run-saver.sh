#!/usr/bin/env bash
# Installs what Quovis needs, builds the release configuration and runs it. Until the saver
# window exists this renders all 30 pattern styles without a screen into one picture,
# quovis-contact-sheet.png in the current folder, and prints its path.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$PWD/quovis-contact-sheet.png"
cd "$root"
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
build/release/tools/quovis-tool render --contact-sheet --size 320x180 --frames 300 --out "$out"
echo "Quovis drew all 30 pattern styles into $out"

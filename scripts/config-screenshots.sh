#!/usr/bin/env bash
# Screenshots of the configuration window, one per page, for the README:
#   scripts/config-screenshots.sh [BUILD_DIR] [OUT_DIR]
# Runs `quovis` (the window) under a private Xvfb with a fresh profile, opening it on each
# page in turn (the window reopens on the page it was closed on), and writes
# OUT_DIR/config-<page>.png. Needs xvfb-run and ImageMagick's import.
set -euo pipefail
build=$(realpath "${1:-build/release}")
out=$(realpath -m "${2:-docs}")
if [ -z "${QUOVIS_SHOTS_INSIDE:-}" ]; then
  QUOVIS_SHOTS_INSIDE=1 exec xvfb-run -a -s "-screen 0 1100x700x24" "$0" "$build" "$out"
fi
# The page numbers the window remembers, the tabs in order. About has no tab: it is reached
# by its button, clicked where the window puts it (xdotool).
pages=(home pattern color display options audio slideshow about)
numbers=(0 1 2 3 4 5 6 0)
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
export XDG_CONFIG_HOME=$profile/config XDG_RUNTIME_DIR=$profile/run
mkdir -p "$XDG_RUNTIME_DIR" "$out" && chmod 700 "$XDG_RUNTIME_DIR"
for i in "${!pages[@]}"; do
  "$build/tools/quovis-tool" config set Config CurrentTab int "${numbers[$i]}" >/dev/null
  "$build/host/quovis" &
  pid=$!
  sleep 5
  if [ "${pages[$i]}" = about ]; then
    window=$(xdotool search --name '^Quovis$' | head -1)
    xdotool mousemove --window "$window" 645 462 click 1
    sleep 1
  fi
  import -window root -trim +repage "$out/config-${pages[$i]}.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$out/config-${pages[$i]}.png"
done

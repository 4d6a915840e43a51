#!/usr/bin/env bash
# Screenshots of the configuration window, one per page, for the README:
#   scripts/config-screenshots.sh [BUILD_DIR] [OUT_DIR]
# Runs `quovis` (the window) under a private Xvfb with a fresh profile, opening it on each
# page in turn (the window reopens on the page it was closed on), and writes
# OUT_DIR/config-<page>.png. Needs xvfb-run, xdotool and ImageMagick's import and convert.
#
# The library pages (Share, Library, Info) talk to a private quovis-library-server on the
# loopback interface, into which a few presets are shared first (with quovis-tool, as three
# users: two others and the window's own user). Without the server program they are skipped.
set -euo pipefail
build=$(realpath "${1:-build/release}")
out=$(realpath -m "${2:-docs}")
if [ -z "${QUOVIS_SHOTS_INSIDE:-}" ]; then
  QUOVIS_SHOTS_INSIDE=1 exec xvfb-run -a -s "-screen 0 1100x700x24" "$0" "$build" "$out"
fi
tool=$build/tools/quovis-tool
server=$build/library_server/quovis-library-server
# The page numbers the window remembers, the tabs in order. About and Info have no tab: About
# is reached by its button, clicked where the window puts it (xdotool); Info from the Library
# page, whose first row is selected when the list arrives (Alt+D shows its details).
pages=(home pattern color display options audio slideshow share library info about)
numbers=(0 1 2 3 4 5 6 7 8 8 0)
profile=$(mktemp -d)
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$profile"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$profile/config XDG_RUNTIME_DIR=$profile/run
mkdir -p "$XDG_RUNTIME_DIR" "$out" && chmod 700 "$XDG_RUNTIME_DIR"

# Shares built-in preset $4 as "$1" by author $2 from location $3, with a picture of it,
# from the profile in $XDG_CONFIG_HOME.
share() {
  local title=$1 author=$2 location=$3 builtin=$4 preset slot
  # A new favorite takes its author and location from "My Quovis".
  "$tool" config set Config Author text "$author" >/dev/null
  "$tool" config set Config Location text "$location" >/dev/null
  preset=$("$tool" preset builtin "$builtin")
  preset="$title,${preset#*,}"
  preset=${preset/,-,-,/,$author,$location,}
  slot=$("$tool" favorites add "$title" "$preset" | sed -n 's/.* in slot \([0-9]*\)$/\1/p')
  "$tool" render --builtin "$builtin" --size 320x200 --frames 240 --out "$profile/shot.png" \
    >/dev/null
  convert "$profile/shot.png" -quality 92 "$profile/shot.jpg"
  "$tool" library share "$slot" --picture "$profile/shot.jpg" --server "$library" >/dev/null
}

library_shots=yes
if [ -x "$server" ]; then
  port=$((20000 + RANDOM % 20000))
  library=http://127.0.0.1:$port
  "$server" --listen "127.0.0.1:$port" --database "$profile/library.db" 2>"$profile/server.log" &
  server_pid=$!
  sleep 1
  # Two other users, then the window's own user, then one more other: the newest item is
  # someone else's, which the details page shows.
  (export XDG_CONFIG_HOME=$profile/ana
   share "Amber Tide" Ana Lisbon Beads
   share "Night Garden" Ana Lisbon "Alien World")
  (export XDG_CONFIG_HOME=$profile/kofi
   share "Glass Rain" Kofi Accra "Into The Light")
  "$tool" config set Config LibraryServer text "$library" >/dev/null
  share "Quiet Orbit" Sam Glasgow "Audio Trillium"
  (export XDG_CONFIG_HOME=$profile/mira
   share "Solar Lace" Mira "Kraków" "Oru Trillium")
  # Two downloads for the popular sort to show.
  for id in 1 1 3; do
    XDG_CONFIG_HOME=$profile/kofi "$tool" library add "$id" --replace --server "$library" \
      >/dev/null
  done
else
  echo "no $server: the library pages are left out" >&2
  library_shots=
fi

for i in "${!pages[@]}"; do
  case ${pages[$i]} in
    share | library | info) [ -n "$library_shots" ] || continue ;;
  esac
  "$tool" config set Config CurrentTab int "${numbers[$i]}" >/dev/null
  "$build/host/quovis" &
  pid=$!
  sleep 5
  window=$(xdotool search --name '^Quovis$' | head -1)
  case ${pages[$i]} in
    about)
      # The button sits at a fixed distance from the window's lower right corner.
      eval "$(xdotool getwindowgeometry --shell "$window")"
      xdotool mousemove --window "$window" $((WIDTH - 224)) $((HEIGHT - 51)) click 1
      sleep 1
      ;;
    info)
      xdotool windowfocus --sync "$window" key alt+d
      sleep 2
      ;;
  esac
  import -window root -trim +repage "$out/config-${pages[$i]}.png"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "$out/config-${pages[$i]}.png"
done

#!/usr/bin/env bash
# For maintainers (CI does not run it: it installs, creates a user and runs for a while):
# shows the installed saver running as an xscreensaver hack. Installs a build into a temporary
# prefix, then, as an ordinary user (xscreensaver refuses to run as root; run as root, the
# script creates the user "quovis-xss" for the run and removes it afterwards), starts Xvfb and
# xscreensaver with "quovis --root" as its only program, activates it with
# xscreensaver-command, and takes a picture of the screen. It passes when quovis runs under
# xscreensaver and the picture is lit; the picture is left as xscreensaver-quovis.png.
#
#   scripts/check-xscreensaver.sh [BUILD_DIR]      (default build/release, built already)
set -euo pipefail
src="$(cd "$(dirname "$0")/.." && pwd)"
out_dir="$PWD"

# ---- the part that runs as the ordinary user, inside Xvfb -----------------------------------
if [ "${1:-}" = --as-user ]; then
  prefix=$2
  shot=$3
  export PATH="$prefix/bin:$PATH"
  home=$(mktemp -d)
  export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
  export XDG_RUNTIME_DIR="$home/runtime"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  cat >"$HOME/.xscreensaver" <<'XSS'
mode:		one
selected:	0
timeout:	1:00:00
lock:		False
splash:		False
fade:		False
unfade:		False
dpmsEnabled:	False
programs:	quovis --root \n
XSS
  xscreensaver -no-splash >"$home/xscreensaver.log" 2>&1 &
  xss=$!
  status=1
  for _ in $(seq 50); do
    if xscreensaver-command -version >/dev/null 2>&1; then break; fi
    sleep 0.2
  done
  xscreensaver-command -activate
  # The hack starts, measures the machine and fades its first pattern in.
  for _ in $(seq 30); do
    sleep 1
    if pgrep -u "$(id -u)" -x quovis >/dev/null; then
      sleep 6
      import -window root "$shot"
      mean=$(convert "$shot" -colorspace Gray -format '%[fx:mean*255]' info:)
      echo "quovis runs under xscreensaver: $(pgrep -u "$(id -u)" -a -x quovis | head -1)"
      echo "mean brightness of the screen: $mean"
      if awk -v m="$mean" 'BEGIN { exit !(m > 3) }'; then status=0; fi
      break
    fi
  done
  if [ "$status" -ne 0 ]; then
    echo "FAILED: no lit picture from quovis under xscreensaver; its log:" >&2
    cat "$home/xscreensaver.log" >&2
  fi
  xscreensaver-command -exit >/dev/null 2>&1 || kill "$xss" 2>/dev/null || true
  wait "$xss" 2>/dev/null || true
  rm -rf "$home"
  exit "$status"
fi

# ---- set-up ----------------------------------------------------------------------------------
build=${1:-$src/build/release}
for tool in xscreensaver xscreensaver-command xvfb-run import convert; do
  if ! command -v "$tool" >/dev/null; then
    echo "$0: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 2
  fi
done
if [ ! -x "$build/host/quovis" ]; then
  echo "$0: no quovis in $build (build it first: cmake --build $build)" >&2
  exit 2
fi
prefix=$(mktemp -d /tmp/quovis-xss-prefix.XXXXXX)
chmod 755 "$prefix"
shot_tmp=$(mktemp -d /tmp/quovis-xss-shot.XXXXXX)
chmod 777 "$shot_tmp"
made_user=""
cleanup() {
  rm -rf "$prefix" "$shot_tmp"
  # The user's last processes (xscreensaver's helpers) may take a moment to go.
  if [ -n "$made_user" ]; then
    for _ in $(seq 40); do
      if userdel -r "$made_user" >/dev/null 2>&1; then return; fi
      sleep 0.25
    done
    echo "check-xscreensaver: could not remove the user $made_user" >&2
  fi
}
trap cleanup EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$0" "$prefix/check-xscreensaver.sh"
chmod 755 "$prefix/check-xscreensaver.sh"

inner=("$prefix/check-xscreensaver.sh" --as-user "$prefix" "$shot_tmp/shot.png")
xvfb=(xvfb-run -a -s "-screen 0 1280x720x24 +extension GLX -nolisten tcp")
if [ "$(id -u)" -eq 0 ]; then
  user=quovis-xss
  if ! id "$user" >/dev/null 2>&1; then
    useradd -m -s /bin/bash "$user"
    made_user=$user
  fi
  runuser -u "$user" -- env -i PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
    "${xvfb[@]}" "${inner[@]}"
else
  "${xvfb[@]}" "${inner[@]}"
fi
cp "$shot_tmp/shot.png" "$out_dir/xscreensaver-quovis.png"
echo "=== quovis ran as an xscreensaver hack; the picture is $out_dir/xscreensaver-quovis.png"

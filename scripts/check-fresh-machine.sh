#!/usr/bin/env bash
# For maintainers (CI does not run it): proves that the README's two set-up commands work on
# a fresh Debian 12 machine. A developer's machine and CI's have long since gained packages
# by hand, so a package missing from scripts/install-deps.sh goes unnoticed there; here it
# cannot. Makes a clean bookworm root with debootstrap in a temporary folder, copies the
# working tree into it (the files git knows of, never build/), and runs
#   scripts/run-saver.sh    (no display there: it draws the preset contact sheet)
#   scripts/test-all.sh
# inside it with chroot, printing how long debootstrap and each command took. Needs root and
# the Debian mirror; takes the better part of an hour on two cores.
#
#   scripts/check-fresh-machine.sh [--keep] [--committed] [--variant minbase|buildd|fakechroot|-]
#
# --committed copies the last commit instead of the working tree (when others' unfinished
# changes are in it). --keep leaves the root in place afterwards (it is always kept when a command fails, for a
# look inside). The variant defaults to minbase, the smallest system apt runs on (what a
# container image has); "-" is debootstrap's own default (required and important packages).
set -euo pipefail

keep=0
committed=0
variant=minbase
while [ $# -gt 0 ]; do
  case "$1" in
    --keep) keep=1 ;;
    --committed) committed=1 ;;
    --variant)
      variant=$2
      shift
      ;;
    *)
      echo "usage: $0 [--keep] [--committed] [--variant minbase|buildd|fakechroot|-]" >&2
      exit 2
      ;;
  esac
  shift
done

if [ "$(id -u)" -ne 0 ]; then
  echo "$0: needs root (debootstrap, chroot and mount)" >&2
  exit 2
fi
for tool in debootstrap chroot mount git; do
  if ! command -v "$tool" >/dev/null; then
    echo "$0: $tool is missing (scripts/install-deps.sh installs debootstrap)" >&2
    exit 2
  fi
done

src="$(cd "$(dirname "$0")/.." && pwd)"
start_dir="$PWD"

# The mirror this machine's apt uses, so the root comes from the same place; Debian's own
# when none is named.
mirror=""
security=""
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -r "$f" ] || continue
  while read -r url; do
    case "$url" in
      */debian-security | */debian-security/) [ -n "$security" ] || security=${url%/} ;;
      */debian | */debian/) [ -n "$mirror" ] || mirror=${url%/} ;;
    esac
  done < <(sed -n -e 's/^URIs:[[:space:]]*//p' \
    -e 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' "$f" | tr ' ' '\n')
done
mirror=${mirror:-http://deb.debian.org/debian}
security=${security:-http://deb.debian.org/debian-security}

work="$(mktemp -d "${TMPDIR:-/var/tmp}/quovis-fresh.XXXXXX")"
root="$work/root"
mounted=()
status=1

cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}" || true
  done
  # Never delete through a mount that is still there: that would reach the real /dev or /sys.
  if findmnt -rn -o TARGET | grep -qF "$root"; then
    echo "check-fresh-machine: something is still mounted under $root; left in place" >&2
  elif [ "$keep" -eq 1 ] || [ "$status" -ne 0 ]; then
    echo "check-fresh-machine: the root is kept in $root"
  else
    rm -rf --one-file-system "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bind() {
  mkdir -p "$root$1"
  mount --bind "$1" "$root$1"
  mounted+=("$root$1")
  # Private, so what is mounted or unmounted inside never spreads back to this machine's own.
  mount --make-private "$root$1"
}

seconds() { date +%s; }
took() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

echo "=== debootstrap bookworm ($variant) from $mirror into $root"
t0=$(seconds)
variant_args=()
if [ "$variant" != - ]; then variant_args=(--variant="$variant"); fi
debootstrap "${variant_args[@]}" bookworm "$root" "$mirror"
t_debootstrap=$(($(seconds) - t0))

# The suites a machine installed today has: the point release's updates and security.
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No init system runs in the root, and daemons started by package scripts would outlive the
# chroot and keep its mounts busy: packages are told not to start any.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

mkdir -p "$root/src/quovis"
if [ "$committed" -eq 1 ]; then
  echo "=== copying the last commit ($(cd "$src" && git rev-parse --short HEAD))"
  (cd "$src" && git archive --format=tar HEAD) | tar -xf - -C "$root/src/quovis"
else
  echo "=== copying the working tree"
  (cd "$src" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -) | tar -xf - -C "$root/src/quovis"
fi
echo "$(find "$root/src/quovis" -type f | wc -l) files"

bind /proc
bind /sys
bind /dev
bind /dev/pts
bind /dev/shm

# A clean environment: no DISPLAY or WAYLAND_DISPLAY, so run-saver.sh takes its no-display
# path, and nothing of this machine's own set-up leaks in.
in_root() {
  env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb chroot "$root" /bin/bash -c "cd /src/quovis && $1"
}

run_step() {
  local name=$1 t
  echo "=== $name"
  t=$(seconds)
  if in_root "$name"; then
    eval "t_${2}=$(($(seconds) - t))"
  else
    local rc=$?
    echo "=== FAILED: $name (exit $rc) after $(took $(($(seconds) - t)))"
    echo "debootstrap: $(took "$t_debootstrap")"
    exit 1
  fi
}

run_step scripts/run-saver.sh saver
if [ ! -s "$root/src/quovis/quovis-presets.png" ]; then
  echo "=== FAILED: scripts/run-saver.sh made no quovis-presets.png"
  exit 1
fi
cp "$root/src/quovis/quovis-presets.png" "$start_dir/quovis-presets-fresh.png"
echo "contact sheet copied to $start_dir/quovis-presets-fresh.png"
run_step scripts/test-all.sh tests

status=0
echo "=== the README's commands passed on a fresh Debian 12 root"
echo "debootstrap:            $(took "$t_debootstrap")"
echo "scripts/run-saver.sh:   $(took "$t_saver")"
echo "scripts/test-all.sh:    $(took "$t_tests")"

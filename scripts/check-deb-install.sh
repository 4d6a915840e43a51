#!/usr/bin/env bash
# For maintainers (CI does not run it: it needs root and the Debian mirror, and takes several
# minutes): proves that the Debian package installs on a fresh Debian 12 and is removed without
# a trace. Makes a clean bookworm root with debootstrap (or reuses one given with --root),
# installs the package with apt so that its dependencies resolve from the mirror, runs the
# installed programs, purges the package, and then installs and purges it a second time to
# compare the whole file system before and after: nothing may be left behind.
#
#   scripts/check-deb-install.sh [--root DIR] [--keep] PACKAGE.deb
#
# Build the package first: scripts/build-deb.sh (it prints the .deb's path).
set -euo pipefail

root=""
keep=0
deb=""
while [ $# -gt 0 ]; do
  case "$1" in
    --root)
      root=$2
      shift
      ;;
    --keep) keep=1 ;;
    -*)
      echo "usage: $0 [--root DIR] [--keep] PACKAGE.deb" >&2
      exit 2
      ;;
    *) deb=$1 ;;
  esac
  shift
done
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
  echo "usage: $0 [--root DIR] [--keep] PACKAGE.deb (build it with scripts/build-deb.sh)" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: needs root (debootstrap, chroot and mount)" >&2
  exit 2
fi
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"

mirror=""
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -r "$f" ] || continue
  while read -r url; do
    case "$url" in
      */debian | */debian/) [ -n "$mirror" ] || mirror=${url%/} ;;
    esac
  done < <(sed -n -e 's/^URIs:[[:space:]]*//p' \
    -e 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\).*/\2/p' "$f" | tr ' ' '\n')
done
mirror=${mirror:-http://deb.debian.org/debian}

work=""
made_root=0
if [ -z "$root" ]; then
  work="$(mktemp -d "${TMPDIR:-/var/tmp}/quovis-deb.XXXXXX")"
  root="$work/root"
  made_root=1
fi
mounted=()
status=1
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}" || true
  done
  if findmnt -rn -o TARGET | grep -qF "$root"; then
    echo "check-deb-install: something is still mounted under $root; left in place" >&2
  elif [ "$made_root" -eq 1 ] && [ "$keep" -eq 0 ] && [ "$status" -eq 0 ]; then
    rm -rf --one-file-system "$work"
  else
    echo "check-deb-install: the root is kept in $root"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$made_root" -eq 1 ]; then
  echo "=== debootstrap bookworm (minbase) from $mirror into $root"
  debootstrap --variant=minbase bookworm "$root" "$mirror"
  echo "deb $mirror bookworm main" >"$root/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
for d in /proc /dev /dev/pts; do
  mkdir -p "$root$d"
  mount --bind "$d" "$root$d"
  mounted+=("$root$d")
  mount --make-private "$root$d"
done

in_root() {
  env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive chroot "$root" /bin/bash -c "$1"
}

# Every file and link of the system, with its type and size, except what changes by itself
# (package manager logs and caches, the temporary folders).
snapshot() {
  in_root "find / -xdev \( -path /proc -o -path /dev -o -path /tmp -o -path /var/log \
    -o -path /var/cache -o -path /var/lib/apt -o -path /var/lib/dpkg \) -prune \
    -o -printf '%y %s %p\n'" | sort >"$1"
}

cp "$deb" "$root/tmp/quovis.deb"
echo "=== apt-get install quovis.deb (dependencies from the mirror, without Recommends)"
in_root "apt-get update -qq && apt-get install -y -qq --no-install-recommends /tmp/quovis.deb"

echo "=== the installed programs"
in_root "set -e
  quovis --version
  test \"\$(quovis --version)\" = 'Quovis 2.1.4051'
  quovis-tool preset builtin | head -3
  quovis-run --help >/dev/null
  quovis-settings --help >/dev/null
  test \"\$(readlink -f /usr/libexec/xscreensaver/quovis)\" = /usr/bin/quovis
  test -f /usr/share/xscreensaver/config/quovis.xml
  test -f /usr/share/quovis/help/index.html
  test -f /usr/share/man/man6/quovis.6.gz
  # The saver itself for 30 frames, and a rendered picture: the Qt libraries and plugins the
  # dependencies brought are complete. (No display here: Qt's offscreen platform.)
  mkdir -p -m 700 /tmp/quovis-home
  export XDG_CONFIG_HOME=/tmp/quovis-home XDG_DATA_HOME=/tmp/quovis-home XDG_RUNTIME_DIR=/tmp/quovis-home
  QT_QPA_PLATFORM=offscreen QUOVIS_MAX_FRAMES=30 timeout 120 quovis --window
  timeout 120 quovis-tool render --builtin 'Into The Light' --size 160x90 --frames 30 \
    --out /tmp/quovis-home/picture.png
  test -s /tmp/quovis-home/picture.png
  echo 'the saver ran 30 frames and quovis-tool rendered a picture'
  rm -rf /tmp/quovis-home"

echo "=== purge, then install and purge again: nothing may be left behind"
in_root "dpkg --purge quovis"
snapshot "${work:-/tmp}/before.txt"
in_root "dpkg -i /tmp/quovis.deb && quovis --version && dpkg --purge quovis"
snapshot "${work:-/tmp}/after.txt"
if ! diff -u "${work:-/tmp}/before.txt" "${work:-/tmp}/after.txt"; then
  echo "=== FAILED: the package left the files above behind (or took others away)"
  exit 1
fi
left=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' |
  while read -r f; do if [ -e "$root$f" ] || [ -L "$root$f" ]; then echo "$f"; fi; done)
if [ -n "$left" ]; then
  echo "=== FAILED: still there after the purge:"
  echo "$left"
  exit 1
fi
rm -f "$root/tmp/quovis.deb"
status=0
echo "=== the package installed on a fresh Debian 12 root and was removed without a trace"

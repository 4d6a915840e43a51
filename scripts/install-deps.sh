#!/usr/bin/env bash
# Installs the Debian 12 packages Quovis needs to build, run and test. Does nothing when
# they are all present, so it is cheap to call before every build.
#   scripts/install-deps.sh --list   prints the package names, one a line, and installs nothing
# (scripts/check-build-packages.sh reads the list from there, so it is written only here).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format clang libclang-rt-14-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libsqlite3-dev libcurl4-openssl-dev libpulse-dev libcpp-httplib-dev
  libpq-dev postgresql
  fonts-liberation fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth libgl1-mesa-dri pulseaudio openbox xdotool
  debootstrap
  xscreensaver desktop-file-utils appstream libxml2-utils shared-mime-info imagemagick
  dpkg-dev file libglib2.0-bin man-db
)

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs what building and testing Glintor needs on a Debian 12 machine (run as root).
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  cmake ninja-build nasm
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  gcc-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  googletest
  wine wine64 fonts-wine
  xvfb xauth x11-utils imagemagick
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  python3 zip unzip busybox bc procps gcc fonts-dejavu-core nodejs
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# wine32 makes /usr/bin/wine pick the 32-bit loader, which this kernel cannot run.
if dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  echo "setup: wine32:i386 is installed and breaks 64-bit Wine here; remove it" >&2
  exit 1
fi

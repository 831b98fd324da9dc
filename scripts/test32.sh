#!/usr/bin/env bash
# The whole suite against the 32-bit program and test programs, under Wine 10 in its WoW64 mode,
# and the screen-geometry cases once more on a screen scaled to 150 %. Runs inside the Debian 13
# root (scripts/wine10-root.sh run), where scripts/test.sh calls it after its own 64-bit run.
#   scripts/test32.sh [ctest arguments...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export WINEPREFIX="$root/build/win32/wineprefix"
source scripts/session.sh
trap stop_session EXIT
mount_full_disk
start_display 1920x1080 || exit 1
start_wine
start_scaled_wine
# The 32-bit program users download: the one in the release zip, which scripts/test.sh unpacked.
program="$root/build/release/unpacked-win32/glintor.exe"
[ -f "$program" ] || { echo "test32: no unpacked 32-bit release program" >&2; exit 1; }
export GLINTOR_PROGRAM="Z:${program//\//\\}"
ctest --preset win32 "$@"

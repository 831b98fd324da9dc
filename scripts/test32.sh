#!/usr/bin/env bash
# The whole suite against the 32-bit program and test programs, under Wine 10 in its WoW64 mode,
# and the screen-geometry cases once more on a screen scaled to 150 %. Runs inside the Debian 13
# root (scripts/wine10-root.sh run), where scripts/test.sh calls it after its own 64-bit run.
#   scripts/test32.sh [ctest arguments...]
# With --64, on a machine whose processor runs no 32-bit code: only the screen-geometry cases
# at 150 %, with the 64-bit program and test programs.
#   scripts/test32.sh --64 [ctest arguments...]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bits=32
if [ "${1:-}" = "--64" ]; then
    bits=64
    shift
fi
# Wine 10's prefixes of the 64-bit build lie apart from Wine 8's, which Wine 10 would update.
export WINEPREFIX="$root/build/win32/wineprefix"
if [ $bits = 64 ]; then
    export WINEPREFIX="$root/build/win64/wine10/wineprefix"
    mkdir -p "$(dirname "$WINEPREFIX")"
fi
source scripts/session.sh
trap stop_session EXIT
mount_full_disk
start_display 1920x1080 || exit 1
start_wine
start_scaled_wine
if [ $bits = 64 ]; then
    ctest --preset win64 -L scaled "$@"
    exit
fi
# The 32-bit program users download: the one in the release zip, which scripts/test.sh unpacked.
program="$root/build/release/unpacked-win32/glintor.exe"
[ -f "$program" ] || { echo "test32: no unpacked 32-bit release program" >&2; exit 1; }
export GLINTOR_PROGRAM="Z:${program//\//\\}"
ctest --preset win32 "$@"

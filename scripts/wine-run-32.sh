#!/usr/bin/env bash
# Runs a test program in the 32-bit emulation's Wine prefix (scripts/emulation32.sh) against the
# 32-bit program of the release zip, which scripts/test.sh unpacks into build/release/unpacked-win32.
# Exits 77, which ctest counts as skipped, when either is missing.
root=$(cd "$(dirname "$0")/.." && pwd)
program="$root/build/release/unpacked-win32/glintor.exe"
if [ ! -f "$program" ]; then
    echo "no unpacked 32-bit release program (scripts/test.sh unpacks it)"
    exit 77
fi
export GLINTOR_PROGRAM="Z:${program//\//\\}"
exec "$root/scripts/emulation32.sh" run "$@"

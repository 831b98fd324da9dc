#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what is missing, builds the
# dependencies and both programs, runs the 64-bit tests under Wine on a virtual display,
# checks the 32-bit program's header, and exits with the outcome.
#   scripts/test.sh [--debug-heap] [ctest arguments...]     e.g. scripts/test.sh -L unit
# --debug-heap runs the tests in a Wine prefix of their own with Wine's debug heap on, where a
# write to a freed block, past a block's end or a double free is reported; any such report
# from the program or a test program fails the run. The checks of memory growth are skipped
# there, since the debug heap holds freed blocks back. (The two-monitor and 32-bit cases run
# in prefixes of their own, without it.)
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
debug_heap=""
if [ "${1:-}" = "--debug-heap" ]; then
    debug_heap=1
    shift
    export WINEPREFIX="$root/build/win64/wineprefix-debugheap"
    # +pid: each message names its process and thread ("pid:tid:").
    export GLINTOR_WINEDEBUG="-all,+pid,err+heap,warn+heap"
    export GLINTOR_DEBUG_HEAP=1
fi

scripts/setup.sh || exit 1
scripts/deps.sh || exit 1

for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" || exit 1
done

source scripts/session.sh
full_disk="$root/build/full-disk"
full_disk_mounted=""
finish()
{
    stop_session
    [ -n "$full_disk_mounted" ] && umount "$full_disk" 2>/dev/null
}
trap finish EXIT
start_display 1920x1080 || exit 1
start_wine
if [ -n "$debug_heap" ]; then
    enable_debug_heap || exit 1
fi
start_monitors_display || exit 1
# The 32-bit program of the release zip, which a test runs under emulation.
start_emulation32 || exit 1
scripts/release.sh --built >/dev/null || exit 1
rm -rf build/release/unpacked-win32
unzip -q "dist/glintor-$(sed -n 's/.*VALUE "ProductVersion", "\([^"]*\)".*/\1/p' src/resources/glintor.rc)-win32.zip" \
    -d build/release/unpacked-win32 || exit 1

# A tiny file system for the writer's full-disk test (skipped where nothing can be mounted).
mkdir -p "$full_disk"
if mountpoint -q "$full_disk" || mount -t tmpfs -o size=64k glintor-full "$full_disk" 2>/dev/null; then
    mountpoint -q "$full_disk" && full_disk_mounted=1
    export GLINTOR_FULL_DISK="Z:${full_disk//\//\\}"
fi

heap_log="$root/build/win64/debug-heap.log"
ctest --preset win64 ${debug_heap:+--output-log "$heap_log"} "$@"
outcome=$?
if [ -n "$debug_heap" ] && grep -E 'err:heap|warn:heap' "$heap_log"; then
    echo "the debug heap reported the faults above (whole output: $heap_log)" >&2
    outcome=1
fi

# The release packed above, and its programs' headers, flags and manifests, checked once.
scripts/check-release.sh --packed || outcome=1
exit $outcome

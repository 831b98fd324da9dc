#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what is missing, builds the
# dependencies and both programs with their tests, runs the suite twice (the 64-bit programs
# under the machine's Wine 8, the 32-bit ones under Wine 10's WoW64 mode in a Debian 13 root,
# with the screen-geometry cases again on a screen scaled to 150 %), checks the release, and
# exits with the outcome.
#   scripts/test.sh [--guard-heap | --debug-heap] [ctest arguments...]   e.g. scripts/test.sh -L unit
# --guard-heap runs the 64-bit suite built with the guarded heap (tools/guarded_heap.cpp, build
# tree build/win64-guard): every block of the program and the test programs on pages of its
# own, so that a write past a block, a use after free or a double free ends the process with a
# report at the instruction that makes it. The checks of memory growth are skipped there.
# --debug-heap runs the 64-bit tests in a Wine prefix of their own with Wine's debug heap on
# (and not the 32-bit run), where a write to a freed block, past a block's end or a double free
# is reported; any such report from the program or a test program fails the run. The checks of
# memory growth are skipped there, since the debug heap holds freed blocks back. (The
# two-monitor cases run in a prefix of their own, without it.)
set -uo pipefail
# Everything this run mounts goes with it: a mount namespace of its own.
if [ -z "${GLINTOR_OWN_MOUNTS:-}" ]; then
    GLINTOR_OWN_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
debug_heap=""
guard_heap=""
if [ "${1:-}" = "--guard-heap" ]; then
    # The guarded heap's own build tree: every program's blocks on pages of their own.
    guard_heap=1
    shift
    export GLINTOR_GUARD_HEAP=1
elif [ "${1:-}" = "--debug-heap" ]; then
    debug_heap=1
    shift
    export WINEPREFIX="$root/build/win64/wineprefix-debugheap"
    # +pid: each message names its process and thread ("pid:tid:").
    export GLINTOR_WINEDEBUG="-all,+pid,err+heap,warn+heap"
    export GLINTOR_DEBUG_HEAP=1
fi

scripts/setup.sh || exit 1
scripts/deps.sh || exit 1

presets=(win64 win32)
[ -n "$guard_heap" ] && presets=(win64-guard)
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" || exit 1
done

source scripts/session.sh
trap stop_session EXIT
mount_full_disk
start_display 1920x1080 || exit 1
start_wine
if [ -n "$debug_heap" ]; then
    enable_debug_heap || exit 1
fi
start_monitors_display || exit 1
if [ -z "$guard_heap" ]; then
    scripts/release.sh --built >/dev/null || exit 1
    rm -rf build/release/unpacked-win32
    unzip -q "dist/glintor-$(sed -n 's/.*VALUE "ProductVersion", "\([^"]*\)".*/\1/p' src/resources/glintor.rc)-win32.zip" \
        -d build/release/unpacked-win32 || exit 1
fi

heap_log="$root/build/win64/debug-heap.log"
if [ -n "$guard_heap" ]; then
    echo "== the 64-bit programs with the guarded heap under $(wine --version)"
    ctest --preset win64-guard "$@"
    outcome=$?
    stop_session
    exit $outcome
fi
echo "== the 64-bit programs under $(wine --version)"
ctest --preset win64 ${debug_heap:+--output-log "$heap_log"} "$@"
outcome=$?
if [ -n "$debug_heap" ] && grep -E 'err:heap|warn:heap' "$heap_log"; then
    echo "the debug heap reported the faults above (whole output: $heap_log)" >&2
    outcome=1
fi
stop_session

skipped32=""
if [ -z "$debug_heap" ]; then
    scripts/wine10-root.sh make || exit 1
    if runs_32bit_code; then
        echo "== the 32-bit programs under Wine 10 (WoW64), and at 150 %"
        scripts/wine10-root.sh run scripts/test32.sh "$@" || outcome=1
    else
        skipped32="the processor runs no 32-bit code on this machine (its kernel offers no 32-bit user code segment): the 32-bit programs were not run; the screen-geometry cases at 150 % ran with the 64-bit ones under Wine 10"
        echo "== $skipped32"
        scripts/wine10-root.sh run scripts/test32.sh --64 "$@" || outcome=1
    fi
fi

# The release packed above, and its programs' headers, flags and manifests, checked once.
scripts/check-release.sh --packed || outcome=1
[ -z "$skipped32" ] || echo "note: $skipped32" >&2
exit $outcome

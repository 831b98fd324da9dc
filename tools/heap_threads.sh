#!/usr/bin/env bash
# Runs tools/heap_threads.cpp N times (default 40) under Wine's debug heap, in a prefix of its
# own, its blocks taken from the C runtime's heap or (with "process") from the process heap, and
# counts the runs in which the heap reported a fault. The program does nothing wrong, so a report
# comes from the heap itself: under Wine 8 "free block overwritten" in a few runs in a hundred.
#   tools/heap_threads.sh [runs [process]]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-40}
heap=${2:-crt}
out="$root/build/heap-threads"
mkdir -p "$out"
x86_64-w64-mingw32-g++ -O2 -std=c++17 -Wall -Wextra tools/heap_threads.cpp -static -static-libgcc -static-libstdc++ \
    -o "$out/heap_threads.exe" || exit 1
export WINEPREFIX="$out/wineprefix"
source scripts/session.sh
trap stop_session EXIT
start_display 640x480 >/dev/null || exit 1
start_wine >/dev/null
enable_debug_heap || exit 1
reported=0
for i in $(seq "$runs"); do
    WINEDEBUG="-all,+pid,err+heap,warn+heap" wine "$out/heap_threads.exe" 3 20 "$heap" >"$out/run-$i.log" 2>&1
    if grep -q -E 'err:heap|warn:heap' "$out/run-$i.log"; then
        reported=$((reported + 1))
        grep -m1 -E 'err:heap|warn:heap' "$out/run-$i.log"
    fi
done
echo "$reported of $runs runs with a report from the debug heap ($heap heap)"

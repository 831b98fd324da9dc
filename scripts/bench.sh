#!/usr/bin/env bash
# The benchmark on a fresh Debian machine: builds, starts a 1920 x 1080 virtual display, times
# ImageMagick's import on it, serves the snapshot's bytes from busybox httpd for comparison,
# and runs bench/bench.cpp under Wine against the real glintor.exe. Prints one table.
#   scripts/bench.sh [runs]      (default 20)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs="${1:-20}"

scripts/setup.sh
scripts/deps.sh x86_64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target glintor glintor_bench >/dev/null

source scripts/session.sh
bench_dir="$root/build/bench"
httpd_pid=""
finish()
{
    [ -n "$httpd_pid" ] && kill "$httpd_pid" 2>/dev/null
    stop_session
}
trap finish EXIT
start_display 1920x1080
start_wine

# A photo-like picture on the screen for import (generated, the same every run).
mkdir -p "$bench_dir/www"
convert -size 1920x1080 -seed 7 plasma:fractal -blur 0x1 "$bench_dir/photo.png"
# display sets the background and then reports failure on a screen without a window manager.
display -window root "$bench_dir/photo.png" || true

# The usual tool's price for one screenshot.
import_ms=()
for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    import -window root -quality 60 jpeg:- >/dev/null
    import_ms+=($(( ($(date +%s%N) - start) / 1000 )))
done
read -r import_median import_p95 < <(printf '%s\n' "${import_ms[@]}" | sort -n | awk '
    { v[NR] = $1 } END { m = v[int(NR / 2) + 1]; i = int(NR * 0.95 + 0.999); if (i < 1) i = 1;
                         printf "%.1f %.1f\n", m / 1000, v[i] / 1000 }')

# A static file server of Debian's on loopback, for the stored snapshot.
static_port=$((20000 + RANDOM % 20000))
busybox httpd -f -p "127.0.0.1:$static_port" -h "$bench_dir/www" &
httpd_pid=$!

wine build/win64/bin/glintor_bench.exe --runs "$runs" --import-median "$import_median" --import-p95 "$import_p95" \
    --static-port "$static_port" --static-file "Z:${bench_dir//\//\\}\\www\\snapshot.jpg"

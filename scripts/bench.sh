#!/usr/bin/env bash
# The benchmark on a fresh Debian machine. On a 1920 x 1080 virtual display showing a generated,
# photo-like picture it measures, in one run: the capture and its steps (bench/bench.cpp under
# Wine), ImageMagick's import on the same display, and the real glintor.exe under Wine as a
# viewer's browser reaches it (bench/client.py, native sockets on loopback), beside busybox
# httpd serving the same bytes. Prints one table.
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
work="$root/build/bench"
httpd_pid=""
finish()
{
    [ -n "$httpd_pid" ] && kill "$httpd_pid" 2>/dev/null
    [ -n "${viewer_pid:-}" ] && kill "$viewer_pid" 2>/dev/null
    stop_session
}
trap finish EXIT
start_display 1920x1080
start_wine
mkdir -p "$work/www"

# A photo-like picture on the screen (generated, the same every run), in a plain X window
# over the whole screen, so that import and the program see the same thing.
convert -size 1920x1080 -seed 7 plasma:fractal -blur 0x1 "$work/photo.png"
display -geometry 1920x1080+0+0 -borderwidth 0 "$work/photo.png" &
viewer_pid=$!
sleep 2

median_p95()  # numbers on standard input -> "median p95"
{
    sort -n | awk '{ v[NR] = $1 } END { i = int(NR * 0.95 + 0.999); if (i < 1) i = 1;
                                        printf "%.1f %.1f\n", v[int(NR / 2) + 1], v[i] }'
}

# The usual tool's price for one screenshot.
read -r import_median import_p95 < <(for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    import -window root -quality 60 jpeg:- >/dev/null
    echo "scale=1; ($(date +%s%N) - $start) / 1000000" | bc
done | median_p95)

# The capture and its steps, and the price of one loopback send, in a process of their own.
steps=$(wine build/win64/bin/glintor_bench.exe "$runs" | tr -d '\r')
read -r _ copy_m copy_p rows_m rows_p enc_m enc_p file_m file_p total_m total_p jpeg_bytes < <(
    grep '^capture ' <<<"$steps")
read -r _ main_m main_p < <(grep '^main ' <<<"$steps")
read -r _ send1k_m send1k_p send64k_m send64k_p < <(grep '^sends ' <<<"$steps")

# The program as viewers reach it.
port=$((20000 + RANDOM % 20000))
reg()
{
    wine reg add 'HKCU\Software\glintor' /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
}
wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true
reg port_number "$port"
reg play_snapshot_sound 0
reg play_sent_sound 0
setsid wine build/win64/bin/glintor.exe >/dev/null 2>&1 </dev/null &
for _ in $(seq 300); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null && break
    sleep 0.1
done
pid=$(pgrep -f 'glintor.exe' | head -n 1)

read -r auto_m auto_p < <(python3 bench/client.py latency "$port" "$runs")
reg auto_snapshot 0  # read afresh by every request: the stored snapshot from now on
python3 bench/client.py save "$port" "$work/www/snapshot.jpg"
stored_1=$(python3 bench/client.py rate "$port" 5 1 /)
stored_4=$(python3 bench/client.py rate "$port" 5 4 /)

static_port=$((port + 1))
busybox httpd -f -p "127.0.0.1:$static_port" -h "$work/www" &
httpd_pid=$!
sleep 0.5
static_1=$(python3 bench/client.py rate "$static_port" 5 1 /snapshot.jpg)
static_4=$(python3 bench/client.py rate "$static_port" 5 4 /snapshot.jpg)

# Processor time of the idle program (utime + stime of its process), from outside, once what
# the requests above left for its main thread has been handled.
sleep 3
ticks=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
before=$(cpu)
sleep 10
idle=$(printf "%.2f" "$(echo "scale=4; ($(cpu) - $before) * 100 / $ticks / 10" | bc)")

python3 bench/client.py count "$port" 1000
peak_kib=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")

cat <<TABLE

Glintor benchmark: 1920 x 1080 screen, quality 60, JPEG of $jpeg_bytes bytes, $runs runs, $(date -u +%Y-%m-%d)

| measure | median | 95th percentile |
|---|---|---|
| screen copy (BitBlt) | $copy_m ms | $copy_p ms |
| row fetch and conversion (GetDIBits, one row a call) | $rows_m ms | $rows_p ms |
| JPEG encoding | $enc_m ms | $enc_p ms |
| temporary-file round trip | $file_m ms | $file_p ms |
| whole capture, encode and install | $total_m ms | $total_p ms |
| the same on the main thread (hot keys) | $main_m ms | $main_p ms |
| auto-snapshot HTTP request, connect to last byte | $auto_m ms | $auto_p ms |
| reference: import -window root -quality 60 jpeg:- | $import_median ms | $import_p95 ms |

| measure | value |
|---|---|
| stored snapshot, sequential requests | $stored_1 per second |
| stored snapshot, 4 clients at once | $stored_4 per second |
| reference: busybox httpd, same bytes, sequential | $static_1 per second |
| reference: busybox httpd, same bytes, 4 clients | $static_4 per second |
| one loopback send under Wine, 1,024 bytes | $send1k_m µs median, $send1k_p µs 95th percentile |
| one loopback send under Wine, 65,536 bytes | $send64k_m µs median, $send64k_p µs 95th percentile |
| idle program with the server listening, 10 s | $idle % of one core |
| peak working set after 1,000 requests | $((peak_kib / 1024)) MiB |

Bars: encoding <= 10 ms: $enc_m ms; auto request <= half of import ($(echo "scale=1; $import_median / 2" | bc) ms): $auto_m ms;
stored snapshot >= 1000 per second: $stored_1; idle < 1 %: $idle %.
TABLE

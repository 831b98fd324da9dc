#!/usr/bin/env bash
# The benchmark on a fresh Debian machine. For each screen size, on a virtual display of that
# size showing a generated, photo-like picture, it measures in one run: the capture and its steps
# and what a request costs besides its sends (bench/bench.cpp under Wine), ImageMagick's import
# on the same display, and the real glintor.exe under Wine as a viewer's browser reaches it
# (bench/client.py, native sockets on loopback), beside busybox httpd serving the same bytes,
# then the idle program's processor time and memory. Prints one table, a column per size.
#   scripts/bench.sh [runs] [WIDTHxHEIGHT ...]     (default: 20 1366x768 1920x1080 3840x2160)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs="${1:-20}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1366x768 1920x1080 3840x2160)

scripts/setup.sh
scripts/deps.sh x86_64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target glintor glintor_bench >/dev/null

source scripts/session.sh
work="$root/build/bench"
mkdir -p "$work/www"
httpd_pid=""
viewer_pid=""
finish()
{
    [ -n "$httpd_pid" ] && kill "$httpd_pid" 2>/dev/null
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
    stop_session
}
trap finish EXIT

median_p95()  # numbers on standard input -> "median p95"
{
    sort -n | awk '{ v[NR] = $1 } END { i = int(NR * 0.95 + 0.999); if (i < 1) i = 1;
                                        printf "%.1f %.1f\n", v[int(NR / 2) + 1], v[i] }'
}
reg()
{
    wine reg add 'HKCU\Software\glintor' /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
}
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }        # processor time of a process
kib() { awk "/^$2/ { print \$2 }" "/proc/$1/status"; }         # VmRSS or VmHWM of a process

declare -A result  # "<size> <measure>" -> value

# One size: its own display, Wine server and program start.
measure_size()
{
    local size="$1" w="${1%x*}" h="${1#*x}"
    start_display "$size"
    start_wine

    # A photo-like picture on the screen (generated, the same every run), in a plain X window
    # over the whole screen, so that import and the program see the same thing.
    convert -size "$size" -seed 7 plasma:fractal -blur 0x1 "$work/photo.png"
    display -geometry "$size+0+0" -borderwidth 0 "$work/photo.png" &
    viewer_pid=$!
    sleep 2

    # The usual tool's price for one screenshot.
    local import_m import_p
    read -r import_m import_p < <(for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        import -window root -quality 60 jpeg:- >/dev/null
        echo "scale=1; ($(date +%s%N) - $start) / 1000000" | bc
    done | median_p95)

    # The capture and its steps, and the price of the request's other steps, in a process of
    # their own.
    local steps
    steps=$(wine build/win64/bin/glintor_bench.exe "$runs" 2>/dev/null | tr -d '\r')
    local copy_m copy_p rows_m rows_p enc_m enc_p file_m file_p total_m total_p jpeg_bytes main_m main_p
    read -r _ copy_m copy_p rows_m rows_p enc_m enc_p file_m file_p total_m total_p jpeg_bytes < <(grep '^capture ' <<<"$steps")
    read -r _ main_m main_p < <(grep '^main ' <<<"$steps")
    local send1k_m send1k_p send64k_m send64k_p
    read -r _ send1k_m send1k_p send64k_m send64k_p < <(grep '^sends ' <<<"$steps")
    local log_us read_us write_us post_us sound_us socket_us peer_us stop_m stop_p
    read -r _ log_us read_us write_us post_us sound_us socket_us peer_us < <(grep '^steps ' <<<"$steps")
    read -r _ stop_m stop_p < <(grep '^stop ' <<<"$steps")

    # The Wine server's own price while nothing runs: it wakes every 16 ms to keep the time that
    # it shares with its processes up to date, whoever runs.
    local server_pid hz base_before base_after server_alone
    server_pid=$(pgrep -n wineserver)
    hz=$(getconf CLK_TCK)
    base_before=$(ticks "$server_pid")
    sleep 25
    base_after=$(ticks "$server_pid")
    server_alone=$(echo "scale=3; ($base_after - $base_before) * 100 / $hz / 25" | bc)

    # The program as viewers reach it.
    local port=$((20000 + RANDOM % 20000))
    wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true
    reg port_number "$port"
    reg play_snapshot_sound 0
    reg play_sent_sound 0
    setsid wine build/win64/bin/glintor.exe >/dev/null 2>&1 </dev/null &
    for _ in $(seq 300); do
        python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null && break
        sleep 0.1
    done
    local pid
    pid=$(pgrep -f 'glintor.exe' | head -n 1)
    sleep 1
    local rss_start
    rss_start=$(kib "$pid" VmRSS)

    local auto_m auto_p
    read -r auto_m auto_p < <(python3 bench/client.py latency "$port" "$runs")
    reg auto_snapshot 0  # read afresh by every request: the stored snapshot from now on
    python3 bench/client.py save "$port" "$work/www/snapshot.jpg"
    local stored_1 stored_4 static_1 static_4
    stored_1=$(python3 bench/client.py rate "$port" 5 1 /)
    stored_4=$(python3 bench/client.py rate "$port" 5 4 /)
    local static_port=$((port + 1))
    busybox httpd -f -p "127.0.0.1:$static_port" -h "$work/www" &
    httpd_pid=$!
    sleep 0.5
    static_1=$(python3 bench/client.py rate "$static_port" 5 1 /snapshot.jpg)
    static_4=$(python3 bench/client.py rate "$static_port" 5 4 /snapshot.jpg)
    kill "$httpd_pid"
    httpd_pid=""

    # A stored snapshot of a 400 x 300 corner, asked for at a viewer's pace: where the time of
    # one request goes.
    reg auto_snapshot 1
    reg auto_snapshot_mode 2
    reg auto_selection_stop_x 400
    reg auto_selection_stop_y 300
    local small_bytes paced_all paced_before paced_sends paced_after
    small_bytes=$(python3 bench/client.py save "$port" "$work/small.jpg"; stat -c %s "$work/small.jpg")
    reg auto_snapshot 0
    read -r paced_all paced_before paced_sends paced_after < <(python3 bench/client.py paced "$port" 100 50)

    # The idle program: processor time of it and its Wine server from 5 s to 30 s after the
    # last request, and its memory at 30 s.
    sleep 5
    local program_before server_before program_after server_after idle server_idle idle_share rss_idle peak
    program_before=$(ticks "$pid")
    server_before=$(ticks "$server_pid")
    sleep 25
    program_after=$(ticks "$pid")
    server_after=$(ticks "$server_pid")
    idle=$(echo "scale=3; ($program_after - $program_before) * 100 / $hz / 25" | bc)
    server_idle=$(echo "scale=3; ($server_after - $server_before) * 100 / $hz / 25" | bc)
    idle_share=$(echo "scale=3; $idle + $server_idle - $server_alone" | bc)
    rss_idle=$(kib "$pid" VmRSS)
    peak=$(kib "$pid" VmHWM)

    kill "$viewer_pid" 2>/dev/null || true
    viewer_pid=""
    # The program's next start (scripts/run.sh, say) finds its defaults again, not the bench's.
    wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true
    stop_session

    local k
    for k in import_m import_p copy_m copy_p rows_m rows_p enc_m enc_p file_m file_p total_m total_p jpeg_bytes \
             main_m main_p send1k_m send64k_m log_us read_us write_us post_us sound_us socket_us peer_us stop_m \
             stop_p auto_m auto_p stored_1 stored_4 static_1 static_4 small_bytes paced_all paced_before \
             paced_sends paced_after idle server_idle server_alone idle_share rss_start rss_idle peak; do
        result["$size $k"]="${!k}"
    done
    result["$size ratio"]=$(echo "scale=2; $auto_m / $import_m" | bc)
    result["$size outside"]=$(echo "scale=2; $paced_before + $paced_after" | bc)
    result["$size rss_start"]=$((rss_start / 1024))
    result["$size rss_idle"]=$((rss_idle / 1024))
    result["$size rss_growth"]=$(( (rss_idle - rss_start) / 1024 ))
    result["$size peak"]=$((peak / 1024))
}

for size in "${sizes[@]}"; do
    echo "measuring at $size" >&2
    measure_size "$size"
done

row()  # label, then a format with %s for each of the named results, per size
{
    local label="$1" format="$2" line="| $1 |" size
    shift 2
    for size in "${sizes[@]}"; do
        local values=() k
        for k in "$@"; do values+=("${result["$size $k"]}"); done
        # shellcheck disable=SC2059
        line+=" $(printf "$format" "${values[@]}") |"
    done
    echo "$line"
}

header="| measure |"
rule="|---|"
for size in "${sizes[@]}"; do header+=" ${size/x/ x } |"; rule+="---|"; done
cat <<TITLE

Glintor benchmark: quality 60, $runs runs, median (95th percentile), $(date -u +%Y-%m-%d)

$header
$rule
TITLE
row "JPEG of the whole screen" "%s bytes" jpeg_bytes
row "screen copy (BitBlt, in half-megabyte bands)" "%s (%s) ms" copy_m copy_p
row "row fetch and conversion (one row a call)" "%s (%s) ms" rows_m rows_p
row "JPEG encoding" "%s (%s) ms" enc_m enc_p
row "temporary-file round trip" "%s (%s) ms" file_m file_p
row "whole capture, encode and install (as auto snapshots run)" "%s (%s) ms" total_m total_p
row "the same on the main thread (hot keys)" "%s (%s) ms" main_m main_p
row "auto-snapshot request, connect to last byte" "%s (%s) ms" auto_m auto_p
row "\`import -window root -quality 60 jpeg:-\`" "%s (%s) ms" import_m import_p
row "auto-snapshot request / import" "%s" ratio
row "stored snapshot, sequential / 4 clients" "%s / %s per second" stored_1 stored_4
row "busybox httpd, same bytes, sequential / 4 clients" "%s / %s per second" static_1 static_4
row "one loopback send under Wine, 1,024 / 65,536 bytes" "%s / %s µs" send1k_m send64k_m
row "paced stored request (400 x 300, one each 50 ms): whole" "%s ms (%s bytes)" paced_all small_bytes
row "... connect to first byte / sends / last byte to end" "%s / %s / %s ms" paced_before paced_sends paced_after
row "... outside the sends" "%s ms" outside
row "steps: dormant log line / setting read / setting written" "%s / %s / %s µs" log_us read_us write_us
row "steps: refresh posted / sent sound (on) / socket set-up / peer" "%s / %s / %s / %s µs" post_us sound_us socket_us peer_us
row "stopping the idle server" "%s (%s) ms" stop_m stop_p
row "idle, 25 s: program / its Wine server / the Wine server before the program" "%s / %s / %s %%" idle server_idle server_alone
row "... the idle program's own share (program + what it adds to the server)" "%s %% of a core" idle_share
row "resident before the first capture / 30 s after the last request" "%s / %s MiB" rss_start rss_idle
row "... growth / peak" "%s / %s MiB" rss_growth peak
echo
echo "Bars: encoding at 1920 x 1080 <= 10 ms; auto request / import <= 0.3; outside the sends <= 3 ms;"
echo "the idle program's share <= 0.2 % of a core; resident growth <= 5 MiB; stopping the idle server <= 100 ms."

#!/usr/bin/env bash
# The benchmark on a fresh Debian machine, for both programs users get: the 64-bit one under the
# machine's Wine 8, then the 32-bit one under Wine 10's WoW64 mode in the Debian 13 root
# (scripts/wine10-root.sh). For each screen size, on a virtual display of that size showing a
# generated, photo-like picture, it measures in one run: the capture and its steps and what a
# request costs besides its sends (bench/bench.cpp under Wine), ImageMagick's import on the same
# display, the real glintor.exe under Wine from its true start-up (its memory before anything
# is asked, then 30 s after 30 whole-screen requests, at its default settings and again with
# both sounds off, and its processor time while idle), as a viewer's browser reaches it
# (bench/client.py, native sockets on loopback), beside busybox httpd serving the same bytes,
# and last the capture, the auto request and import again on a plain picture (flat colour
# blocks and text). Prints one table per program, a column per size.
#   scripts/bench.sh [runs] [WIDTHxHEIGHT ...]     (default: 20 1366x768 1920x1080 3840x2160)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# Inside the root (the second half of a run): the 32-bit programs, set up and built already.
bits=64
if [ "${1:-}" = "--32" ]; then
    bits=32
    shift
fi
runs="${1:-20}"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1366x768 1920x1080 3840x2160)

if [ $bits = 64 ]; then
    scripts/setup.sh
    scripts/deps.sh
    for preset in win64 win32; do
        cmake --preset $preset >/dev/null
        cmake --build --preset $preset --target glintor glintor_bench glintor_exit >/dev/null
    done
    bin=build/win64/bin
else
    export WINEPREFIX="$root/build/win32/wineprefix"
    bin=build/win32/bin
fi

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

# Whether a socket listens on port $1 (read from the kernel's table: a connection to find out
# would be a request, and the program would take a snapshot for it).
listening()
{
    awk -v port="$(printf ':%04X' "$1")" '$4 == "0A" && substr($2, length($2) - 4) == port { found = 1 }
                                          END { exit !found }' /proc/net/tcp
}

# Shows picture $1 in a plain X window over the whole screen, so that import and the program
# see the same thing.
show_picture()
{
    [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null
    display -geometry "$2+0+0" -borderwidth 0 "$1" &
    viewer_pid=$!
    sleep 2
}

# The usual tool's price for one screenshot of what the screen shows: "median p95". Run with the
# machine's own allocator settings, not the ones the scripts give Wine.
import_time()
{
    for _ in $(seq "$runs"); do
        start=$(date +%s%N)
        env -u GLIBC_TUNABLES import -window root -quality 60 jpeg:- >/dev/null
        echo "scale=1; ($(date +%s%N) - $start) / 1000000" | bc
    done | median_p95
}

# One size: its own display, Wine server and program start.
measure_size()
{
    local size="$1" w="${1%x*}" h="${1#*x}"
    start_display "$size"
    start_wine

    # Two pictures, generated, the same every run: a photo-like one, and a plain one (flat
    # colour blocks and lines of text, as windows and documents are), where import is quick
    # because the picture compresses well.
    convert -size "$size" -seed 7 plasma:fractal -blur 0x1 "$work/photo.png"
    local text_lines=() y
    for ((y = h / 2 + 40; y < h - 20; y += 28)); do
        text_lines+=(-annotate "+40+$y" "Quarterly figures, line $y: revenue, costs and the notes beside them.")
    done
    convert -size "$size" xc:'#f3f3f3' -fill '#2b5797' -draw "rectangle 0,0 $((w / 2)),$((h / 2))" \
        -fill '#1e7145' -draw "rectangle $((w / 2)),0 $w,$((h / 4))" \
        -fill '#e3a21a' -draw "rectangle $((w / 2)),$((h / 4)) $w,$((h / 2))" \
        -fill black -font DejaVu-Sans -pointsize 16 "${text_lines[@]}" "$work/plain.png"
    show_picture "$work/photo.png" "$size"

    local import_m import_p
    read -r import_m import_p < <(import_time)

    # The capture and its steps, and the price of the request's other steps, in a process of
    # their own.
    local steps
    steps=$(wine $bin/glintor_bench.exe "$runs" 2>/dev/null | tr -d '\r')
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

    # The program as viewers reach it, at its defaults but for the port: first with both sounds
    # off, for the memory of the program itself, then at its defaults (both sounds on, whose
    # first play loads Wine's sound system), for everything else. The port lies below the
    # kernel's range of ports for outgoing connections (from 32768), where one of the run's own
    # connections could hold it.
    local port=$((20000 + RANDOM % 12000))
    local rss_start_quiet rss_idle_quiet
    start_program "$port" 0
    rss_start_quiet=$(kib "$pid" VmRSS)
    python3 bench/client.py count "$port" 30
    sleep 30
    rss_idle_quiet=$(kib "$pid" VmRSS)
    end_program

    start_program "$port" 1
    local rss_start
    rss_start=$(kib "$pid" VmRSS)

    # 30 whole-screen requests, then the idle program: processor time of it and its Wine server
    # from 5 s to 30 s after the last request, and its memory at 30 s.
    python3 bench/client.py count "$port" 30
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

    local auto_m auto_p whole_m whole_p
    read -r auto_m auto_p < <(python3 bench/client.py latency "$port" "$runs")
    reg auto_snapshot 0  # read afresh by every request: the stored snapshot from now on
    python3 bench/client.py save "$port" "$work/www/snapshot.jpg"
    # The same whole-screen image as a stored snapshot: its sends and the request's fixed costs.
    read -r whole_m whole_p < <(python3 bench/client.py latency "$port" "$runs")
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

    # The plain picture: import, the capture, the whole-screen auto request and the stored one
    # again.
    show_picture "$work/plain.png" "$size"
    local plain_import_m plain_import_p plain_auto_m plain_auto_p plain_bytes plain_total plain_whole
    read -r plain_import_m plain_import_p < <(import_time)
    plain_total=$(wine $bin/glintor_bench.exe "$runs" 2>/dev/null | tr -d '\r' | awk '$1 == "capture" { print $10 }')
    reg auto_snapshot_mode 0
    reg auto_snapshot 1
    read -r plain_auto_m plain_auto_p < <(python3 bench/client.py latency "$port" "$runs")
    plain_bytes=$(python3 bench/client.py save "$port" "$work/plain.jpg"; stat -c %s "$work/plain.jpg")
    reg auto_snapshot 0
    read -r plain_whole _ < <(python3 bench/client.py latency "$port" "$runs")
    # The same two paced like a viewer's browser (one each 50 ms), and where the auto request's
    # time goes.
    local plain_paced_auto plain_paced_first plain_paced_sends plain_paced_stored
    reg auto_snapshot 1
    read -r plain_paced_auto plain_paced_first plain_paced_sends _ < <(python3 bench/client.py paced "$port" "$runs" 50)
    reg auto_snapshot 0
    read -r plain_paced_stored _ < <(python3 bench/client.py paced "$port" "$runs" 50)

    end_program
    kill "$viewer_pid" 2>/dev/null || true
    viewer_pid=""
    # The program's next start (scripts/run.sh, say) finds its defaults again, not the bench's.
    wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true
    stop_session

    local k
    for k in import_m import_p copy_m copy_p rows_m rows_p enc_m enc_p file_m file_p total_m total_p jpeg_bytes \
             main_m main_p send1k_m send64k_m log_us read_us write_us post_us sound_us socket_us peer_us stop_m \
             stop_p auto_m auto_p stored_1 stored_4 static_1 static_4 small_bytes paced_all paced_before \
             paced_sends paced_after idle server_idle server_alone idle_share rss_start rss_idle peak \
             plain_import_m plain_import_p plain_auto_m plain_auto_p plain_bytes whole_m whole_p plain_total \
             plain_whole plain_paced_auto plain_paced_first plain_paced_sends plain_paced_stored; do
        result["$size $k"]="${!k}"
    done
    result["$size ratio"]=$(echo "scale=2; $auto_m / $import_m" | bc)
    result["$size plain_ratio"]=$(echo "scale=2; $plain_auto_m / $plain_import_m" | bc)
    result["$size outside"]=$(echo "scale=2; $paced_before + $paced_after" | bc)
    result["$size rss_start"]=$(echo "scale=1; $rss_start / 1024" | bc)
    result["$size rss_idle"]=$(echo "scale=1; $rss_idle / 1024" | bc)
    result["$size rss_growth"]=$(echo "scale=1; ($rss_idle - $rss_start) / 1024" | bc)
    result["$size rss_quiet"]=$(echo "scale=1; $rss_start_quiet / 1024" | bc)
    result["$size rss_quiet_idle"]=$(echo "scale=1; $rss_idle_quiet / 1024" | bc)
    # What the sounds add: Wine's sound system, loaded at the first sound.
    result["$size sound_system"]=$(echo "scale=1; (($rss_idle - $rss_start) - ($rss_idle_quiet - $rss_start_quiet)) / 1024" | bc)
    result["$size growth_beyond_sound"]=$(echo "scale=1; ($rss_idle_quiet - $rss_start_quiet) / 1024" | bc)
    result["$size floor"]=$(echo "scale=1; $total_m + $whole_m" | bc)
    result["$size floor_ratio"]=$(echo "scale=2; $auto_m / ($total_m + $whole_m)" | bc)
    result["$size plain_floor"]=$(echo "scale=1; $plain_total + $plain_whole" | bc)
    result["$size plain_floor_ratio"]=$(echo "scale=2; $plain_auto_m / ($plain_total + $plain_whole)" | bc)
    result["$size plain_paced_ratio"]=$(echo "scale=2; $plain_paced_auto / ($plain_total + $plain_paced_stored)" | bc)
    result["$size peak"]=$((peak / 1024))
}

# Starts glintor.exe on port $1 with both sounds on (1) or off (0), the rest at its defaults,
# and waits until it listens and has settled: true start-up, nothing asked of it yet. Sets pid.
start_program()
{
    wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true
    reg port_number "$1"
    reg play_snapshot_sound "$2"
    reg play_sent_sound "$2"
    setsid wine $bin/glintor.exe >/dev/null 2>&1 </dev/null &
    for _ in $(seq 300); do
        listening "$1" && break
        sleep 0.1
    done
    listening "$1" || { echo "bench: glintor.exe does not listen on port $1" >&2; exit 1; }
    pid=$(pgrep -f 'glintor.exe' | head -n 1)
    sleep 3
}

# Ends it as a user does (the tray menu's exit) and waits for it.
end_program()
{
    wine $bin/glintor_exit.exe >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
}

for size in "${sizes[@]}"; do
    echo "measuring the ${bits}-bit program at $size" >&2
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

Glintor benchmark, the ${bits}-bit program under $(wine --version): quality 60, $runs runs, median (95th percentile), $(date -u +%Y-%m-%d)

$header
$rule
TITLE
row "JPEG of the whole screen" "%s bytes" jpeg_bytes
row "screen copy (BitBlt; under Wine in half-megabyte bands)" "%s (%s) ms" copy_m copy_p
row "row fetch and conversion (one row a call)" "%s (%s) ms" rows_m rows_p
row "JPEG encoding" "%s (%s) ms" enc_m enc_p
row "temporary-file round trip" "%s (%s) ms" file_m file_p
row "whole capture, encode and install (as auto snapshots run)" "%s (%s) ms" total_m total_p
row "the same on the main thread (hot keys)" "%s (%s) ms" main_m main_p
row "stored request of that whole-screen image" "%s (%s) ms" whole_m whole_p
row "floor: capture + stored request" "%s ms" floor
row "auto-snapshot request, connect to last byte" "%s (%s) ms" auto_m auto_p
row "... / floor" "%s" floor_ratio
row "\`import -window root -quality 60 jpeg:-\`" "%s (%s) ms" import_m import_p
row "auto-snapshot request / import" "%s" ratio
row "plain picture (flat blocks and text): JPEG of the whole screen" "%s bytes" plain_bytes
row "... auto-snapshot request / floor / \`import\`" "%s (%s) / %s / %s ms" plain_auto_m plain_auto_p plain_floor plain_import_m
row "... auto-snapshot request / floor, / import" "%s, %s" plain_floor_ratio plain_ratio
row "... paced (one each 50 ms): auto request (connect to first byte / sends) / stored request" "%s (%s / %s) / %s ms" plain_paced_auto plain_paced_first plain_paced_sends plain_paced_stored
row "... paced auto request / (capture + paced stored request)" "%s" plain_paced_ratio
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
row "resident, defaults (sounds on): start-up (3 s, nothing asked) / 30 s after the last of 30 requests" "%s / %s MiB" rss_start rss_idle
row "... growth / peak" "%s / %s MiB" rss_growth peak
row "resident, both sounds off: start-up / 30 s after 30 requests" "%s / %s MiB" rss_quiet rss_quiet_idle
row "... Wine's sound system (growth on less growth off) / growth beyond it" "%s / %s MiB" sound_system growth_beyond_sound
echo
echo "Bars: encoding at 1920 x 1080 <= 10 ms; auto request <= 1.3 x floor on both pictures, and <= 0.5 x import at"
echo "1920 x 1080 and 3840 x 2160; outside the sends <= 3 ms; the idle program's share <= 0.2 % of a core; resident"
echo "growth beyond the sound system <= 5 MiB (1920 x 1080 and 3840 x 2160); stopping the idle server <= 100 ms."

if [ $bits = 64 ]; then
    trap - EXIT
    finish
    if ! runs_32bit_code; then
        echo "The processor runs no 32-bit code on this machine: the 32-bit program is not measured."
        exit 0
    fi
    scripts/wine10-root.sh make
    scripts/wine10-root.sh run scripts/bench.sh --32 "$runs" "${sizes[@]}"
fi

#!/usr/bin/env bash
# Builds Glintor and starts it under Wine on a fresh Debian machine (run as root). It uses
# $DISPLAY when there is one; otherwise it starts a virtual display of its own and shows a
# picture there, so that what Glintor serves is worth looking at.
#   scripts/run.sh          start (or, when it runs already, tell where it is)
#   scripts/run.sh stop     end Glintor as a user does (tray menu "&exit"), then the display
#                           this script started
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
state="$root/build/run"   # what a start left for the stop: Glintor's pid, the display, its pid, the picture's
mkdir -p "$state"
# A Wine prefix of this script's own: the tray-menu exit below reaches only the Glintor that runs
# in it, never one that a test or someone else started in another prefix.
export WINEPREFIX="$state/wineprefix"

# The display helpers (and the Wine settings); its start_display is replaced below.
source scripts/session.sh

# The port Glintor reads from its settings.
port()
{
    local value
    value=$(wine reg query 'HKCU\Software\glintor' /v port_number 2>/dev/null | awk '/port_number/ {print $3}' | tr -d '\r')
    echo $(( ${value:-2000} ))
}

# Whether the Glintor this script started still runs.
running()
{
    [ -f "$state/glintor.pid" ] && kill -0 "$(cat "$state/glintor.pid")" 2>/dev/null
}

tell()
{
    local port="$1"
    echo "Viewers open: http://127.0.0.1:$port/ (or this machine's address instead of 127.0.0.1)"
    echo "Save a snapshot: curl -o snapshot.jpg http://127.0.0.1:$port/"
    echo "Stop it:         scripts/run.sh stop"
}

stop()
{
    local stopped=""
    if running; then
        [ -f "$state/display" ] && export DISPLAY="$(cat "$state/display")"
        cmake --build --preset win64 --target glintor_exit >/dev/null
        if wine build/win64/bin/glintor_exit.exe; then
            echo "Glintor ended from its tray menu."
        else
            echo "Glintor did not end from its tray menu; ending it." >&2
            kill "$(cat "$state/glintor.pid")" 2>/dev/null || true
        fi
        # The Unix process outlives the Windows one by a moment.
        for _ in $(seq 100); do running || break; sleep 0.1; done
        stopped=1
    fi
    rm -f "$state/glintor.pid"
    # The display, and the picture on it, only when this script started them.
    local pid
    for pid in picture xvfb; do
        if [ -f "$state/$pid.pid" ]; then
            kill "$(cat "$state/$pid.pid")" 2>/dev/null && [ "$pid" = xvfb ] && {
                echo "The virtual display $(cat "$state/display") ended."
                stopped=1
            }
            rm -f "$state/$pid.pid"
        fi
    done
    rm -f "$state/display"
    [ -n "$stopped" ] || echo "Nothing of Glintor's runs."
}

# A virtual display with a generated picture and a caption on it.
start_display()
{
    local n size=1920x1080
    n=$(free_display 90)
    setsid nohup Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 </dev/null &
    echo $! >"$state/xvfb.pid"
    wait_for_display "$n" "$(cat "$state/xvfb.pid")" || exit 1
    export DISPLAY=":$n"
    echo "$DISPLAY" >"$state/display"
    convert -size "$size" -seed 11 plasma:fractal -blur 0x2 \
        -font DejaVu-Sans -gravity center \
        -fill '#0008' -draw 'roundrectangle 360,390 1560,690 30,30' \
        -fill white -pointsize 64 -annotate +0-70 'Glintor is serving this screen' \
        -pointsize 32 -annotate +0+30 "A virtual display ($DISPLAY) that scripts/run.sh started" \
        -annotate +0+80 'Open the address it printed in a browser; reload for a new snapshot.' \
        "$state/picture.png"
    setsid nohup display -geometry "$size+0+0" -borderwidth 0 "$state/picture.png" >/dev/null 2>&1 </dev/null &
    echo $! >"$state/picture.pid"
    echo "Started a virtual display on $DISPLAY showing a picture."
}

if [ "${1:-}" = stop ]; then
    stop
    exit 0
fi

scripts/setup.sh
scripts/deps.sh x86_64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target glintor glintor_exit

if running; then
    echo "Glintor runs already."
    tell "$(port)"
    exit 0
fi
[ -n "${DISPLAY:-}" ] || start_display
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Making the Wine prefix $WINEPREFIX (once)."
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi

setsid nohup wine build/win64/bin/glintor.exe >/dev/null 2>&1 </dev/null &
echo $! >"$state/glintor.pid"
port=$(port)
for _ in $(seq 300); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null && break
    sleep 0.1
done
echo "Glintor is running under Wine on display $DISPLAY, in the notification area."
tell "$port"

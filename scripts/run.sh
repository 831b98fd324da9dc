#!/usr/bin/env bash
# Builds Glintor and starts it under Wine on a fresh Debian machine (run as root). It uses
# $DISPLAY when there is one, else a virtual display that it starts and leaves running.
# Glintor keeps running after this script returns; end it from its tray menu ("&exit") or with
#   WINEPREFIX=<repo>/build/win64/wineprefix wineserver -k
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh
scripts/deps.sh x86_64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target glintor

source scripts/wine-env.sh
if [ -z "${DISPLAY:-}" ]; then
    n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    setsid nohup Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 < /dev/null &
    for _ in $(seq 200); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    echo "started a virtual display on $DISPLAY"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
fi

setsid nohup wine build/win64/bin/glintor.exe >/dev/null 2>&1 < /dev/null &
port=$(wine reg query 'HKCU\Software\glintor' /v port_number 2>/dev/null | awk '/port_number/ {print $3}' | tr -d '\r' || true)
port=$(( ${port:-2000} ))
echo "Glintor is running under Wine on display $DISPLAY."
echo "Viewers open: http://127.0.0.1:${port:-2000}/ (or this machine's address instead of 127.0.0.1)"

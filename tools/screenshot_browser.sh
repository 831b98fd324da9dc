#!/usr/bin/env bash
# Takes docs/browser.png: a browser showing what Glintor serves, under Xvfb and Wine. The screen
# shows a generated picture; Glintor runs in a prefix of its own; headless Chromium (installed
# here if missing) fetches the address and is photographed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
command -v chromium >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends chromium >/dev/null
scripts/deps.sh x86_64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target glintor >/dev/null

export WINEPREFIX="$root/build/docs/wineprefix"
source scripts/session.sh
work="$root/build/docs"
viewer=""
finish()
{
    [ -n "$viewer" ] && kill "$viewer" 2>/dev/null
    stop_session
}
trap finish EXIT
mkdir -p "$work" docs
start_display 1280x720
start_wine
convert -size 1280x720 -seed 11 plasma:fractal -blur 0x2 "$work/desktop.png"
display -geometry 1280x720+0+0 -borderwidth 0 "$work/desktop.png" &
viewer=$!
sleep 2

port=$((20000 + RANDOM % 20000))
wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\glintor' /v port_number /t REG_DWORD /d "$port" /f >/dev/null 2>&1
setsid wine build/win64/bin/glintor.exe >/dev/null 2>&1 </dev/null &
for _ in $(seq 300); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1).close()" 2>/dev/null && break
    sleep 0.1
done
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$(mktemp -d)" --window-size=1024,640 \
    --screenshot="$root/docs/browser.png" "http://127.0.0.1:$port/" >/dev/null 2>&1
echo "wrote docs/browser.png"

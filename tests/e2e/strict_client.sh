#!/usr/bin/env bash
# Starts glintor.exe on a free port of the test display and has Node's strict HTTP clients read
# its snapshot (strict_client.js), then ends the program from its tray menu.
#   tests/e2e/strict_client.sh BINARY_FOLDER
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin="$1"
source "$here/../../scripts/wine-env.sh"
command -v node >/dev/null || { echo "strict_client: node is missing"; exit 1; }
port=$(node -e "const s = require('net').createServer().listen(0, '127.0.0.1', () => { console.log(s.address().port); s.close(); })")
key='HKCU\Software\glintor'
wine reg delete "$key" /f >/dev/null 2>&1
for value in "port_number $port" "server_running 1" "play_snapshot_sound 0" "play_sent_sound 0"; do
    set -- $value
    wine reg add "$key" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1 || { echo "strict_client: cannot set $1"; exit 1; }
done
wine "$bin/glintor.exe" &
program=$!
finish()
{
    wine "$bin/glintor_exit.exe" >/dev/null 2>&1 || kill "$program" 2>/dev/null
    wait "$program" 2>/dev/null
    wine reg delete "$key" /f >/dev/null 2>&1
}
trap finish EXIT
for _ in $(seq 300); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    kill -0 "$program" 2>/dev/null || { echo "strict_client: glintor.exe ended"; exit 1; }
    sleep 0.1
done
node "$here/strict_client.js" "$port"

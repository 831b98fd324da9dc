#!/usr/bin/env bash
# Takes docs/preferences.png: the preferences dialog as Glintor shows it, under Xvfb and Wine.
# Wine draws the window frame itself here (no window manager runs), in a prefix of its own.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/deps.sh x86_64
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target glintor glintor_show_preferences >/dev/null

export WINEPREFIX="$root/build/docs/wineprefix"
source scripts/session.sh
work="$root/build/docs"
finish()
{
    stop_session
}
trap finish EXIT
mkdir -p "$work" docs
rm -f "$work/rect.txt" "$work/done"
start_display 1024x768
start_wine
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true

wine build/win64/bin/glintor_show_preferences.exe "Z:${work//\//\\}\\done" >"$work/rect.txt" 2>/dev/null &
shower=$!
for _ in $(seq 300); do [ -s "$work/rect.txt" ] && break; sleep 0.1; done
read -r left top right bottom < <(tr -d '\r' <"$work/rect.txt")
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage docs/preferences.png
touch "$work/done"
wait "$shower" || true
echo "wrote docs/preferences.png ($((right - left)) x $((bottom - top)))"

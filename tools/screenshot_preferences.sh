#!/usr/bin/env bash
# Takes docs/preferences.png: the preferences dialog as Glintor shows it, under Xvfb and Wine.
# Wine draws the window frame itself here (no window manager runs), in a prefix of its own.
# With --scaled: docs/preferences-150.png, the 32-bit program on a screen scaled to 150 %, under
# Wine 10 in its root (scripts/wine10-root.sh), which scales as Windows does.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=${1:-}
if [ "$mode" != --scaled-inside ]; then
    scripts/setup.sh
    scripts/deps.sh
    preset=win64
    [ "$mode" = --scaled ] && preset=win32
    cmake --preset $preset >/dev/null
    cmake --build --preset $preset --target glintor glintor_show_preferences >/dev/null
    if [ "$mode" = --scaled ]; then
        scripts/wine10-root.sh make
        exec scripts/wine10-root.sh run tools/screenshot_preferences.sh --scaled-inside
    fi
fi
bin=build/win64/bin
picture=docs/preferences.png
screen=1024x768
if [ "$mode" = --scaled-inside ]; then
    bin=build/win32/bin
    picture=docs/preferences-150.png
    screen=1536x1152
fi

# Wine 10 keeps a prefix of its own: one prefix is never shared by two Wine versions.
export WINEPREFIX="$root/build/docs/wineprefix${mode:+-wine10}"
source scripts/session.sh
work="$root/build/docs"
finish()
{
    stop_session
}
trap finish EXIT
mkdir -p "$work" docs
rm -f "$work/rect.txt" "$work/done"
start_display $screen
if [ "$mode" = --scaled-inside ]; then
    # Only the scaled prefix (beside $WINEPREFIX) and its server, which stop_session ends.
    start_scaled_wine
    export WINEPREFIX="$GLINTOR_SCALED_PREFIX"
else
    start_wine
fi
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wine reg delete 'HKCU\Software\glintor' /f >/dev/null 2>&1 || true

wine $bin/glintor_show_preferences.exe "Z:${work//\//\\}\\done" >"$work/rect.txt" 2>/dev/null &
shower=$!
for _ in $(seq 300); do [ -s "$work/rect.txt" ] && break; sleep 0.1; done
read -r left top right bottom < <(tr -d '\r' <"$work/rect.txt")
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage $picture
touch "$work/done"
wait "$shower" || true
echo "wrote $picture ($((right - left)) x $((bottom - top)))"

# Sourced by the scripts: a virtual display and a Wine server for one run, torn down at exit.
# Only what this run started is stopped.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

GLINTOR_STARTED_XVFB=""
GLINTOR_STARTED_WINESERVER=""

# Starts Xvfb on the first free display number at or above 90, WIDTHxHEIGHT (default 1920x1080).
start_display()
{
    local size="${1:-1920x1080}" n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    # -nocursor: X draws no pointer of its own into the screen, as on Windows, where a screen
    # copy never shows it; the program draws the pointer itself when asked to.
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -nocursor >/dev/null 2>&1 &
    GLINTOR_STARTED_XVFB=$!
    local deadline=$((SECONDS + 20))
    until [ -e "/tmp/.X11-unix/X$n" ]; do
        if [ $SECONDS -ge $deadline ] || ! kill -0 "$GLINTOR_STARTED_XVFB" 2>/dev/null; then
            echo "could not start Xvfb on :$n" >&2
            return 1
        fi
        sleep 0.1
    done
    export DISPLAY=":$n"
}

# Makes the Wine prefix once (10 to 20 s), then keeps one wineserver up for the run.
start_wine()
{
    mkdir -p "$(dirname "$WINEPREFIX")"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "making the Wine prefix $WINEPREFIX"
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
    wineserver -p >/dev/null 2>&1
    GLINTOR_STARTED_WINESERVER=1
    # Start Wine's own services now, with nothing attached to their output: started by the
    # first test instead, they would inherit ctest's output pipe and keep that test waiting.
    wineboot >/dev/null 2>&1 </dev/null || true
}

stop_session()
{
    if [ -n "$GLINTOR_STARTED_WINESERVER" ]; then
        wineserver -k >/dev/null 2>&1 || true
        GLINTOR_STARTED_WINESERVER=""
    fi
    if [ -n "$GLINTOR_STARTED_XVFB" ]; then
        kill "$GLINTOR_STARTED_XVFB" 2>/dev/null || true
        wait "$GLINTOR_STARTED_XVFB" 2>/dev/null || true
        GLINTOR_STARTED_XVFB=""
    fi
}

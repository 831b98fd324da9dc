# Sourced by the scripts: a virtual display and a Wine server for one run, torn down at exit.
# Only what this run started is stopped.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

GLINTOR_STARTED_XVFB=""
GLINTOR_STARTED_WINESERVER=""
GLINTOR_STARTED_XORG=""
GLINTOR_STARTED_MONITORS_WINESERVER=""
GLINTOR_MONITORS_PREFIX="$GLINTOR_ROOT/build/win64/wineprefix-monitors"
GLINTOR_STARTED_SCALED_WINESERVER=""

# The first display number at or above $1 that nothing uses.
free_display()
{
    local n="$1"
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    echo "$n"
}

# Waits for display :$1 of process $2 to take connections.
wait_for_display()
{
    local deadline=$((SECONDS + 20))
    until [ -e "/tmp/.X11-unix/X$1" ]; do
        if [ $SECONDS -ge $deadline ] || ! kill -0 "$2" 2>/dev/null; then
            echo "could not start a display on :$1" >&2
            return 1
        fi
        sleep 0.1
    done
}

# Starts Xvfb on the first free display number at or above 90, WIDTHxHEIGHT (default 1920x1080).
start_display()
{
    local size="${1:-1920x1080}" n
    n=$(free_display 90)
    # -nocursor: X draws no pointer of its own into the screen, as on Windows, where a screen
    # copy never shows it; the program draws the pointer itself when asked to.
    Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp -nocursor >/dev/null 2>&1 &
    GLINTOR_STARTED_XVFB=$!
    wait_for_display "$n" "$GLINTOR_STARTED_XVFB" || return 1
    export DISPLAY=":$n"
}

# Two monitors, which Xvfb cannot show: Xorg's dummy driver with a 1024 x 768 primary monitor
# and a 1366 x 768 one left of it, so that the virtual screen starts left of the primary one
# and is 2390 pixels wide, not a whole number of 8 (the capture's bitmap is padded to one).
# It gets a Wine prefix and server of its own, since Wine keeps the monitor layout per prefix.
# Exports GLINTOR_MONITORS_DISPLAY and GLINTOR_MONITORS_PREFIX.
start_monitors_display()
{
    local dir="$GLINTOR_ROOT/build/xorg" n
    mkdir -p "$dir/conf.d"
    cat >"$dir/dummy.conf" <<'CONF'
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 64000
EndSection
Section "Monitor"
    Identifier "monitor"
    HorizSync 5.0 - 1000.0
    VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Virtual 2560 1024
    EndSubSection
EndSection
CONF
    n=$(free_display 120)
    Xorg ":$n" -config "$dir/dummy.conf" -configdir "$dir/conf.d" -logfile "$dir/log" -noreset -nolisten tcp \
        -novtswitch -sharevts >/dev/null 2>&1 </dev/null &
    GLINTOR_STARTED_XORG=$!
    wait_for_display "$n" "$GLINTOR_STARTED_XORG" || return 1
    DISPLAY=":$n" xrandr --output DUMMY0 --mode 1024x768 --primary &&
        DISPLAY=":$n" xrandr --newmode 1366x768 85.25 1366 1440 1576 1784 768 771 781 798 -hsync +vsync &&
        DISPLAY=":$n" xrandr --addmode DUMMY1 1366x768 &&
        DISPLAY=":$n" xrandr --output DUMMY1 --mode 1366x768 --left-of DUMMY0 || return 1
    # A full query makes the dummy driver publish the new layout; without it Wine, which asks
    # for the current one only, still sees the primary monitor alone.
    DISPLAY=":$n" xrandr >/dev/null || return 1
    export GLINTOR_MONITORS_DISPLAY=":$n" GLINTOR_MONITORS_PREFIX
    if [ ! -f "$GLINTOR_MONITORS_PREFIX/system.reg" ]; then
        echo "making the Wine prefix $GLINTOR_MONITORS_PREFIX"
        DISPLAY=":$n" WINEPREFIX="$GLINTOR_MONITORS_PREFIX" wineboot -i >/dev/null 2>&1 || true
        WINEPREFIX="$GLINTOR_MONITORS_PREFIX" wineserver -w
    fi
    WINEPREFIX="$GLINTOR_MONITORS_PREFIX" wineserver -p >/dev/null 2>&1
    GLINTOR_STARTED_MONITORS_WINESERVER=1
    DISPLAY=":$n" WINEPREFIX="$GLINTOR_MONITORS_PREFIX" unmanaged_windows
    DISPLAY=":$n" WINEPREFIX="$GLINTOR_MONITORS_PREFIX" wineboot >/dev/null 2>&1 </dev/null || true
}

# A prefix of its own whose screen is scaled to 150 % (LogPixels 144, which Wine 10 applies as
# Windows does to programs that are not DPI-aware) and a Wine server for it, on $DISPLAY.
# Exports GLINTOR_SCALED_PREFIX.
start_scaled_wine()
{
    export GLINTOR_SCALED_PREFIX="$(dirname "$WINEPREFIX")/wineprefix-scaled"
    if [ ! -f "$GLINTOR_SCALED_PREFIX/system.reg" ]; then
        echo "making the Wine prefix $GLINTOR_SCALED_PREFIX"
        WINEPREFIX="$GLINTOR_SCALED_PREFIX" wineboot -i >/dev/null 2>&1 || true
        WINEPREFIX="$GLINTOR_SCALED_PREFIX" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
            /d 144 /f >/dev/null 2>&1
        WINEPREFIX="$GLINTOR_SCALED_PREFIX" wine reg add \
            'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
            /t REG_DWORD /d 144 /f >/dev/null 2>&1
        # A Wine server started after the change applies it.
        WINEPREFIX="$GLINTOR_SCALED_PREFIX" wineserver -k >/dev/null 2>&1 || true
        WINEPREFIX="$GLINTOR_SCALED_PREFIX" wineserver -w
    fi
    WINEPREFIX="$GLINTOR_SCALED_PREFIX" wineserver -p >/dev/null 2>&1
    GLINTOR_STARTED_SCALED_WINESERVER=1
    WINEPREFIX="$GLINTOR_SCALED_PREFIX" unmanaged_windows
    WINEPREFIX="$GLINTOR_SCALED_PREFIX" wineboot >/dev/null 2>&1 </dev/null || true
}

# A tiny file system for the writer's full-disk test, in the build tree. Only in a mount
# namespace of the caller's own (unshare --mount), so that it goes when the run ends; skipped
# where nothing can be mounted. Exports GLINTOR_FULL_DISK.
mount_full_disk()
{
    local full_disk="$GLINTOR_ROOT/build/full-disk"
    mkdir -p "$full_disk"
    if mountpoint -q "$full_disk" || mount -t tmpfs -o size=64k glintor-full "$full_disk" 2>/dev/null; then
        export GLINTOR_FULL_DISK="Z:${full_disk//\//\\}"
    fi
}

# Whether the processor runs 32-bit code here, which Wine's WoW64 mode needs for the 32-bit
# program: a far return into the 32-bit user code segment and back. Some virtual machines'
# kernels do not offer that segment, and there the probe is ended by a fault.
runs_32bit_code()
{
    local dir status
    # Without an assembler or a temporary folder, no probe: the 32-bit run goes ahead and shows what happens.
    command -v as >/dev/null && command -v ld >/dev/null || return 0
    dir=$(mktemp -d) || return 0
    cat >"$dir/probe.s" <<'PROBE'
.globl _start
.text
_start:
    mov $stack_end, %esp
    pushq $0x23
    pushq $compat
    lretq
.code32
compat:
    pushl $0x33
    pushl $long
    lret
.code64
long:
    mov $60, %eax
    xor %edi, %edi
    syscall
.bss
.balign 16
    .skip 4096
stack_end:
PROBE
    { as -o "$dir/probe.o" "$dir/probe.s" && ld -o "$dir/probe" "$dir/probe.o" && "$dir/probe"; } 2>/dev/null
    status=$?
    rm -rf "$dir"
    return $status
}

# No window manager runs on these displays: Wine then waits 2 s for one at every unmapped
# window (each window a test destroys) unless it leaves the windows unmanaged.
unmanaged_windows()
{
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null || true
}

# Wine's debug heap for every program of the current prefix (see the README's --debug-heap).
enable_debug_heap()
{
    wine reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' /v GlobalFlag /t REG_DWORD /d 0xF0 /f \
        >/dev/null 2>&1
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
    unmanaged_windows
    # Start Wine's own services now, with nothing attached to their output: started by the
    # first test instead, they would inherit ctest's output pipe and keep that test waiting.
    wineboot >/dev/null 2>&1 </dev/null || true
}

stop_session()
{
    if [ -n "$GLINTOR_STARTED_SCALED_WINESERVER" ]; then
        WINEPREFIX="$GLINTOR_SCALED_PREFIX" wineserver -k >/dev/null 2>&1 || true
        GLINTOR_STARTED_SCALED_WINESERVER=""
    fi
    if [ -n "$GLINTOR_STARTED_MONITORS_WINESERVER" ]; then
        WINEPREFIX="$GLINTOR_MONITORS_PREFIX" wineserver -k >/dev/null 2>&1 || true
        GLINTOR_STARTED_MONITORS_WINESERVER=""
    fi
    if [ -n "$GLINTOR_STARTED_XORG" ]; then
        kill "$GLINTOR_STARTED_XORG" 2>/dev/null || true
        wait "$GLINTOR_STARTED_XORG" 2>/dev/null || true
        GLINTOR_STARTED_XORG=""
    fi
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

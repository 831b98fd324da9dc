#!/usr/bin/env bash
# Checks the Windows programs given: each is a GUI program, terminal-server aware, with the
# per-monitor DPI awareness in its embedded manifest; a 32-bit (i386) one is large-address
# aware. A program whose name contains "win32" must be i386.
#   scripts/check-pe.sh build/win32/bin/glintor.exe [build/win64/bin/glintor.exe ...]
set -uo pipefail
failed=0
fail() { echo "check-pe: $1"; failed=1; }
for exe in "$@"; do
    headers=$(i686-w64-mingw32-objdump -f -p "$exe" 2>/dev/null) \
        || headers=$(x86_64-w64-mingw32-objdump -f -p "$exe" 2>/dev/null) \
        || { fail "cannot read $exe"; continue; }
    if grep -q 'file format pei-i386' <<<"$headers"; then
        grep -q 'large address aware' <<<"$headers" || fail "$exe is not large-address aware"
    elif [[ "$exe" == *win32* ]]; then
        fail "$exe is not an i386 program"
    fi
    grep -Eq 'Subsystem[[:space:]]+0*2[[:space:]]+\(Windows GUI\)' <<<"$headers" || fail "$exe is not a GUI program"
    grep -q 'TERMINAL_SERVICE_AWARE' <<<"$headers" || fail "$exe is not terminal-server aware"
    # Windows reads the manifest; Wine reports per-monitor awareness whatever it says.
    manifest=$(strings -a "$exe" | sed -n '/<assembly/,/<\/assembly>/p')
    grep -q '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>' <<<"$manifest" \
        || fail "$exe does not declare dpiAware true/pm"
    grep -q '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>' \
        <<<"$manifest" || fail "$exe does not declare per-monitor v2 awareness"
done
[ $failed -eq 0 ] && echo "check-pe: $* checked: GUI, terminal-server aware, per-monitor DPI aware (i386: large-address aware)"
exit $failed

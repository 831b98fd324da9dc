#!/usr/bin/env bash
# Checks the Windows programs given: each is a GUI program, terminal-server aware, with the
# per-monitor DPI awareness, asInvoker and the supported Windows versions in its embedded
# manifest, and imports nothing at load time but Windows' known DLLs and the manifest's common
# controls (any other DLL would be looked for beside the program first, in a Downloads folder,
# say); a 32-bit (i386) one is large-address aware. A program whose name contains "win32" must
# be i386.
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
    # Without trustInfo a 32-bit program gets UAC's file and registry virtualisation.
    grep -q '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' <<<"$manifest" \
        || fail "$exe does not declare asInvoker"
    for os in 35138b9a-5d96-4fbd-8e2d-a2440225f93a 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 \
        1f676c76-80e1-4239-95bb-83d0f6d0da78 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
        grep -q "<supportedOS Id=\"{$os}\"/>" <<<"$manifest" || fail "$exe does not declare supportedOS $os"
    done
    known=' advapi32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll comctl32.dll '
    for dll in $(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z'); do
        [[ "$known" == *" $dll "* ]] || fail "$exe imports $dll, which is not a known DLL"
    done
done
[ $failed -eq 0 ] && echo "check-pe: $* checked: GUI, terminal-server aware, per-monitor DPI aware, asInvoker, supported versions, known DLLs only (i386: large-address aware)"
exit $failed

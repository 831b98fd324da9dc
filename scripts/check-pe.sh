#!/usr/bin/env bash
# Checks that a program is a 32-bit (i386) Windows GUI program.
set -uo pipefail
exe="$1"
headers=$(i686-w64-mingw32-objdump -f -p "$exe" 2>/dev/null) || { echo "check-pe: cannot read $exe"; exit 1; }
grep -q 'file format pei-i386' <<<"$headers" || { echo "check-pe: $exe is not an i386 program"; exit 1; }
grep -Eq 'Subsystem[[:space:]]+0*2[[:space:]]+\(Windows GUI\)' <<<"$headers" \
    || { echo "check-pe: $exe is not a GUI program"; exit 1; }
echo "check-pe: $exe is a 32-bit Windows GUI program"

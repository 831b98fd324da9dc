#!/usr/bin/env bash
# Packs the release and checks it: both zips hold the program, the help page and the licence
# note, and the 32-bit program is an i386 GUI program carrying version 1.03.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/release.sh >/dev/null || { echo "check-release: packing failed"; exit 1; }
version=$(sed -n 's/.*VALUE "ProductVersion", "\([^"]*\)".*/\1/p' src/resources/glintor.rc)
failed=0
for arch in win32 win64; do
    zip="dist/glintor-$version-$arch.zip"
    listing=$(unzip -Z1 "$zip" 2>/dev/null) || { echo "check-release: no $zip"; failed=1; continue; }
    for member in glintor.exe help.html LICENSE-libjpeg-turbo.txt docs/preferences.png; do
        grep -qx "$member" <<<"$listing" || { echo "check-release: $zip lacks $member"; failed=1; }
    done
done
unpacked=$(mktemp -d)
unzip -q "dist/glintor-$version-win32.zip" glintor.exe -d "$unpacked"
scripts/check-pe.sh "$unpacked/glintor.exe" >/dev/null || { echo "check-release: the win32 program is not a 32-bit GUI program"; failed=1; }
strings -el "$unpacked/glintor.exe" | grep -qx "$version" || { echo "check-release: no version $version in the win32 program"; failed=1; }
rm -rf "$unpacked"
[ $failed -eq 0 ] && echo "check-release: dist/glintor-$version-win32.zip and -win64.zip are complete"
exit $failed

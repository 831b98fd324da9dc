#!/usr/bin/env bash
# Packs the release and checks it: both zips hold the program, the help page, every local
# picture and link of that page, and the licence note; both programs pass check-pe.sh, are
# stripped and name their symbol file, and the 32-bit one is i386 and carries version 1.03.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# --packed: the caller has just packed it (the test command does), so it is not packed again.
if [ "${1:-}" != --packed ]; then
    scripts/release.sh >/dev/null || { echo "check-release: packing failed"; exit 1; }
fi
version=$(sed -n 's/.*VALUE "ProductVersion", "\([^"]*\)".*/\1/p' src/resources/glintor.rc)
failed=0
for arch in win32 win64; do
    zip="dist/glintor-$version-$arch.zip"
    listing=$(unzip -Z1 "$zip" 2>/dev/null) || { echo "check-release: no $zip"; failed=1; continue; }
    # What the help page shows or links to, unless it is on the web or within the page.
    page_files=$(unzip -p "$zip" help.html 2>/dev/null | grep -o -E '(src|href)="[^"#]+"' | sed -E 's/^[a-z]+="(.*)"$/\1/' |
        grep -v -E '^[a-z]+:' | sort -u)
    for member in glintor.exe help.html LICENSE-libjpeg-turbo.txt $page_files; do
        grep -qx "$member" <<<"$listing" || { echo "check-release: $zip lacks $member"; failed=1; }
    done
done
unpacked=$(mktemp -d)
for arch in win32 win64; do
    unzip -q "dist/glintor-$version-$arch.zip" glintor.exe -d "$unpacked/$arch"
done
# The programs as shipped: header, flags and manifest; no symbols, but the name of their file.
scripts/check-pe.sh "$unpacked/win32/glintor.exe" "$unpacked/win64/glintor.exe" || failed=1
for arch in win32 win64; do
    sections=$(x86_64-w64-mingw32-objdump -h "$unpacked/$arch/glintor.exe")
    grep -q '\.debug_' <<<"$sections" && { echo "check-release: the $arch program is not stripped"; failed=1; }
    grep -q '\.gnu_debuglink' <<<"$sections" || { echo "check-release: the $arch program names no symbol file"; failed=1; }
done
strings -el "$unpacked/win32/glintor.exe" | grep -qx "$version" || { echo "check-release: no version $version in the win32 program"; failed=1; }
rm -rf "$unpacked"
[ $failed -eq 0 ] && echo "check-release: dist/glintor-$version-win32.zip and -win64.zip are complete"
exit $failed

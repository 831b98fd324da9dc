#!/usr/bin/env bash
# Builds both programs and packs dist/glintor-<version>-win32.zip and -win64.zip, each with the
# program, the help page that "Info / Help" opens (and its pictures) and the licence of
# libjpeg-turbo, which the program contains, and dist/SHA256SUMS beside them. The programs are
# shipped stripped; their symbols stay in the build tree (build/<arch>/bin/glintor.exe.debug,
# which the shipped program names), so that a crash address from a user can still be read.
# The same commit gives the same bytes: no time stamp in the programs, zip entries in a fixed
# order with the commit's time and fixed attributes (scripts/check-reproducible.sh compares).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# --built: the caller has just set up and built both presets (the test command does).
if [ "${1:-}" != --built ]; then
    scripts/setup.sh
    scripts/deps.sh
    for preset in win64 win32; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" --target glintor glintor_help >/dev/null
    done
fi

version=$(sed -n 's/.*VALUE "ProductVersion", "\([^"]*\)".*/\1/p' src/resources/glintor.rc)
licence="$root/build/deps/src/libjpeg-turbo/LICENSE.md"
# Every file in the zips gets the time of the commit it was built from.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 315532800)}
mkdir -p dist
for arch in win32 win64; do
    case $arch in win32) objcopy=i686-w64-mingw32-objcopy ;; win64) objcopy=x86_64-w64-mingw32-objcopy ;; esac
    stage="$root/build/release/glintor-$version-$arch"
    rm -rf "$stage" && mkdir -p "$stage/docs"
    program="build/$arch/bin/glintor.exe"
    # The symbols beside the built program; the shipped one is stripped and names that file.
    # objcopy writes a time stamp into both: the commit's, not the clock's.
    SOURCE_DATE_EPOCH=$epoch "$objcopy" --only-keep-debug "$program" "$program.debug"
    (cd "build/$arch/bin" && SOURCE_DATE_EPOCH=$epoch "$objcopy" --strip-all --add-gnu-debuglink=glintor.exe.debug \
        glintor.exe "$stage/glintor.exe")
    cp "build/$arch/bin/help.html" "$stage/"
    cp docs/preferences.png docs/browser.png "$stage/docs/"
    {
        echo "Glintor contains libjpeg-turbo, used under the licences below."
        echo "This software is based in part on the work of the Independent JPEG Group."
        echo
        cat "$licence"
    } >"$stage/LICENSE-libjpeg-turbo.txt"
    chmod -R u=rwX,go=rX "$stage"
    find "$stage" -exec touch -h -d "@$epoch" {} +
    rm -f "dist/glintor-$version-$arch.zip"
    # Sorted names, no extra attributes (owner, Unix times), no folder entries, times in UTC.
    (cd "$stage" && find . -type f | LC_ALL=C sort | TZ=UTC zip -q -X -D "$root/dist/glintor-$version-$arch.zip" -@)
    echo "dist/glintor-$version-$arch.zip"
done
(cd dist && sha256sum "glintor-$version-win32.zip" "glintor-$version-win64.zip" >SHA256SUMS)
echo "dist/SHA256SUMS"

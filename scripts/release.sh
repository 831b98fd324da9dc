#!/usr/bin/env bash
# Builds both programs and packs dist/glintor-<version>-win32.zip and -win64.zip, each with the
# program, the help page that "Info / Help" opens (and its picture) and the licence of
# libjpeg-turbo, which the program contains.
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
mkdir -p dist
for arch in win32 win64; do
    stage="$root/build/release/glintor-$version-$arch"
    rm -rf "$stage" && mkdir -p "$stage/docs"
    cp "build/$arch/bin/glintor.exe" "build/$arch/bin/help.html" "$stage/"
    cp docs/preferences.png docs/browser.png "$stage/docs/"
    {
        echo "Glintor contains libjpeg-turbo, used under the licences below."
        echo "This software is based in part on the work of the Independent JPEG Group."
        echo
        cat "$licence"
    } >"$stage/LICENSE-libjpeg-turbo.txt"
    rm -f "dist/glintor-$version-$arch.zip"
    (cd "$stage" && zip -q -r "$root/dist/glintor-$version-$arch.zip" .)
    echo "dist/glintor-$version-$arch.zip"
done

#!/usr/bin/env bash
# The whole test suite on a fresh Debian machine: installs what is missing, builds the
# dependencies and both programs, runs the 64-bit tests under Wine on a virtual display,
# checks the 32-bit program's header, and exits with the outcome.
#   scripts/test.sh [ctest arguments...]     e.g. scripts/test.sh -L unit
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh || exit 1
scripts/deps.sh || exit 1

for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null || exit 1
    cmake --build --preset "$preset" || exit 1
done

source scripts/session.sh
full_disk="$root/build/full-disk"
full_disk_mounted=""
finish()
{
    stop_session
    [ -n "$full_disk_mounted" ] && umount "$full_disk" 2>/dev/null
}
trap finish EXIT
start_display 1920x1080 || exit 1
start_wine
start_monitors_display || exit 1
# The 32-bit program of the release zip, which a test runs under emulation.
start_emulation32 || exit 1
scripts/release.sh --built >/dev/null || exit 1
rm -rf build/release/unpacked-win32
unzip -q "dist/glintor-$(sed -n 's/.*VALUE "ProductVersion", "\([^"]*\)".*/\1/p' src/resources/glintor.rc)-win32.zip" \
    -d build/release/unpacked-win32 || exit 1

# A tiny file system for the writer's full-disk test (skipped where nothing can be mounted).
mkdir -p "$full_disk"
if mountpoint -q "$full_disk" || mount -t tmpfs -o size=64k glintor-full "$full_disk" 2>/dev/null; then
    mountpoint -q "$full_disk" && full_disk_mounted=1
    export GLINTOR_FULL_DISK="Z:${full_disk//\//\\}"
fi

ctest --preset win64 "$@"
outcome=$?

# The release packed above, and its programs' headers, flags and manifests, checked once.
scripts/check-release.sh --packed || outcome=1
exit $outcome

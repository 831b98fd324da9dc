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
trap stop_session EXIT
start_display 1920x1080 || exit 1
start_wine

ctest --preset win64 "$@"
outcome=$?

scripts/check-pe.sh build/win32/bin/glintor.exe || outcome=1
exit $outcome

#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine with the build tree's prefix (ctest's emulator).
source "$(dirname "$0")/wine-env.sh"
exec wine "$@"

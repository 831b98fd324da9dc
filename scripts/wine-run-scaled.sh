#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix whose screen is scaled to 150 % (LogPixels
# 144), which scripts/test.sh makes for the Wine 10 run (start_scaled_wine in session.sh). Exits
# 77, which ctest counts as skipped, where there is none (Wine 8 does not scale programs).
source "$(dirname "$0")/wine-env.sh"
if [ -z "${GLINTOR_SCALED_PREFIX:-}" ]; then
    echo "no scaled prefix: the Wine 10 run of scripts/test.sh makes one"
    exit 77
fi
export WINEPREFIX="$GLINTOR_SCALED_PREFIX" GLINTOR_SCALED=1
exec wine "$@"

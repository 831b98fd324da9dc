#!/usr/bin/env bash
# Runs a Windows program under Wine on the two-monitor display that scripts/test.sh starts
# (start_monitors_display in session.sh), with that display's own prefix. Exits 77, which
# ctest counts as skipped, when no such display runs.
source "$(dirname "$0")/wine-env.sh"
if [ -z "${GLINTOR_MONITORS_DISPLAY:-}" ] || [ -z "${GLINTOR_MONITORS_PREFIX:-}" ]; then
    echo "no two-monitor display: start one with start_monitors_display (scripts/session.sh)"
    exit 77
fi
export DISPLAY="$GLINTOR_MONITORS_DISPLAY" WINEPREFIX="$GLINTOR_MONITORS_PREFIX" GLINTOR_MONITOR_LEFT=1
exec wine "$@"

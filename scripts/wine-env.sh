# Sourced by the scripts: the Wine settings of a build tree. Each build tree has its own prefix.
: "${GLINTOR_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${WINEPREFIX:-$GLINTOR_ROOT/build/win64/wineprefix}"
# GLINTOR_WINEDEBUG replaces the quiet default, for a run that wants Wine's messages (its debug heap's, say).
export WINEDEBUG="${GLINTOR_WINEDEBUG:--all}"
# No Mono or Gecko installers: there is nothing to fetch them from, and the program needs neither.
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win64

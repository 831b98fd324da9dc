# Sourced by the scripts: the Wine settings of a build tree. Each build tree has its own prefix.
: "${GLINTOR_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${WINEPREFIX:-$GLINTOR_ROOT/build/win64/wineprefix}"
# GLINTOR_WINEDEBUG replaces the quiet default, for a run that wants Wine's messages (its debug heap's, say).
export WINEDEBUG="${GLINTOR_WINEDEBUG:--all}"
# No Mono or Gecko installers: there is nothing to fetch them from, and the program needs neither.
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win64
# glibc's allocator on Wine's Unix side (its X11 driver's and GDI's buffers for a screen copy)
# raises its mmap and trim thresholds to the size of the largest block freed, and from then on
# keeps the memory of a whole screen's bitmap for good: 8 MB at 1920 x 1080, 33 MB at 3840 x 2160.
# Fixed thresholds give blocks of a megabyte or more back when they are freed, and a free top
# of the heap above 2 MB, while the half-megabyte bands of a copy are still reused from the heap.
case "${GLIBC_TUNABLES:-}" in
*glibc.malloc.mmap_threshold*) ;;
*) export GLIBC_TUNABLES="${GLIBC_TUNABLES:+$GLIBC_TUNABLES:}glibc.malloc.mmap_threshold=1048576:glibc.malloc.trim_threshold=2097152" ;;
esac

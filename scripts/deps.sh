#!/usr/bin/env bash
# Builds libjpeg-turbo (libjpeg 6.2 interface, SIMD on, static) for the MinGW-w64 targets from
# Debian's source package, into build/deps/<target>. A finished prefix is reused on later runs.
#   scripts/deps.sh [x86_64|i686]...     (default: both)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/build/deps"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(x86_64 i686)

need_build=0
for t in "${targets[@]}"; do
  [ -f "$deps/$t/.done" ] || need_build=1
done
[ $need_build -eq 1 ] || exit 0

src_dir="$deps/src"
mkdir -p "$src_dir"

# Fetch the source package once. apt needs a deb-src entry: derive it from the machine's own
# deb entries instead of naming any host here.
if ! ls "$src_dir"/libjpeg-turbo_*.orig.tar.gz >/dev/null 2>&1; then
  list=/etc/apt/sources.list.d/glintor-deb-src.sources
  if ! grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    : > "$list.tmp"
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      sed -e 's/^Types:.*/Types: deb-src/' "$f" >> "$list.tmp"
      echo >> "$list.tmp"
    done
    if [ -f /etc/apt/sources.list ]; then
      grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' \
        > /etc/apt/sources.list.d/glintor-deb-src.list || true
    fi
    mv "$list.tmp" "$list"
  fi
  apt-get update -qq
  (cd "$src_dir" && apt-get source --download-only -qq libjpeg-turbo)
fi

tarball=$(ls "$src_dir"/libjpeg-turbo_*.orig.tar.gz | head -n 1)
unpacked="$src_dir/libjpeg-turbo"
if [ ! -f "$unpacked/CMakeLists.txt" ]; then
  rm -rf "$unpacked" && mkdir -p "$unpacked"
  tar -xzf "$tarball" -C "$unpacked" --strip-components=1
fi

for t in "${targets[@]}"; do
  prefix="$deps/$t"
  [ -f "$prefix/.done" ] && continue
  case "$t" in
    x86_64) proc=AMD64 ;;
    i686) proc=x86 ;;
    *) echo "deps: unknown target $t" >&2; exit 2 ;;
  esac
  work="$deps/build-$t"
  rm -rf "$work"
  echo "deps: building libjpeg-turbo for $t"
  cmake -S "$unpacked" -B "$work" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$t.cmake" \
    -DCMAKE_SYSTEM_PROCESSOR=$proc \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_JPEG7=OFF -DWITH_JPEG8=OFF -DREQUIRE_SIMD=ON >"$work.log" 2>&1 \
    || { tail -n 30 "$work.log"; exit 1; }
  cmake --build "$work" >>"$work.log" 2>&1 || { tail -n 30 "$work.log"; exit 1; }
  cmake --install "$work" >>"$work.log" 2>&1 || { tail -n 30 "$work.log"; exit 1; }
  # The assembler's objects name their source by its full path, which would reach the program's
  # symbol file and, through its checksum, the shipped program: the same source built in another
  # folder must give the same bytes. The library has no other debugging information.
  "$t-w64-mingw32-strip" --strip-debug "$prefix/lib/libjpeg.a"
  touch "$prefix/.done"
done

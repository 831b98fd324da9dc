#!/usr/bin/env bash
# Runs the 32-bit program on a machine whose kernel cannot execute 32-bit code: Wine's 32-bit
# loader runs under qemu's user-mode emulation from a private folder beside the machine's 64-bit
# Wine, which serves it (one Wine server, same version). Nothing 32-bit is installed system-wide
# and dpkg's architecture list stays as it is; all of it lives in build/win32/emulation and is
# set up once:
#   qemu/     qemu-user-static, unpacked (not installed, nothing registered with binfmt_misc)
#   apt/      a private apt state that downloads Debian's i386 Wine for the machine's version
#   root/     those packages unpacked: the i386 root that qemu is given
#   prefix/   the Wine prefix, made with the root's own 64-bit loader so that it has syswow64
#
#   scripts/emulation32.sh setup              sets up what is missing (about a minute the first
#                                             time, nothing after that)
#   scripts/emulation32.sh run PROGRAM [ARG]  runs a Windows program (64-bit or 32-bit) in that
#                                             prefix; a 32-bit program it starts runs emulated
# A Wine server for the prefix is started when none runs; stop it with
#   WINEPREFIX=build/win32/emulation/prefix wineserver -k
set -euo pipefail

root_dir=$(cd "$(dirname "$0")/.." && pwd)
emulation="$root_dir/build/win32/emulation"
qemu_dir="$emulation/qemu"
apt_dir="$emulation/apt"
i386="$emulation/root"
prefix="$emulation/prefix"
qemu="$qemu_dir/root/usr/bin/qemu-i386-static"
say() { echo "emulation32: $*" >&2; }

setup_qemu()
{
    [ -x "$qemu" ] && return 0
    say "unpacking qemu-user-static"
    mkdir -p "$qemu_dir"
    (cd "$qemu_dir" && { apt-get download qemu-user-static >/dev/null 2>&1 ||
        { apt-get update -qq && apt-get download qemu-user-static >/dev/null; }; })
    dpkg -x "$qemu_dir"/qemu-user-static_*.deb "$qemu_dir/root"
}

# Debian's i386 Wine of the machine's own Wine version and everything it needs, downloaded with
# a private apt configuration (the machine's sources, i386 as the architecture, an empty dpkg
# status) and unpacked without maintainer scripts.
setup_root()
{
    [ -e "$i386/.ready" ] && return 0
    local version
    version=$(dpkg-query -W -f='${Version}' wine64)
    say "downloading i386 Wine $version and what it needs"
    mkdir -p "$apt_dir"/{lists/partial,cache/archives/partial,parts,preferences.d,sources.list.d}
    : >"$apt_dir/status"
    cat >"$apt_dir/apt.conf" <<CONF
APT::Architecture "i386";
APT::Architectures { "i386"; };
APT::Install-Recommends "false";
Dir::State "$apt_dir";
Dir::State::Lists "$apt_dir/lists";
Dir::State::status "$apt_dir/status";
Dir::Cache "$apt_dir/cache";
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/sources.list.d";
Dir::Etc::Preferences "$apt_dir/preferences";
Dir::Etc::PreferencesParts "$apt_dir/preferences.d";
Dir::Etc::Parts "$apt_dir/parts";
CONF
    : >"$apt_dir/sources.list"
    [ -f /etc/apt/sources.list ] && cp /etc/apt/sources.list "$apt_dir/sources.list"
    cp /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list "$apt_dir/sources.list.d/" 2>/dev/null || true
    APT_CONFIG="$apt_dir/apt.conf" apt-get update -qq
    APT_CONFIG="$apt_dir/apt.conf" apt-get install -y -qq -d "wine32=$version" "libwine=$version" >/dev/null
    rm -rf "$i386" && mkdir -p "$i386"
    local package
    for package in "$apt_dir"/cache/archives/*.deb; do dpkg -x "$package" "$i386"; done

    # What the packages' scripts would have done: libwine marks its zlib1.dll as a Wine builtin
    # (bytes 64 to 95 of the file), and the i386 libraries get their loader cache.
    local zlib="$i386/usr/i686-w64-mingw32/lib/zlib1.dll"
    {
        head -c 64 "$zlib"
        printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0'
        tail -c +97 "$zlib"
    } >"$i386/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
    printf 'include /etc/ld.so.conf.d/*.conf\n' >"$i386/etc/ld.so.conf"
    ldconfig -r "$i386"

    # The loaders. Wine starts a 32-bit child with "wine" and a 64-bit one with "wine64" from
    # its own folder: "wine" becomes the emulated i386 loader, "wine64" a copy (not a link, or
    # its folder would be the machine's) of the machine's 64-bit one.
    mv "$i386/usr/lib/wine/wine" "$i386/usr/lib/wine/wine-i386.elf"
    cat >"$i386/usr/lib/wine/wine" <<LOADER
#!/bin/sh
# Wine's 32-bit loader under qemu's user-mode emulation; it must not re-execute itself, which
# the kernel would refuse.
export WINELOADERNOEXEC=1
exec "$qemu" -L "$i386" -0 "$i386/usr/lib/wine/wine" "$i386/usr/lib/wine/wine-i386.elf" "\$@"
LOADER
    chmod 755 "$i386/usr/lib/wine/wine"
    cp /usr/lib/wine/wine64 "$i386/usr/lib/wine/wine64"
    mkdir -p "$i386/usr/lib/x86_64-linux-gnu"
    ln -sfn /usr/lib/x86_64-linux-gnu/wine "$i386/usr/lib/x86_64-linux-gnu/wine"

    # qemu 7.2's user mode gets three things wrong that Wine relies on; a small library that
    # only the emulated loader preloads (the root's own ld.so.preload) puts them right.
    mkdir -p "$i386/opt/glintor"
    gcc -m32 -O2 -shared -fPIC -nostdlib -fno-stack-protector -o "$i386/opt/glintor/qemu-fixes.so" \
        "$root_dir/scripts/emulation32-fixes.c"
    echo /opt/glintor/qemu-fixes.so >"$i386/etc/ld.so.preload"
    touch "$i386/.ready"
}

# Runs a Windows program in the prefix with the root's 64-bit loader, so that a 32-bit program
# it starts runs emulated.
run()
{
    export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
    export WINESERVER=/usr/lib/wine/wineserver64
    "$i386/usr/lib/wine/wine64" "$@"
}

setup_prefix()
{
    [ -f "$prefix/system.reg" ] && return 0
    say "making the Wine prefix $prefix"
    run wineboot -i >/dev/null 2>&1 </dev/null || true
    WINEPREFIX="$prefix" wineserver -w
    # No window manager: Wine would wait 2 s for one at every window that goes.
    run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null || true
    WINEPREFIX="$prefix" wineserver -w
}

case "${1:-}" in
setup)
    start=$SECONDS
    setup_qemu
    setup_root
    setup_prefix
    say "ready in $((SECONDS - start)) s"
    ;;
run)
    shift
    [ -f "$prefix/system.reg" ] || { say "not set up: scripts/emulation32.sh setup"; exit 77; }
    run "$@"
    ;;
*)
    echo "usage: $0 setup | run PROGRAM [ARGUMENTS]" >&2
    exit 2
    ;;
esac

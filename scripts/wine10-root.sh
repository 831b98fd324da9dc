#!/usr/bin/env bash
# Debian 13's Wine 10, which runs the 32-bit program in its WoW64 mode (no 32-bit Linux code at
# all) and scales programs that are not DPI-aware as Windows does, in a Debian 13 root inside
# the build tree, beside the machine's own packages, which stay as they are.
#   scripts/wine10-root.sh make          makes the root once (about 2 minutes); again only when
#                                        this script has changed
#   scripts/wine10-root.sh run CMD ...   runs CMD in the root, with the project folder seen at
#                                        the same path inside, in a mount namespace of its own:
#                                        every mount goes when CMD ends, so nothing stays
#                                        mounted inside the build tree
set -euo pipefail

project=$(cd "$(dirname "$0")/.." && pwd)
root="$project/build/wine10-root"
stamp="$root/.made-by"
what=${1:-}
shift || true

# The mirror of the machine's own apt sources (deb822 or one-line form); never written down.
mirror()
{
    local m
    m=$(grep -h -m1 -E '^URIs:' /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -v security | head -n 1 | awk '{print $2}')
    [ -n "$m" ] || m=$(grep -h -m1 -E '^deb ' /etc/apt/sources.list 2>/dev/null | grep -v security | head -n 1 | awk '{print $2}')
    echo "$m"
}

inside()
{
    unshare --mount --propagation private bash -c '
        set -e
        r=$1 p=$2; shift 2
        mount --bind /proc "$r/proc"
        mount --bind /dev "$r/dev"
        mount --bind /dev/pts "$r/dev/pts" 2>/dev/null || true
        mkdir -p "$r$p"
        mount --bind "$p" "$r$p"
        exec chroot "$r" env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 \
            ${GLINTOR_PASS_ENV:-} bash -c "cd \"\$0\" && exec \"\$@\"" "$p" "$@"' inside "$root" "$project" "$@"
}

made()
{
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$(sha256sum <"$0")" ]
}

case $what in
make)
    made && exit 0
    command -v debootstrap >/dev/null || { apt-get update -qq && apt-get install -y -qq debootstrap >/dev/null; }
    m=$(mirror)
    [ -n "$m" ] || { echo "wine10-root: no apt mirror in the machine's sources" >&2; exit 1; }
    echo "wine10-root: making $root (Debian 13 with Wine 10)"
    rm -rf "$root"
    debootstrap --variant=minbase --include=ca-certificates trixie "$root" "$m" >/dev/null
    printf 'Types: deb\nURIs: %s\nSuites: trixie\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$m" >"$root/etc/apt/sources.list.d/debian.sources"
    rm -f "$root/etc/apt/sources.list"
    # Wine 10, a display, ctest to run the suite, and what the scripts and tests call there.
    inside bash -c 'apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
        --no-install-recommends wine wine64 fonts-wine xvfb xauth x11-utils cmake python3 procps iproute2 \
        busybox imagemagick unzip nodejs bc fonts-dejavu-core >/dev/null'
    # The 32-bit Windows libraries of the same Wine beside the 64-bit ones: all that WoW64 mode
    # needs. Only the package's Windows files are used; nothing i386 is installed.
    inside bash -c 'dpkg --add-architecture i386 && apt-get update -q >/dev/null && cd /tmp \
        && apt-get download -q libwine:i386 >/dev/null && mkdir -p x && dpkg-deb -x libwine_*_i386.deb x \
        && cp -a x/usr/lib/i386-linux-gnu/wine/i386-windows/. /usr/lib/x86_64-linux-gnu/wine/i386-windows/ \
        && rm -rf x libwine_*_i386.deb && dpkg --remove-architecture i386 && apt-get update -q >/dev/null'
    sha256sum <"$0" >"$stamp"
    echo "wine10-root: made, $(inside /usr/lib/wine/wine64 --version)"
    ;;
run)
    made || { echo "wine10-root: no root yet (scripts/wine10-root.sh make)" >&2; exit 1; }
    inside "$@"
    ;;
*)
    echo "usage: $0 make | run CMD ..." >&2
    exit 2
    ;;
esac

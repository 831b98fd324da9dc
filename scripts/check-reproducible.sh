#!/usr/bin/env bash
# Builds the release of the commit checked out here twice, each time in a fresh clone of its
# own (dependencies and programs built anew from the downloaded source package), and compares
# the zips: a user who rebuilds a release from its tag gets the checksums of dist/SHA256SUMS.
# Takes several minutes. Exit code 0 when both builds gave the same bytes.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
scripts/deps.sh  # the source package, downloaded once
commit=$(git rev-parse HEAD)
work=$(mktemp -d)
trap '[ -n "${GLINTOR_KEEP:-}" ] || rm -rf "$work"' EXIT
# Trees at paths of different lengths: nothing of the folder may reach the zips.
first="$work/first"
second="$work/second-with-a-longer-path"
for tree in "$first" "$second"; do
    git clone -q "$root" "$tree"
    git -C "$tree" checkout -q "$commit"
    mkdir -p "$tree/build/deps/src"
    cp "$root"/build/deps/src/libjpeg-turbo_* "$tree/build/deps/src/"
    echo "check-reproducible: building the release in $tree"
    (cd "$tree" && scripts/release.sh >/dev/null)
done
if cmp -s "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS"; then
    echo "check-reproducible: both builds of $commit gave the same zips:"
    cat "$first/dist/SHA256SUMS"
else
    echo "check-reproducible: the two builds of $commit differ:"
    diff "$first/dist/SHA256SUMS" "$second/dist/SHA256SUMS" || true
    # Which files differ, and where.
    for tree in "$first" "$second"; do
        for zip in "$tree"/dist/*.zip; do
            mkdir -p "$tree/unpacked"
            unzip -q "$zip" -d "$tree/unpacked/$(basename "$zip" .zip)"
        done
    done
    (cd "$first/unpacked" && find . -type f | sort) | while read -r file; do
        cmp "$first/unpacked/$file" "$second/unpacked/$file" || true
    done
    exit 1
fi

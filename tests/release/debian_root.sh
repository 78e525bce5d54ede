#!/usr/bin/env bash
# Lays out a fresh minimal Debian system in a folder, for the tests that
# install or build halvane the way a new machine would:
#
#   debian_root.sh SUITE FOLDER [PACKAGE...]
#
# FOLDER is emptied and filled with `debootstrap --variant=minbase SUITE`
# plus the given packages (and what they depend on). The finished system is
# kept as a tarball in the cache folder (HALVANE_ROOT_CACHE, by default
# ~/.cache/halvane/roots), one per suite and package list, so later runs
# only unpack it: a few seconds instead of minutes. Delete the cache to
# fetch current packages. Needs root, debootstrap and the network to the
# Debian mirror (HALVANE_DEBIAN_MIRROR, by default deb.debian.org).
set -euo pipefail

fail() {
    echo "debian_root: $*" >&2
    exit 1
}

[ $# -ge 2 ] || fail "usage: $0 SUITE FOLDER [PACKAGE...]"
suite=$1
folder=$2
shift 2
[ "$(id -u)" = 0 ] || fail "making a Debian root needs root"
command -v debootstrap >/dev/null 2>&1 || fail "'debootstrap' is missing (package: debootstrap)"

mirror=${HALVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}
cache=${HALVANE_ROOT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/halvane/roots}
packages=$(printf '%s\n' "$@" | sort -u | paste -sd, -)
tarball=$cache/$suite-minbase${packages:+-$(printf '%s' "$packages" | md5sum | cut -c1-12)}.tar

if [ ! -f "$tarball" ]; then
    mkdir -p "$cache"
    staging=$(mktemp -d "$cache/.staging.XXXXXX")
    trap 'rm -rf "$staging"' EXIT
    echo "debian_root: debootstrap $suite${packages:+ with $packages} (cached in $tarball)"
    debootstrap --variant=minbase ${packages:+--include="$packages"} "$suite" "$staging/root" "$mirror" \
        >"$staging/debootstrap.log" 2>&1 ||
        { tail -n 30 "$staging/debootstrap.log" >&2; fail "debootstrap $suite failed"; }
    # Package lists and downloaded packages are no part of a new machine.
    rm -rf "$staging/root/var/cache/apt/archives/"*.deb "$staging/root/var/lib/apt/lists/"*_*
    tar -C "$staging/root" --numeric-owner -cf "$staging/root.tar" .
    mv "$staging/root.tar" "$tarball"
    rm -rf "$staging"
    trap - EXIT
fi

rm -rf "$folder"
mkdir -p "$folder"
tar -C "$folder" --numeric-owner -xf "$tarball"

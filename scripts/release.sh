#!/usr/bin/env bash
# Makes halvane's release archives, ready to download, unpack and install:
#
#   scripts/release.sh OUTPUT_FOLDER [--build FOLDER] [--aarch64-build FOLDER]
#
# For each processor it writes OUTPUT_FOLDER/halvane-VERSION-ARCH-linux.tar.gz,
# which unpacks to halvane-VERSION/ with halvane.lv2/ (both libraries and
# the Turtle files), strandprobe and its manual page, LICENSE, a short
# README.md and install.sh (from packaging/archive/), and then SHA256SUMS.
#
# x86_64: from --build FOLDER if given (brought up to date first), otherwise
# from a product-only Release build this script makes in build-release.
# aarch64: from --aarch64-build FOLDER if given, otherwise from build-arm64
# if it holds an aarch64 build; without one, only the x86_64 archive is made.
#
# The files are those `cmake --install --strip` installs; the archive is
# the same bytes for the same build and commit (sorted names, no owners,
# the commit's time; SOURCE_DATE_EPOCH overrides it). VERSION is the CMake
# project's version; the C library version the archive needs is read from
# the binaries themselves and written into install.sh and README.md.
set -euo pipefail

fail() {
    echo "release: $*" >&2
    exit 1
}

usage() {
    echo "usage: $0 OUTPUT_FOLDER [--build FOLDER] [--aarch64-build FOLDER]" >&2
    exit 2
}

[ $# -ge 1 ] || usage
out=$1
shift
build=
aarch64_build=
while [ $# -gt 0 ]; do
    case $1 in
        --build) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
        --aarch64-build) [ $# -ge 2 ] || usage; aarch64_build=$2; shift 2 ;;
        *) usage ;;
    esac
done

source_dir=$(cd "$(dirname "$0")/.." && pwd)
for tool in cmake readelf tar gzip sha256sum; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing; run: bash scripts/setup.sh build"
done
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || date +%s)
fi

# The processor a build folder's plug-in library is for, as uname -m names it.
machine_of() {
    case $(readelf -h "$1/halvane.lv2/halvane.so" 2>/dev/null | sed -n 's/^ *Machine: *//p') in
        *X86-64*) echo x86_64 ;;
        AArch64) echo aarch64 ;;
        *) echo unknown ;;
    esac
}

# The newest GLIBC_x.y symbol version any of the given binaries needs.
glibc_needed() {
    readelf -V --wide "$@" | grep -o 'Name: GLIBC_[0-9.]*' | sed 's/Name: GLIBC_//' | sort -V | tail -n 1
}

# archive BUILD_FOLDER EXPECTED_ARCH: stages and packs one archive.
archive() {
    local build=$1 expected=$2
    cmake --build "$build" -j"$(nproc)" >"$scratch/build.log" 2>&1 ||
        { tail -n 30 "$scratch/build.log" >&2; fail "the build in $build failed"; }
    local arch
    arch=$(machine_of "$build")
    [ "$arch" = "$expected" ] || fail "$build holds a build for $arch, not $expected"
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    [ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

    local work=$scratch/$expected
    cmake --install "$build" --prefix "$work/installed" --strip >/dev/null ||
        fail "cmake --install $build failed"
    local stage=$work/halvane-$version
    mkdir -p "$stage"
    mv "$work/installed/lib/lv2/halvane.lv2" "$stage/"
    mv "$work/installed/bin/strandprobe" "$stage/"
    mv "$work/installed/share/man/man1/strandprobe.1" "$stage/"
    local left
    left=$(find "$work/installed" -type f)
    [ -z "$left" ] || fail "the install holds files this script does not place in the archive: $left"
    local glibc
    glibc=$(glibc_needed "$stage/halvane.lv2/halvane.so" "$stage/halvane.lv2/halvane_ui.so" "$stage/strandprobe")
    [ -n "$glibc" ] || fail "found no glibc symbol version in the binaries"
    local template
    for template in install.sh README.md; do
        sed -e "s/@VERSION@/$version/g" -e "s/@ARCH@/$arch/g" -e "s/@GLIBC_NEEDED@/$glibc/g" \
            "$source_dir/packaging/archive/$template" >"$stage/$template"
    done
    chmod 755 "$stage/install.sh" "$stage/strandprobe"
    cp "$source_dir/LICENSE" "$stage/"

    local name=halvane-$version-$arch-linux.tar.gz
    tar -C "$work" --sort=name --owner=0 --group=0 --numeric-owner --mode=a+rX,u+w,go-w \
        --mtime="@$SOURCE_DATE_EPOCH" \
        --format=gnu -cf - "halvane-$version" | gzip -9n >"$out/$name"
    echo "$out/$name  $(($(stat -c %s "$out/$name") / 1024)) KiB, for $arch Linux with glibc $glibc or newer"
    archives+=("$name")
}

mkdir -p "$out"
out=$(cd "$out" && pwd)
archives=()
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

if [ -z "$build" ]; then
    build=$source_dir/build-release
    cmake -S "$source_dir" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null ||
        fail "cannot configure $build"
fi
archive "$build" x86_64

if [ -z "$aarch64_build" ] && [ "$(machine_of "$source_dir/build-arm64")" = aarch64 ]; then
    aarch64_build=$source_dir/build-arm64
fi
if [ -n "$aarch64_build" ]; then
    archive "$aarch64_build" aarch64
else
    echo "no aarch64 build given or found in build-arm64: made the x86_64 archive only"
fi

(cd "$out" && sha256sum "${archives[@]}" >SHA256SUMS)
echo "$out/SHA256SUMS"

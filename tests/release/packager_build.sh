#!/usr/bin/env bash
# The build a distribution packager makes, on a machine with the build
# dependencies alone:
#
#   packager_build.sh SOURCE_FOLDER WORK_FOLDER
#
# In a fresh minimal Debian 12 root (tests/release/debian_root.sh, cached)
# with only g++, make, cmake, pkg-config, lv2-dev, libx11-dev and
# libcairo2-dev added: `cmake -DBUILD_TESTING=OFF` configures, builds and
# installs with DESTDIR, which must receive the bundle, strandprobe and its
# manual page under the prefix and leave the prefix itself untouched; and a
# configuration with the tests on must stop, naming the Debian package of
# the first missing test dependency. Needs root (chroot) and, for the first
# run, the network to the Debian mirror.
set -euo pipefail

BUILD_PACKAGES=(g++ make cmake pkg-config lv2-dev libx11-dev libcairo2-dev)

source "$(dirname "$0")/../common/lv2_host.sh"  # fail, the plug-ins' URIs

[ $# = 2 ] || fail "usage: $0 SOURCE_FOLDER WORK_FOLDER"
source=$1
work=$2
here=$(cd "$(dirname "$0")" && pwd)
[ "$(id -u)" = 0 ] || fail "this test lays out a Debian root and enters it with chroot, which needs root"
started=$SECONDS

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
root=$work/root
bash "$here/debian_root.sh" bookworm "$root" "${BUILD_PACKAGES[@]}"
bash "$here/copy_source.sh" "$source" "$root/src/halvane"
echo "bookworm root with ${BUILD_PACKAGES[*]} ready after $((SECONDS - started)) s"

in_root() {  # in_root LOG COMMAND...: runs a command in the root, its output to LOG
    local log=$1
    shift
    chroot "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin HOME=/root LANG=C.UTF-8 "$@" \
        >"$work/$log" 2>&1
}

in_root configure.log cmake -S /src/halvane -B /src/build -DBUILD_TESTING=OFF ||
    { cat "$work/configure.log"; fail "cmake -DBUILD_TESTING=OFF does not configure with the build dependencies alone"; }
in_root build.log cmake --build /src/build -j"$(nproc)" ||
    { tail -n 40 "$work/build.log"; fail "the product does not build with the build dependencies alone"; }
in_root install.log env DESTDIR=/staged cmake --install /src/build ||
    { cat "$work/install.log"; fail "cmake --install with DESTDIR failed"; }
echo "configured, built and installed in $((SECONDS - started)) s"

prefix=/usr/local
for file in lib/lv2/halvane.lv2/halvane.so lib/lv2/halvane.lv2/halvane_ui.so lib/lv2/halvane.lv2/manifest.ttl \
    lib/lv2/halvane.lv2/halvane.ttl lib/lv2/halvane.lv2/presets.ttl bin/strandprobe share/man/man1/strandprobe.1; do
    [ -f "$root/staged$prefix/$file" ] || fail "DESTDIR received no $prefix/$file"
done
echo "DESTDIR holds:"
(cd "$root/staged" && find . -type f | sort | sed 's/^\./  /')
stray=$(find "$root$prefix" -name 'halvane*' -o -name 'strandprobe*')
[ -z "$stray" ] || fail "cmake --install with DESTDIR wrote into the prefix itself: $stray"

if in_root with-tests.log cmake -S /src/halvane -B /src/build-with-tests; then
    fail "configuring with the tests on succeeded without the test dependencies"
fi
grep -q "libgtest-dev" "$work/with-tests.log" ||
    { cat "$work/with-tests.log"; fail "the failed configuration with tests on does not name the Debian package to install"; }
echo "with the tests on, the configuration stops with: $(grep -m1 -o 'The tests need.*' "$work/with-tests.log")"
echo "PASS: the product configures, builds and installs with the build dependencies alone ($((SECONDS - started)) s)"
echo "release: the packager's build in a fresh bookworm root, $((SECONDS - started)) s"

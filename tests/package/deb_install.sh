#!/usr/bin/env bash
# Installs the halvane Debian package the way a user would and takes it out
# again:
#
#   deb_install.sh WORK_FOLDER DEMO_FOLDER
#
# Takes the .deb build_deb.sh made in WORK_FOLDER; dpkg -i installs it;
# lv2ls, with LV2_PATH unset so only the system's folders are searched,
# must list both plug-ins, lv2info must show the presets, lv2apply must
# render the demo's dry sounds to the same samples as the build the demo
# ran on (DEMO_FOLDER holds scripts/demo.sh's output: the package is built
# with Debian's compiler flags, which must not change a bit), and
# strandprobe -h must print its usage from /usr/bin; dpkg -r must then leave
# no file behind. The package is removed on every way out.
set -euo pipefail

BUNDLE=/usr/lib/lv2/halvane.lv2

source "$(dirname "$0")/../common/lv2_host.sh"  # fail, the plug-ins' URIs

[ $# = 2 ] || fail "usage: $0 WORK_FOLDER DEMO_FOLDER"
work=$1
demo=$2

[ "$(id -u)" = 0 ] || fail "installing a package needs root; run this test as root on a machine you may change"
for tool in dpkg dpkg-deb lv2ls lv2info lv2apply sox; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (packages: dpkg lilv-utils sox)"
done
# Never replace or remove a halvane the machine already has, whether from a
# package or from cmake --install.
if dpkg-query -W -f='${Status}' halvane 2>/dev/null | grep -q installed; then
    fail "a halvane package is installed already; remove it first (dpkg -r halvane)"
fi
for path in "$BUNDLE" /usr/bin/strandprobe /usr/share/man/man1/strandprobe.1 /usr/share/man/man1/strandprobe.1.gz; do
    [ ! -e "$path" ] || fail "$path exists already; this test would overwrite it"
done

deb=$(find "$work" -maxdepth 1 -name 'halvane_*.deb' | head -n 1)
[ -n "$deb" ] || fail "no halvane_*.deb in $work: build it first (build_deb.sh)"
echo "installing $deb"

fields=$(dpkg-deb -f "$deb" Package Version Architecture Section Depends)
echo "$fields"
grep -qx "Package: halvane" <<<"$fields" || fail "package name is not halvane"
grep -qx "Architecture: amd64" <<<"$fields" || fail "package is not for amd64"
grep -qx "Section: sound" <<<"$fields" || fail "package is not in section sound"
grep -q "^Depends: .*libc6" <<<"$fields" || fail "package does not depend on libc6"

installed=0
remove() {
    if [ $installed = 1 ]; then
        dpkg -r halvane >/dev/null 2>&1 || echo "warning: dpkg -r halvane failed" >&2
    fi
}
trap remove EXIT

installed=1
dpkg -i "$deb" || fail "dpkg -i $deb failed"
for file in halvane.so halvane_ui.so manifest.ttl halvane.ttl presets.ttl; do
    [ -f "$BUNDLE/$file" ] || fail "the package put no $file in $BUNDLE"
done
[ -x /usr/bin/strandprobe ] || fail "the package put no strandprobe in /usr/bin"
[ -f /usr/share/man/man1/strandprobe.1.gz ] || fail "the package put no manual page in /usr/share/man/man1"

# Hosts find the plug-ins without being told where: LV2_PATH unset.
listed=$(env -u LV2_PATH lv2ls) || fail "lv2ls exited with $?"
grep halvane <<<"$listed" || true
grep -qx "$MONO_URI" <<<"$listed" || fail "lv2ls does not list $MONO_URI"
grep -qx "$STEREO_URI" <<<"$listed" || fail "lv2ls does not list $STEREO_URI"
info=$(env -u LV2_PATH lv2info "$STEREO_URI") || fail "lv2info $STEREO_URI exited with $?"
grep -q "Large hall" <<<"$info" || fail "lv2info shows no presets for the installed stereo plug-in"

# The package's plug-ins render the demo's bits.
renders=$(mktemp -d)
for variant in mono stereo; do
    uri=$MONO_URI
    [ $variant = mono ] || uri=$STEREO_URI
    env -u LV2_PATH lv2apply -i "$demo/dry_$variant.wav" -o "$renders/$variant.wav" "$uri" ||
        fail "lv2apply could not render the installed $variant plug-in"
    sox -V1 "$renders/$variant.wav" -t f32 "$renders/$variant.f32"
    sox -V1 "$demo/$variant/default.wav" -t f32 "$renders/$variant.reference.f32"
    cmp "$renders/$variant.reference.f32" "$renders/$variant.f32" ||
        fail "the installed $variant plug-in renders other samples than the build the demo ran on"
done
rm -rf "$renders"
echo "the installed plug-ins render the demo's samples to the bit"

usage=$(env -i PATH=/usr/bin:/bin strandprobe -h) || fail "strandprobe -h exited with $?"
grep -q "^Usage: strandprobe" <<<"$usage" || fail "strandprobe -h printed no usage: $usage"

installed=0
dpkg -r halvane || fail "dpkg -r halvane failed"
[ ! -e "$BUNDLE" ] || fail "dpkg -r left $BUNDLE behind"
[ ! -e /usr/bin/strandprobe ] || fail "dpkg -r left /usr/bin/strandprobe behind"
! dpkg-query -W -f='${Status}' halvane 2>/dev/null | grep -q "install ok installed" ||
    fail "dpkg still reports halvane as installed"
echo "PASS: the package installs, hosts list and render the plug-ins, strandprobe runs, and it removes cleanly"

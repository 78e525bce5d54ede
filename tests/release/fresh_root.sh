#!/usr/bin/env bash
# From the release archive to a rendered tail on a new machine, with no
# build there:
#
#   fresh_root.sh SUITE ARCHIVE DEMO_FOLDER WORK_FOLDER
#
# Takes the archive scripts/release.sh made from a build, lays out a
# fresh minimal Debian SUITE (bookworm, bullseye, ...) with only lilv-utils
# and sox added (tests/release/debian_root.sh, cached), and there, as a user
# who is not root: unpacks the archive, runs ./install.sh, checks that lv2ls
# lists both plug-ins, renders the demo's dry sounds (DEMO_FOLDER holds
# scripts/demo.sh's output) through both with lv2apply and checks each has a
# reverb tail where the dry sound is silent, runs strandprobe -V and -v, and
# runs ./install.sh --uninstall, which must leave the home folder as it was.
# The rendered samples must be the build machine's to the bit: those of the
# demo's renders at the defaults. Needs root (chroot) and, for the first run
# of a suite, the network to the Debian mirror.
set -euo pipefail

MONO_URI=https://halvane.example.org/lv2/halvane/mono
STEREO_URI=https://halvane.example.org/lv2/halvane/stereo
USER_NAME=musician
USER_ID=4242

source "$(dirname "$0")/../common/lv2_host.sh"  # fail, the plug-ins' URIs

[ $# = 4 ] || fail "usage: $0 SUITE ARCHIVE DEMO_FOLDER WORK_FOLDER"
suite=$1
archive=$(realpath "$2")
demo=$3
work=$4
here=$(cd "$(dirname "$0")" && pwd)

[ "$(id -u)" = 0 ] || fail "this test lays out a Debian root and enters it with chroot, which needs root"
for tool in chroot sox; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (packages: coreutils sox)"
done
for sound in dry_mono.wav dry_stereo.wav mono/default.wav stereo/default.wav; do
    [ -f "$demo/$sound" ] || fail "no $demo/$sound: run scripts/demo.sh BUILD_FOLDER $demo first"
done
[ -f "$archive" ] || fail "no archive $archive: make it with scripts/release.sh"
version=$(basename "$archive")
version=${version#halvane-}
version=${version%%-*}
started=$SECONDS

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

root=$work/root
bash "$here/debian_root.sh" "$suite" "$root" lilv-utils sox
echo "$suite root ready after $((SECONDS - started)) s: $(sed -n 's/^PRETTY_NAME=//p' "$root/etc/os-release"), $(chroot "$root" getconf GNU_LIBC_VERSION)"
chroot "$root" useradd --create-home --uid $USER_ID --shell /bin/sh $USER_NAME
home=$root/home/$USER_NAME
cp "$archive" "$demo/dry_mono.wav" "$demo/dry_stereo.wav" "$home/"
chown -R $USER_ID:$USER_ID "$home"

# The user's part, in the root, with a plain environment.
chroot --userspec=$USER_ID:$USER_ID "$root" /usr/bin/env -i HOME=/home/$USER_NAME \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 \
    ARCHIVE="$(basename "$archive")" VERSION="$version" MONO_URI=$MONO_URI STEREO_URI=$STEREO_URI \
    /bin/sh -eu >"$work/user.log" 2>&1 <<'IN_ROOT' || { cat "$work/user.log"; fail "the check in the $suite root failed"; }
fail() { echo "FAIL: $*"; exit 1; }
cd
mkdir renders
tar xzf "$ARCHIVE"
find "$HOME" -path "$HOME/renders" -prune -o -print | sort >renders/home-before

cd "halvane-$VERSION"
./install.sh || fail "./install.sh exited with $?"
listed=$(lv2ls)
echo "lv2ls: $listed"
echo "$listed" | grep -qx "$MONO_URI" || fail "lv2ls does not list $MONO_URI"
echo "$listed" | grep -qx "$STEREO_URI" || fail "lv2ls does not list $STEREO_URI"

for variant in mono stereo; do
    uri=$MONO_URI
    [ $variant = mono ] || uri=$STEREO_URI
    lv2apply -i "$HOME/dry_$variant.wav" -o "$HOME/renders/$variant.wav" "$uri" ||
        fail "lv2apply could not render the $variant plug-in"
    # The dry sound's last 3 s are silence: 0.1 s into them the reverb must
    # still ring, well above the noise floor.
    dry=$(sox "$HOME/dry_$variant.wav" -n trim -2.9 1 stat 2>&1 | sed -n 's/^Maximum amplitude: *//p')
    wet=$(sox "$HOME/renders/$variant.wav" -n trim -2.9 1 stat 2>&1 | sed -n 's/^Maximum amplitude: *//p')
    echo "$variant: peak after the dry sound ends: dry $dry, rendered $wet"
    awk -v d="$dry" -v w="$wet" 'BEGIN { exit !(d == 0 && w > 0.001) }' ||
        fail "the $variant render has no tail where the dry sound is silent (dry $dry, rendered $wet)"
    sox -V1 "$HOME/renders/$variant.wav" -t f32 "$HOME/renders/$variant.f32"
done

probe=$HOME/.local/bin/strandprobe
"$probe" -V | head -n 1 | grep -qx "strandprobe version 0.1" || fail "strandprobe -V does not print its version"
set +e
answer=$("$probe" -v 2>&1)
status=$?
set -e
echo "strandprobe -v: $answer (status $status)"
[ $status = 0 ] && [ -n "$answer" ] || fail "strandprobe -v did not answer"

./install.sh --uninstall || fail "./install.sh --uninstall exited with $?"
find "$HOME" -path "$HOME/renders" -prune -o -print | sort >"$HOME/renders/home-after"
diff "$HOME/renders/home-before" "$HOME/renders/home-after" ||
    fail "./install.sh --uninstall left the home folder different from before the install"
IN_ROOT
cat "$work/user.log"

# The same samples as on the build machine.
for variant in mono stereo; do
    sox -V1 "$demo/$variant/default.wav" -t f32 "$work/$variant.reference.f32"
    cmp "$work/$variant.reference.f32" "$home/renders/$variant.f32" ||
        fail "the $variant render in the $suite root differs from the build machine's ($demo/$variant/default.wav)"
    echo "$variant: $(($(stat -c %s "$work/$variant.reference.f32") / 4)) samples, identical to the build machine's"
done
echo "PASS: $suite, as a user: archive unpacked, installed, listed, rendered with a tail, identical samples, strandprobe answers, uninstalled without a trace ($((SECONDS - started)) s)"
echo "release: $suite, from the archive to the rendered tail as a user, $((SECONDS - started)) s"

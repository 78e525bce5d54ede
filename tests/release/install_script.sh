#!/usr/bin/env bash
# The archive's install.sh on this machine, for a scratch home folder:
#
#   install_script.sh ARCHIVE WORK_FOLDER
#
# Checks what the archive scripts/release.sh made holds (the files, stripped
# binaries, every placeholder filled in), unpacks it and runs its
# install.sh with /bin/sh through what a user meets: a first
# install and a second one, a changed or foreign halvane in the way (refused,
# then replaced with --force), --uninstall removing exactly what was
# installed and keeping folders that were there before, an uninstall with
# nothing installed, one refused for a halvane the script did not install,
# and the checks that stop an install on a machine of another processor or
# with an older C library, or --system without root. Nothing outside
# WORK_FOLDER changes.
set -euo pipefail

source "$(dirname "$0")/../common/lv2_host.sh"  # fail, the plug-ins' URIs

[ $# = 2 ] || fail "usage: $0 ARCHIVE WORK_FOLDER"
archive=$1
work=$2

rm -rf "$work"
mkdir -p "$work/home"
work=$(cd "$work" && pwd)
name=$(basename "$archive" .tar.gz)
version=${name#halvane-}
version=${version%%-*}
arch=${name#halvane-"$version"-}
arch=${arch%-linux}
[ "$name" = "halvane-$version-$arch-linux" ] || fail "the archive's name is not halvane-VERSION-ARCH-linux.tar.gz: $archive"

# The archive: one folder with the release's files and nothing else.
expected="halvane-$version/
halvane-$version/LICENSE
halvane-$version/README.md
halvane-$version/halvane.lv2/
halvane-$version/halvane.lv2/halvane.so
halvane-$version/halvane.lv2/halvane.ttl
halvane-$version/halvane.lv2/halvane_ui.so
halvane-$version/halvane.lv2/manifest.ttl
halvane-$version/halvane.lv2/presets.ttl
halvane-$version/install.sh
halvane-$version/strandprobe
halvane-$version/strandprobe.1"
listed=$(tar -tzf "$archive" | sort)
[ "$listed" = "$expected" ] || fail "the archive holds other files than expected: $(diff <(echo "$expected") <(echo "$listed"))"
tar -C "$work" -xzf "$archive"
unpacked=$work/halvane-$version
for binary in halvane.lv2/halvane.so halvane.lv2/halvane_ui.so strandprobe; do
    ! readelf -S "$unpacked/$binary" | grep -q '\.symtab' || fail "$binary is not stripped"
done
! grep -n '@[A-Z_]*@' "$unpacked/install.sh" "$unpacked/README.md" ||
    fail "release.sh left placeholders in install.sh or README.md"
[ -x "$unpacked/install.sh" ] || fail "install.sh is not executable"
[ -x "$unpacked/strandprobe" ] || fail "strandprobe is not executable"
echo "$archive: $(($(stat -c %s "$archive") / 1024)) KiB, for $arch, needs $(grep -o "^GLIBC_NEEDED='[0-9.]*'" "$unpacked/install.sh")"
home=$work/home
bundle=$home/.lv2/halvane.lv2
program=$home/.local/bin/strandprobe
manual=$home/.local/share/man/man1/strandprobe.1
record=$home/.local/share/halvane/installed

# run EXPECTED_STATUS [OPTION...]: install.sh as the user, from another
# folder, with a plain environment; its output is left in $output.
output=
run() {
    local expected=$1 status=0
    shift
    output=$(cd / && env -i HOME="$home" PATH=/usr/bin:/bin sh "$unpacked/install.sh" "$@" 2>&1) || status=$?
    [ "$status" = "$expected" ] || fail "install.sh $* exited with $status, expected $expected: $output"
}
expect_output() {  # expect_output TEXT: the last run's output holds TEXT
    grep -qF -- "$1" <<<"$output" || fail "install.sh's output lacks '$1': $output"
}
tree() {  # every path under the scratch home, with its type and content
    (cd "$home" && find . -printf '%y %p\n' | sort && find . -type f -exec md5sum {} + | sort)
}
same_as_archive() {
    diff -r "$unpacked/halvane.lv2" "$bundle" >/dev/null && cmp -s "$unpacked/strandprobe" "$program" &&
        cmp -s "$unpacked/strandprobe.1" "$manual"
}

# A first install into an empty home, then the same again.
empty=$(tree)
run 0
expect_output "$bundle"
expect_output "$program"
expect_output "$manual"
same_as_archive || fail "the installed files differ from the archive's"
"$program" -V >/dev/null || fail "the installed strandprobe does not run"
[ -f "$record" ] || fail "install.sh kept no record at $record"
run 0
expect_output "nothing to do"

# A changed copy is refused, then replaced with --force.
echo "# changed" >>"$bundle/manifest.ttl"
run 1
expect_output "--force"
grep -q "# changed" "$bundle/manifest.ttl" || fail "a refused install changed the installed bundle"
run 0 --force
same_as_archive || fail "install.sh --force did not put the archive's files in place"

# --uninstall leaves the home as it found it, then has nothing to do.
run 0 --uninstall
[ "$(tree)" = "$empty" ] || fail "install.sh --uninstall left the home different: $(diff <(echo "$empty") <(tree))"
run 0 --uninstall
expect_output "nothing to remove"

# A halvane installed otherwise is never removed, only replaced with
# --force; folders that were there before stay after --uninstall.
mkdir -p "$bundle" "$home/.local/bin"
echo "not halvane's" >"$bundle/foreign.ttl"
echo "keep me" >"$home/.local/bin/mine"
before=$(tree)
run 1
expect_output "did not install"
run 1 --uninstall
expect_output "was not installed by this script"
[ "$(tree)" = "$before" ] || fail "a refused install or uninstall changed the home"
run 0 --force
same_as_archive || fail "install.sh --force did not replace a foreign bundle with the archive's"
run 0 --uninstall
# The foreign bundle was replaced by the archive's, which went again.
[ "$(tree)" = "$(grep -v halvane.lv2 <<<"$before")" ] ||
    fail "install.sh --uninstall removed more, or less, than it installed: $(diff <(grep -v halvane.lv2 <<<"$before") <(tree))"
rm -rf "${home:?}/".[!.]* "${home:?}/"*

# Machines the archive cannot serve: stopped before anything is written.
cp -r "$unpacked" "$work/other"
sed -i "s/^ARCH=.*/ARCH='aarch64'/" "$work/other/install.sh"
output=$(cd / && env -i HOME="$home" PATH=/usr/bin:/bin sh "$work/other/install.sh" 2>&1) &&
    fail "an aarch64 archive installed on $(uname -m)"
grep -qF "this archive is for aarch64 processors, but this machine is $(uname -m)" <<<"$output" ||
    fail "install.sh does not say plainly that the processor is wrong: $output"
cp "$unpacked/install.sh" "$work/other/install.sh"
sed -i "s/^GLIBC_NEEDED=.*/GLIBC_NEEDED='2.99'/" "$work/other/install.sh"
output=$(cd / && env -i HOME="$home" PATH=/usr/bin:/bin sh "$work/other/install.sh" 2>&1) &&
    fail "an archive needing glibc 2.99 installed on $(getconf GNU_LIBC_VERSION)"
grep -qF "needs glibc 2.99 or newer" <<<"$output" || fail "install.sh does not say plainly that glibc is too old: $output"
[ -z "$(ls -A "$home")" ] || fail "a refused install wrote into the home: $(ls -A "$home")"

# --system is for root; a user is told how.
if [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
    as_user=()
fi
output=$(cd / && "${as_user[@]}" env -i HOME="$home" PATH=/usr/bin:/bin sh "$unpacked/install.sh" --system 2>&1) &&
    fail "install.sh --system ran without root"
grep -qF "needs root" <<<"$output" || fail "install.sh --system without root does not say it needs root: $output"
echo "PASS: install.sh installs, refuses and replaces, uninstalls exactly, and stops with a plain reason"

#!/usr/bin/env bash
# Builds halvane's Debian package from a copy of the source, as a packager
# would:
#
#   build_deb.sh SOURCE_FOLDER WORK_FOLDER
#
# Copies the source (the files git knows of, tracked or new, or without git
# every file but build and output folders) to WORK_FOLDER/halvane, runs
# `dpkg-buildpackage -us -uc -b` there and leaves the .deb, the .buildinfo
# and the .changes in WORK_FOLDER, the log in WORK_FOLDER/build.log. A copy,
# because dpkg-buildpackage builds inside the source folder and writes its
# results beside it.
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ $# = 2 ] || fail "usage: $0 SOURCE_FOLDER WORK_FOLDER"
source=$(realpath "$1")
work=$2
for tool in dpkg-buildpackage dh; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (packages: dpkg-dev debhelper)"
done

rm -rf "$work"
mkdir -p "$work/halvane"
work=$(realpath "$work")
if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$source" && git ls-files -z --cached --others --exclude-standard |
        xargs -0 -I{} sh -c '[ -e "$1" ] && cp --parents -P "$1" "$2" || true' _ {} "$work/halvane")
else
    tar -C "$source" --exclude='./build*' --exclude=./out --exclude=./obj-* -cf - . | tar -C "$work/halvane" -xf -
fi

(cd "$work/halvane" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed (log: $work/build.log)"; }
ls "$work"/halvane_*.deb >/dev/null 2>&1 || fail "dpkg-buildpackage made no halvane_*.deb in $work"

#!/usr/bin/env bash
# Builds halvane's Debian package from a copy of the source, as a packager
# would:
#
#   build_deb.sh SOURCE_FOLDER WORK_FOLDER
#
# Copies the source (tests/release/copy_source.sh) to WORK_FOLDER/halvane, runs
# `dpkg-buildpackage -us -uc -b` there and leaves the .deb, the .buildinfo
# and the .changes in WORK_FOLDER, the log in WORK_FOLDER/build.log. A copy,
# because dpkg-buildpackage builds inside the source folder and writes its
# results beside it.
set -euo pipefail

source "$(dirname "$0")/../common/lv2_host.sh"  # fail, the plug-ins' URIs

[ $# = 2 ] || fail "usage: $0 SOURCE_FOLDER WORK_FOLDER"
source=$(realpath "$1")
work=$2
for tool in dpkg-buildpackage dh; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing (packages: dpkg-dev debhelper)"
done

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
bash "$source/tests/release/copy_source.sh" "$source" "$work/halvane"

(cd "$work/halvane" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; fail "dpkg-buildpackage failed (log: $work/build.log)"; }
ls "$work"/halvane_*.deb >/dev/null 2>&1 || fail "dpkg-buildpackage made no halvane_*.deb in $work"

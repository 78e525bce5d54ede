#!/usr/bin/env bash
# Debian's own checker on the package build_deb.sh made:
#
#   lintian_clean.sh WORK_FOLDER
#
# Runs lintian, with the pedantic and informational tags shown, on the
# .changes in WORK_FOLDER (the package and its debug symbols) and fails on
# any error or warning. Overrides (debian/*.lintian-overrides) count only
# with their reason in a comment above them.
set -euo pipefail

source "$(dirname "$0")/../common/lv2_host.sh"  # fail, the plug-ins' URIs

[ $# = 1 ] || fail "usage: $0 WORK_FOLDER"
command -v lintian >/dev/null 2>&1 || fail "'lintian' is missing (package: lintian)"
changes=$(find "$1" -maxdepth 1 -name 'halvane_*.changes' | head -n 1)
[ -n "$changes" ] || fail "no halvane_*.changes in $1: build the package first (build_deb.sh)"

# An override stands only with its reason: a comment directly above it or
# above the block of overrides it belongs to.
for overrides in "$1"/halvane/debian/*lintian-overrides; do
    [ -f "$overrides" ] || continue
    awk '/^#/ { reason = 1; next } /^[[:space:]]*$/ { reason = 0; next } !reason { bad = 1 } END { exit bad }' \
        "$overrides" || fail "${overrides##*/} has an override without its reason in a comment above it"
done

# lintian warns when run as root, and says nothing else about it.
report=$(lintian --display-info --pedantic --show-overrides "$changes" 2>&1 |
    grep -v '^running with root privileges is not recommended!$' || true)
echo "lintian ${changes##*/}: ${report:-no tags}"
! grep -q '^[EW]: ' <<<"$report" || fail "lintian reports errors or warnings"
echo "PASS: lintian reports no error and no warning"

#!/usr/bin/env bash
# The release's version is the CMake project's, and every place that shows
# it agrees:
#
#   version_agrees.sh VERSION SOURCE_FOLDER STRANDPROBE
#
# debian/changelog's newest entry, CHANGELOG.md's newest release heading,
# and strandprobe -V must all name VERSION, the project's version.
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ $# = 3 ] || fail "usage: $0 VERSION SOURCE_FOLDER STRANDPROBE"
version=$1
source=$2
strandprobe=$3

debian=$(sed -n '1s/^halvane (\([^)]*\)).*/\1/p' "$source/debian/changelog")
[ "$debian" = "$version" ] ||
    fail "debian/changelog's newest entry is '$debian', the project's version $version: add an entry (dch -v $version)"
changelog=$(grep -m1 '^## ' "$source/CHANGELOG.md" | sed 's/^## \([^ ]*\).*/\1/')
[ "$changelog" = "$version" ] || fail "CHANGELOG.md's newest release is '$changelog', the project's version $version"
probe=$("$strandprobe" -V | head -n 1)
[ "$probe" = "strandprobe version $version" ] || fail "strandprobe -V prints '$probe', not version $version"
echo "PASS: the project, debian/changelog, CHANGELOG.md and strandprobe -V all say $version"

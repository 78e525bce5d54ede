#!/usr/bin/env bash
# The release's version is the CMake project's, and every place that shows
# it agrees:
#
#   version_agrees.sh VERSION SOURCE_FOLDER HALVANE_TTL
#
# debian/changelog's newest entry and CHANGELOG.md's newest release heading
# must name VERSION, the project's version (an "Unreleased" heading above it
# gathers changes not yet released and is passed over), and both plug-ins' descriptions
# must carry its LV2 form (bundle/CMakeLists.txt: minor 2*(100*major+minor),
# micro 2*patch).
set -euo pipefail

source "$(dirname "$0")/../common/lv2_host.sh"  # fail, the plug-ins' URIs

[ $# = 3 ] || fail "usage: $0 VERSION SOURCE_FOLDER HALVANE_TTL"
version=$1
source=$2
turtle=$3

debian=$(sed -n '1s/^halvane (\([^)]*\)).*/\1/p' "$source/debian/changelog")
[ "$debian" = "$version" ] ||
    fail "debian/changelog's newest entry is '$debian', the project's version $version: add an entry (dch -v $version)"
changelog=$(grep '^## ' "$source/CHANGELOG.md" | grep -v -m1 '^## Unreleased' | sed 's/^## \([^ ]*\).*/\1/')
[ "$changelog" = "$version" ] || fail "CHANGELOG.md's newest release is '$changelog', the project's version $version"
IFS=. read -r major minor patch <<<"$version"
for pair in "minorVersion $((2 * (100 * major + minor)))" "microVersion $((2 * patch))"; do
    set -- $pair
    [ "$(grep -c "lv2:$1 $2 ;" "$turtle")" = 2 ] || fail "halvane.ttl does not give both plug-ins lv2:$1 $2"
done
echo "PASS: the project, debian/changelog, CHANGELOG.md and the plug-ins' LV2 versions all say $version"

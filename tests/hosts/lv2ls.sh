# shellcheck shell=bash
# A host pointed at the build folder, as a user would point one, finds both
# plug-ins.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2ls

listing=$(lv2ls 2>/dev/null) || fail "lv2ls exited with $?"
echo "$listing"
for uri in "$MONO_URI" "$STEREO_URI"; do
    grep -qxF "$uri" <<<"$listing" || fail "lv2ls does not list $uri"
done
echo "PASS: lv2ls lists both plug-ins"

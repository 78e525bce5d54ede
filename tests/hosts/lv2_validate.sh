# shellcheck shell=bash
# Checks the bundle's Turtle files, as the build placed them beside the
# library, against the installed LV2 definitions: no errors, no warnings.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2_validate sord_validate

bundle=$LV2_PATH/halvane.lv2
for ttl in manifest.ttl halvane.ttl presets.ttl; do
    [ -f "$bundle/$ttl" ] || fail "the build put no $ttl in $bundle"
done

report=$(lv2_validate "$bundle/manifest.ttl" "$bundle/halvane.ttl" "$bundle/presets.ttl" 2>&1)
status=$?
echo "$report"
[ $status = 0 ] || fail "lv2_validate exited with $status"
grep -q "Found 0 errors" <<<"$report" || fail "lv2_validate did not report 0 errors"
! grep -qi "^warning\|^error" <<<"$report" || fail "lv2_validate reported problems"
echo "PASS: the bundle's Turtle is valid"

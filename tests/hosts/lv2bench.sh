# shellcheck shell=bash
# lv2bench instantiates and runs each plug-in for a second of audio at two
# block sizes and reports a time for it (-f: one table row per run, whose
# columns are block size, samples, seconds and URI).
# shellcheck source=host_common.sh
source "$(dirname "$0")/host_common.sh"
require_tools lv2bench
use_clean_lv2_path "$LV2_PATH"

for uri in "$MONO_URI" "$STEREO_URI"; do
    for block in 64 1024; do
        report=$(lv2bench -f -b $block -n 48000 "$uri" 2>&1) || fail "lv2bench -b $block $uri exited with $?"
        echo "$report"
        awk -v uri="$uri" '$4 == uri && $3 ~ /^[0-9.e+-]+$/ { found = 1 } END { exit !found }' <<<"$report" ||
            fail "lv2bench -b $block reported no time for $uri"
    done
done
echo "PASS: lv2bench runs both plug-ins"

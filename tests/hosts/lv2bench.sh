# shellcheck shell=bash
# lv2bench instantiates both plug-ins and runs each over a second of audio at
# the block sizes hosts use, from one frame per call (lv2apply's way) to 4096
# frames. -f prints one row per run: block size, frames, seconds, URI.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2bench
use_clean_lv2_path "$LV2_PATH"

for uri in "$MONO_URI" "$STEREO_URI"; do
    for block in 1 64 256 1024 4096; do
        report=$(lv2bench -f -b $block -n $RATE "$uri" 2>&1) || fail "lv2bench -b $block $uri exited with $?"
        echo "$report"
        # The row must name this block size and a time; lv2bench prints no
        # row for a plug-in it could not instantiate or run.
        awk -v uri="$uri" -v block=$block '$4 == uri && $1 == block && $3 ~ /^[0-9.e+-]+$/ { found = 1 }
            END { exit !found }' <<<"$report" || fail "lv2bench -b $block reported no run of $uri"
    done
done
echo "PASS: lv2bench runs both plug-ins at blocks of 1, 64, 256, 1024 and 4096 frames"

# shellcheck shell=bash
# lv2file renders a generated file through both plug-ins with every control
# given by symbol (-p SYMBOL:VALUE), at its own block size of 512 frames: the
# output is finite, as long as the input, with a reverb tail; the values
# reach the ports they name; and at one frame per call lv2file's render is
# lv2apply's, sample for sample.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2file lv2apply sox
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK

# lv2file_render URI IN OUT [lv2file options...]
lv2file_render() {
    local uri=$1 in=$2 out=$3
    shift 3
    rm -f "$out"
    lv2file -i "$in" -o "$out" "$@" "$uri" >"$out.log" 2>&1 ||
        fail "lv2file $* $uri exited with $?: $(cat "$out.log")"
}

for variant in mono stereo; do
    uri=$(uri_of "$variant")
    channels=$(channels_of "$variant")
    dry=$work/dry_$variant.wav
    make_sound "$dry" $RATE "$channels"

    lv2file_render "$uri" "$dry" "$work/${variant}_set.wav" "${SET_BY_SYMBOL[@]}"
    # lv2file runs one instance per input channel when the plug-in has fewer
    # inputs than the file has channels; here each file matches its plug-in.
    grep -q "Running 1 instances" "$work/${variant}_set.wav.log" ||
        fail "lv2file did not run a single $variant instance: $(cat "$work/${variant}_set.wav.log")"
    check_render "$dry" "$work/${variant}_set.wav" "lv2file $variant with every control set by symbol"

    lv2file_render "$uri" "$dry" "$work/${variant}_wet_off.wav" "${SET_BY_SYMBOL[@]}" -p wet_level:-90
    stats "$work/${variant}_wet_off.wav" 0.6 2.0
    every_channel_rms "<" 1e-6 "lv2file $variant: wet_level:-90 left a tail"

    # lv2apply calls run once per frame; lv2file does too with -b 1, and the
    # plug-in's output then depends on nothing else the hosts do.
    lv2file_render "$uri" "$dry" "$work/${variant}_block1.wav" "${SET_BY_SYMBOL[@]}" -b 1
    render "$uri" "$dry" "$work/${variant}_lv2apply.wav" "${SET_BY_FLAG[@]}"
    same "$work/${variant}_block1.wav" "$work/${variant}_lv2apply.wav" "lv2file -b 1 against lv2apply, $variant"
done
echo "PASS: lv2file runs both plug-ins with controls given by symbol"

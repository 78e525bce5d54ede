# shellcheck shell=bash
# ecasound (-elv2:) renders a generated file through both plug-ins with all
# twelve controls given positionally, in port order, and must produce what
# the other hosts produce from the same input and settings, sample for
# sample, whenever both call run with the same number of frames:
#   ecasound -b:1   against lv2apply, which always runs one frame per call;
#   ecasound -b:256 against lv2file -b 256, on a file whose length is not a
#                   multiple of 256, so both hosts also end on a short block.
# The plug-in's output depends on the block size by design: its wet and dry
# gains step once per call, and its fade-in rises once per call and then
# every 64 frames of a call (after 101 frames at one frame per call, after
# 101 x 64 frames at 256). The fade scales what enters the reverb, so renders
# at different block sizes differ all through the tail; with equal blocks
# nothing else of the host reaches the output. Files are 32-bit float
# on both sides, so no host rounds to integers.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools ecasound lv2apply lv2file sox
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK

# eca URI CHANNELS BLOCK IN OUT: ecasound with its buffer at BLOCK frames.
eca() {
    local uri=$1 channels=$2 block=$3 in=$4 out=$5
    rm -f "$out"
    ecasound -q -f:f32_le,"$channels",$RATE -b:"$block" -i "$in" -o "$out" \
        -elv2:"$uri","$SET_POSITIONAL" >"$out.log" 2>&1 ||
        fail "ecasound -b:$block -elv2:$uri exited with $?: $(cat "$out.log")"
    # ecasound reports a plug-in it cannot load or run on its output, and
    # may still exit with 0.
    ! grep -qi "error" "$out.log" || fail "ecasound -b:$block reported: $(cat "$out.log")"
}

for variant in stereo mono; do
    uri=$(uri_of "$variant")
    channels=$(channels_of "$variant")
    dry=$work/dry_$variant.wav
    make_sound "$work/sound_$variant.wav" $RATE "$channels"
    sox -q "$work/sound_$variant.wav" "$dry" pad 0 100s || fail "sox could not lengthen the sound"

    eca "$uri" "$channels" 1 "$dry" "$work/ecasound_b1_$variant.wav"
    check_render "$dry" "$work/ecasound_b1_$variant.wav" "ecasound -b:1 $variant"
    render "$uri" "$dry" "$work/lv2apply_$variant.wav" "${SET_BY_FLAG[@]}"
    same "$work/ecasound_b1_$variant.wav" "$work/lv2apply_$variant.wav" "ecasound -b:1 against lv2apply, $variant"

    eca "$uri" "$channels" 256 "$dry" "$work/ecasound_b256_$variant.wav"
    check_render "$dry" "$work/ecasound_b256_$variant.wav" "ecasound -b:256 $variant"
    rm -f "$work/lv2file_$variant.wav"
    lv2file -i "$dry" -o "$work/lv2file_$variant.wav" -b 256 "${SET_BY_SYMBOL[@]}" "$uri" >/dev/null 2>&1 ||
        fail "lv2file -b 256 $uri exited with $?"
    same "$work/ecasound_b256_$variant.wav" "$work/lv2file_$variant.wav" "ecasound -b:256 against lv2file -b 256, $variant"

    # For the record: what a different block size changes.
    echo "ecasound -b:256 against lv2apply (one frame per call), $variant:" \
        "$("$WAV_CHECK" same "$work/ecasound_b256_$variant.wav" "$work/lv2apply_$variant.wav" | tr '\n' ' ')"
done
echo "PASS: ecasound renders both plug-ins as lv2apply and lv2file do at equal block sizes"

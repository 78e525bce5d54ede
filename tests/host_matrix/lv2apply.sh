# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# lv2apply renders a generated file through one plug-in (mono or stereo, $1)
# with every control away from its default: the output is finite, as long as
# the input, and carries a reverb tail after the dry sound has ended; and the
# controls lv2apply sets by symbol really reach the plug-in.
# shellcheck source=matrix_common.sh
source "$(dirname "$0")/matrix_common.sh"
require_tools lv2apply sox
variant=$1
uri=$(uri_of "$variant")
channels=$(channels_of "$variant")
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK

settings=()
for i in "${!CONTROL_SYMBOLS[@]}"; do
    settings+=(-c "${CONTROL_SYMBOLS[$i]}" "${CONTROL_VALUES[$i]}")
done

# apply IN OUT [-c SYMBOL VALUE ...]
apply() {
    local in=$1 out=$2
    shift 2
    rm -f "$out"
    lv2apply -i "$in" -o "$out" "$@" "$uri" || fail "lv2apply $* $uri exited with $?"
}

dry=$work/dry.wav
make_sound "$dry" $RATE "$channels"
apply "$dry" "$work/set.wav" "${settings[@]}"
check_render "$dry" "$work/set.wav" "lv2apply $variant with every control set"

# The same settings with the wet level at its floor: the tail must vanish,
# which it only does if lv2apply's values reach the ports they name.
apply "$dry" "$work/wet_off.wav" "${settings[@]}" -c wet_level -90
stats "$work/wet_off.wav" 0.6 2.0
float_cmp "$wav_peak" ">" 0.05 || fail "wet_level -90 also silenced the direct sound (peak $wav_peak)"
for ((c = 0; c < channels; c++)); do
    rms=wav_rms_$c
    float_cmp "${!rms}" "<" 1e-6 || fail "wet_level -90 set through lv2apply left a tail on channel $c (RMS ${!rms})"
done

# The stereo plug-in fed on its left input only is the mono plug-in on its
# left output (its right input adds nothing to the sum, and a tilt of 0 or
# below leaves its low band unscaled), once the gains, which step 0.02 per
# call in the mono plug-in and 0.1 in the stereo one, have met their targets.
# lv2apply runs one frame per call, and the gains need at most 51 calls;
# the comparison starts at frame 64.
if [ "$variant" = stereo ]; then
    sox -q "$dry" -c 1 "$work/left.wav" remix 1 || fail "sox could not take the left channel"
    sox -q "$dry" "$work/left_only.wav" remix 1 0 || fail "sox could not silence the right channel"
    apply "$work/left_only.wav" "$work/stereo_left_only.wav" "${settings[@]}" -c decay_tilt -0.3
    lv2apply -i "$work/left.wav" -o "$work/mono_left.wav" "${settings[@]}" -c decay_tilt -0.3 "$MONO_URI" ||
        fail "lv2apply of the mono plug-in exited with $?"
    check_render "$work/left_only.wav" "$work/stereo_left_only.wav" "stereo plug-in fed on the left only"
    report=$("$WAV_CHECK" same "$work/stereo_left_only.wav:0" "$work/mono_left.wav:0" 64) ||
        fail "the stereo plug-in's left output differs from the mono plug-in's output: $(tr '\n' ' ' <<<"$report")"
    echo "stereo left output equals mono output: $(tr '\n' ' ' <<<"$report")"
fi
echo "PASS: lv2apply runs the $variant plug-in with every control set"

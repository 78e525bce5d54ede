# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# lv2apply renders plucked notes followed by silence through one plug-in
# (mono or stereo, $1), one frame per run call. Every render must be finite
# and as long as its input; the checks below add what each setting must
# sound like, and that the controls lv2apply sets by symbol reach the ports
# they name.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2apply sox
variant=$1
uri=$(uri_of "$variant")
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK
channels=$(channels_of "$variant")

dry=$work/dry.wav
left=$work/left_only.wav
make_sound "$dry" $RATE "$channels"
make_sound "$left" $RATE "$channels" left

# Defaults: the sound comes through and a reverb tail sounds after it ends.
# The stereo input is on the left only, so a tail on the right shows that
# both inputs feed one reverb.
render "$uri" "$left" "$work/default.wav"
check_sound "$work/default.wav" "the default render"
stats "$work/default.wav" 1.4 2.0
default_late=$wav_rms_0

# A longer decay leaves a much louder late tail.
render "$uri" "$left" "$work/long_decay.wav" -c decay 8
stats "$work/long_decay.wav" 1.4 2.0
float_cmp "$wav_rms_0" ">" "$(awk -v d="$default_late" 'BEGIN { print 4 * d }')" ||
    fail "decay 8 s leaves a late tail of RMS $wav_rms_0, not well above the default's $default_late"

# Every control set: the render sounds and leaves a tail.
render "$uri" "$dry" "$work/set.wav" "${SET_BY_FLAG[@]}"
check_sound "$work/set.wav" "lv2apply $variant with every control set"

# A wet level of -90 dB silences the reverb, at the defaults and with every
# other control set: once the dry sound has ended the output is silent,
# while the direct sound still passes. The tail only vanishes if lv2apply's
# values reach the ports they name.
for setting in default set; do
    out=$work/${setting}_wet_off.wav
    args=()
    [ $setting = set ] && args=("${SET_BY_FLAG[@]}")
    render "$uri" "$dry" "$out" "${args[@]}" -c wet_level -90
    float_cmp "$wav_peak" ">" 0.05 || fail "wet_level -90 ($setting) also silenced the direct sound (peak $wav_peak)"
    stats "$out" 0.45 2.0
    every_channel_rms "<" 1e-6 "wet_level -90 ($setting) still leaves a reverb tail"
done

# Every control at the low or the high end of its declared range, at the
# lowest and highest supported sample rates and two common ones: the reverb
# stays finite and bounded. (Whether it sounds is not asked here: at the high
# end the low cut, the heavy damping and the tilt together leave almost
# nothing of the notes, as they should.)
low=(-c mix 1 -c decay 0 -c damping 0 -c bandwidth 0.05 -c room_size 10 -c tail_level 0
     -c decay_tilt -1 -c high_band_freq 50 -c low_band_freq 50 -c low_cut 20 -c predelay 0 -c wet_level 6)
for rate in 1000 22050 48000 192000; do
    in=$work/dry_$rate.wav
    make_sound "$in" $rate "$channels"
    render "$uri" "$in" "$work/low_$rate.wav" "${low[@]}"
    float_cmp "$wav_peak" "<" 16 || fail "low ends of the ranges at $rate Hz run away (peak $wav_peak)"
    render "$uri" "$in" "$work/high_$rate.wav" "${HIGH_ENDS[@]}"
    float_cmp "$wav_peak" "<" 16 || fail "high ends of the ranges at $rate Hz run away (peak $wav_peak)"
done

# The stereo plug-in fed on its left input only is the mono plug-in on its
# left output (its right input adds nothing to the sum, and a tilt of 0 or
# below leaves its low band unscaled), once the gains, which step 0.02 per
# call in the mono plug-in and 0.1 in the stereo one, have met their targets.
# lv2apply runs one frame per call, and the gains need at most 51 calls;
# the comparison starts at frame 64.
if [ "$variant" = stereo ]; then
    sox -q "$left" -c 1 "$work/left.wav" remix 1 || fail "sox could not take the left channel"
    render "$uri" "$left" "$work/stereo_left_only.wav" "${SET_BY_FLAG[@]}" -c decay_tilt -0.3
    check_sound "$work/stereo_left_only.wav" "stereo plug-in fed on the left only"
    render "$MONO_URI" "$work/left.wav" "$work/mono_left.wav" "${SET_BY_FLAG[@]}" -c decay_tilt -0.3
    report=$("$WAV_CHECK" same "$work/stereo_left_only.wav:0" "$work/mono_left.wav:0" 64) ||
        fail "the stereo plug-in's left output differs from the mono plug-in's output: $(tr '\n' ' ' <<<"$report")"
    echo "stereo left output equals mono output: $(tr '\n' ' ' <<<"$report")"
fi
echo "PASS: $variant renders through lv2apply"

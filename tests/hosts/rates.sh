# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# lv2apply runs one plug-in (mono or stereo, $1) at 44100, 48000, 96000 and
# 192000 Hz on a sound resampled to each rate, at the largest room and the
# longest pre-delay: every render is finite, as long as its input, sounds,
# and leaves a tail. With the mix at 1 the output is the reverb alone, so its
# onset after a hit shows the pre-delay: 150 ms at every rate, including
# 192000 Hz, where 150 ms fill the whole pre-delay memory (28800 frames).
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2apply sox
variant=$1
uri=$(uri_of "$variant")
channels=$(channels_of "$variant")
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK

# 1.5 s of silence first: a fresh instance glides its pre-delay up from 0
# with a 0.12 s time constant and needs about 1.3 s to come within a frame
# of 28800. Then a 0.2 s pluck (on the left only for the stereo plug-in, so
# the right output carries reverb alone) and 1.5 s for the tail.
hit=$work/hit_source.wav
remix=()
[ "$channels" = 2 ] && remix=(remix 1 0)
sox -q -n -r $RATE -b 32 -e floating-point -c 1 "$work/pluck.wav" synth 0.2 pluck A3 gain -6 ||
    fail "sox could not make the pluck"
sox -q "$work/pluck.wav" -c "$channels" "$hit" "${remix[@]}" pad 1.5 1.5 || fail "sox could not make $hit"

settings=(-c mix 1 -c room_size 240 -c predelay 150 -c decay 3)
for rate in 44100 48000 96000 192000; do
    in=$work/hit_$rate.wav
    out=$work/out_$rate.wav
    sox -q "$hit" -r $rate "$in" rate -v || fail "sox could not resample to $rate Hz"
    rm -f "$out"
    lv2apply -i "$in" -o "$out" "${settings[@]}" "$uri" || fail "lv2apply at $rate Hz exited with $?"
    # The resampler rings a little ahead of the hit, so the hit starts where
    # the resampled input first sounds.
    stats "$in"
    frames=$wav_frames
    hit_at=$wav_onset
    stats "$out" 1.8 2.6
    [ "$wav_rate" = $rate ] || fail "lv2apply wrote $wav_rate Hz for a $rate Hz input"
    [ "$wav_nonfinite" = 0 ] || fail "$rate Hz: $wav_nonfinite samples are NaN or infinite"
    [ "$wav_frames" = "$frames" ] || fail "$rate Hz: $wav_frames frames, the input has $frames"
    float_cmp "$wav_peak" ">" 0.01 || fail "$rate Hz: the reverb is silent (peak $wav_peak)"
    float_cmp "$wav_peak" "<" 4 || fail "$rate Hz: the reverb runs away (peak $wav_peak)"
    every_channel_rms ">" 1e-3 "$rate Hz: no tail after the pluck"
    # Nothing may sound before the pre-delay has passed, and the reverb must
    # start soon after it.
    stats "$out"
    delay=$(awk -v onset="$wav_onset" -v at="$hit_at" 'BEGIN { printf "%.6f", onset - at }')
    echo "$variant at $rate Hz: peak $wav_peak, reverb starts $delay s after the hit"
    float_cmp "$delay" ">=" 0.1499 ||
        fail "$rate Hz: the reverb starts ${delay} s after the hit, before the 150 ms pre-delay"
    float_cmp "$delay" "<" 0.2 ||
        fail "$rate Hz: the reverb starts ${delay} s after the hit, long after the 150 ms pre-delay"
done
echo "PASS: the $variant plug-in runs at 44100, 48000, 96000 and 192000 Hz"

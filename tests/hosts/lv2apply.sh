# shellcheck shell=bash disable=SC2154  # probe() assigns the probe_* variables
# lv2apply renders a plucked chord followed by silence through one plug-in
# (mono or stereo, $1). Every render must be finite and as long as its input;
# the checks below add what each setting must sound like.
# shellcheck source=host_common.sh
source "$(dirname "$0")/host_common.sh"
require_tools lv2apply sox
variant=$1
uri=$(uri_of "$variant")
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK
channels=$(channels_of "$variant")

# every_channel_rms OP LIMIT WHAT: the RMS of each channel in the last
# probed window compares to LIMIT as OP says.
every_channel_rms() {
    local c rms
    for ((c = 0; c < channels; c++)); do
        rms=probe_rms_$c
        float_cmp "${!rms}" "$1" "$2" || fail "$3 (channel $c: RMS ${!rms}, expected $1 $2)"
    done
}

dry=$work/dry_48000.wav
make_dry_sound "$dry" 48000 "$channels"

# Defaults: the chord comes through and a reverb tail sounds after it ends
# (the dry sound stops at 0.3 s). The stereo input is on the left only, so a
# tail on the right shows that both inputs feed one reverb.
render "$uri" "$dry" "$work/default.wav"
float_cmp "$probe_peak" ">" 0.05 || fail "default render is silent (peak $probe_peak)"
probe "$work/default.wav" 0.5 1.0
every_channel_rms ">" 1e-3 "default render has no reverb tail between 0.5 and 1 s"
probe "$work/default.wav" 1.8 2.5
default_late=$probe_rms_0

# A longer decay leaves a much louder late tail.
render "$uri" "$dry" "$work/long_decay.wav" -c decay 8
probe "$work/long_decay.wav" 1.8 2.5
long_late=$probe_rms_0
float_cmp "$long_late" ">" "$(awk -v d="$default_late" 'BEGIN { print 4 * d }')" ||
    fail "decay 8 s leaves a late tail of RMS $long_late, not well above the default's $default_late"

# A wet level of -90 dB silences the reverb: once the dry sound has ended the
# output is silent, while the direct sound still passes.
render "$uri" "$dry" "$work/wet_off.wav" -c wet_level -90
float_cmp "$probe_peak" ">" 0.05 || fail "wet_level -90 also silenced the direct sound (peak $probe_peak)"
probe "$work/wet_off.wav" 0.35 2.5
every_channel_rms "<" 1e-6 "wet_level -90 still leaves a reverb tail"

# Every control at the low or the high end of its declared range, at the
# lowest and highest supported sample rates and two common ones: the reverb
# stays finite and bounded. (Whether it sounds is not asked here: at the high
# end the low cut, the heavy damping and the tilt together leave almost
# nothing of the chord, as they should.)
low=(-c mix 1 -c decay 0 -c damping 0 -c bandwidth 0.05 -c room_size 10 -c tail_level 0
     -c decay_tilt -1 -c high_band_freq 50 -c low_band_freq 50 -c low_cut 20 -c predelay 0 -c wet_level 6)
high=(-c mix 1 -c decay 30 -c damping 0.95 -c bandwidth 1 -c room_size 240 -c tail_level 1
      -c decay_tilt 1 -c high_band_freq 12000 -c low_band_freq 12000 -c low_cut 1000 -c predelay 150 -c wet_level 6)
for rate in 1000 22050 48000 192000; do
    in=$work/dry_$rate.wav
    [ -f "$in" ] || make_dry_sound "$in" $rate "$channels"
    render "$uri" "$in" "$work/low_$rate.wav" "${low[@]}"
    float_cmp "$probe_peak" "<" 16 || fail "low ends of the ranges at $rate Hz run away (peak $probe_peak)"
    render "$uri" "$in" "$work/high_$rate.wav" "${high[@]}"
    float_cmp "$probe_peak" "<" 16 || fail "high ends of the ranges at $rate Hz run away (peak $probe_peak)"
done
echo "PASS: $variant renders through lv2apply"

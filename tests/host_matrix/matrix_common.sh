# shellcheck shell=bash disable=SC2154,SC2034  # stats() assigns the wav_* variables; the scripts that source this file use its constants
# Helpers of the host-matrix tests; each test script sources this file. The
# helpers every host test shares come from tests/common/lv2_host.sh.
#
# Environment, set by CTest, besides lv2_host.sh's:
#   WAV_CHECK  the wav_check program

# shellcheck source=../common/lv2_host.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/lv2_host.sh"

RATE=48000

# Every control away from its default, in port order (0 to 11): a tilt above
# 0 makes the stereo plug-in scale its low band, a pre-delay and room size
# off their defaults reach the line and the engines' sizing.
CONTROL_SYMBOLS=(mix decay damping bandwidth room_size tail_level decay_tilt
                 high_band_freq low_band_freq low_cut predelay wet_level)
CONTROL_VALUES=(0.4 2.5 0.3 0.9 70 0.6 0.3 900 450 80 35 -3)

# stats FILE [START END]: reads FILE with wav_check into wav_frames,
# wav_channels, wav_rate, wav_nonfinite, wav_peak, wav_onset and wav_rms_0,
# wav_rms_1, ... (RMS over START..END seconds, or the whole file).
stats() {
    local output
    output=$("$WAV_CHECK" stats "$@") || fail "wav_check could not read $1"
    assign_keys wav_ "$output"
}

# make_sound FILE RATE CHANNELS: 0.4 s of plucked notes at about -6 dBFS,
# then 1.6 s of silence in which only a reverb tail can sound; 32-bit float,
# so hosts pass NaN and infinity through to the checks and two hosts' outputs
# can be compared bit for bit. The stereo file carries a different chord on
# each channel, so a swapped or dropped channel shows.
make_sound() {
    local file=$1 rate=$2 channels=$3
    if [ "$channels" = 1 ]; then
        sox -q -n -r "$rate" -b 32 -e floating-point -c 1 "$file" \
            synth 0.4 pluck C4 gain -6 pad 0 1.6 || fail "sox could not make $file"
    else
        sox -q -n -r "$rate" -b 32 -e floating-point -c 2 "$file" \
            synth 0.4 pluck E4 pluck A3 gain -6 pad 0 1.6 || fail "sox could not make $file"
    fi
}

# check_render IN OUT WHAT: OUT has IN's length and channel count, every
# sample is finite, the dry sound came through, and every channel carries a
# reverb tail between 0.6 and 1.2 s, after the dry sound ended at 0.4 s.
check_render() {
    local in=$1 out=$2 what=$3 frames channels c rms
    stats "$in"
    frames=$wav_frames
    channels=$wav_channels
    stats "$out" 0.6 1.2
    [ "$wav_nonfinite" = 0 ] || fail "$what: $wav_nonfinite samples are NaN or infinite"
    [ "$wav_frames" = "$frames" ] || fail "$what: $wav_frames frames, the input has $frames"
    [ "$wav_channels" = "$channels" ] || fail "$what: $wav_channels channels, the input has $channels"
    float_cmp "$wav_peak" ">" 0.05 || fail "$what: the output is silent (peak $wav_peak)"
    float_cmp "$wav_peak" "<" 4 || fail "$what: the output runs away (peak $wav_peak)"
    for ((c = 0; c < channels; c++)); do
        rms=wav_rms_$c
        float_cmp "${!rms}" ">" 1e-3 ||
            fail "$what: no reverb tail on channel $c after the dry sound ended (RMS ${!rms} at 0.6..1.2 s)"
    done
}

# same A B WHAT: A and B are identical sample for sample.
same() {
    local report
    report=$("$WAV_CHECK" same "$1" "$2")
    case $? in
        0) echo "$3: identical ($(grep compared <<<"$report"))" ;;
        1) fail "$3: the outputs differ: $(tr '\n' ' ' <<<"$report")" ;;
        *) fail "$3: wav_check could not compare $1 and $2" ;;
    esac
}

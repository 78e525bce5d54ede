# shellcheck shell=bash disable=SC2154,SC2034  # stats() assigns the wav_* variables; the scripts that source this file use its constants
# Helpers shared by the host-matrix tests; each test script sources this file.
#
# Environment, set by CTest:
#   LV2_PATH      the build folder, which holds halvane.lv2
#   WAV_CHECK     the wav_check program
#   MATRIX_WORK   a scratch folder of this test's own
#   LV2_SPEC_DIR  where the LV2 specification bundles live (default /usr/lib/lv2)

set -u

MONO_URI=https://halvane.example.org/lv2/halvane/mono
STEREO_URI=https://halvane.example.org/lv2/halvane/stereo
RATE=48000

# Every control away from its default, in port order (0 to 11): a tilt above
# 0 makes the stereo plug-in scale its low band, a pre-delay and room size
# off their defaults reach the line and the engines' sizing.
CONTROL_SYMBOLS=(mix decay damping bandwidth room_size tail_level decay_tilt
                 high_band_freq low_band_freq low_cut predelay wet_level)
CONTROL_VALUES=(0.4 2.5 0.3 0.9 70 0.6 0.3 900 450 80 35 -3)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 ||
            fail "'$tool' is not installed (scripts/setup.sh installs the hosts: lilv-utils lv2file ecasound jalv jackd2 sox)"
    done
}

uri_of() {
    case "$1" in
        mono) echo "$MONO_URI" ;;
        stereo) echo "$STEREO_URI" ;;
        *) fail "unknown variant '$1'" ;;
    esac
}

channels_of() {
    case "$1" in
        mono) echo 1 ;;
        stereo) echo 2 ;;
        *) fail "unknown variant '$1'" ;;
    esac
}

# Points hosts at a folder holding only the built bundle and the LV2
# specification bundles its description refers to. The build folder itself
# holds many folders that are not bundles, which some hosts complain about,
# and installed third-party plug-ins must not take part.
use_clean_lv2_path() {
    local build_dir=$1 spec_dir=${LV2_SPEC_DIR:-/usr/lib/lv2} host_dir=$MATRIX_WORK/lv2 spec
    [ -f "$build_dir/halvane.lv2/halvane.so" ] ||
        fail "no built plug-in at $build_dir/halvane.lv2/halvane.so"
    [ -d "$spec_dir/core.lv2" ] || fail "no LV2 specification bundles in $spec_dir"
    rm -rf "$host_dir"
    mkdir -p "$host_dir"
    ln -s "$build_dir/halvane.lv2" "$host_dir/halvane.lv2"
    for spec in core port-groups port-props units; do
        ln -s "$spec_dir/$spec.lv2" "$host_dir/$spec.lv2"
    done
    export LV2_PATH=$host_dir
}

# stats FILE [START END]: reads FILE with wav_check into wav_frames,
# wav_channels, wav_rate, wav_nonfinite, wav_peak, wav_onset and wav_rms_0,
# wav_rms_1, ... (RMS over START..END seconds, or the whole file).
stats() {
    local key value output
    output=$("$WAV_CHECK" stats "$@") || fail "wav_check could not read $1"
    while IFS='=' read -r key value; do
        printf -v "wav_$key" '%s' "$value"
    done <<<"$output"
}

# float_cmp A OP B: true when the comparison holds, with OP one of < > <= >=.
float_cmp() {
    awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN {
        if (op == "<") exit !(a < b); if (op == ">") exit !(a > b)
        if (op == "<=") exit !(a <= b); if (op == ">=") exit !(a >= b); exit 2 }'
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

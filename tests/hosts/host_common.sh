# shellcheck shell=bash disable=SC2154  # probe() assigns the probe_* variables
# Helpers of the host tests (tests/hosts, tests/presets, the valgrind test);
# each test script sources this file. The helpers every host test shares
# come from tests/common/lv2_host.sh.
#
# Environment, set by CTest, besides lv2_host.sh's:
#   WAV_PROBE  the wav_probe program

# shellcheck source=../common/lv2_host.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/lv2_host.sh"

# probe FILE [START END]: reads FILE with wav_probe into the variables
# probe_frames, probe_channels, probe_rate, probe_nonfinite, probe_peak and
# probe_rms_0, probe_rms_1, ... (RMS of each channel between START and END
# seconds, or over the whole file).
probe() {
    local output
    output=$("$WAV_PROBE" "$@") || fail "wav_probe could not read $1"
    assign_keys probe_ "$output"
}

# make_dry_sound FILE RATE CHANNELS: 0.3 s of a plucked four-note chord at
# -6 dBFS, then 2.2 s of silence in which only a reverb tail can sound. The
# stereo file carries the sound on the left channel only. 32-bit float, so
# hosts pass NaN and infinity through to the checks.
make_dry_sound() {
    local file=$1 rate=$2 channels=$3 remix=()
    [ "$channels" = 2 ] && remix=(remix 1 0)
    sox -q -n -r "$rate" -b 32 -e floating-point -c 4 "$HOST_TEST_WORK/notes.wav" \
        synth 0.3 pluck C4 pluck E4 pluck G4 pluck C5 ||
        fail "sox could not make the notes"
    sox -q "$HOST_TEST_WORK/notes.wav" -c 1 "$HOST_TEST_WORK/chord.wav" remix - gain -n -6 ||
        fail "sox could not mix the chord"
    sox -q "$HOST_TEST_WORK/chord.wav" -c "$channels" "$file" "${remix[@]}" pad 0 2.2 ||
        fail "sox could not make $file"
}

# render URI IN OUT [lv2apply options...]: runs the plug-in over IN and
# checks what any render must give: a file of the same length and channel
# count whose samples are all finite.
render() {
    local uri=$1 in=$2 out=$3
    shift 3
    rm -f "$out"
    lv2apply -i "$in" -o "$out" "$@" "$uri" || fail "lv2apply $* $uri exited with $?"
    probe "$in"
    local frames=$probe_frames channels=$probe_channels
    probe "$out"
    [ "$probe_nonfinite" = 0 ] || fail "$out ($*): $probe_nonfinite samples are NaN or infinite"
    [ "$probe_frames" = "$frames" ] || fail "$out ($*): $probe_frames frames, input has $frames"
    [ "$probe_channels" = "$channels" ] || fail "$out ($*): $probe_channels channels, input has $channels"
}

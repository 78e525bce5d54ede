# shellcheck shell=bash disable=SC2034,SC2154  # the scripts that source this file use its constants; stats() assigns the wav_* variables
# Helpers of every test that runs a real LV2 host (tests/hosts, tests/presets,
# the valgrind test, the GUI tests, the package and release tests); each test
# script sources this file.
#
# Environment, set by CTest:
#   LV2_PATH        the build folder, which holds halvane.lv2
#   HOST_TEST_WORK  a scratch folder of this test's own
#   WAV_CHECK       the wav_check program
#   LV2_SCHEMA_DIR  where LV2's own definition bundles (core.lv2, units.lv2,
#                   ...) live (default /usr/lib/lv2)

set -u

MONO_URI=https://halvane.example.org/lv2/halvane/mono
STEREO_URI=https://halvane.example.org/lv2/halvane/stereo
RATE=48000

# Every control away from its default, in port order (0 to 11): a tilt above
# 0 makes the stereo plug-in scale its low band, a pre-delay and room size
# off their defaults reach the line and the engines' sizing. The same
# settings in the forms hosts take them: lv2apply's -c SYMBOL VALUE,
# lv2file's -p SYMBOL:VALUE and ecasound's values in port order.
CONTROL_SYMBOLS=(mix decay damping bandwidth room_size tail_level decay_tilt
                 high_band_freq low_band_freq low_cut predelay wet_level)
CONTROL_VALUES=(0.4 2.5 0.3 0.9 70 0.6 0.3 900 450 80 35 -3)
SET_BY_FLAG=()
SET_BY_SYMBOL=()
for i in "${!CONTROL_SYMBOLS[@]}"; do
    SET_BY_FLAG+=(-c "${CONTROL_SYMBOLS[$i]}" "${CONTROL_VALUES[$i]}")
    SET_BY_SYMBOL+=(-p "${CONTROL_SYMBOLS[$i]}:${CONTROL_VALUES[$i]}")
done
SET_POSITIONAL=$(IFS=,; echo "${CONTROL_VALUES[*]}")

# Every control at the top of its declared range, for lv2apply.
HIGH_ENDS=(-c mix 1 -c decay 30 -c damping 0.95 -c bandwidth 1 -c room_size 240 -c tail_level 1
           -c decay_tilt 1 -c high_band_freq 12000 -c low_band_freq 12000 -c low_cut 1000 -c predelay 150
           -c wet_level 6)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 ||
            fail "'$tool' is not installed (scripts/setup.sh installs every host and tool the tests use)"
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
# definition bundles its description refers to (so hosts know that a
# ReverbPlugin is a plug-in class, and know the units and port groups). The
# build folder itself holds many folders that are not bundles, which lilv
# reports, and installed third-party plug-ins must not take part.
use_clean_lv2_path() {
    local build_dir=$1 schema_dir=${LV2_SCHEMA_DIR:-/usr/lib/lv2} host_dir=$HOST_TEST_WORK/lv2 name
    [ -f "$build_dir/halvane.lv2/halvane.so" ] ||
        fail "no built plug-in at $build_dir/halvane.lv2/halvane.so"
    [ -d "$schema_dir/core.lv2" ] || fail "no LV2 definition bundles in $schema_dir"
    rm -rf "$host_dir"
    mkdir -p "$host_dir"
    ln -s "$build_dir/halvane.lv2" "$host_dir/halvane.lv2"
    for name in core port-groups port-props units; do
        ln -s "$schema_dir/$name.lv2" "$host_dir/$name.lv2"
    done
    export LV2_PATH=$host_dir
}

# running PID: the process exists and has not ended (a zombie has).
running() {
    [ -e "/proc/$1" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null
}

# stop_pids PID...: ends the processes: TERM, up to three seconds to go,
# then KILL for whatever is still up; reaps them.
stop_pids() {
    local i pid up
    kill "$@" 2>/dev/null
    for ((i = 0; i < 30; i++)); do
        up=
        for pid in "$@"; do
            running "$pid" && up=1
        done
        [ -n "$up" ] || break
        sleep 0.1
    done
    kill -KILL "$@" 2>/dev/null
    wait "$@" 2>/dev/null
    return 0
}

# assign_keys PREFIX OUTPUT: sets the variable PREFIX<key> to <value> for
# each key=value line of OUTPUT (what wav_check prints).
assign_keys() {
    local key value
    while IFS='=' read -r key value; do
        printf -v "$1$key" '%s' "$value"
    done <<<"$2"
}

# float_cmp A OP B: true when the comparison holds, with OP one of < > <= >=.
float_cmp() {
    awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN {
        if (op == "<") exit !(a < b); if (op == ">") exit !(a > b)
        if (op == "<=") exit !(a <= b); if (op == ">=") exit !(a >= b); exit 2 }'
}

# stats FILE [START END]: reads FILE with wav_check into wav_frames,
# wav_channels, wav_rate, wav_nonfinite, wav_peak, wav_onset and wav_rms_0,
# wav_rms_1, ... (RMS over START..END seconds, or the whole file).
stats() {
    local output
    output=$("$WAV_CHECK" stats "$@") || fail "wav_check could not read $1"
    assign_keys wav_ "$output"
}

# every_channel_rms OP LIMIT WHAT: the RMS of each channel of the file
# stats read last compares to LIMIT as OP says.
every_channel_rms() {
    local c rms
    for ((c = 0; c < wav_channels; c++)); do
        rms=wav_rms_$c
        float_cmp "${!rms}" "$1" "$2" || fail "$3 (channel $c: RMS ${!rms}, expected $1 $2)"
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

# make_sound FILE RATE CHANNELS [left]: 0.4 s of plucked notes at about
# -6 dBFS, then 1.6 s of silence in which only a reverb tail can sound;
# 32-bit float, so hosts pass NaN and infinity through to the checks and two
# hosts' outputs can be compared bit for bit. The stereo file carries a
# different chord on each channel, so a swapped or dropped channel shows;
# with "left" it carries the mono file's note on the left only, so a tail on
# the right shows that both inputs feed one reverb.
make_sound() {
    local file=$1 rate=$2 channels=$3 notes=(pluck C4) remix=()
    if [ "$channels" = 2 ]; then
        case ${4:-both} in
            left) notes=(pluck C4 pluck C4) remix=(remix 1 0) ;;
            *) notes=(pluck E4 pluck A3) ;;
        esac
    fi
    sox -q -n -r "$rate" -b 32 -e floating-point -c "$channels" "$file" \
        synth 0.4 "${notes[@]}" gain -6 "${remix[@]}" pad 0 1.6 || fail "sox could not make $file"
}

# check_shape IN OUT WHAT: OUT has IN's length and channel count and every
# sample is finite. Leaves OUT's whole-file figures in the wav_* variables.
check_shape() {
    local frames channels
    stats "$1"
    frames=$wav_frames
    channels=$wav_channels
    stats "$2"
    [ "$wav_nonfinite" = 0 ] || fail "$3: $wav_nonfinite samples are NaN or infinite"
    [ "$wav_frames" = "$frames" ] || fail "$3: $wav_frames frames, the input has $frames"
    [ "$wav_channels" = "$channels" ] || fail "$3: $wav_channels channels, the input has $channels"
}

# check_sound OUT WHAT: the dry sound came through without running away, and
# every channel carries a reverb tail between 0.6 and 1.2 s, after the dry
# sound of make_sound ended at 0.4 s.
check_sound() {
    stats "$1" 0.6 1.2
    float_cmp "$wav_peak" ">" 0.05 || fail "$2: the output is silent (peak $wav_peak)"
    float_cmp "$wav_peak" "<" 4 || fail "$2: the output runs away (peak $wav_peak)"
    every_channel_rms ">" 1e-3 "$2: no reverb tail after the dry sound ended (0.6..1.2 s)"
}

# check_render IN OUT WHAT: check_shape, then check_sound.
check_render() {
    check_shape "$1" "$2" "$3"
    check_sound "$2" "$3"
}

# render URI IN OUT [lv2apply options...]: runs the plug-in over IN with
# lv2apply (one frame per run call) and checks the output's shape.
render() {
    local uri=$1 in=$2 out=$3
    shift 3
    rm -f "$out"
    lv2apply -i "$in" -o "$out" "$@" "$uri" || fail "lv2apply $* $uri exited with $?"
    check_shape "$in" "$out" "$out ($*)"
}

# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# lv2file renders a generated file through both plug-ins with every control
# given by symbol (-p SYMBOL:VALUE), at its own block size of 512 frames: the
# output is finite, as long as the input, with a reverb tail; the values
# reach the ports they name; and at one frame per call lv2file's render is
# lv2apply's, sample for sample.
# shellcheck source=matrix_common.sh
source "$(dirname "$0")/matrix_common.sh"
require_tools lv2file lv2apply sox
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK

by_symbol=()
by_flag=()
for i in "${!CONTROL_SYMBOLS[@]}"; do
    by_symbol+=(-p "${CONTROL_SYMBOLS[$i]}:${CONTROL_VALUES[$i]}")
    by_flag+=(-c "${CONTROL_SYMBOLS[$i]}" "${CONTROL_VALUES[$i]}")
done

# render URI IN OUT [lv2file options...]
render() {
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

    render "$uri" "$dry" "$work/${variant}_set.wav" "${by_symbol[@]}"
    # lv2file runs one instance per input channel when the plug-in has fewer
    # inputs than the file has channels; here each file matches its plug-in.
    grep -q "Running 1 instances" "$work/${variant}_set.wav.log" ||
        fail "lv2file did not run a single $variant instance: $(cat "$work/${variant}_set.wav.log")"
    check_render "$dry" "$work/${variant}_set.wav" "lv2file $variant with every control set by symbol"

    render "$uri" "$dry" "$work/${variant}_wet_off.wav" "${by_symbol[@]}" -p wet_level:-90
    stats "$work/${variant}_wet_off.wav" 0.6 2.0
    for ((c = 0; c < channels; c++)); do
        rms=wav_rms_$c
        float_cmp "${!rms}" "<" 1e-6 ||
            fail "lv2file $variant: wet_level:-90 left a tail on channel $c (RMS ${!rms})"
    done

    # lv2apply calls run once per frame; lv2file does too with -b 1, and the
    # plug-in's output then depends on nothing else the hosts do.
    render "$uri" "$dry" "$work/${variant}_block1.wav" "${by_symbol[@]}" -b 1
    lv2apply -i "$dry" -o "$work/${variant}_lv2apply.wav" "${by_flag[@]}" "$uri" ||
        fail "lv2apply $uri exited with $?"
    same "$work/${variant}_block1.wav" "$work/${variant}_lv2apply.wav" "lv2file -b 1 against lv2apply, $variant"
done
echo "PASS: lv2file runs both plug-ins with controls given by symbol"

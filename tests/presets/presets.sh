# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# The presets of one plug-in (mono or stereo, $1), as hosts see them: lv2info
# lists every preset the bundle's presets.ttl gives for the plug-in and no
# other; each preset sets every control once, inside the range the plug-in
# declares; and each renders notes through lv2apply into finite sound with
# a reverb tail that neither vanishes nor runs away.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2info lv2apply sordi sox
variant=$1
uri=$(uri_of "$variant")
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK
presets_ttl=$LV2_PATH/halvane.lv2/presets.ttl
[ -f "$presets_ttl" ] || fail "the build put no presets.ttl in the bundle"
channels=$(channels_of "$variant")

names="Bright plate|Dark ambience|Large hall|Long pad|Medium room|Small room"

presets=$(bash "$PRESET_CONTROLS" "$presets_ttl" "$uri") || fail "cannot read $presets_ttl"
[ -n "$presets" ] || fail "presets.ttl has no preset for $uri"

# lv2info loads the plug-in's data through the manifest and lists the
# presets' labels under "Presets:", one a line, up to the first empty line.
info=$(lv2info "$uri") || fail "lv2info $uri exited with $?"
listed=$(awk '/^\tPresets:/ { on = 1; next } on && /^[[:space:]]*$/ { exit }
              on { sub(/^[[:space:]]+/, ""); print }' <<<"$info" | sort)
in_file=$(cut -f3 <<<"$presets" | sort)
[ "$listed" = "$in_file" ] ||
    fail "lv2info lists the presets [$(tr '\n' '|' <<<"$listed")], presets.ttl has [$(tr '\n' '|' <<<"$in_file")]"
[ "$(tr '\n' '|' <<<"$in_file")" = "$names|" ] ||
    fail "expected the presets [$names], found [$(tr '\n' '|' <<<"$in_file")]"

# The declared range of each control, as lv2info reports it: SYMBOL MIN MAX.
ranges=$(awk '
    function flush() { if (symbol != "" && min != "") print symbol, min, max }
    /^\tPort [0-9]+:/ { flush(); symbol = min = max = "" }
    /^\t\tSymbol:/ { symbol = $2 }
    /^\t\tMinimum:/ { min = $2 }
    /^\t\tMaximum:/ { max = $2 }
    END { flush() }' <<<"$info")

dry=$work/dry.wav
make_sound "$dry" $RATE "$channels" left

while IFS=$'\t' read -r preset applies label values; do
    args=()
    for symbol in "${CONTROL_SYMBOLS[@]}"; do
        # Exactly one value for every control: a missing one would leave the
        # host's current value in place, so the preset would sound different
        # from host to host.
        matches=$(tr ' ' '\n' <<<"$values" | grep -c "^$symbol=" || true)
        [ "$matches" = 1 ] || fail "$label: control '$symbol' is set $matches times"
        value=$(tr ' ' '\n' <<<"$values" | sed -n "s/^$symbol=//p")
        read -r _ min max <<<"$(awk -v s="$symbol" '$1 == s' <<<"$ranges")"
        [ -n "$min" ] || fail "$label: no declared range for '$symbol'"
        if ! float_cmp "$value" ">=" "$min" || ! float_cmp "$value" "<=" "$max"; then
            fail "$label: $symbol = $value lies outside its range $min..$max"
        fi
        args+=(-c "$symbol" "$value")
    done
    count=$(wc -w <<<"$values")
    [ "$count" = 12 ] || fail "$label: sets $count controls, expected the 12 controls only"
    [ "$applies" = "$uri" ] || fail "$label: applies to $applies"

    # The sound ends at 0.4 s; the tail must sound after it and stay bounded.
    out=$work/${preset##*/}.wav
    render "$uri" "$dry" "$out" "${args[@]}"
    float_cmp "$wav_peak" ">" 0.05 || fail "$label renders silence (peak $wav_peak)"
    float_cmp "$wav_peak" "<" 4 || fail "$label runs away (peak $wav_peak)"
    stats "$out" 0.5 1.0
    every_channel_rms ">" 1e-4 "$label has no reverb tail between 0.5 and 1.0 s"
    echo "ok: $label ($preset): peak $wav_peak, tail RMS $wav_rms_0"
done <<<"$presets"
echo "PASS: the $variant presets load and render"

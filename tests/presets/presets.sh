# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# The presets of one plug-in (mono or stereo, $1), as hosts see them: lv2info
# lists every preset the bundle's presets.ttl gives for the plug-in and no
# other, and each renders notes through lv2apply into finite sound with a
# reverb tail that neither vanishes nor runs away. That every preset sets
# every control once, inside its range, the build makes sure: it writes
# presets.ttl from the preset table, whose values the compiler checks
# against the ranges (plugin/preset_table.h).
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

dry=$work/dry.wav
make_sound "$dry" $RATE "$channels" left

while IFS=$'\t' read -r preset applies label values; do
    args=()
    for pair in $values; do
        args+=(-c "${pair%%=*}" "${pair#*=}")
    done
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

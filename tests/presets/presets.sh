# shellcheck shell=bash disable=SC2154  # probe() assigns the probe_* variables
# The presets of one plug-in (mono or stereo, $1), as hosts see them: lv2info
# lists every preset the bundle's presets.ttl gives for the plug-in and no
# other, and each renders a chord through lv2apply into finite sound with a
# reverb tail that neither vanishes nor runs away. That every preset sets
# every control once, inside its range, the build makes sure: it writes
# presets.ttl from the preset table, whose values the compiler checks
# against the ranges (plugin/preset_table.h).
# shellcheck source=../hosts/host_common.sh
source "$(dirname "$0")/../hosts/host_common.sh"
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
make_dry_sound "$dry" 48000 "$channels"

while IFS=$'\t' read -r preset applies label values; do
    args=()
    for pair in $values; do
        args+=(-c "${pair%%=*}" "${pair#*=}")
    done
    [ "$applies" = "$uri" ] || fail "$label: applies to $applies"

    # The chord ends at 0.3 s; the tail must sound after it and stay bounded.
    out=$work/${preset##*/}.wav
    render "$uri" "$dry" "$out" "${args[@]}"
    float_cmp "$probe_peak" ">" 0.05 || fail "$label renders silence (peak $probe_peak)"
    float_cmp "$probe_peak" "<" 4 || fail "$label runs away (peak $probe_peak)"
    probe "$out" 0.4 0.9
    for ((c = 0; c < channels; c++)); do
        rms=probe_rms_$c
        float_cmp "${!rms}" ">" 1e-4 ||
            fail "$label has no reverb tail on channel $c between 0.4 and 0.9 s (RMS ${!rms})"
    done
    echo "ok: $label ($preset): peak $probe_peak, tail RMS $probe_rms_0"
done <<<"$presets"
echo "PASS: the $variant presets load and render"

#!/usr/bin/env bash
# Prints the scenario table every CPU and architecture renders, one scenario
# a line for render_scenarios.cpp: NAME PLUGIN RATE [SYMBOL=VALUE ...]. Both
# plug-ins at each rate of RATES, with every control at its default and with
# each preset of presets.ttl.
#
# Usage: scenarios.sh PRESETS_TTL PRESET_CONTROLS (scripts/preset_controls.sh)
set -euo pipefail
presets_ttl=$1
preset_controls=$2

# The usual rates, the edges of the accepted range, and odd ones (a prime,
# a fractional rate, one just below a usual one).
RATES="1000 8000 11025 22050 32000 44100 48000 88200 96000 176400 192000 384000 768000
       12345 44056 47999 99991 22050.75"

for plugin in mono stereo; do
    uri=https://halvane.example.org/lv2/halvane/$plugin
    presets=$(bash "$preset_controls" "$presets_ttl" "$uri") ||
        { echo "scenarios: cannot read $presets_ttl" >&2; exit 1; }
    [ "$(wc -l <<<"$presets")" -ge 6 ] ||
        { echo "scenarios: fewer than six presets for $uri in $presets_ttl" >&2; exit 1; }
    for rate in $RATES; do
        echo "default $plugin $rate"
        while IFS=$'\t' read -r preset _ _ controls; do
            echo "${preset##*/} $plugin $rate $controls"
        done <<<"$presets"
    done
done

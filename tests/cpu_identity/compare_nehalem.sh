#!/usr/bin/env bash
# Renders the same scenarios through the built halvane.so natively and under
# qemu-x86_64 -cpu Nehalem (an x86-64 CPU without AVX and FMA, on which the C
# library picks the plain variants of exp, pow and sinh, and the plug-in any
# plain code path it has), and requires every scenario's output samples to
# be the same, bit for bit. Scenarios: both plug-ins at each rate of RATES,
# with every control at its default and with each preset of presets.ttl,
# each with the controls automated between blocks (render_scenarios.cpp).
#
# Environment: RENDER (the render_scenarios program), LIBRARY (halvane.so),
# PRESETS_TTL, PRESET_CONTROLS (scripts/preset_controls.sh), WORK (a folder).
set -euo pipefail
fail() { echo "cpu_identity: FAIL: $*" >&2; exit 1; }
command -v qemu-x86_64 >/dev/null || fail "qemu-x86_64 is missing (package qemu-user)"

# The usual rates, the edges of the accepted range, and odd ones (a prime,
# a fractional rate, one just below a usual one).
RATES="1000 8000 11025 22050 32000 44100 48000 88200 96000 176400 192000 384000 768000
       12345 44056 47999 99991 22050.75"

scenarios=$WORK/scenarios.txt
: >"$scenarios"
for plugin in mono stereo; do
    uri=https://halvane.example.org/lv2/halvane/$plugin
    presets=$(bash "$PRESET_CONTROLS" "$PRESETS_TTL" "$uri") || fail "cannot read $PRESETS_TTL"
    [ "$(wc -l <<<"$presets")" -ge 6 ] || fail "fewer than six presets for $uri in $PRESETS_TTL"
    for rate in $RATES; do
        echo "default $plugin $rate" >>"$scenarios"
        while IFS=$'\t' read -r preset _ _ controls; do
            echo "${preset##*/} $plugin $rate $controls" >>"$scenarios"
        done <<<"$presets"
    done
done
count=$(wc -l <"$scenarios")

start=$(date +%s%N)
"$RENDER" "$LIBRARY" "$scenarios" >"$WORK/native.txt" || fail "the native render failed"
middle=$(date +%s%N)
qemu-x86_64 -cpu Nehalem "$RENDER" "$LIBRARY" "$scenarios" >"$WORK/nehalem.txt" ||
    fail "the render under qemu-x86_64 -cpu Nehalem failed"
end=$(date +%s%N)

native_cpu=$(head -n 1 "$WORK/native.txt")
nehalem_cpu=$(head -n 1 "$WORK/nehalem.txt")
[ "$nehalem_cpu" = "cpu: avx2 0 fma 0" ] || fail "the emulated CPU reports [$nehalem_cpu], not a CPU without AVX2 and FMA"
[ "$(($(wc -l <"$WORK/native.txt") - 1))" -eq "$count" ] || fail "the native run rendered too few scenarios"
echo "cpu_identity: $count scenarios; native $native_cpu ($(((middle - start) / 1000000)) ms)," \
     "under qemu Nehalem $nehalem_cpu ($(((end - middle) / 1000000)) ms)"
[ "$native_cpu" != "$nehalem_cpu" ] ||
    echo "cpu_identity: note: this CPU has neither AVX2 nor FMA either, so both runs take the same paths"

if ! differences=$(diff <(tail -n +2 "$WORK/native.txt") <(tail -n +2 "$WORK/nehalem.txt")); then
    echo "$differences" | grep '^[<>]' >&2
    fail "$(grep -c '^<' <<<"$differences") of $count scenarios differ between this CPU and Nehalem (< native, > Nehalem)"
fi
echo "cpu_identity: every scenario's output is the same, bit for bit"

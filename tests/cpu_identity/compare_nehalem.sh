#!/usr/bin/env bash
# Renders the same scenarios through the built halvane.so natively and under
# qemu-x86_64 -cpu Nehalem (an x86-64 CPU without AVX and FMA, on which the C
# library picks the plain variants of exp, pow and sinh, and the plug-in any
# plain code path it has), and requires every scenario's output samples to
# be the same, bit for bit. Scenarios: the table of scenarios.sh, each with
# the controls automated between blocks (render_scenarios.cpp).
#
# Environment: RENDER (the render_scenarios program), LIBRARY (halvane.so),
# PRESETS_TTL, PRESET_CONTROLS (scripts/preset_controls.sh), WORK (a folder).
set -euo pipefail
fail() { echo "cpu_identity: FAIL: $*" >&2; exit 1; }
command -v qemu-x86_64 >/dev/null || fail "qemu-x86_64 is missing (package qemu-user)"

scenarios=$WORK/scenarios.txt
bash "$(dirname "$0")/scenarios.sh" "$PRESETS_TTL" "$PRESET_CONTROLS" >"$scenarios" ||
    fail "cannot make the scenario table"
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

#!/usr/bin/env bash
# Runs libm_scan with the C library's FMA variants and with its plain ones
# (chosen through GLIBC_TUNABLES, as on a CPU without AVX2 and FMA) and
# requires what docs/same-bits.md states: the glide coefficient differs at
# exactly the whole rates of GLIDE_RATES, and nothing else differs at all.
#
# Environment: SCAN (the libm_scan program), WORK (a folder).
set -euo pipefail
fail() { echo "cpu_identity: FAIL: $*" >&2; exit 1; }
GLIDE_RATES="2049 2357 2358 2427 2671"
RATES=767001  # whole rates from 1000 to 768000 Hz

if ! grep -qw fma /proc/cpuinfo; then
    echo "cpu_identity: this CPU has no FMA; the C library's variants are the same, nothing to compare"
    exit 0
fi
"$SCAN" "$WORK/fma.bin"
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA "$SCAN" "$WORK/plain.bin"
[ "$(stat -c %s "$WORK/fma.bin")" = "$(stat -c %s "$WORK/plain.bin")" ] || fail "the two scans differ in length"

# cmp -l prints the 1-based offset of every differing byte; each of the
# first RATES doubles is a glide coefficient.
differing=$(cmp -l "$WORK/fma.bin" "$WORK/plain.bin" | awk -v rates=$RATES '
    { word = int(($1 - 1) / 8) }
    word < rates { if (!(word in seen)) { seen[word] = 1; printf "%d ", 1000 + word } next }
    { other = 1 }
    END { if (other) printf "other" }' || true)
rm -f "$WORK/fma.bin" "$WORK/plain.bin"
[[ $differing != *other* ]] ||
    fail "a result other than the glide coefficient differs between the FMA and the plain variants ($differing)"
[ "${differing% }" = "$GLIDE_RATES" ] ||
    fail "the glide coefficient differs at the rates [${differing% }], docs/same-bits.md names [$GLIDE_RATES]"
echo "cpu_identity: with the FMA and the plain variants of the C library, the glide coefficient differs" \
     "at $GLIDE_RATES Hz only; the decay factor at every whole rate and 20 million single-precision results agree"

#!/usr/bin/env bash
# The aarch64 column of the scenario table: the same output bits on 64-bit
# ARM as on x86-64. Three comparisons, each aarch64 under qemu-aarch64 over
# the arm64 root against a native x86-64 build:
#   - render_scenarios, built for both, over the whole table of scenarios.sh
#     (both plug-ins, every rate, the presets, blocks of 1 to 1000, every
#     control automated): one hash per scenario, all equal;
#   - Debian's own hosts: the arm64 lv2file and lv2apply of the root against
#     this machine's, over the table's whole-number rates (a WAV file has no
#     fractional rate), lv2file at a block length from 1 to 1000 that changes
#     from scenario to scenario, lv2apply at one frame per call: the output
#     samples equal, byte for byte;
#   - the C library: libm_scan (libm_scan.cpp) on aarch64 against x86-64's
#     FMA and plain variants: at the rates where those two disagree on the
#     pre-delay glide coefficient it reports which side aarch64 takes, and
#     everything else must agree with both.
# Exits 77 (skipped) when the arm64 root or the native build is missing.
#
# Environment: RENDER, LIBRARY, SCAN (this build's render_scenarios,
# halvane.so and libm_scan), NATIVE_BUILD (a native x86-64 build folder),
# ROOT (scripts/arm64_root.sh), PRESETS_TTL, PRESET_CONTROLS, WORK.
set -euo pipefail
fail() { echo "cpu_identity: FAIL: $*" >&2; exit 1; }
skip() { echo "cpu_identity: SKIPPED: $*"; exit 77; }

command -v qemu-aarch64 >/dev/null || skip "qemu-aarch64 is missing (package qemu-user)"
[ -x "$ROOT/usr/bin/lv2file" ] || skip "no arm64 root at $ROOT (make it with scripts/arm64_root.sh)"
native_render=$NATIVE_BUILD/tests/cpu_identity/render_scenarios
native_scan=$NATIVE_BUILD/tests/cpu_identity/libm_scan
for f in "$NATIVE_BUILD/halvane.lv2/halvane.so" "$native_render" "$native_scan"; do
    [ -e "$f" ] || skip "no native x86-64 build at $NATIVE_BUILD (missing $f; set HALVANE_NATIVE_BUILD)"
done
for tool in lv2file lv2apply sox; do
    command -v $tool >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
arm() { qemu-aarch64 -L "$ROOT" "$@"; }
# lv2_path ARCH BUNDLE: a folder holding only the bundle and the LV2
# definition bundles its description refers to, for the hosts' LV2_PATH.
lv2_path() {
    local dir=$WORK/lv2_$1 name
    mkdir -p "$dir"
    ln -s "$2" "$dir/halvane.lv2"
    for name in core port-groups port-props units; do
        ln -s "/usr/lib/lv2/$name.lv2" "$dir/$name.lv2"
    done
    echo "$dir"
}
rm -rf "${WORK:?}"/*

scenarios=$WORK/scenarios.txt
bash "$(dirname "$0")/scenarios.sh" "$PRESETS_TTL" "$PRESET_CONTROLS" >"$scenarios" ||
    fail "cannot make the scenario table"
count=$(wc -l <"$scenarios")
native_lv2_path=$(lv2_path x86_64 "$NATIVE_BUILD/halvane.lv2")
arm_lv2_path=$(lv2_path aarch64 "$(dirname "$LIBRARY")")

# 1. The whole table through render_scenarios, two runs side by side.
start=$SECONDS
"$native_render" "$NATIVE_BUILD/halvane.lv2/halvane.so" "$scenarios" >"$WORK/x86_64.txt" &
native=$!
arm "$RENDER" "$LIBRARY" "$scenarios" >"$WORK/aarch64.txt" || fail "the render under qemu-aarch64 failed"
wait $native || fail "the native render failed"
[ "$(head -n 1 "$WORK/aarch64.txt")" = "cpu: aarch64" ] || fail "the aarch64 render ran on [$(head -n 1 "$WORK/aarch64.txt")]"
[ "$(($(wc -l <"$WORK/aarch64.txt") - 1))" -eq "$count" ] || fail "the aarch64 run rendered too few scenarios"
if ! differences=$(diff <(tail -n +2 "$WORK/x86_64.txt") <(tail -n +2 "$WORK/aarch64.txt")); then
    echo "$differences" | grep '^[<>]' >&2
    fail "$(grep -c '^<' <<<"$differences") of $count scenarios differ between x86-64 and aarch64 (< x86-64, > aarch64)"
fi
echo "cpu_identity: aarch64: $count scenarios of render_scenarios equal x86-64's, bit for bit ($((SECONDS - start)) s)"

# 2. Debian's hosts. One input file per rate and channel count: 12288
# frames, a burst of noise and a tail of silence; 32-bit float, so the
# outputs are the plug-in's own samples.
BLOCKS=(64 1 37 256 1000 63 3 129 512 2)
start=$SECONDS
# sound RATE CHANNELS: the input file's path, made on first use.
sound() {
    local file=$WORK/in_$1_$2.wav
    if [ ! -f "$file" ]; then
        # The rate goes to the null input as well, or sox counts the
        # samples at 48 kHz and resamples.
        sox -q -r "$1" -n -b 32 -e floating-point -c "$2" "$file" synth 3000s whitenoise gain -6 pad 0 9288s ||
            fail "sox could not make $file"
    fi
    echo "$file"
}
# samples FILE: a WAV file's sample data, as stored (the header around it
# carries a time stamp in libsndfile's PEAK chunk).
samples() {
    local file=$1 offset=12 id size
    while size=$(od -An -tu4 -j $((offset + 4)) -N4 "$file" | tr -d ' ') && [ -n "$size" ]; do
        id=$(dd if="$file" bs=1 skip=$offset count=4 2>/dev/null)
        if [ "$id" = data ]; then
            tail -c +$((offset + 9)) "$file" | head -c "$size"
            return 0
        fi
        offset=$((offset + 8 + size + size % 2))
    done
    fail "no sample data in $file"
}
# same_samples HOST WHAT: the x86-64 and aarch64 outputs of HOST ($out.ARCH.HOST.wav)
# hold the same samples, all of them (12288 frames of CHANNELS 4-byte floats).
same_samples() {
    local arch
    for arch in x86_64 aarch64; do
        samples "$out.$arch.$1.wav" >"$out.$arch.$1.raw"
        [ "$(stat -c %s "$out.$arch.$1.raw")" = $((12288 * channels * 4)) ] ||
            fail "$2: the $arch output holds $(stat -c %s "$out.$arch.$1.raw") bytes of samples, not 12288 frames"
    done
    cmp -s "$out.x86_64.$1.raw" "$out.aarch64.$1.raw" || fail "$2: aarch64's output differs from x86-64's"
}
hosts=0
index=0
while read -r name plugin rate controls; do
    index=$((index + 1))
    [[ $rate =~ ^[0-9]+$ ]] || continue
    uri=https://halvane.example.org/lv2/halvane/$plugin
    channels=$([ "$plugin" = mono ] && echo 1 || echo 2)
    input=$(sound "$rate" "$channels")
    block=${BLOCKS[index % ${#BLOCKS[@]}]}
    by_symbol=()
    by_flag=()
    for assignment in $controls; do
        by_symbol+=(-p "${assignment%%=*}:${assignment#*=}")
        by_flag+=(-c "${assignment%%=*}" "${assignment#*=}")
    done
    out=$WORK/$index
    LV2_PATH=$native_lv2_path lv2file -b "$block" "${by_symbol[@]}" -i "$input" -o "$out.x86_64.lv2file.wav" "$uri" \
        >"$out.log" 2>&1 || fail "lv2file on x86-64, $name $plugin $rate Hz: $(cat "$out.log")"
    LV2_PATH=$arm_lv2_path arm "$ROOT/usr/bin/lv2file" -b "$block" "${by_symbol[@]}" \
        -i "$input" -o "$out.aarch64.lv2file.wav" "$uri" >"$out.log" 2>&1 ||
        fail "lv2file on aarch64, $name $plugin $rate Hz: $(cat "$out.log")"
    same_samples lv2file "lv2file at $block frames a call, $name $plugin $rate Hz"
    # lv2apply, one frame per call, on every third scenario: its calls are
    # lv2file's at a block of 1, which the cycle above visits as well.
    if ((index % 3 == 0)); then
        LV2_PATH=$native_lv2_path lv2apply "${by_flag[@]}" -i "$input" -o "$out.x86_64.lv2apply.wav" "$uri" \
            >"$out.log" 2>&1 || fail "lv2apply on x86-64, $name $plugin $rate Hz: $(cat "$out.log")"
        LV2_PATH=$arm_lv2_path arm "$ROOT/usr/bin/lv2apply" "${by_flag[@]}" \
            -i "$input" -o "$out.aarch64.lv2apply.wav" "$uri" >"$out.log" 2>&1 ||
            fail "lv2apply on aarch64, $name $plugin $rate Hz: $(cat "$out.log")"
        same_samples lv2apply "lv2apply, $name $plugin $rate Hz"
        hosts=$((hosts + 1))
    fi
    hosts=$((hosts + 1))
    rm -f "$out".*
done <"$scenarios"
echo "cpu_identity: aarch64: $hosts renders through Debian's arm64 lv2file and lv2apply equal x86-64's," \
     "byte for byte ($((SECONDS - start)) s)"

# 3. The C library, over whole ranges of the plug-in's arguments.
GLIDE_RATES="2049 2357 2358 2427 2671"
AARCH64_SIDE=fma
RATES=767001  # whole rates from 1000 to 768000 Hz: the glide coefficients come first
start=$SECONDS
GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA "$native_scan" "$WORK/plain.bin" &
native=$!
arm "$SCAN" "$WORK/aarch64.bin" || fail "libm_scan failed under qemu-aarch64"
wait $native || fail "libm_scan failed"
# differing A B: the rates at which A's and B's glide coefficients differ,
# then "other" if anything else differs.
differing() {
    cmp -l "$1" "$2" | awk -v rates=$RATES '
        { word = int(($1 - 1) / 8) }
        word < rates { if (!(word in seen)) { seen[word] = 1; printf "%d ", 1000 + word } next }
        { other = 1 }
        END { if (other) printf "other" }' || true
}
if grep -qw fma /proc/cpuinfo; then
    "$native_scan" "$WORK/fma.bin"
    sides="fma plain"
else
    echo "cpu_identity: this CPU has no FMA; aarch64's C library is compared with the plain variants only"
    sides=plain
fi
for side in $sides; do
    found=$(differing "$WORK/aarch64.bin" "$WORK/$side.bin")
    [[ $found != *other* ]] ||
        fail "aarch64's C library differs from x86-64's $side variants beyond the glide coefficient ($found)"
    if [ "$side" = "$AARCH64_SIDE" ]; then
        [ -z "$found" ] || fail "aarch64's glide coefficient differs from x86-64's $side variant at [${found% }] Hz"
    else
        [ "${found% }" = "$GLIDE_RATES" ] ||
            fail "aarch64's glide coefficient differs from x86-64's $side variant at [${found% }] Hz, not at [$GLIDE_RATES]"
    fi
done
rm -f "$WORK"/*.bin
echo "cpu_identity: aarch64's C library takes the $AARCH64_SIDE side: its glide coefficient at $GLIDE_RATES Hz" \
     "is that of x86-64 CPUs with FMA; every other result of libm_scan equals both ($((SECONDS - start)) s)"

#!/usr/bin/env bash
# demo_renders.sh DEMO_SCRIPT BUILD_FOLDER WORK_FOLDER: runs the demo and
# checks its output. Each path it prints must exist; each sound must be
# finite, carry sound and stay below full scale; each picture must be a
# whole PNG of the expected size. It prints how long the demo took (about
# 20 s on the build machine); the time is reported, not asserted, since a
# loaded machine may be slower, and CTest's timeout catches a hang.
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

demo=$1
build=$2
work=$3
rm -rf "$work"
started=$(date +%s)
report=$(bash "$demo" "$build" "$work/out") || fail "the demo exited with $?"
elapsed=$(($(date +%s) - started))
echo "$report"
echo "the demo took $elapsed s"

mapfile -t files < <(grep -o "$work/out/[^ ]*\.\(wav\|png\)" <<<"$report")
[ "${#files[@]}" = 32 ] || fail "the demo printed ${#files[@]} paths, expected 32 (2 dry, 12 renders, 6 impulse responses, 12 pictures)"

for file in "${files[@]}"; do
    [ -s "$file" ] || fail "the demo printed $file but did not write it"
    case "$file" in
        *.wav)
            output=$("$WAV_PROBE" "$file") || fail "cannot read $file"
            nonfinite=$(sed -n 's/^nonfinite=//p' <<<"$output")
            peak=$(sed -n 's/^peak=//p' <<<"$output")
            [ "$nonfinite" = 0 ] || fail "$file has $nonfinite samples that are not finite"
            awk -v p="$peak" 'BEGIN { exit !(p > 0.001 && p < 1.0) }' ||
                fail "$file peaks at $peak: silent or beyond full scale"
            ;;
        *.png)
            # Signature, then the IHDR chunk; a whole file ends with IEND and its fixed CRC.
            [ "$(head -c 16 "$file" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a0000000d49484452 ] ||
                fail "$file does not start as a PNG"
            [ "$(tail -c 12 "$file" | od -An -tx1 | tr -d ' \n')" = 0000000049454e44ae426082 ] ||
                fail "$file does not end with IEND: cut short"
            width=$((16#$(head -c 20 "$file" | tail -c 4 | od -An -tx1 | tr -d ' \n')))
            height=$((16#$(head -c 24 "$file" | tail -c 4 | od -An -tx1 | tr -d ' \n')))
            [ "$width" -ge 800 ] && [ "$height" -ge 400 ] || fail "$file is only $width x $height pixels"
            ;;
    esac
done
echo "PASS: the demo wrote ${#files[@]} sounds and pictures in $elapsed s"

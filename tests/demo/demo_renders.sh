# shellcheck shell=bash
# demo_renders.sh DEMO_SCRIPT BUILD_FOLDER OUT_FOLDER: runs the demo into
# OUT_FOLDER and checks its output. Each path it prints must exist; each
# sound must be finite, carry sound and stay below full scale; each picture
# must be a whole PNG of the expected size. It prints how long the demo took
# (about 20 s on the build machine); the time is reported, not asserted,
# since a loaded machine may be slower, and CTest's timeout catches a hang.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
set -eo pipefail
demo=$1
build=$2
out=$3
rm -rf "$out"
started=$(date +%s)
report=$(bash "$demo" "$build" "$out") || fail "the demo exited with $?"
elapsed=$(($(date +%s) - started))
echo "$report"
echo "the demo took $elapsed s"

mapfile -t files < <(grep -o "$out/[^ ]*\.\(wav\|png\)" <<<"$report")
[ "${#files[@]}" = 32 ] || fail "the demo printed ${#files[@]} paths, expected 32 (2 dry, 12 renders, 6 impulse responses, 12 pictures)"

for file in "${files[@]}"; do
    [ -s "$file" ] || fail "the demo printed $file but did not write it"
    case "$file" in
        *.wav)
            stats "$file"
            [ "$wav_nonfinite" = 0 ] || fail "$file has $wav_nonfinite samples that are not finite"
            float_cmp "$wav_peak" ">" 0.001 && float_cmp "$wav_peak" "<" 1.0 ||
                fail "$file peaks at $wav_peak: silent or beyond full scale"
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

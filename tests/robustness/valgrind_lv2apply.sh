# shellcheck shell=bash disable=SC2154  # probe() assigns the probe_* variables
# valgrind's memcheck over a real host: lv2apply renders a plucked chord and
# its tail through one plug-in (mono or stereo, $1), once with the defaults
# and once with every control at the top of its range. Any invalid read or
# write, use of an undefined value or leak fails the test (--error-exitcode).
# No suppressions: the host and its libraries run clean as well.
# shellcheck source=../hosts/host_common.sh
source "$(dirname "$0")/../hosts/host_common.sh"
require_tools lv2apply sox valgrind
variant=$1
uri=$(uri_of "$variant")
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK
case "$variant" in mono) channels=1 ;; stereo) channels=2 ;; esac

dry=$work/dry.wav
make_dry_sound "$dry" 48000 "$channels"

high=(-c mix 1 -c decay 30 -c damping 0.95 -c bandwidth 1 -c room_size 240 -c tail_level 1
      -c decay_tilt 1 -c high_band_freq 12000 -c low_band_freq 12000 -c low_cut 1000 -c predelay 150 -c wet_level 6)
for setting in default high; do
    out=$work/$setting.wav
    args=()
    [ "$setting" = high ] && args=("${high[@]}")
    rm -f "$out"
    valgrind --quiet --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect \
        --errors-for-leak-kinds=definite,indirect --track-origins=yes \
        --log-file="$work/valgrind_$setting.log" \
        lv2apply -i "$dry" -o "$out" "${args[@]}" "$uri" ||
        { cat "$work/valgrind_$setting.log" >&2; fail "valgrind found errors in the $setting render of $variant"; }
    probe "$out"
    [ "$probe_nonfinite" = 0 ] || fail "$setting render: $probe_nonfinite samples are NaN or infinite"
    echo "$setting render of $variant: clean under valgrind ($(wc -l <"$work/valgrind_$setting.log") log lines)"
done
echo "PASS: valgrind finds nothing in lv2apply renders of $variant"

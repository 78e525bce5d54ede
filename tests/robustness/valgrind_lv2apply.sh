# shellcheck shell=bash
# valgrind's memcheck over a real host: lv2apply renders plucked notes and
# its tail through one plug-in (mono or stereo, $1), once with the defaults
# and once with every control at the top of its range. Any invalid read or
# write, use of an undefined value or leak fails the test (--error-exitcode).
# No suppressions: the host and its libraries run clean as well.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2apply sox valgrind
variant=$1
uri=$(uri_of "$variant")
use_clean_lv2_path "$LV2_PATH"
work=$HOST_TEST_WORK

dry=$work/dry.wav
make_sound "$dry" $RATE "$(channels_of "$variant")" left

for setting in default high; do
    out=$work/$setting.wav
    args=()
    [ "$setting" = high ] && args=("${HIGH_ENDS[@]}")
    rm -f "$out"
    valgrind --quiet --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect \
        --errors-for-leak-kinds=definite,indirect --track-origins=yes \
        --log-file="$work/valgrind_$setting.log" \
        lv2apply -i "$dry" -o "$out" "${args[@]}" "$uri" ||
        { cat "$work/valgrind_$setting.log" >&2; fail "valgrind found errors in the $setting render of $variant"; }
    check_shape "$dry" "$out" "$setting render"
    echo "$setting render of $variant: clean under valgrind ($(wc -l <"$work/valgrind_$setting.log") log lines)"
done
echo "PASS: valgrind finds nothing in lv2apply renders of $variant"

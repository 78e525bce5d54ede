# shellcheck shell=bash
# lv2info reads the description of one plug-in (mono or stereo, $1) as a
# host sees it: every port at its index with its symbol, no port more, the
# reverb class, no required feature, and each control's default inside its
# range.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools lv2info
variant=$1
uri=$(uri_of "$variant")
use_clean_lv2_path "$LV2_PATH"

case "$variant" in
    mono) expected="${CONTROL_SYMBOLS[*]} in out" ;;
    stereo) expected="${CONTROL_SYMBOLS[*]} in_l out_l in_r out_r" ;;
esac

info=$(lv2info "$uri") || fail "lv2info $uri exited with $?"
echo "$info"

# One line per port: index, symbol, minimum, maximum, default, group and
# designation (- where the port has none).
ports=$(awk '
    function flush() { if (index_ != "") print index_, symbol, min, max, dflt, group, side }
    /^\tPort [0-9]+:/ { flush(); index_ = $2; sub(":", "", index_); symbol = min = max = dflt = group = side = "-" }
    /^\t\tSymbol:/ { symbol = $2 }
    /^\t\tGroup:/ { group = $2; sub(".*#", "", group) }
    /^\t\tDesignation:/ { side = $2; sub(".*#", "", side) }
    /^\t\tMinimum:/ { min = $2 }
    /^\t\tMaximum:/ { max = $2 }
    /^\t\tDefault:/ { dflt = $2 }
    END { flush() }' <<<"$info")

i=0
for symbol in $expected; do
    line=$(awk -v i=$i '$1 == i' <<<"$ports")
    [ -n "$line" ] || fail "$variant: no port $i (expected '$symbol')"
    read -r _ got min max dflt group side <<<"$line"
    [ "$got" = "$symbol" ] || fail "$variant: port $i is '$got', expected '$symbol'"
    # Stereo audio ports: in_l/in_r form the input pair, out_l/out_r the output pair.
    case "$symbol" in
        in_l | in_r | out_l | out_r)
            want_group=${symbol%_*}
            want_side=$([ "${symbol#*_}" = l ] && echo left || echo right)
            [ "$group/$side" = "$want_group/$want_side" ] ||
                fail "$variant: port '$symbol' is in group/side '$group/$side', expected '$want_group/$want_side'"
            ;;
    esac
    if [ $i -lt 12 ]; then
        [ "$dflt" != - ] || fail "$variant: control '$symbol' has no default"
        if ! float_cmp "$min" "<" "$max" || ! float_cmp "$min" "<=" "$dflt" || ! float_cmp "$dflt" "<=" "$max"; then
            fail "$variant: control '$symbol' has default $dflt outside $min..$max"
        fi
    fi
    i=$((i + 1))
done
count=$(wc -l <<<"$ports")
[ "$count" = $i ] || fail "$variant: $count ports, expected $i"

grep -q "^[[:space:]]*Class:[[:space:]]*Reverb Plugin" <<<"$info" || fail "$variant: not in the reverb plug-in class"
! grep -q "Required Features" <<<"$info" || fail "$variant: requires host features"
grep -q "hardRTCapable" <<<"$info" || fail "$variant: not marked hard real-time capable"
echo "PASS: $variant has its $count ports"

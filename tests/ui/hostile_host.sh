# shellcheck shell=bash
# A careless host must not hurt the UI. In ui_host:
#   - port events before the window is shown, and thousands between two
#     idle calls, with values NaN, infinite and far out of range;
#   - events for ports the plug-in does not have (16 and up), of sizes
#     other than 4 bytes and of protocols the UI does not know;
#   then the defaults sent again: the picture must be that of a fresh UI at
#   the defaults, and no event may come back as a write to the host;
#   - the parent window destroyed before the UI is cleaned up;
#   - a host that offers neither ui:touch nor ui:resize: a drag still
#     writes, and nothing else is asked of the host;
#   - a display that cannot be opened: instantiate returns null.
# shellcheck source=ui_common.sh
source "$(dirname "$0")/ui_common.sh"
start_xvfb

host_start "$STEREO_URI"
host_send create show
settle fresh
host_send cleanup create
mark=$sync_token
host_send "burst 5000" "event 16 4 0" "event 17 4 0" "event 4294967295 4 0" \
    "event 1 0 0" "event 1 2 0" "event 1 8 0" "event 1 4 urn:halvane:test:unknown-protocol" \
    "event 1 4 http://lv2plug.in/ns/ext/atom#eventTransfer" "event 1 4 http://lv2plug.in/ns/extensions/ui#peakProtocol"
host_send show "idle 2" "burst 20000" "idle 2" "burst 3000"
host_send defaults
settle after_junk
log_since "$mark" | grep '^write' && fail "port events came back as writes to the host"
count=$(differing_pixels "$work/fresh.png" "$work/after_junk.png")
[ "$count" = 0 ] || fail "after junk events and the defaults again, $count pixels differ from a fresh UI"
echo "junk events: ignored; the defaults again give a fresh UI's picture"

host_send "destroy-parent" "wait 300" cleanup
host_sync
echo "parent window destroyed first: the UI cleaned up"
host_stop

require_tools xdotool
host_start "$STEREO_URI" --no-touch --no-resize
host_send create show "wait 200"
host_query centre decay
read -r _ _ x y <<<"$reply"
xdotool mousemove "$x" "$y" mousedown 1 sleep 0.05 mousemove "$x" $((y - 20)) sleep 0.05 mouseup 1
host_send "wait 200"
host_sync
host_stop
grep -q '^write 1 ' "$work/host.log" || fail "with no ui:touch offered, a drag wrote nothing: $(cat "$work/host.log")"
grep -E '^(touch|resize)' "$work/host.log" && fail "the UI used ui:touch or ui:resize, which the host did not offer"
echo "no ui:touch and no ui:resize offered: a drag writes, nothing else is asked"

dead=:$((${DISPLAY#:} + 1000))
[ -e "/tmp/.X11-unix/X${dead#:}" ] && fail "display $dead is unexpectedly alive"
host_start "$STEREO_URI" --ui-display "$dead"
host_send create
host_sync
grep -qx "instantiate null" "$work/host.log" ||
    fail "with the display $dead unopenable, instantiate did not return null: $(cat "$work/host.log")"
host_stop
echo "display $dead cannot be opened: instantiate returned null"

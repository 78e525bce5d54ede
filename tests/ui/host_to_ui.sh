# shellcheck shell=bash
# What the host sends reaches the picture: the UI in ui_host, first at the
# default values, then with a port event for the decay time. The decay
# knob's area and the impulse-response preview must change; the wet level
# knob's area must not. A second UI started with that decay time from the
# beginning must then show the very same picture as the first one after the
# event: starting values and later events are drawn alike.
# shellcheck source=ui_common.sh
source "$(dirname "$0")/ui_common.sh"
start_xvfb

# drawn NAME: the settled screenshot NAME.png, taken once the UI has drawn
# its completed preview, however slowly the machine renders it.
drawn() {
    host_send "complete 100" && host_sync 110
    [ "$(grep '^complete ' "$work/host.log" | tail -n 1)" = "complete drawn" ] || fail "no complete preview after 100 s"
    settle "$1"
}

host_start "$STEREO_URI"
host_send create show
host_sync
host_query area decay
read -r _ _ decay_area <<<"$reply"
host_query area wet_level
read -r _ _ wet_area <<<"$reply"
host_query area preview
read -r _ _ preview_area <<<"$reply"
drawn defaults
(($(colours "$work/defaults.png") > 16)) || fail "the UI draws hardly anything: $(colours "$work/defaults.png") colours"

host_send "port 1 8"
drawn decay_event
host_send cleanup
host_stop

for area in decay:"$decay_area" preview:"$preview_area" wet_level:"$wet_area"; do
    count=$(differing_pixels "$work/defaults.png" "$work/decay_event.png" "${area#*:}")
    echo "decay 1.5 s -> 8 s: ${area%%:*} area ${area#*:}: $count pixels changed"
    case ${area%%:*} in
        wet_level) [ "$count" = 0 ] || fail "a decay change redrew the wet level knob" ;;
        *) ((count > 20)) || fail "a decay change did not show in the ${area%%:*} area" ;;
    esac
done

# At scale factor 2 the UI asks for twice its size and fills it: the same
# picture at double size, up to the finer rendering of curves and text
# (halved, it differs from the unscaled one by an RMS of about 6 % of full
# scale; the picture moved by 20 pixels would differ by 14 %).
host_start "$STEREO_URI" --scale 2
host_send create show
drawn scaled
host_send cleanup
host_stop
grep -qx "resize 1440 800" "$work/host.log" || fail "at scale 2 the UI did not ask for 1440x800: $(grep resize "$work/host.log")"
convert "$work/scaled.png" -scale 50% "$work/scaled_half.png"
rms=$(compare -metric RMSE "$work/scaled_half.png" "$work/defaults.png" null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)
echo "scale 2: 1440x800 asked for; halved, the picture differs from the unscaled one by RMS $rms"
float_cmp "$rms" "<" 0.1 || fail "the picture at scale 2 is not the unscaled one at double size (RMS difference $rms)"

host_start "$STEREO_URI" --set decay=8
host_send create show
drawn decay_start
host_send cleanup
host_stop
count=$(differing_pixels "$work/decay_event.png" "$work/decay_start.png")
[ "$count" = 0 ] || fail "a UI started at decay 8 s differs in $count pixels from one sent decay 8 s later"
echo "started at decay 8 s: the same picture as after the event"

# shellcheck shell=bash disable=SC2154  # host_pid and sync_token come from ui_common.sh
# The musician's gestures, made with xdotool on the UI in ui_host, as the
# host sees them: a vertical drag on the decay knob, the same drag with
# Shift held (finer), drags far past both ends of the range, a value typed
# after a right-click, the mouse wheel on the mix knob and a double-click
# back to the default. Checks:
# each gesture writes only the port it is on, drags and wheel steps are
# wrapped in touch grab/release of that port, and no value written is ever
# outside the declared range or not finite (ui_host marks such a write BAD).
# shellcheck source=ui_common.sh
source "$(dirname "$0")/ui_common.sh"
require_tools xdotool
start_xvfb
host_start "$STEREO_URI"
host_send create show
host_sync
host_send "wait 300"

host_query centre decay
read -r _ _ decay_x decay_y <<<"$reply"
host_query centre mix
read -r _ _ mix_x mix_y <<<"$reply"
[ -n "$mix_y" ] || fail "ui_host knows no centre of the decay and mix knobs: $(tail "$work/host.log")"
decay_default=$(awk '/lv2:symbol "decay"/ { found = 1 } found && /lv2:default/ { print $2; exit }' \
    "$LV2_PATH/halvane.lv2/halvane.ttl")

# gesture NAME COMMANDS...: runs xdotool with the commands and leaves the
# log lines the gesture caused in $work/NAME.log.
gesture() {
    local name=$1 mark
    shift
    host_sync
    mark=$sync_token
    xdotool "$@"
    sleep 0.3
    host_sync
    log_since "$mark" | grep -E '^(write|touch)' >"$work/$name.log"
    [ -s "$work/$name.log" ] || fail "$name: the host saw no write"
}

# drag X Y DY...: press at (X, Y), move by each DY in turn in steps, as a
# hand does, and release; prints the xdotool commands, one word a line.
drag() {
    local x=$1 y=$2 dy i steps=10
    shift 2
    local args=(mousemove "$x" "$y" sleep 0.05 mousedown 1)
    for dy; do
        for ((i = 1; i <= steps; i++)); do
            args+=(sleep 0.02 mousemove "$x" $((y + dy * i / steps)))
        done
        y=$((y + dy))
    done
    printf '%s\n' "${args[@]}" sleep 0.05 mouseup 1
}

# only_port NAME PORT: every write and touch of the gesture is for PORT.
only_port() {
    grep -v "^write $2 \|^touch $2 " "$work/$1.log" &&
        fail "$1 wrote other ports than $2: $(cat "$work/$1.log")"
    return 0
}

# bracketed NAME PORT: the writes come between a grab and a release of
# PORT, and every grab is released.
bracketed() {
    awk -v port="$2" '
        $1 == "touch" && $3 == "grab" { if (held) exit 1; held = 1 }
        $1 == "touch" && $3 == "release" { if (!held) exit 1; held = 0 }
        $1 == "write" { if (!held) exit 1; writes++ }
        END { exit held || writes == 0 }' "$work/$1.log" ||
        fail "$1: writes not wrapped in touch grab/release of port $2: $(cat "$work/$1.log")"
}

last_value() {
    grep '^write' "$work/$1.log" | tail -n 1 | cut -d' ' -f3
}

mapfile -t up < <(drag "$decay_x" "$decay_y" -60)
gesture drag "${up[@]}"
only_port drag 1
bracketed drag 1
dragged=$(last_value drag)
float_cmp "$dragged" ">" "$decay_default" || fail "dragging decay up gave $dragged, from $decay_default"

gesture reset mousemove "$decay_x" "$decay_y" click --repeat 2 --delay 80 1
only_port reset 1
[ "$(last_value reset)" = "$decay_default" ] ||
    fail "double-click did not reset decay to $decay_default: $(cat "$work/reset.log")"

gesture fine keydown shift "${up[@]}" keyup shift
only_port fine 1
bracketed fine 1
fine=$(last_value fine)
float_cmp "$fine" ">" "$decay_default" || fail "a Shift drag up gave $fine, from $decay_default"
awk -v d="$decay_default" -v a="$dragged" -v b="$fine" 'BEGIN { exit !(b - d < (a - d) / 2) }' ||
    fail "a Shift drag moved decay to $fine, not much less than a plain drag ($dragged)"

# Far past the top of the screen and back to its bottom: clamped at the ends.
mapfile -t far < <(drag "$decay_x" "$decay_y" -2000 4000)
gesture extremes "${far[@]}"
only_port extremes 1
bracketed extremes 1
read -r lowest highest < <(grep '^write' "$work/extremes.log" | cut -d' ' -f3 | sort -g | sed -n '1p;$p' | tr '\n' ' ')
[ "$lowest $highest" = "0 30" ] || fail "a drag far past both ends reached $lowest to $highest, not 0 to 30"
echo "decay: default $decay_default, dragged to $dragged, Shift-dragged to $fine, far past both ends $lowest to $highest"

# A right-click opens the value for typing: Backspace takes back a key,
# Return writes the value typed, once, wrapped in touch; Escape, or a text
# that is no value, writes nothing.
gesture typed mousemove "$decay_x" "$decay_y" click 3 sleep 0.2 key --delay 30 9 5 BackSpace space s Return
only_port typed 1
bracketed typed 1
[ "$(grep -c '^write' "$work/typed.log")" = 1 ] && [ "$(last_value typed)" = 9 ] ||
    fail "typing 9 s on decay did not write 9 once: $(cat "$work/typed.log")"
for keys in "7 Escape" "f a s t Return"; do
    host_sync
    mark=$sync_token
    # shellcheck disable=SC2086  # the words are key names
    xdotool mousemove "$decay_x" "$decay_y" click 3 sleep 0.2 key --delay 30 $keys
    sleep 0.3
    host_sync
    ! log_since "$mark" | grep -q '^write' || fail "'$keys' in the typed value wrote: $(log_since "$mark")"
done

gesture wheel mousemove "$mix_x" "$mix_y" click --repeat 3 --delay 60 4
only_port wheel 0
bracketed wheel 0
awk '$1 == "write" { if (n++ && $3 <= last) exit 1; last = $3 } END { exit n < 1 }' "$work/wheel.log" ||
    fail "the wheel up did not raise mix step by step: $(cat "$work/wheel.log")"

# The host resizes the UI's window, as hosts do: the knobs move with the
# fitted canvas, and a gesture on decay's new place still reaches decay.
host_send "size 1000 300" "wait 200"
host_query centre decay
read -r _ _ x y <<<"$reply"
[ "$x $y" != "$decay_x $decay_y" ] || fail "the decay knob did not move when the window was resized"
gesture resized mousemove "$x" "$y" click 4
only_port resized 1
bracketed resized 1

host_sync
grep -q BAD "$work/host.log" && fail "the UI wrote values outside the declared ranges: $(grep BAD "$work/host.log" | head)"
host_send cleanup
host_stop
echo "every gesture wrote only its own port, inside the range, wrapped in touch grab/release"

# shellcheck shell=bash disable=SC2154  # host_pid and sync_token come from ui_common.sh
# The musician's gestures, made with xdotool on the UI in ui_host, as the
# host sees them: a vertical drag on the decay knob, the same drag with
# Shift held (finer), drags far past both ends of the range, a value typed
# after a right-click, the mouse wheel on the mix knob and a double-click
# back to the default. Checks:
# each gesture writes only the port it is on, drags and wheel steps are
# wrapped in touch grab/release of that port, and no value written is ever
# outside the declared range or not finite (ui_host marks such a write BAD).
# Then the header: the next arrow, a wheel step over the preset's name and
# a pick from the list of presets each write exactly the controls that
# differ from the preset's values (as the bundle's presets.ttl gives them),
# each in its own touch grab/release, and mix lock keeps mix and wet level
# out of it; the name shown follows the controls the host sets; A/B.
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

# The header. click ARRAY NAME [BUTTON]: adds to ARRAY the xdotool commands
# of a click on header item NAME (or on row:N of the open list of presets)
# with BUTTON (1, or 5 for a wheel step down). Runs in this shell, never in
# a $(...) or <(...) subshell, which would lose host_sync's token count.
click() {
    local -n commands=$1
    host_query centre "$2"
    read -r _ _ x y <<<"$reply"
    [ -n "$y" ] && [ "$x" != unknown ] || fail "ui_host knows no centre of $2: $reply"
    commands+=(mousemove "$x" "$y" sleep 0.05 click "${3:-1}" sleep 0.1)
}
# host_values: sets `values` to the host's twelve control values;
# preset_values LABEL: sets `values` to the preset's (in this shell too).
host_values() {
    host_query values
    values=${reply#values }
}
preset_values() {
    host_query preset "$1"
    [[ $reply == "preset $1 "[-0-9]* ]] || fail "ui_host found no preset $1: $reply"
    values=${reply#"preset $1 "}
}

# writes_exactly NAME BEFORE TARGET [LOCKED_PORTS]: the gesture wrote each
# control whose value differs between BEFORE and TARGET (twelve values
# each), but for LOCKED_PORTS, once, with TARGET's value, between a touch
# grab and release of its own; and nothing else.
writes_exactly() {
    awk -v before="$2" -v target="$3" -v locked="${4:-}" '
        BEGIN {
            n = split(before, b, " "); split(target, t, " "); split(locked, l, " ")
            for (i in l) skip[l[i]] = 1
            for (p = 0; p < n; p++) if (b[p + 1] + 0 != t[p + 1] + 0 && !(p in skip)) want[p] = t[p + 1]
        }
        { line[NR] = $0 }
        END {
            for (i = 1; i <= NR; i++) {
                split(line[i], f, " ")
                if (f[1] != "write") continue
                p = f[2]
                if (!(p in want) || seen[p]++ || f[3] + 0 != want[p] + 0 ||
                    line[i - 1] != "touch " p " grab" || line[i + 1] != "touch " p " release") {
                    print "unexpected: " line[i]; bad = 1
                }
            }
            for (p in want) if (!(p in seen)) { print "missing: write " p " " want[p]; bad = 1 }
            exit bad
        }' "$work/$1.log" || fail "$1 did not write exactly the controls that differ ($2 -> $3, locked: ${4:-none}): $(cat "$work/$1.log")"
}

# From Default: the next arrow gives Small room, a wheel step down over the
# name Medium room, the list's fourth row Large hall.
host_send defaults
step_check() {
    local name=$1 preset=$2 before want
    shift 2
    host_values
    before=$values
    preset_values "$preset"
    want=$values
    gesture "$name" "$@"
    writes_exactly "$name" "$before" "$want"
    host_values
    [ "$values" = "$want" ] || fail "$name: the host's controls are not $preset's after it"
}
next=()
click next next
step_check next "Small room" "${next[@]}"
wheel_down=()
click wheel_down preset 5
step_check wheel_name "Medium room" "${wheel_down[@]}"
pick=()
click pick preset
click pick row:3
step_check list_pick "Large hall" "${pick[@]}"

# Mix lock: the host moves mix and wet level; with the lock on, the previous
# arrow (from Large hall, the last preset matched) gives Medium room but for
# those two.
host_send "port 0 0.9" "port 11 -6"
lock=()
click lock mix_lock
xdotool "${lock[@]}"
host_values
before=$values
preset_values "Medium room"
want=$values
previous=()
click previous previous
gesture locked "${previous[@]}"
writes_exactly locked "$before" "$want" "0 11"
xdotool "${lock[@]}"
echo "next, a wheel step over the name, the list and previous under mix lock: exactly the controls that differ, each wrapped in touch"

# The name follows the controls: the host applying a preset shows the name
# the list shows after picking it; one control off shows Custom, whichever.
host_query area preset
read -r _ _ name_area <<<"$reply"
name_shot() {
    xdotool mousemove 1800 1100
    host_send "wait 150" "shot $work/name_$1.png"
    host_sync
}
host_send defaults
pick=()
click pick preset
click pick row:4
xdotool "${pick[@]}"
name_shot picked
host_send defaults
name_shot default
host_send "apply Bright plate"
name_shot applied
host_send "port 1 3"
name_shot custom
host_send "port 2 0.7"
name_shot custom2
same() { [ "$(differing_pixels "$work/name_$1.png" "$work/name_$2.png" "$name_area")" = 0 ]; }
same applied picked || fail "the name shown after the host applied Bright plate is not the one the list's pick shows"
same applied default && fail "the name shown did not change from Default when the host applied Bright plate"
same applied custom && fail "the name shown did not change when the host moved one control off the preset"
same custom custom2 || fail "two sets of controls that match no preset show different names"
echo "the host applying a preset shows its name; one control off shows Custom"

# A/B, in a window opened at Large hall: the next arrow gives Bright plate
# (A); B switches back to Large hall, A to Bright plate again; the host's
# change of a control goes to the slot shown; copy then switch writes nothing.
host_send cleanup "apply Large hall" create show "wait 200"
preset_values "Large hall"
large_hall=$values
preset_values "Bright plate"
bright_plate=$values
next=()
click next next
xdotool "${next[@]}"
to_b=()
click to_b slot_b
to_a=()
click to_a slot_a
gesture switch_b "${to_b[@]}"
writes_exactly switch_b "$bright_plate" "$large_hall"
gesture switch_a "${to_a[@]}"
writes_exactly switch_a "$large_hall" "$bright_plate"
host_send "port 1 7"
host_values
edited=$values
gesture switch_b_again "${to_b[@]}"
writes_exactly switch_b_again "$edited" "$large_hall"
gesture switch_a_again "${to_a[@]}"
writes_exactly switch_a_again "$large_hall" "$edited"
copy=()
click copy copy
xdotool "${copy[@]}"
host_sync
mark=$sync_token
xdotool "${to_b[@]}"
sleep 0.3
host_sync
log_since "$mark" | grep '^write' && fail "after copy, switching to B wrote controls"
echo "A/B: switching writes the other slot's values and back, the host's change stays in its slot, copy then switch writes nothing"

host_sync
grep -q BAD "$work/host.log" && fail "the UI wrote values outside the declared ranges: $(grep BAD "$work/host.log" | head)"
host_send cleanup
host_stop
echo "every gesture wrote only its own port, inside the range, wrapped in touch grab/release"

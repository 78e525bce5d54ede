# shellcheck shell=bash disable=SC2034  # the scripts that source this file use its variables
# Helpers the GUI tests share: a headless X server of the test's own, the
# project's embedding host (ui_host) driven through a pipe, screenshots and
# picture comparisons. Every process started here is stopped by id on every
# way out of the test.
#
# Environment, set by CTest:
#   LV2_PATH        the build folder, which holds halvane.lv2
#   HOST_TEST_WORK  a scratch folder of this test's own
#   UI_HOST         the ui_host program
# shellcheck source=../common/lv2_host.sh
source "$(dirname "${BASH_SOURCE[0]}")/../common/lv2_host.sh"

# Under LeakSanitizer (scripts/sanitize.sh), the font libraries' one-time
# data is not reported (lsan_ui.supp); the suppressions name functions of
# those libraries, which only the slow unwinder finds in their stacks.
export LSAN_OPTIONS=suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan_ui.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0

work=$HOST_TEST_WORK
rm -rf "${work:?}"/*
use_clean_lv2_path "$LV2_PATH"
[ -f "$LV2_PATH/halvane.lv2/halvane_ui.so" ] || fail "no built UI at $LV2_PATH/halvane.lv2/halvane_ui.so"

# Processes to stop on the way out, last started first.
started_pids=()
host_console=
stop_started() {
    local i
    if [ -n "$host_console" ]; then exec {host_console}>&-; fi
    host_console=
    for ((i = ${#started_pids[@]} - 1; i >= 0; i--)); do
        stop_pids "${started_pids[i]}"
    done
    started_pids=()
}
trap stop_started EXIT
trap 'exit 1' INT TERM HUP

# start_xvfb: a server on a display number it picks itself (-displayfd, so
# tests running side by side never race for one); exports DISPLAY once the
# server answers. -noreset: by default the server resets whenever its last
# client leaves and refuses connections meanwhile, so a host started right
# after the readiness probe could find no display.
start_xvfb() {
    local numbers=$work/xvfb.display i
    require_tools Xvfb xdpyinfo
    : >"$numbers"
    Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp -noreset 3>"$numbers" >"$work/xvfb.log" 2>&1 &
    started_pids+=($!)
    for ((i = 0; i < 100; i++)); do
        if [ -s "$numbers" ] && xdpyinfo -display ":$(head -n1 "$numbers")" >/dev/null 2>&1; then
            export DISPLAY=":$(head -n1 "$numbers")"
            return 0
        fi
        sleep 0.1
    done
    fail "Xvfb did not start: $(cat "$work/xvfb.log")"
}

# host_start URI [ui_host options...]: ui_host with its commands coming
# through a pipe the test holds open, its log in $work/host.log.
host_start() {
    local uri=$1
    shift
    # A fresh, empty log before the host starts: host_sync must never find
    # a token of an earlier host's log, and the host opens its log before
    # it waits for the first reader of its command pipe.
    rm -f "$work/host.console" "$work/host.log" "$work/host.err"
    : >"$work/host.log"
    mkfifo "$work/host.console"
    ${UI_HOST_WRAPPER:-} "$UI_HOST" "$uri" "$@" >"$work/host.log" 2>"$work/host.err" <"$work/host.console" &
    host_pid=$!
    started_pids+=($host_pid)
    exec {host_console}>"$work/host.console"
    sync_token=0
}

host_send() {
    printf '%s\n' "$@" >&"$host_console"
}

# host_sync [SECONDS]: waits until the host has run every command sent so far.
host_sync() {
    local limit=$((${1:-60} * 10)) i
    sync_token=$((sync_token + 1))
    host_send "sync $sync_token"
    for ((i = 0; i < limit; i++)); do
        grep -qx "sync $sync_token" "$work/host.log" && return 0
        [ -e "/proc/$host_pid" ] || fail "ui_host died: $(tail -n 20 "$work/host.log" "$work/host.err")"
        sleep 0.1
    done
    fail "ui_host did not answer within ${1:-60} s: $(tail -n 20 "$work/host.log" "$work/host.err")"
}

# host_stop: ends the host and fails unless it exits with status 0.
host_stop() {
    local status=0
    host_send quit
    exec {host_console}>&-
    host_console=
    wait "$host_pid" || status=$?
    [ "$status" = 0 ] || fail "ui_host exited with status $status: $(tail -n 30 "$work/host.err")"
}

# host_query COMMAND...: sets reply to the last line the host printed for
# the command, e.g. host_query centre decay -> "centre decay 161 330".
host_query() {
    host_send "$*"
    host_sync
    reply=$(grep "^$1 " "$work/host.log" | tail -n 1)
}

# log_since MARK: the log lines after the line "sync MARK".
log_since() {
    sed -n "/^sync $1\$/,\$p" "$work/host.log" | tail -n +2
}

# settle NAME: screenshots until two in a row are equal (the preview is
# worked out over several idle calls), then keeps that one as NAME.png.
settle() {
    local i previous=$work/$1.previous.png shot=$work/$1.png
    host_send "shot $previous"
    for ((i = 0; i < 60; i++)); do
        host_send "wait 250" "shot $shot"
        host_sync
        grep -q "^shot $shot " "$work/host.log" || fail "no screenshot: $(tail -n 3 "$work/host.log")"
        [ "$(differing_pixels "$previous" "$shot")" = 0 ] && return 0
        mv "$shot" "$previous"
    done
    fail "the picture was still changing after 15 s"
}

# colours FILE: the number of distinct colours in a picture.
colours() {
    convert "$1" -format '%k' info:
}

# differing_pixels A B [WxH+X+Y]: how many pixels of the area differ.
differing_pixels() {
    local crop=${3:-}
    if [ -n "$crop" ]; then
        convert "$1" -crop "$crop" +repage "$work/crop_a.png"
        convert "$2" -crop "$crop" +repage "$work/crop_b.png"
        set -- "$work/crop_a.png" "$work/crop_b.png"
    fi
    compare -metric AE "$1" "$2" null: 2>&1 || true
}

# find_ui_window [SECONDS]: waits for a mapped window of the UI's default
# size (720x400, give or take 2 pixels for a host's rounding) inside a
# host's window (xwininfo indents a top-level window by 5 spaces, each level
# further by 3) and prints the deepest one's id: the UI's own window inside
# whatever the host wraps it in.
find_ui_window() {
    local limit=$((${1:-30} * 10)) i id
    for ((i = 0; i < limit; i++)); do
        id=$(xwininfo -root -tree 2>/dev/null | awk '
            match($0, / [0-9]+x[0-9]+[+-]/) {
                split(substr($0, RSTART + 1, RLENGTH - 2), size, "x")
                depth = match($0, /[^ ]/)
                if (size[1] >= 718 && size[1] <= 722 && size[2] >= 398 && size[2] <= 402 &&
                    depth > 6 && depth >= best) {
                    best = depth; id = $1
                }
            }
            END { if (id) print id }')
        if [ -n "$id" ] && xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable'; then
            echo "$id"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# shoot_window ID NAME: a screenshot of the window, settled as above, as
# $work/NAME.png.
shoot_window() {
    local i previous=$work/$2.previous.png shot=$work/$2.png
    import -window "$1" "$previous" || fail "cannot take a screenshot of window $1"
    for ((i = 0; i < 60; i++)); do
        sleep 0.25
        import -window "$1" "$shot" || fail "cannot take a screenshot of window $1"
        [ "$(differing_pixels "$previous" "$shot")" = 0 ] && return 0
        mv "$shot" "$previous"
    done
    fail "the picture in window $1 was still changing after 15 s"
}

# check_drawn NAME: the screenshot NAME.png is the UI's picture: not blank
# (many colours: text, curves, knobs) and the same, pixel for pixel, as
# ui_host's picture of a fresh UI at the defaults (reference.png), which
# is made first.
make_reference() {
    host_start "$1"
    host_send create show
    settle reference
    host_send cleanup
    host_stop
}
check_drawn() {
    local n
    n=$(colours "$work/$1.png")
    echo "$1: $(identify -format '%wx%h' "$work/$1.png"), $n colours"
    ((n > 32)) || fail "$1: the UI's window is blank or nearly so ($n colours)"
    n=$(differing_pixels "$work/reference.png" "$work/$1.png")
    [ "$n" = 0 ] || fail "$1: $n pixels differ from the UI's picture in ui_host"
}

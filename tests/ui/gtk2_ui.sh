# shellcheck shell=bash
# The UI embedded in Gtk2 the way Gtk2 hosts (Ardour) embed X11 UIs, in
# gtk2_host through suil: its window appears at the default size and shows
# the same picture as in ui_host; the host closes its window and frees the
# UI and exits cleanly. Usage: gtk2_ui.sh mono|stereo
# shellcheck source=ui_common.sh
source "$(dirname "$0")/ui_common.sh"
variant=$1
require_tools import identify
start_xvfb
make_reference "$(uri_of "$variant")"

mkfifo "$work/gtk2.console"
"$GTK2_HOST" "$(uri_of "$variant")" <"$work/gtk2.console" >"$work/gtk2.log" 2>&1 &
gtk2_pid=$!
started_pids+=($gtk2_pid)
exec {gtk2_console}>"$work/gtk2.console"
window=$(find_ui_window 30) || fail "gtk2_host showed no window of the UI's size: $(cat "$work/gtk2.log"; xwininfo -root -tree)"
shoot_window "$window" "gtk2-$variant"
check_drawn "gtk2-$variant"
exec {gtk2_console}>&-
status=0
wait "$gtk2_pid" || status=$?
[ "$status" = 0 ] || fail "gtk2_host exited with $status: $(cat "$work/gtk2.log")"
grep -q BAD "$work/gtk2.log" && fail "the UI wrote bad values: $(grep BAD "$work/gtk2.log")"
echo "gtk2_host ($variant): the UI is embedded at its size, drawn as in ui_host, and closed cleanly"

# shellcheck shell=bash
# The UI in jalv.gtk3 or jalv.qt5 (suil embeds the X11 UI in a Gtk3 or Qt5
# window), under a JACK server with the dummy driver of the test's own:
# the UI's window appears at its default size and shows the same picture as
# in ui_host. Usage: jalv_ui.sh gtk3|qt5 mono|stereo
# shellcheck source=ui_common.sh
source "$(dirname "$0")/ui_common.sh"
toolkit=$1
variant=$2
jalv=jalv.$toolkit
require_tools "$jalv" jackd jack_wait import identify
start_xvfb
make_reference "$(uri_of "$variant")"

export JACK_DEFAULT_SERVER=halvane-ui-$$ JACK_NO_START_SERVER=1
# No real-time threads: the audio does not matter here, the host's
# real-time tests do and run alone.
jackd -n "$JACK_DEFAULT_SERVER" -r -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
started_pids+=($!)
jack_wait -w -t 10 -s "$JACK_DEFAULT_SERVER" >/dev/null 2>&1 || fail "the JACK server did not start: $(cat "$work/jackd.log")"

"$jalv" "$(uri_of "$variant")" >"$work/jalv.log" 2>&1 </dev/null &
started_pids+=($!)
window=$(find_ui_window 30) || fail "$jalv showed no window of the UI's size: $(cat "$work/jalv.log"; xwininfo -root -tree)"
shoot_window "$window" "$toolkit-$variant"
check_drawn "$toolkit-$variant"
echo "$jalv ($variant): the UI is embedded at its size and drawn as in ui_host"

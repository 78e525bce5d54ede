# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# jalv runs both plug-ins as JACK clients of a server with the dummy driver,
# started here under a name of its own and stopped on every way out. A
# metronome feeds both plug-ins, the plug-ins' outputs are recorded for a few
# seconds, then a control is changed and read back through jalv's console.
# Checks: jalv's process thread, which calls the plug-in's run, is a
# real-time thread; both jalv processes stay up and exit cleanly; the server
# names neither as the cause of an xrun; the recording carries reverb.
# shellcheck source=matrix_common.sh
source "$(dirname "$0")/matrix_common.sh"
require_tools jackd jalv jack_wait jack_lsp jack_connect jack_metro jack_rec timeout
use_clean_lv2_path "$LV2_PATH"
work=$MATRIX_WORK
period=256
seconds=4

server=halvane-test-$$
export JACK_DEFAULT_SERVER=$server
export JACK_NO_START_SERVER=1  # a client must never start a server of its own

# Every process started here, stopped by id on the way out; the server last,
# once its clients are gone. jalv waits on its console rather than on
# signals, so the consoles are closed first; whatever is still up after
# three seconds is killed.
client_pids=()
jackd_pid=
mono_console=
stereo_console=
running() {
    [ -e "/proc/$1" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null
}
any_running() {
    local pid
    for pid in "$@"; do
        running "$pid" && return 0
    done
    return 1
}
stop() {
    local i
    kill "$@" 2>/dev/null
    for ((i = 0; i < 30; i++)); do
        any_running "$@" || break
        sleep 0.1
    done
    kill -KILL "$@" 2>/dev/null
    wait "$@" 2>/dev/null
}
cleanup() {
    [ -n "$mono_console" ] && exec {mono_console}>&-
    [ -n "$stereo_console" ] && exec {stereo_console}>&-
    ((${#client_pids[@]})) && stop "${client_pids[@]}"
    [ -n "$jackd_pid" ] && stop "$jackd_pid"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# realtime_threads PID: the threads of PID scheduled FIFO or round-robin,
# as "tid:policy:priority", read from /proc (policy and rt_priority are
# fields 41 and 40 of a task's stat, the 39th and 38th after its name).
realtime_threads() {
    local stat tid fields
    for stat in /proc/"$1"/task/*/stat; do
        tid=${stat%/stat}
        tid=${tid##*/}
        fields=$(sed 's/^.*) //' "$stat" 2>/dev/null) || continue
        awk -v tid="$tid" '$39 == 1 || $39 == 2 { printf "%s:%s:%s\n", tid, ($39 == 1 ? "FIFO" : "RR"), $38 }' <<<"$fields"
    done
}

jackd -n "$server" -d dummy -r $RATE -p $period >"$work/jackd.log" 2>&1 &
jackd_pid=$!
jack_wait -w -t 10 -s "$server" >/dev/null 2>&1 || fail "the JACK server did not start: $(cat "$work/jackd.log")"
grep -qi "Cannot use real-time\|cannot lock down\|AcquireRealTime error" "$work/jackd.log" &&
    fail "the JACK server could not get real-time scheduling on this machine: $(cat "$work/jackd.log")"
[ -n "$(realtime_threads "$jackd_pid")" ] || fail "the JACK server has no real-time thread"

# One jalv per plug-in, its console fed through a pipe the test holds open;
# closing it ends jalv. Both jalv are started before either pipe is opened
# for writing, and later clients get the pipes closed, so each jalv's pipe
# has one writer and ends when the test closes it. Mix 1 leaves only the
# reverb in the outputs.
declare -A jalv_pid
for variant in mono stereo; do
    rm -f "$work/$variant.console"
    mkfifo "$work/$variant.console"
    jalv -x -n "halvane-$variant-$$" -c mix=1 "$(uri_of $variant)" \
        <"$work/$variant.console" >"$work/$variant.jalv.log" 2>&1 &
    jalv_pid[$variant]=$!
    client_pids+=($!)
done
exec {mono_console}>"$work/mono.console" {stereo_console}>"$work/stereo.console"
jack_metro -n "metro-$$" -b 240 -f 660 -A 0.25 -D 30 >"$work/metro.log" 2>&1 {mono_console}>&- {stereo_console}>&- &
client_pids+=($!)

# wait_for_port PORT: JACK shows the port within 10 s.
wait_for_port() {
    local i
    for ((i = 0; i < 100; i++)); do
        jack_lsp 2>/dev/null | grep -qx "$1" && return 0
        sleep 0.1
    done
    fail "JACK never showed $1; jalv said: $(cat "$work"/*.jalv.log)"
}
mono=halvane-mono-$$
stereo=halvane-stereo-$$
metro=metro-$$:240_bpm
for port in "$mono:in" "$mono:out" "$stereo:in_l" "$stereo:in_r" "$stereo:out_l" "$stereo:out_r" "$metro"; do
    wait_for_port "$port"
done
for port in "$mono:in" "$stereo:in_l" "$stereo:in_r"; do
    jack_connect "$metro" "$port" || fail "jack_connect $metro $port failed"
done

# Both plug-ins now run on their clients' process threads, which JACK makes
# real-time; jalv calls run from there.
for variant in mono stereo; do
    threads=$(realtime_threads "${jalv_pid[$variant]}")
    [ -n "$threads" ] || fail "jalv ($variant) has no real-time thread to run the plug-in on"
    echo "jalv ($variant) real-time threads (tid:policy:priority): $threads"
done

timeout $((seconds + 10)) jack_rec -f "$work/recorded.wav" -d $seconds -b 32 \
    "$mono:out" "$stereo:out_l" "$stereo:out_r" >"$work/rec.log" 2>&1 {mono_console}>&- {stereo_console}>&- ||
    fail "jack_rec failed: $(cat "$work/rec.log")"

for variant in mono stereo; do
    kill -0 "${jalv_pid[$variant]}" 2>/dev/null || fail "jalv ($variant) died while running: $(cat "$work/$variant.jalv.log")"
done

# Change a control through each console and list the controls back; closing
# the console ends jalv, which then writes what it printed.
printf 'set decay 6.5\ncontrols\n' >&"$mono_console"
printf 'set decay 6.5\ncontrols\n' >&"$stereo_console"
sleep 0.3
exec {mono_console}>&- {stereo_console}>&-
mono_console=
stereo_console=
for variant in mono stereo; do
    status=0
    wait "${jalv_pid[$variant]}" || status=$?
    log=$work/$variant.jalv.log
    [ "$status" = 0 ] || fail "jalv ($variant) exited with $status: $(cat "$log")"
    grep -q "^decay = 6.500000" "$log" || fail "jalv ($variant) did not read back decay 6.5: $(cat "$log")"
    grep -q "mix = 1.000000" "$log" || fail "jalv ($variant) did not read back mix 1: $(cat "$log")"
done

# The engine names a client that did not finish its cycle in time; the dummy
# driver's own late wake-ups ("JackTimedDriver::Process XRun") come from the
# machine's timer, not from a client, and are reported for the record.
plugin_xruns=$(grep -c "XRun: client = halvane-" "$work/jackd.log")
timer_xruns=$(grep -c "JackTimedDriver::Process XRun" "$work/jackd.log")
echo "xruns over ${seconds} s at $RATE Hz, $period frames: caused by a plug-in client $plugin_xruns, late timer $timer_xruns"
[ "$plugin_xruns" = 0 ] || fail "the server reports xruns caused by the plug-ins: $(grep "XRun: client" "$work/jackd.log")"

# The recording (three 32-bit integer channels: mono out, stereo left and
# right) holds reverb of the clicks: sound, and sound between them, since a
# 30 ms click every 250 ms leaves most of the time to the tail.
stats "$work/recorded.wav" 1 $seconds
echo "recorded $wav_frames frames: peak $wav_peak, RMS $wav_rms_0 $wav_rms_1 $wav_rms_2"
float_cmp "$wav_frames" ">=" $((RATE * (seconds - 1))) || fail "jack_rec recorded only $wav_frames frames"
for c in 0 1 2; do
    rms=wav_rms_$c
    float_cmp "${!rms}" ">" 1e-3 || fail "recorded channel $c carries no reverb (RMS ${!rms})"
done
echo "PASS: jalv runs both plug-ins on JACK's real-time thread without xruns"

# shellcheck shell=bash disable=SC2154  # stats() assigns the wav_* variables
# jalv runs both plug-ins as JACK clients of a server with the dummy driver,
# started here under a name of its own and stopped on every way out. A
# metronome feeds both plug-ins, the plug-ins' outputs are recorded for a few
# seconds, then a control is changed and read back through jalv's console.
# Checks: jalv's process thread, which calls the plug-in's run, is a
# real-time thread; both jalv processes stay up and exit cleanly; the server
# never finds a plug-in's client still running its cycle when the cycle
# should have ended (an xrun the plug-in caused); the recording carries
# reverb.
#
# jackd2 1.9.21 now and then loses a client's wake-up while the graph is
# rewired (here, when the metronome or the recorder connects): the server
# then reports the client "not finished, state = Triggered" on every cycle
# while the client's process thread waits inside libjack, never entering
# the plug-in, and the graph stands still. Such a session is stopped and
# started afresh, at most three times; every session's xruns are printed.
# shellcheck source=../common/lv2_host.sh
source "$(dirname "$0")/../common/lv2_host.sh"
require_tools jackd jalv jack_wait jack_lsp jack_connect jack_metro jack_rec timeout
use_clean_lv2_path "$LV2_PATH"
period=256
seconds=4
attempts=3

export JACK_NO_START_SERVER=1  # a client must never start a server of its own

# Every process a session starts, stopped by id when it ends and on every
# way out of the test; the server last, once its clients are gone. jalv
# waits on its console rather than on signals, so the consoles are closed
# first; whatever is still up after three seconds is killed.
client_pids=()
jackd_pid=
mono_console=
stereo_console=
end_session() {
    [ -n "$mono_console" ] && exec {mono_console}>&-
    [ -n "$stereo_console" ] && exec {stereo_console}>&-
    mono_console=
    stereo_console=
    ((${#client_pids[@]})) && stop_pids "${client_pids[@]}"
    [ -n "$jackd_pid" ] && stop_pids "$jackd_pid"
    client_pids=()
    jackd_pid=
}
trap end_session EXIT
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

# session N: one server with both plug-ins. Returns 0 when every check
# passed and 2 when the graph stood still as described above; any other
# failure ends the test.
session() {
    local attempt=$1 work=$HOST_TEST_WORK/session$1 variant port threads status log i rec_pid settled_at
    local server=halvane-test-$$-$1
    local mono=halvane-mono-$$ stereo=halvane-stereo-$$ metro=metro-$$:240_bpm
    declare -A jalv_pid
    rm -rf "$work"
    mkdir -p "$work"
    export JACK_DEFAULT_SERVER=$server

    jackd -n "$server" -d dummy -r $RATE -p $period >"$work/jackd.log" 2>&1 &
    jackd_pid=$!
    jack_wait -w -t 10 -s "$server" >/dev/null 2>&1 || fail "the JACK server did not start: $(cat "$work/jackd.log")"
    grep -qi "Cannot use real-time\|cannot lock down\|AcquireRealTime error" "$work/jackd.log" &&
        fail "the JACK server could not get real-time scheduling on this machine: $(cat "$work/jackd.log")"
    [ -n "$(realtime_threads "$jackd_pid")" ] || fail "the JACK server has no real-time thread"

    # One jalv per plug-in, its console fed through a pipe the test holds
    # open; closing it ends jalv. Both jalv are started before either pipe
    # is opened for writing, and later clients get the pipes closed, so each
    # pipe has one writer. Mix 1 leaves only the reverb in the outputs.
    for variant in mono stereo; do
        mkfifo "$work/$variant.console"
        jalv -x -n "halvane-$variant-$$" -c mix=1 "$(uri_of $variant)" \
            <"$work/$variant.console" >"$work/$variant.jalv.log" 2>&1 &
        jalv_pid[$variant]=$!
        client_pids+=($!)
    done
    exec {mono_console}>"$work/mono.console" {stereo_console}>"$work/stereo.console"
    jack_metro -n "metro-$$" -b 240 -f 660 -A 0.25 -D 30 >"$work/metro.log" 2>&1 \
        {mono_console}>&- {stereo_console}>&- &
    client_pids+=($!)

    # Each jack_lsp is a client of its own, so the ports are looked for
    # five times a second, not more, for up to 10 s.
    for ((i = 0; i < 50; i++)); do
        ports=$(jack_lsp 2>/dev/null)
        for port in "$mono:in" "$mono:out" "$stereo:in_l" "$stereo:in_r" "$stereo:out_l" "$stereo:out_r" "$metro"; do
            grep -qx "$port" <<<"$ports" || continue 2
        done
        break
    done
    ((i < 50)) || fail "JACK never showed the plug-ins' ports; jalv said: $(cat "$work"/*.jalv.log)"
    # The recorder and the metronome are wired in first; the xruns that
    # count are those after the graph has had a second to settle, since
    # JACK may drop a cycle of every client while it rewires the graph. A
    # jack_rec caught in a graph that stands still can sit in libjack past
    # the TERM that timeout sends, so KILL follows two seconds later.
    timeout -k 2 $((seconds + 3)) jack_rec -f "$work/recorded.wav" -d $seconds -b 32 \
        "$mono:out" "$stereo:out_l" "$stereo:out_r" >"$work/rec.log" 2>&1 {mono_console}>&- {stereo_console}>&- &
    rec_pid=$!
    client_pids+=($!)
    for port in "$mono:in" "$stereo:in_l" "$stereo:in_r"; do
        jack_connect "$metro" "$port" || fail "jack_connect $metro $port failed"
    done
    sleep 1
    settled_at=$(wc -l <"$work/jackd.log")

    # Both plug-ins now run on their clients' process threads, which JACK
    # makes real-time; jalv calls run from there.
    for variant in mono stereo; do
        threads=$(realtime_threads "${jalv_pid[$variant]}")
        [ -n "$threads" ] || fail "jalv ($variant) has no real-time thread to run the plug-in on"
        echo "session $attempt: jalv ($variant) real-time threads (tid:policy:priority): $threads"
    done

    # jack_rec ends after $seconds of audio, unless the graph stands still.
    if ! wait $rec_pid; then
        report_xruns "$attempt" "$work" "$settled_at"
        ((plugin_xruns == 0 && waiting_xruns > 0)) ||
            fail "jack_rec did not finish, and not for a lost wake-up: $(cat "$work/rec.log")"
        echo "session $attempt: the graph stood still with a client waiting for its wake-up; starting afresh"
        end_session
        return 2
    fi

    for variant in mono stereo; do
        running "${jalv_pid[$variant]}" || fail "jalv ($variant) died while running: $(cat "$work/$variant.jalv.log")"
    done

    # Change a control through each console and list the controls back;
    # closing the console ends jalv, which then writes what it printed.
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

    report_xruns "$attempt" "$work" "$settled_at"
    ((plugin_xruns == 0)) ||
        fail "the server found a plug-in still running when its cycle should have ended: $(tail -n +$((settled_at + 1)) "$work/jackd.log" | grep "XRun: client = halvane-")"

    # The recording (three 32-bit integer channels: mono out, stereo left
    # and right) holds reverb of the clicks: a 30 ms click every 250 ms
    # leaves most of the time to the tail.
    stats "$work/recorded.wav" 1 $seconds
    echo "session $attempt: recorded $wav_frames frames: peak $wav_peak, RMS $wav_rms_0 $wav_rms_1 $wav_rms_2"
    float_cmp "$wav_frames" ">=" $((RATE * (seconds - 1))) || fail "jack_rec recorded only $wav_frames frames"
    every_channel_rms ">" 1e-3 "the recording carries no reverb"
    end_session
    return 0
}

# report_xruns N WORK LINE: counts and prints the session's xruns, those
# while the graph was wired and those after LINE of the server's log, once
# it had settled. For a client that did not finish its cycle the engine
# says whether it was in the cycle (Running) or never woke for it
# (Triggered). jalv spends its cycle in the plug-in's run, so a plug-in's
# client caught Running in a cycle the driver started on time is an xrun the
# plug-in caused. When the dummy driver itself woke late for a cycle
# ("JackTimedDriver::Process XRun", the machine's timer or a stalled CPU),
# the engine reports that cycle's clients after it, up to its "Process
# error" line, whatever they were doing; those count as the machine's.
report_xruns() {
    local log=$2/jackd.log counts
    counts=$(tail -n +$(($3 + 1)) "$log" | awk '
        /JackTimedDriver::Process XRun/ { late = 1; timer++; next }
        /Process error/ { late = 0; next }
        /XRun: client = halvane-.* state = Running/ { if (late) in_late++; else plugin++; next }
        /XRun: client = .* state = Triggered/ { waiting++ }
        END { printf "%d %d %d %d\n", plugin, in_late, waiting, timer }')
    read -r plugin_xruns late_xruns waiting_xruns timer_xruns <<<"$counts"
    echo "session $1: xruns while the graph was wired: $(head -n "$3" "$log" | grep -c "XRun")"
    echo "session $1: xruns once settled, at $RATE Hz, $period frames: a plug-in's client in its cycle" \
        "$plugin_xruns (and $late_xruns more in cycles the driver started late), a client not woken" \
        "$waiting_xruns, driver woken late $timer_xruns"
}

for ((attempt = 1; attempt <= attempts; attempt++)); do
    status=0
    session $attempt || status=$?
    ((status == 0)) && break
done
((status == 0)) || fail "the JACK graph stood still in all $attempts sessions"
echo "PASS: jalv runs both plug-ins on JACK's real-time thread; no xrun is caused by them"

# shellcheck shell=bash
# Many UIs, one after another, in one host process: ui_host creates the UI,
# shows it, lets it handle its first events and draw, and cleans it up,
# $UI_CYCLES times (default 1000). Afterwards the process must hold what
# it held after the first 20 cycles (once the libraries' one-time data is
# made; ui_host empties cairo's caches before it counts): the same heap in
# use, the same open file descriptors; and the X server must be back at the
# clients and resources (windows, pixmaps, GCs, pictures...) it had before
# the first UI: the UI's own display connection is closed and nothing it
# made is left on the server.
# Under AddressSanitizer the heap figure is the sanitizer's own count, and
# LeakSanitizer checks for leaks when the host exits as well.
# shellcheck source=ui_common.sh
source "$(dirname "$0")/ui_common.sh"
cycles=${UI_CYCLES:-1000}
start_xvfb
# glibc's per-thread cache keeps freed blocks counted as in use, a few
# kilobytes that vary from run to run; without it the heap figure is exact.
GLIBC_TUNABLES=glibc.malloc.tcache_count=0 host_start "$STEREO_URI"

host_send stats "cycles 20 3" stats
host_sync
start=$SECONDS
host_send "cycles $cycles 3" stats
host_sync 600
elapsed=$((SECONDS - start))
host_stop
grep -q "instantiate null" "$work/host.log" && fail "the UI failed to instantiate in a cycle"
mapfile -t stats < <(grep '^stats ' "$work/host.log")
((${#stats[@]} == 3)) || fail "ui_host printed no statistics: $(tail "$work/host.log")"
echo "before: ${stats[0]}"
echo "after 20 cycles: ${stats[1]}"
echo "after $cycles more cycles ($elapsed s): ${stats[2]}"

assign_keys before_ "$(tr ' ' '\n' <<<"${stats[0]}" | grep =)"
assign_keys warm_ "$(tr ' ' '\n' <<<"${stats[1]}" | grep =)"
assign_keys after_ "$(tr ' ' '\n' <<<"${stats[2]}" | grep =)"
# shellcheck disable=SC2154  # assign_keys sets these
{
    [ "$after_fds" = "$before_fds" ] || fail "file descriptors: $before_fds before, $after_fds after"
    [ "$after_clients" = "$before_clients" ] || fail "X clients: $before_clients before, $after_clients after"
    [ "$after_resources" = "$before_resources" ] || fail "X resources: $before_resources before, $after_resources after"
    [ "$after_heap" = "$warm_heap" ] || fail "heap in use grew by $((after_heap - warm_heap)) bytes over $cycles cycles"
}
echo "no heap growth, no file descriptor, X connection or X resource left over $cycles cycles"

# shellcheck shell=bash
# valgrind over 100 create/show/cleanup cycles of the UI in ui_host: no
# invalid access, no use of undefined values, and nothing the UI allocated
# lost (definitely or indirectly) when the host ends. Suppressed, in
# valgrind_ui.supp, only one-time caches of the X and font libraries that
# they keep for the life of the process.
# shellcheck source=ui_common.sh
source "$(dirname "$0")/ui_common.sh"
require_tools valgrind
start_xvfb
UI_HOST_WRAPPER="valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite,indirect
    --show-leak-kinds=definite,indirect --suppressions=$(dirname "$0")/valgrind_ui.supp --log-file=$work/valgrind.log"
host_start "$STEREO_URI"
host_send "cycles 100 3"
host_sync 300
host_stop
grep -E 'ERROR SUMMARY|definitely lost|indirectly lost' "$work/valgrind.log"
grep -q "ERROR SUMMARY: 0 errors" "$work/valgrind.log" || fail "valgrind found errors: $(cat "$work/valgrind.log")"
echo "valgrind: 100 cycles without errors or leaks"

#!/usr/bin/env bash
# Builds the GUI's fuzz target (tests/ui_unit/ui_fuzzer.cpp: value formatting
# and parsing, the preview renderer and its decay measurement, the drawing)
# with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs it for a bounded time from an empty corpus.
# Usage: scripts/fuzz_ui.sh [SECONDS (default 60)] [WORK-FOLDER (default build-fuzz-ui)]
# Findings are written as crash-* files to the work folder; exit status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
work=${2:-build-fuzz-ui}
cxx=${CLANGXX:-clang++}

command -v "$cxx" >/dev/null || { echo "fuzz_ui: $cxx is not installed (packages: clang libclang-rt-14-dev)" >&2; exit 1; }
mkdir -p "$work/corpus" "$work/findings"
work=$(cd "$work" && pwd)

# The engine, the plug-in core and the GUI's model, preview and drawing, as
# the GUI library is made of them, with the project's floating-point rules.
# The engine's per-sample code gets no coverage feedback (it says nothing
# about the GUI's inputs and would slow every run); the sanitizers cover it.
# The drawing's cairo calls are wrapped, so the target checks each coordinate.
source scripts/path_flags.sh
read -r -a cairo_flags <<<"$(pkg-config --cflags cairo)"
read -r -a cairo_libs <<<"$(pkg-config --libs cairo)"
flags=(-std=c++17 -O2 -g -ffp-contract=off -fno-omit-frame-pointer
       -fsanitize=address,undefined -fno-sanitize-recover=all -Iengine -Iplugin -Iui "${cairo_flags[@]}")
wrapped=(cairo_move_to cairo_line_to cairo_rectangle cairo_arc cairo_translate cairo_scale
         cairo_set_font_size cairo_set_line_width)
echo "fuzz_ui: building $work/ui_fuzzer with $("$cxx" --version | head -1)"
rm -rf "$work/obj" && mkdir -p "$work/obj"
objects=()
# The GUI's sources without X11: the model and drawing libraries, as
# ui/CMakeLists.txt lists them.
read -r -a ui_sources <<<"$(awk '/^add_library\(halvane_ui_(model|draw) /{on=1; next}
    on {line=$1; done=sub(/\).*/, "", line); if (line != "") printf "ui/%s ", line; if (done) on=0}' ui/CMakeLists.txt)"
for src in engine/*.cpp plugin/*.cpp "${ui_sources[@]}" tests/ui_unit/ui_fuzzer.cpp; do
    [ "$src" = plugin/lv2_entry.cpp ] && continue
    obj=$work/obj/$(echo "$src" | tr / _).o
    case "$src" in
        engine/*) "$cxx" "${flags[@]}" $(path_flags "$src") -c "$src" -o "$obj" ;;
        *) "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj" ;;
    esac
    objects+=("$obj")
done
"$cxx" "${flags[@]}" -fsanitize=fuzzer "${objects[@]}" "${cairo_libs[@]}" \
    "${wrapped[@]/#/-Wl,--wrap=}" -o "$work/ui_fuzzer"

echo "fuzz_ui: running for ${seconds} s"
status=0
(cd "$work/findings" &&
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
        LSAN_OPTIONS=suppressions=$root/tests/ui_unit/lsan.supp:print_suppressions=0 \
        "$work/ui_fuzzer" -max_total_time="$seconds" -timeout=60 -max_len=256 \
        -rss_limit_mb=4096 -print_final_stats=1 "$work/corpus") >"$work/fuzz.log" 2>&1 || status=$?

tail -n 15 "$work/fuzz.log"
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$' || echo "?")
echo "fuzz_ui: $runs executions in ${seconds} s, corpus now $(find "$work/corpus" -type f | wc -l) inputs; log: $work/fuzz.log" |
    tee "$work/summary.txt"
if ((status != 0)); then
    echo "fuzz_ui: FAILED (status $status); reproducers:" >&2
    ls "$work/findings" >&2
    exit 1
fi
echo "fuzz_ui: no findings"

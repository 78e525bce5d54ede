#!/usr/bin/env bash
# Builds the host-sequence fuzzer with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs it for a bounded time from the seed
# corpus in tests/robustness/corpus. The seeds are copied to a scratch corpus
# first, so the repository is never written to.
# Usage: scripts/fuzz.sh [SECONDS (default 120)] [WORK-FOLDER (default build-fuzz)]
# Findings are written as crash-* files to the work folder; exit status 1.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-120}
work=${2:-build-fuzz}
cxx=${CLANGXX:-clang++}

command -v "$cxx" >/dev/null || { echo "fuzz: $cxx is not installed (packages: clang libclang-rt-14-dev)" >&2; exit 1; }
mkdir -p "$work/corpus" "$work/findings"
work=$(cd "$work" && pwd)

# The library exactly as the plug-in module is made of it (engine, plug-in
# and entry point), linked with the fuzz target into one program, with the
# project's floating-point rules (no contraction). The engine's per-sample
# code is left out of the coverage feedback: its branches say nothing about
# host call sequences, and tracing its comparisons would make every run ten
# times slower. The sanitizers cover all of it.
flags=(-std=c++17 -O2 -g -ffp-contract=off -fno-omit-frame-pointer
       -fsanitize=address,undefined -fno-sanitize-recover=all -Iengine -Iplugin)
echo "fuzz: building $work/host_sequence_fuzzer with $("$cxx" --version | head -1)"
rm -rf "$work/obj" && mkdir -p "$work/obj"
objects=()
for src in engine/*.cpp plugin/*.cpp tests/robustness/host_sequence_fuzzer.cpp; do
    obj=$work/obj/$(echo "$src" | tr / _).o
    case "$src" in
        engine/*) "$cxx" "${flags[@]}" -c "$src" -o "$obj" ;;
        *) "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj" ;;
    esac
    objects+=("$obj")
done
"$cxx" "${flags[@]}" -fsanitize=fuzzer "${objects[@]}" -o "$work/host_sequence_fuzzer"

cp tests/robustness/corpus/* "$work/corpus/"
echo "fuzz: running for ${seconds} s from $(find tests/robustness/corpus -type f | wc -l) seeds"
status=0
(cd "$work/findings" &&
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
        "$work/host_sequence_fuzzer" -max_total_time="$seconds" -timeout=60 \
        -rss_limit_mb=4096 -print_final_stats=1 "$work/corpus") >"$work/fuzz.log" 2>&1 || status=$?

tail -n 25 "$work/fuzz.log"
runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$' || echo "?")
echo "fuzz: $runs executions in ${seconds} s, corpus now $(find "$work/corpus" -type f | wc -l) inputs; log: $work/fuzz.log" |
    tee "$work/summary.txt"
if ((status != 0)); then
    echo "fuzz: FAILED (status $status); reproducers:" >&2
    ls "$work/findings" >&2
    exit 1
fi
echo "fuzz: no findings"

#!/usr/bin/env bash
# Fuzzes the plug-ins with host call sequences (tests/robustness/
# host_sequence_fuzzer.cpp) under clang's libFuzzer, from the seed corpus in
# tests/robustness/corpus. The seeds are copied to a scratch corpus first, so
# the repository is never written to.
#
#   scripts/fuzz.sh [SECONDS (default 120)] [WORK-FOLDER (default build-fuzz)]
#       A bounded run under AddressSanitizer and UndefinedBehaviorSanitizer,
#       one process: every seed is replayed first, then fuzzing goes on for
#       the given time. CI runs this.
#   scripts/fuzz.sh campaign [SECONDS (default 1800)] [WORK-FOLDER (default build-fuzz-campaign)]
#       A long campaign on every core. All but a twentieth of the time (at
#       least 30 s are kept back) goes to a throughput build
#       (UndefinedBehaviorSanitizer without its pointer checks, so each
#       execution is several times cheaper) run with -fork over all cores;
#       then the whole grown corpus is replayed through the AddressSanitizer
#       build, which sees what the throughput build cannot (reads and writes
#       outside a buffer, leaks). Prints executions, executions per second,
#       corpus size and coverage (edges and features of the replay).
#
# Findings are written as crash-*, timeout-* or oom-* files to the work
# folder's findings/; the exit status is then 1.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=bounded
if [[ ${1:-} == campaign ]]; then
    mode=campaign
    shift
fi
if [[ $mode == campaign ]]; then
    seconds=${1:-1800}
    work=${2:-build-fuzz-campaign}
else
    seconds=${1:-120}
    work=${2:-build-fuzz}
fi
cxx=${CLANGXX:-clang++}

command -v "$cxx" >/dev/null || { echo "fuzz: $cxx is not installed (packages: clang libclang-rt-14-dev)" >&2; exit 1; }
mkdir -p "$work/corpus" "$work/findings"
work=$(cd "$work" && pwd)

# build_fuzzer NAME SANITIZERS [FLAG...]: the library exactly as the plug-in module is
# made of it (engine, plug-in and entry point), linked with the fuzz target
# into $work/NAME, with the project's floating-point rules (no contraction).
# The engine's per-sample code is left out of the coverage feedback: its
# branches say nothing about host call sequences, and tracing its
# comparisons would make every run ten times slower. The plug-in's edges
# count, but its comparisons are not traced either: they compare samples
# and conditioned control values, which the input reaches only through the
# target's own decoding, and tracing them took a third of the time. The
# sanitizers cover all of it.
source scripts/path_flags.sh
build_fuzzer() {
    local name=$1 sanitizers=$2
    local flags=(-std=c++17 -O2 -g -ffp-contract=off -fno-omit-frame-pointer
                 -fsanitize="$sanitizers" "${@:3}" -fno-sanitize-recover=all -Iengine -Iplugin)
    local objdir=$work/obj-$name objects=() src obj
    echo "fuzz: building $work/$name ($sanitizers) with $("$cxx" --version | head -1)"
    rm -rf "$objdir" && mkdir -p "$objdir"
    for src in engine/*.cpp plugin/*.cpp tests/robustness/host_sequence_fuzzer.cpp; do
        obj=$objdir/$(echo "$src" | tr / _).o
        case "$src" in
            engine/*) "$cxx" "${flags[@]}" $(path_flags "$src") -c "$src" -o "$obj" ;;
            plugin/*) "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -fno-sanitize-coverage=trace-cmp \
                          -c "$src" -o "$obj" ;;
            *) "$cxx" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj" ;;
        esac
        objects+=("$obj")
    done
    "$cxx" "${flags[@]}" -fsanitize=fuzzer "${objects[@]}" -o "$work/$name"
}

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
seeds=$(find tests/robustness/corpus -type f | wc -l)
cp tests/robustness/corpus/* "$work/corpus/"

# report STATUS: lists the reproducers of a failed run and exits 1.
report() {
    if (($1 != 0)) || [[ -n $(ls "$work/findings") ]]; then
        echo "fuzz: FAILED (status $1); reproducers in $work/findings:" >&2
        ls "$work/findings" >&2
        exit 1
    fi
    echo "fuzz: no findings"
}

if [[ $mode == bounded ]]; then
    build_fuzzer host_sequence_fuzzer address,undefined
    echo "fuzz: running for ${seconds} s from $seeds seeds"
    status=0
    (cd "$work/findings" &&
        "$work/host_sequence_fuzzer" -max_total_time="$seconds" -timeout=60 \
            -rss_limit_mb=4096 -print_final_stats=1 "$work/corpus") >"$work/fuzz.log" 2>&1 || status=$?
    tail -n 25 "$work/fuzz.log"
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/fuzz.log" | grep -o '[0-9]*$' || echo "?")
    echo "fuzz: $runs executions in ${seconds} s, corpus now $(find "$work/corpus" -type f | wc -l) inputs; log: $work/fuzz.log" |
        tee "$work/summary.txt"
    report "$status"
    exit 0
fi

# Campaign.
cores=$(nproc)
replay_seconds=$((seconds / 20 > 30 ? seconds / 20 : 30))
fuzz_seconds=$((seconds - replay_seconds))
# The throughput build leaves out ASan and the three UBSan checks that put a
# test on every pointer use (null, alignment, pointer overflow): in
# activate's clearing of the delay lines they checked every single store,
# and that alone took half the time. The ASan replay checks all three.
build_fuzzer host_sequence_fuzzer_fast undefined -fno-sanitize=alignment,null,pointer-overflow
build_fuzzer host_sequence_fuzzer address,undefined
start=$SECONDS
echo "fuzz: campaign, ${fuzz_seconds} s on $cores cores (UBSan build) from $seeds seeds"
status=0
# The C library's allocator is told to keep even the largest delay lines on
# its heap: otherwise each instance's lines are mapped afresh and every page
# of them faults in, a quarter of the time of an execution.
(cd "$work/findings" &&
    GLIBC_TUNABLES=glibc.malloc.mmap_threshold=16777216:glibc.malloc.trim_threshold=2147483647 \
    "$work/host_sequence_fuzzer_fast" -fork="$cores" -max_total_time="$fuzz_seconds" -timeout=30 \
        -rss_limit_mb=2048 -artifact_prefix="$work/findings/" "$work/corpus") >"$work/fuzz.log" 2>&1 || status=$?
fuzz_elapsed=$((SECONDS - start))
tail -n 4 "$work/fuzz.log"
# Fork mode prints one line per finished job: "#RUNS: cov: ... corp: ... exec/s ...".
runs=$(grep -E '^#[0-9]+: cov: ' "$work/fuzz.log" | tail -n 1 | sed -E 's/^#([0-9]+):.*/\1/')
corpus=$(find "$work/corpus" -type f | wc -l)
if ((status != 0)); then
    report "$status"
fi

# replay FOLDER LOG: runs every input of FOLDER once under ASan+UBSan.
replay() {
    local status=0
    (cd "$work/findings" &&
        "$work/host_sequence_fuzzer" -runs=0 -timeout=60 -rss_limit_mb=4096 \
            -artifact_prefix="$work/findings/" "$1") >"$2" 2>&1 || status=$?
    report "$status" >/dev/null
}
# coverage LOG: "EDGES FEATURES" from a replay's summary line.
coverage() {
    grep -E 'INITED cov: ' "$1" | tail -n 1 | sed -E 's/.* cov: ([0-9]+) ft: ([0-9]+).*/\1 \2/'
}
echo "fuzz: replaying the $corpus corpus inputs under AddressSanitizer"
start=$SECONDS
replay "$work/corpus" "$work/replay.log"
replay_elapsed=$((SECONDS - start))
replay "$PWD/tests/robustness/corpus" "$work/replay_seeds.log"
read -r edges features <<<"$(coverage "$work/replay.log")"
read -r seed_edges seed_features <<<"$(coverage "$work/replay_seeds.log")"
{
    echo "fuzz: campaign: ${runs:-?} executions in ${fuzz_elapsed} s on $cores cores" \
         "($((${runs:-0} / (fuzz_elapsed > 0 ? fuzz_elapsed : 1))) per second, throughput build), no findings"
    echo "fuzz: corpus $seeds seeds -> $corpus inputs, all replayed under ASan+UBSan in ${replay_elapsed} s, no findings"
    echo "fuzz: coverage of the corpus: $edges edges, $features features (the seeds alone: $seed_edges edges, $seed_features features)"
    echo "fuzz: logs: $work/fuzz.log, $work/replay.log"
} | tee "$work/summary.txt"
report 0

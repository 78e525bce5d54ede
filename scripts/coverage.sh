#!/usr/bin/env bash
# Builds everything with gcc's coverage instrumentation (gcov), runs the test
# suite and prints line and branch coverage for each product folder: engine/,
# plugin/, ui/, tools/ and demo/. The tests that drive halvane.so
# through real hosts count too: the instrumented library writes its counts
# when the host unloads it. Then it lists the lines no test ran and prints
# tests/coverage/unrun_lines.txt, which gives the reason for each of them.
#
#   scripts/coverage.sh [BUILD-FOLDER (default build-coverage)]
#
# Left out of the run: the ten-minute soak (label soak; it runs no line the
# other tests do not), the Debian package test (label package; it installs
# a package into the machine and needs root) and the release tests (label
# release; they pack and install the shipped files, run no line of their own).
# Writes BUILD-FOLDER/coverage.json (gcovr's full report) and
# BUILD-FOLDER/coverage.txt (per-file lines, with the line numbers not run).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-coverage}

bash scripts/setup.sh
command -v gcovr >/dev/null || { echo "coverage: gcovr is not installed (package gcovr)" >&2; exit 1; }

# Unoptimised, so every line and branch in the report is one of the source's.
# Several tests run instances on several threads at once (and hosts run the
# plug-in on threads of their own), so the counters are updated atomically:
# counts raced from two threads can come out wrong, even negative.
coverage_flags="--coverage -fprofile-update=atomic"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g" \
    -DCMAKE_C_FLAGS_DEBUG="-O0 -g" -DCMAKE_CXX_FLAGS="$coverage_flags" -DCMAKE_C_FLAGS="$coverage_flags" \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage \
    -DCMAKE_MODULE_LINKER_FLAGS=--coverage -DBUILD_BENCHMARKS=OFF
cmake --build "$build" -j"$(nproc)"
find "$build" -name '*.gcda' -delete
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE 'soak|package|release'

folders=(engine plugin ui tools demo)
filters=()
for folder in "${folders[@]}"; do
    filters+=(--filter "^$folder/")
done
# Branches the compiler adds for exceptions, which the product is built
# without, and branches it proves never taken are not the source's.
gcovr -r . --object-directory "$build" "${filters[@]}" --exclude-directories "$build/CMakeFiles" \
    --exclude-throw-branches --exclude-unreachable-branches \
    --json "$build/coverage.json" --txt "$build/coverage.txt" >/dev/null

# branches.txt: the same per file for branches.
gcovr -r . -a "$build/coverage.json" --branches --txt "$build/branches.txt" >/dev/null

echo "== coverage: lines and branches run by the tests"
printf '%-10s %20s %20s\n' folder lines branches
for folder in "${folders[@]}"; do
    gcovr -r . -a "$build/coverage.json" --filter "^$folder/" --json-summary |
        python3 -c '
import json, sys
s = json.load(sys.stdin)
def share(covered, total):
    return "%5.1f%% (%d/%d)" % (100.0 * covered / total, covered, total) if total else "- (0/0)"
print("%-10s %20s %20s" % (sys.argv[1] + "/", share(s["line_covered"], s["line_total"]),
                           share(s["branch_covered"], s["branch_total"])))' "$folder"
done

# Files with a line or branch not run, with the line numbers (gcovr's
# "Missing" column: lines not run, and for branches the lines of a branch
# never taken).
echo "== coverage: lines not run (file, lines, run, share, line numbers)"
awk '/^[a-z]+\// && $4 != "100%" && $4 != "--%"' "$build/coverage.txt"
echo "== coverage: branches not taken (file, branches, taken, share, line numbers)"
awk '/^[a-z]+\// && $4 != "100%" && $4 != "--%"' "$build/branches.txt"
echo "== coverage: why they are not run (tests/coverage/unrun_lines.txt)"
cat tests/coverage/unrun_lines.txt
echo "== coverage: full reports in $build/coverage.txt and $build/branches.txt"

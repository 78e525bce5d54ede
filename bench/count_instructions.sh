#!/usr/bin/env bash
# Instructions per frame of each plug-in's run calls, counted by callgrind,
# which unlike wall time does not depend on what else the machine runs:
# live_bench (bench/host) feeds noise at 48000 Hz and turns collection on
# around each run call only.
#
# Usage: bench/count_instructions.sh [build-folder] [block] [frames] [OPTION...] [URI...]
# Without URIs it counts halvane stereo and mono. Options (--instances N,
# --automate, --warmup FRAMES) go to live_bench; frames are per instance.
set -euo pipefail
build=$(realpath "${1:-build}")
block=${2:-256}
frames=${3:-96000}
shift $(($# < 3 ? $# : 3))
options=()
while (($#)) && [[ $1 == --* ]]; do
  options+=("$1")
  [[ $1 == --automate ]] || { options+=("$2"); shift; }
  shift
done
uris=("$@")
((${#uris[@]})) || uris=(https://halvane.example.org/lv2/halvane/stereo
                         https://halvane.example.org/lv2/halvane/mono)
live_bench=$build/bench/host/live_bench
[ -x "$live_bench" ] || { echo "build live_bench first: $live_bench" >&2; exit 1; }

scan=$(mktemp -d)
trap 'rm -rf "$scan"' EXIT
for b in "$build/halvane.lv2" /usr/lib/lv2/calf.lv2 /usr/lib/lv2/mda.lv2 \
         /usr/lib/lv2/Dragonfly{Room,Hall,Plate}Reverb.lv2 \
         /usr/lib/lv2/{core,units,port-groups,atom,urid,worker,options,buf-size,parameters}.lv2; do
  [ -e "$b" ] && ln -s "$b" "$scan/"
done
export LV2_PATH=$scan

for uri in "${uris[@]}"; do
  out=$scan/callgrind.out
  valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$out" \
    "$live_bench" "${options[@]}" "$block" "$frames" 1 "$uri" >/dev/null 2>&1
  total=$(awk '/^totals:/ {print $2}' "$out")
  # live_bench runs whole blocks: frames rounded up, for every instance.
  instances=1
  for ((o = 0; o < ${#options[@]}; o++)); do
    [[ ${options[$o]} == --instances ]] && instances=${options[$((o + 1))]}
  done
  run=$(( (frames + block - 1) / block * block * instances ))
  awk -v t="$total" -v f="$run" -v u="$uri" 'BEGIN {printf "%8.1f instructions per frame  %s\n", t / f, u}'
done

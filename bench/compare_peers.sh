#!/usr/bin/env bash
# Times halvane against peer LV2 reverbs in real LV2 hosts, with the same
# block length and frame count for every plug-in, over several rounds, and
# prints the median time of each and its ratio to halvane stereo:
# - lv2bench (lilv-utils), which feeds every plug-in silence: for halvane
#   that is an idle instance, whose reverb work is skipped;
# - live_bench (built from bench/host with lilv), the same kind of host
#   feeding noise: the cost while sound is playing, as the processor time
#   of its thread (on a shared machine this leaves out the time spent
#   waiting for a core) and as wall-clock time in the run calls.
#
# Usage: bench/compare_peers.sh [build-folder] [rounds] [block] [frames]
# Peers come from Debian's packages: calf-plugins (Calf Reverb),
# dragonfly-reverb-lv2 (Dragonfly Room, Hall and Plate) and mda-lv2 (mda
# Ambience); the script installs them when it runs as root.
set -euo pipefail
build=$(realpath "${1:-build}")
rounds=${2:-7}
block=${3:-256}
frames=${4:-2000000}

if ! [ -d /usr/lib/lv2/calf.lv2 ] || ! [ -d /usr/lib/lv2/mda.lv2 ] ||
   ! [ -d /usr/lib/lv2/DragonflyPlateReverb.lv2 ]; then
  if [ "$(id -u)" = 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq calf-plugins mda-lv2 dragonfly-reverb-lv2 >/dev/null
  else
    echo "install calf-plugins, mda-lv2 and dragonfly-reverb-lv2 first" >&2
    exit 1
  fi
fi
[ -f "$build/halvane.lv2/halvane.so" ] || { echo "build halvane first: $build/halvane.lv2" >&2; exit 1; }
live_bench=$build/bench/host/live_bench
[ -x "$live_bench" ] || { echo "build live_bench first (needs liblilv-dev): $live_bench" >&2; exit 1; }

# A folder holding only the bundles under test and the LV2 core definitions,
# so the host scans nothing else.
scan=$(mktemp -d)
trap 'rm -rf "$scan"' EXIT
for b in "$build/halvane.lv2" /usr/lib/lv2/calf.lv2 /usr/lib/lv2/mda.lv2 \
         /usr/lib/lv2/Dragonfly{Room,Hall,Plate}Reverb.lv2 \
         /usr/lib/lv2/{lv2core,core,units,port-groups,atom,urid,worker,options,buf-size,parameters}.lv2; do
  [ -e "$b" ] && ln -s "$b" "$scan/"
done
export LV2_PATH=$scan

names=("halvane stereo" "halvane mono" "Calf Reverb" "Dragonfly Room" "Dragonfly Hall"
       "Dragonfly Plate" "mda Ambience")
uris=(https://halvane.example.org/lv2/halvane/stereo
      https://halvane.example.org/lv2/halvane/mono
      http://calf.sourceforge.net/plugins/Reverb
      urn:dragonfly:room
      https://github.com/michaelwillis/dragonfly-reverb
      urn:dragonfly:plate
      http://drobilla.net/plugins/mda/Ambience)

declare -A times
for ((r = 0; r < rounds; r++)); do
  for i in "${!uris[@]}"; do
    t=$(lv2bench -b "$block" -n "$frames" "${uris[$i]}" 2>/dev/null | awk -v u="${uris[$i]}" '$2 == u {print $1}')
    # lv2bench offers no worker, which the Dragonfly reverbs require.
    [ -n "$t" ] && times[$i]="${times[$i]:-} $t"
  done
done
declare -A live live_wall
while read -r w t u; do
  for i in "${!uris[@]}"; do
    [ "$u" = "${uris[$i]}" ] && live[$i]=$t && live_wall[$i]=$w
  done
done < <("$live_bench" "$block" "$frames" "$rounds" "${uris[@]}" 2>/dev/null)

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

base=$(echo "${times[0]}" | median)
live_base=${live[0]}
printf '%d frames at 48000 Hz in %d-sample blocks, median of %d interleaved rounds\n' "$frames" "$block" "$rounds"
printf '%-16s | %-37s | %-24s\n' "" "live signal (live_bench)" "silence (lv2bench)"
printf '%-16s | %12s %10s %13s | %10s %13s\n' "plug-in" "cpu ns/frame" "vs stereo" "wall ns/frame" "ns/frame" "vs stereo"
for i in "${!uris[@]}"; do
  [ -n "${live[$i]:-}" ] || { echo "live_bench could not run ${uris[$i]}" >&2; exit 1; }
  awk -v n="${names[$i]}" -v l="${live[$i]}" -v lb="$live_base" -v w="${live_wall[$i]}" -v f="$frames" \
    'BEGIN {printf "%-16s | %12.1f %10.2f %13.1f | ", n, l / f * 1e9, l / lb, w / f * 1e9}'
  if [ -n "${times[$i]:-}" ]; then
    m=$(echo "${times[$i]}" | median)
    awk -v m="$m" -v b="$base" -v f="$frames" 'BEGIN {printf "%10.1f %13.2f\n", m / f * 1e9, m / b}'
  else
    printf '%10s %13s\n' "n/a" "n/a"
  fi
done

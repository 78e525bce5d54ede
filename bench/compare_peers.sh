#!/usr/bin/env bash
# Times halvane against peer LV2 reverbs in real LV2 hosts, with the same
# block length and frame count for every plug-in, over several interleaved
# rounds, and prints the median cost of each, in nanoseconds per frame and
# instance, with its ratio to a reference.
#
# Two tables, each optional:
# - peers: every peer at one instance and 256-frame blocks, in two hosts:
#   lv2bench (lilv-utils), which feeds every plug-in silence (for halvane an
#   idle instance, whose reverb work is skipped), and live_bench (built from
#   bench/host with lilv), the same kind of host feeding noise: the cost while
#   sound is playing. Ratios to halvane stereo.
# - scale: halvane stereo and mono against Dragonfly Plate, the closest peer
#   in cost, at 1, 8 and 32 instances run one after another in every run call
#   (256-frame blocks), at 1 instance in 64- and 32-frame blocks, and at 1
#   instance in 64-frame blocks with every control moving before every run
#   call (live_bench --automate). Ratios to Dragonfly Plate in the same case,
#   and for halvane the cost per instance against one instance, and the cost
#   of automation against static controls.
# live_bench reports the processor time of its thread, which on a shared
# machine leaves out the time spent waiting for a core, and the wall-clock
# time of the run calls; both are shown. Every instance first plays WARMUP
# frames (default 240000, 5 s at 48 kHz: past halvane's pre-delay glide and
# every peer's start-up) outside the timed part.
#
# Usage: bench/compare_peers.sh [build-folder] [rounds] [frames] [tables]
#   frames: timed frames per case, shared among its instances (default 1000000)
#   tables: "peers", "scale" or "peers scale" (the default)
# Peers come from Debian's packages: calf-plugins (Calf Reverb),
# dragonfly-reverb-lv2 (Dragonfly Room, Hall and Plate) and mda-lv2 (mda
# Ambience); the script installs them when it runs as root.
set -euo pipefail
build=$(realpath "${1:-build}")
rounds=${2:-7}
frames=${3:-1000000}
tables=${4:-peers scale}
warmup=${WARMUP:-240000}

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

stereo=https://halvane.example.org/lv2/halvane/stereo
mono=https://halvane.example.org/lv2/halvane/mono
plate=urn:dragonfly:plate
names=("halvane stereo" "halvane mono" "Calf Reverb" "Dragonfly Room" "Dragonfly Hall"
       "Dragonfly Plate" "mda Ambience")
uris=("$stereo" "$mono"
      http://calf.sourceforge.net/plugins/Reverb
      urn:dragonfly:room
      https://github.com/michaelwillis/dragonfly-reverb
      "$plate"
      http://drobilla.net/plugins/mda/Ambience)

median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# Cases of the scale table: name, instances, block, live_bench options.
scale_cases=("1 instance, 256-frame blocks|1|256|"
             "8 instances, 256|8|256|"
             "32 instances, 256|32|256|"
             "1 instance, 64-frame blocks|1|64|"
             "1 instance, 32-frame blocks|1|32|"
             "1 instance, 64, all controls automated|1|64|--automate")
scale_uris=("$stereo" "$mono" "$plate")

declare -A cpu wall silent
declare -a mc mw case_cpu
for ((r = 0; r < rounds; r++)); do
  if [[ $tables == *peers* ]]; then
    for i in "${!uris[@]}"; do
      t=$(lv2bench -b 256 -n "$frames" "${uris[$i]}" 2>/dev/null | awk -v u="${uris[$i]}" '$2 == u {print $1}')
      # lv2bench offers no worker, which the Dragonfly reverbs require.
      [ -n "$t" ] && silent[$i]="${silent[$i]:-} $t"
    done
    while read -r w t u; do
      for i in "${!uris[@]}"; do
        [ "$u" = "${uris[$i]}" ] && cpu[peers,$i]="${cpu[peers,$i]:-} $t" && wall[peers,$i]="${wall[peers,$i]:-} $w"
      done
    done < <("$live_bench" --warmup "$warmup" 256 "$frames" 1 "${uris[@]}" 2>/dev/null)
  fi
  if [[ $tables == *scale* ]]; then
    for c in "${!scale_cases[@]}"; do
      IFS='|' read -r _ n block opts <<<"${scale_cases[$c]}"
      # shellcheck disable=SC2086 # opts is empty or one option
      while read -r w t u; do
        for i in "${!scale_uris[@]}"; do
          [ "$u" = "${scale_uris[$i]}" ] && cpu[$c,$i]="${cpu[$c,$i]:-} $t" && wall[$c,$i]="${wall[$c,$i]:-} $w"
        done
      done < <("$live_bench" --instances "$n" --warmup "$warmup" $opts "$block" $((frames / n)) 1 \
                 "${scale_uris[@]}" 2>/dev/null)
    done
  fi
done

printf 'At 48000 Hz, %d timed frames per case, median of %d interleaved rounds; ns per frame and instance\n' \
  "$frames" "$rounds"

if [[ $tables == *peers* ]]; then
  echo
  echo "Peers: 1 instance, 256-frame blocks"
  printf '%-16s | %-34s | %-22s\n' "" "live signal (live_bench)" "silence (lv2bench)"
  printf '%-16s | %9s %7s %9s %7s | %10s %11s\n' "plug-in" "cpu" "ratio" "wall" "ratio" "ns/frame" "ratio"
  base_cpu=$(echo "${cpu[peers,0]:-}" | median)
  base_wall=$(echo "${wall[peers,0]:-}" | median)
  base_silent=$(echo "${silent[0]:-}" | median)
  for i in "${!uris[@]}"; do
    [ -n "${cpu[peers,$i]:-}" ] || { echo "live_bench could not run ${uris[$i]}" >&2; exit 1; }
    c=$(echo "${cpu[peers,$i]}" | median)
    w=$(echo "${wall[peers,$i]}" | median)
    awk -v n="${names[$i]}" -v c="$c" -v bc="$base_cpu" -v w="$w" -v bw="$base_wall" \
      'BEGIN {printf "%-16s | %9.1f %7.2f %9.1f %7.2f | ", n, c, c / bc, w, w / bw}'
    if [ -n "${silent[$i]:-}" ]; then
      m=$(echo "${silent[$i]}" | median)
      awk -v m="$m" -v b="$base_silent" -v f="$frames" 'BEGIN {printf "%10.1f %11.2f\n", m / f * 1e9, m / b}'
    else
      printf '%10s %11s\n' "n/a" "n/a"
    fi
  done
fi

if [[ $tables == *scale* ]]; then
  echo
  echo "At scale: halvane against Dragonfly Plate (processor time; wall-clock time in brackets)"
  printf '%-40s | %15s %15s %15s | %13s %13s\n' "case" "stereo" "mono" "Plate" "stereo/Plate" "mono/Plate"
  for c in "${!scale_cases[@]}"; do
    IFS='|' read -r name _ _ _ <<<"${scale_cases[$c]}"
    for i in 0 1 2; do
      [ -n "${cpu[$c,$i]:-}" ] || { echo "live_bench could not run ${scale_uris[$i]} ($name)" >&2; exit 1; }
      mc[$i]=$(echo "${cpu[$c,$i]}" | median)
      mw[$i]=$(echo "${wall[$c,$i]}" | median)
    done
    awk -v n="$name" -v s="${mc[0]}" -v m="${mc[1]}" -v p="${mc[2]}" \
        -v sw="${mw[0]}" -v mw="${mw[1]}" -v pw="${mw[2]}" \
      'BEGIN {printf "%-40s | %6.1f (%6.1f) %6.1f (%6.1f) %6.1f (%6.1f) | %5.2f (%5.2f) %5.2f (%5.2f)\n",
              n, s, sw, m, mw, p, pw, s / p, sw / pw, m / p, mw / pw}'
    case_cpu[$c]="${mc[0]} ${mc[1]} ${mc[2]}"
  done
  read -r s1 m1 p1 <<<"${case_cpu[0]}"
  read -r s32 m32 p32 <<<"${case_cpu[2]}"
  read -r s64 m64 p64 <<<"${case_cpu[3]}"
  read -r sa ma pa <<<"${case_cpu[5]}"
  awk -v s1="$s1" -v m1="$m1" -v p1="$p1" -v s32="$s32" -v m32="$m32" -v p32="$p32" \
      -v s64="$s64" -v m64="$m64" -v p64="$p64" -v sa="$sa" -v ma="$ma" -v pa="$pa" 'BEGIN {
    printf "cost per instance at 32 instances / at 1:   stereo %.2f, mono %.2f, Plate %.2f\n", s32 / s1, m32 / m1, p32 / p1
    printf "automated / static controls (64-frame blocks): stereo %.2f, mono %.2f, Plate %.2f\n", sa / s64, ma / m64, pa / p64
  }'
fi

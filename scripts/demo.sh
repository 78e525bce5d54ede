#!/usr/bin/env bash
# Renders halvane's demo: sounds to listen to and pictures to look at.
#
#   scripts/demo.sh [BUILD_FOLDER [OUTPUT_FOLDER]]     (defaults: build, out/demo)
#
# Makes a short dry sound with sox (drum-like hits, then a plucked chord, then
# silence for the tail to ring into) and runs it through the mono and the
# stereo plug-in with lv2apply at their defaults and with five of the
# bundle's presets. For each setting it also renders the stereo plug-in's
# impulse response and draws it twice: its waveform and level over time
# (waveform_png, built with the project) and its spectrogram (sox). Prints
# the paths of the files it wrote. Needs a finished build and the packages
# scripts/setup.sh installs.
set -euo pipefail

MONO_URI=https://halvane.example.org/lv2/halvane/mono
STEREO_URI=https://halvane.example.org/lv2/halvane/stereo
RATE=48000

fail() {
    echo "demo: $*" >&2
    exit 1
}

build=${1:-build}
out=${2:-out/demo}

for tool in sox sordi lv2apply; do
    command -v "$tool" >/dev/null 2>&1 || fail "'$tool' is missing; run: bash scripts/setup.sh"
done
[ -f "$build/halvane.lv2/halvane.so" ] && [ -x "$build/demo/waveform_png" ] ||
    fail "no plug-in or waveform_png in $build; build first: cmake -S . -B $build -DBUILD_TESTING=OFF && cmake --build $build"
here=$(dirname "$(realpath "$0")")
started=$SECONDS

mkdir -p "$out"
build=$(realpath "$build")
out=$(realpath "$out")

# The host sees a folder that holds only the built bundle: pointed at the
# build folder itself, lilv would also report each of its other folders as a
# bundle it cannot read.
hosts_dir=$out/lv2
rm -rf "$hosts_dir"
mkdir -p "$hosts_dir"
ln -s "$build/halvane.lv2" "$hosts_dir/halvane.lv2"
export LV2_PATH=$hosts_dir

# The dry sound, 32-bit float at 48 kHz so nothing clips: kick, snare, hat,
# kick, snare on a half-second grid, then a plucked A major chord and silence
# for the tail. In the stereo version the first snare leans left and the
# second right. It peaks at -10 dBFS, so the reverb added to it (the stereo
# plug-in feeds its reverb with the sum of both inputs) stays below full
# scale.
parts=$out/parts
rm -rf "$parts"
mkdir -p "$parts"
piece() {  # piece NAME SECONDS sox-effects...: a mono sound cut or padded to SECONDS
    local name=$1 seconds=$2
    shift 2
    sox -V1 -n -r $RATE -b 32 -e floating-point -c 1 "$parts/$name.wav" "$@" pad 0 "$seconds" trim 0 "$seconds"
}
piece kick 0.5 synth 0.18 sine 110-40 fade q 0.002 0.18 0.17
piece snare 0.5 synth 0.12 pinknoise fade q 0.001 0.12 0.11
piece hat 0.25 synth 0.05 whitenoise vol 0.5 highpass 6000 fade q 0.001 0.05 0.045
sox -V1 -n -r $RATE -b 32 -e floating-point -c 4 "$parts/notes.wav" \
    synth 1.5 pluck A3 pluck C#4 pluck E4 pluck A4 fade q 0 1.5 0.4
sox -V1 "$parts/notes.wav" -c 1 "$parts/chord.wav" remix - pad 0 3

pan() {  # pan NAME LEFT RIGHT: stereo copy of a piece with the given channel gains
    sox -V1 "$parts/$1.wav" -c 2 "$parts/$1_$2_$3.wav" remix 1v"$2" 1v"$3"
}
for name in kick hat chord; do pan $name 1 1; done
pan snare 1 0.3
pan snare 0.3 1

sox -V1 "$parts/kick.wav" "$parts/snare.wav" "$parts/hat.wav" "$parts/kick.wav" "$parts/snare.wav" \
    "$parts/chord.wav" "$out/dry_mono.wav" gain -n -10
sox -V1 "$parts/kick_1_1.wav" "$parts/snare_1_0.3.wav" "$parts/hat_1_1.wav" "$parts/kick_1_1.wav" \
    "$parts/snare_0.3_1.wav" "$parts/chord_1_1.wav" "$out/dry_stereo.wav" gain -n -10
rm -rf "$parts"

render() {  # render URI IN OUT [-c SYMBOL VALUE]...
    local uri=$1 in=$2 result=$3
    shift 3
    lv2apply -i "$in" -o "$result" "$@" "$uri" >/dev/null || fail "lv2apply could not render $result"
}

# The settings: the plug-ins' defaults and five presets, read from the
# bundle's presets file so the demo plays what a host would load.
settings=(default small-room large-hall bright-plate dark-ambience long-pad)
declare -A label=([default]="Defaults") controls=([default]="")
while IFS=$'\t' read -r preset _ name values; do
    label[${preset##*/}]=$name
    controls[${preset##*/}]=$values
done < <(bash "$here/preset_controls.sh" "$build/halvane.lv2/presets.ttl" $STEREO_URI)
options_of() {  # options_of SETTING [SYMBOL=VALUE...]: lv2apply's -c options
    local setting=$1 pair
    shift
    for pair in ${controls[$setting]} "$@"; do
        printf -- '-c\n%s\n%s\n' "${pair%%=*}" "${pair#*=}"
    done
}
summary_of() {  # summary_of SETTING [SYMBOL=VALUE...]: the controls in one line, for the pictures
    local setting=$1 pair
    shift
    local -A v=()
    for pair in ${controls[$setting]} "$@"; do
        v[${pair%%=*}]=$(awk -v x="${pair#*=}" 'BEGIN { printf "%g", x }')
    done
    local text="" item
    for item in "mix:mix:" "room_size:room:m" "decay:decay:s" "predelay:pre-delay:ms" "damping:damping:" \
        "bandwidth:bandwidth:" "tail_level:tail:" "decay_tilt:tilt:" "high_band_freq:high band from:Hz" \
        "low_band_freq:low band to:Hz" "low_cut:low cut:Hz" "wet_level:wet:dB"; do
        IFS=: read -r symbol name unit <<<"$item"
        [ -n "${v[$symbol]:-}" ] && text+="${text:+, }$name ${v[$symbol]}${unit:+ $unit}"
    done
    if [ -z "${controls[$setting]}" ]; then
        if [ -n "$text" ]; then text+=", every other control at its default"; else text="every control at its default"; fi
    fi
    echo "$text"
}
for setting in "${settings[@]}"; do
    [ -n "${label[$setting]:-}" ] || fail "the bundle has no preset '$setting'"
done

# The demo through both plug-ins with every setting.
mkdir -p "$out/mono" "$out/stereo"
for setting in "${settings[@]}"; do
    mapfile -t options < <(options_of "$setting")
    render $MONO_URI "$out/dry_mono.wav" "$out/mono/$setting.wav" "${options[@]}"
    render $STEREO_URI "$out/dry_stereo.wav" "$out/stereo/$setting.wav" "${options[@]}"
done

# Impulse responses: one sample at full scale on the left input, 0.25 s in
# (so the plug-in's fade-in after its start has ended) and 4 s of silence
# after it; rendered wet only (mix 1) so the pictures show the reverb alone,
# then cut to start at the impulse. The long pad gets 10 s to show its tail.
mkdir -p "$out/impulse" "$out/pictures"
lead=12000
sox -V1 -n -r $RATE -b 32 -e floating-point -c 1 "$out/impulse/click.wav" \
    synth 1s square pad ${lead}s 10
sox -V1 "$out/impulse/click.wav" -c 2 "$out/impulse/input.wav" remix 1 0
for setting in "${settings[@]}"; do
    seconds=4
    [ "$setting" = long-pad ] && seconds=10
    mapfile -t options < <(options_of "$setting" mix=1)
    raw=$out/impulse/$setting.raw.wav
    render $STEREO_URI "$out/impulse/input.wav" "$raw" "${options[@]}"
    sox -V1 "$raw" "$out/impulse/$setting.wav" trim ${lead}s $seconds
    rm -f "$raw"
    summary=$(summary_of "$setting" mix=1)
    title="Halvane Stereo, ${label[$setting]}: impulse response"
    "$build/demo/waveform_png" "$out/impulse/$setting.wav" "$out/pictures/${setting}_waveform.png" \
        $seconds "$title" "$summary (wet signal only)" ||
        fail "waveform_png could not draw $setting"
    # Scaled to full scale first, so the colours span the response's own
    # range rather than its distance below 0 dBFS.
    sox -V1 "$out/impulse/$setting.wav" -n gain -n spectrogram -x 1000 -y 257 -z 90 \
        -t "$title, spectrogram" -c "$summary" -o "$out/pictures/${setting}_spectrogram.png" ||
        fail "sox could not draw the spectrogram of $setting"
done
rm -f "$out/impulse/click.wav" "$out/impulse/input.wav"

echo "halvane demo, rendered by lv2apply at $RATE Hz (32-bit float WAV) in $((SECONDS - started)) s:"
echo "  dry sound:            $out/dry_mono.wav  $out/dry_stereo.wav"
for setting in "${settings[@]}"; do
    printf '  %-20s  %s  %s\n' "${label[$setting]}:" "$out/mono/$setting.wav" "$out/stereo/$setting.wav"
done
echo "impulse responses of Halvane Stereo (wet only, left channel then right):"
for setting in "${settings[@]}"; do
    printf '  %-20s  %s\n' "${label[$setting]}:" "$out/impulse/$setting.wav"
done
echo "pictures of the impulse responses (PNG):"
for setting in "${settings[@]}"; do
    printf '  %-20s  %s\n' "${label[$setting]}:" "$out/pictures/${setting}_waveform.png"
    printf '  %-20s  %s\n' "" "$out/pictures/${setting}_spectrogram.png"
done

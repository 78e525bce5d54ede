#!/usr/bin/env bash
# Installs the Debian packages halvane needs on a Debian 12 machine, as
# root, for what you want to do. Safe to run again.
#
#   scripts/setup.sh [MODE...]     (no mode: all)
#
#   build    build halvane and render its demo (scripts/demo.sh)
#   release  build, and make and check the release archives and the Debian
#            package (debootstrap, debhelper, lintian)
#   aarch64  build, and cross-build for 64-bit ARM
#   test     everything the whole test suite and the benchmarks use:
#            build, release and aarch64 included (scripts/test.sh)
#   all      every group below (today what test installs)
set -euo pipefail

# Each group is one purpose; a mode installs one or more groups.
build=(
  g++ cmake make binutils pkg-config
  lv2-dev libx11-dev libcairo2-dev  # the plug-in's and the GUI's headers: LV2, plain Xlib, cairo
)
demo=(
  lilv-utils sox  # lv2apply renders through the plug-ins; sox makes the sounds and spectrograms
  sordi  # reads the presets' settings from the bundle
  fonts-dejavu-core  # the pictures' lettering
)
release=(
  debootstrap  # fresh Debian roots for the archive and packager-build tests
  dpkg-dev debhelper lintian  # dpkg-buildpackage with dh, and Debian's package checker
)
aarch64=(  # the cross compiler and ARM64 libraries
  g++-aarch64-linux-gnu
  libsimde-dev  # SIMDe: the vector stages' SSE2 intrinsics on NEON
  # the cross build's libraries: Debian's multiarch :arm64 packages, beside the machine's own
  libgtest-dev:arm64 libbenchmark-dev:arm64 lv2-dev:arm64
  libx11-dev:arm64 libcairo2-dev:arm64 liblilv-dev:arm64 libxres-dev:arm64
  qemu-user  # runs the cross build's tests (qemu-aarch64); scripts/arm64_root.sh makes their root
)
tests=(
  libgtest-dev libbenchmark-dev
  libglibmm-2.4-1v5  # the library strandprobe probes
  lv2file ecasound jalv jackd2  # further LV2 hosts, and a JACK server for jalv
  liblilv-dev  # the live-signal benchmark host in bench/host
  valgrind clang libclang-rt-14-dev  # robustness: valgrind test, libFuzzer (scripts/fuzz.sh)
  xvfb x11-utils xdotool imagemagick  # GUI tests: headless X server, window lists, gestures, screenshots
  libxres-dev libsuil-dev libgtk2.0-dev  # GUI test hosts: X resource counts, a Gtk2 host through suil
  libqt5x11extras5  # lets suil embed X11 UIs in jalv.qt5 (only a recommendation of libsuil)
  qemu-user  # the same output bits on a CPU without AVX and FMA (qemu-x86_64 -cpu Nehalem)
  gcovr  # line and branch coverage (scripts/coverage.sh)
)

[ $# -gt 0 ] || set -- all
packages=()
for mode in "$@"; do
  case $mode in
    build) packages+=("${build[@]}" "${demo[@]}") ;;
    release) packages+=("${build[@]}" "${demo[@]}" "${release[@]}") ;;
    aarch64) packages+=("${build[@]}" "${aarch64[@]}") ;;
    test | all) packages+=("${build[@]}" "${demo[@]}" "${release[@]}" "${aarch64[@]}" "${tests[@]}") ;;
    *)
      echo "setup.sh: unknown mode '$mode'; use build, release, aarch64, test or all" >&2
      exit 2
      ;;
  esac
done

# :arm64 packages install once dpkg knows the architecture (apt-get update
# below then reads its package lists).
if [[ " ${packages[*]} " == *:arm64\ * ]] && ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi


#!/usr/bin/env bash
# Installs what halvane needs to build, test and render its demo on a
# Debian 12 machine, as root. Safe to run again.
set -euo pipefail

packages=(
  g++ cmake make binutils
  libgtest-dev libbenchmark-dev
  lv2-dev lilv-utils sox
  sordi  # sord_validate, which lv2_validate runs
  libglibmm-2.4-1v5
  lv2file ecasound jalv jackd2  # further LV2 hosts, and a JACK server for jalv
  liblilv-dev pkg-config  # the live-signal benchmark host in bench/host
  valgrind clang libclang-rt-14-dev  # robustness: valgrind test, libFuzzer (scripts/fuzz.sh)
  libx11-dev libcairo2-dev fonts-dejavu-core  # the GUI: plain Xlib drawn with cairo
  xvfb x11-utils xdotool imagemagick  # GUI tests: headless X server, window lists, gestures, screenshots
  libxres-dev libsuil-dev libgtk2.0-dev  # GUI test hosts: X resource counts, a Gtk2 host through suil
  libqt5x11extras5  # lets suil embed X11 UIs in jalv.qt5 (only a recommendation of libsuil)
  qemu-user  # the same output bits on a CPU without AVX and FMA (qemu-x86_64 -cpu Nehalem)
  gcovr  # line and branch coverage (scripts/coverage.sh)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# aarch64: the cross compiler and the arm64 libraries the cross build links
# (Debian's multiarch :arm64 packages, installed beside the machine's own).
# qemu-user above runs its tests; scripts/arm64_root.sh downloads the arm64
# root they run in.
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  dpkg --add-architecture arm64
  apt-get update -qq
fi
arm64_packages=(
  g++-aarch64-linux-gnu libsimde-dev  # SIMDe: the x86 vector intrinsics on NEON
  libgtest-dev:arm64 libbenchmark-dev:arm64 lv2-dev:arm64
  libx11-dev:arm64 libcairo2-dev:arm64 liblilv-dev:arm64 libxres-dev:arm64
)
missing=()
for p in "${arm64_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

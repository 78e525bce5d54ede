#!/usr/bin/env bash
# Makes a folder that qemu-aarch64 runs arm64 programs in (qemu-aarch64 -L
# ROOT): Debian's own arm64 packages of the C and C++ runtimes, Xlib (with
# its resource extension) and cairo, and the LV2 hosts lv2file and lv2apply
# (lilv-utils), each with the arm64 libraries it depends on, unpacked with
# dpkg-deb -x. Nothing in it is configured or run as root: qemu reads
# programs and libraries from ROOT and falls back to this machine's own
# files for every path ROOT lacks.
#
# Usage: scripts/arm64_root.sh [ROOT]   (default: build-arm64-root)
# Needs the arm64 architecture in dpkg (scripts/setup.sh adds it). Safe to
# run again: a root made from the same package versions is kept as it is,
# and the downloaded packages stay in ROOT.debs for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "${1:-build-arm64-root}")
debs=$root.debs
packages=(libc6 libstdc++6 libgcc-s1 libx11-6 libxres1 libcairo2 lv2file lilv-utils)

dpkg --print-foreign-architectures | grep -qx arm64 ||
    { echo "arm64_root: dpkg has no arm64 architecture (run scripts/setup.sh)" >&2; exit 1; }

# Every arm64 package the listed ones need, recursively, with the version
# apt would install; packages of no architecture (data, documentation) are
# left out, since qemu finds their files on this machine.
names=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
            --no-replaces --no-enhances "${packages[@]/%/:arm64}" |
        grep -E '^[a-z0-9][a-z0-9.+-]*:arm64$' | sort -u)
wanted=$(apt-cache policy $names | awk '/^[^ ]/ { name = $1; sub(/:$/, "", name) }
                                        /Candidate:/ { print name "=" $2 }')
[ -n "$wanted" ] || { echo "arm64_root: apt knows no arm64 packages (run apt-get update)" >&2; exit 1; }
if [ -f "$root/.packages" ] && [ "$(cat "$root/.packages")" = "$wanted" ]; then
    echo "arm64_root: $root is up to date ($(wc -l <<<"$wanted") packages)"
    exit 0
fi

mkdir -p "$debs"
(cd "$debs" && apt-get download -qq $wanted 2>&1 | grep -v 'unsandboxed' || true)
rm -rf "$root"
mkdir -p "$root"
for entry in $wanted; do
    name=${entry%%:*}
    version=${entry#*=}
    deb=$(ls "$debs/${name}_${version//:/%3a}_arm64.deb" 2>/dev/null) ||
        { echo "arm64_root: $name $version was not downloaded" >&2; exit 1; }
    dpkg-deb -x "$deb" "$root"
done
# Only programs and libraries stay: configuration and data (fonts and their
# configuration among them) are this machine's own, which qemu finds where
# ROOT has no such folder, so the GUI finds the fonts a native program finds.
rm -rf "$root/etc" "$root/usr/share" "$root/var"
for tool in lv2file lv2apply; do
    [ -x "$root/usr/bin/$tool" ] || { echo "arm64_root: $tool is missing from $root" >&2; exit 1; }
done
echo "$wanted" >"$root/.packages"
echo "arm64_root: made $root from $(wc -l <<<"$wanted") arm64 packages"

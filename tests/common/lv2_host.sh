# shellcheck shell=bash disable=SC2034  # the scripts that source this file use its constants
# Helpers every test that runs a real LV2 host shares; host_common.sh and
# matrix_common.sh source this file and add what their own tests need.
#
# Environment, set by CTest:
#   LV2_PATH        the build folder, which holds halvane.lv2
#   HOST_TEST_WORK  a scratch folder of this test's own
#   LV2_SCHEMA_DIR  where LV2's own definition bundles (core.lv2, units.lv2,
#                   ...) live (default /usr/lib/lv2)

set -u

MONO_URI=https://halvane.example.org/lv2/halvane/mono
STEREO_URI=https://halvane.example.org/lv2/halvane/stereo

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 ||
            fail "'$tool' is not installed (scripts/setup.sh installs every host and tool the tests use)"
    done
}

uri_of() {
    case "$1" in
        mono) echo "$MONO_URI" ;;
        stereo) echo "$STEREO_URI" ;;
        *) fail "unknown variant '$1'" ;;
    esac
}

channels_of() {
    case "$1" in
        mono) echo 1 ;;
        stereo) echo 2 ;;
        *) fail "unknown variant '$1'" ;;
    esac
}

# Points hosts at a folder holding only the built bundle and the LV2
# definition bundles its description refers to (so hosts know that a
# ReverbPlugin is a plug-in class, and know the units and port groups). The
# build folder itself holds many folders that are not bundles, which lilv
# reports, and installed third-party plug-ins must not take part.
use_clean_lv2_path() {
    local build_dir=$1 schema_dir=${LV2_SCHEMA_DIR:-/usr/lib/lv2} host_dir=$HOST_TEST_WORK/lv2 name
    [ -f "$build_dir/halvane.lv2/halvane.so" ] ||
        fail "no built plug-in at $build_dir/halvane.lv2/halvane.so"
    [ -d "$schema_dir/core.lv2" ] || fail "no LV2 definition bundles in $schema_dir"
    rm -rf "$host_dir"
    mkdir -p "$host_dir"
    ln -s "$build_dir/halvane.lv2" "$host_dir/halvane.lv2"
    for name in core port-groups port-props units; do
        ln -s "$schema_dir/$name.lv2" "$host_dir/$name.lv2"
    done
    export LV2_PATH=$host_dir
}

# assign_keys PREFIX OUTPUT: sets the variable PREFIX<key> to <value> for
# each key=value line of OUTPUT (what wav_probe and wav_check print).
assign_keys() {
    local key value
    while IFS='=' read -r key value; do
        printf -v "$1$key" '%s' "$value"
    done <<<"$2"
}

# float_cmp A OP B: true when the comparison holds, with OP one of < > <= >=.
float_cmp() {
    awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN {
        if (op == "<") exit !(a < b); if (op == ">") exit !(a > b)
        if (op == "<=") exit !(a <= b); if (op == ">=") exit !(a >= b); exit 2 }'
}

#!/usr/bin/env bash
# Checks the machine code of built files, x86-64 or aarch64:
# - no fused multiply-add anywhere: every product and sum must be rounded
#   on its own (vfmadd..., vfnmsub... on x86-64; fmadd, fmsub, fnmadd,
#   fnmsub, fmla, fmls, fnmla, fnmls on aarch64);
# - on x86-64, VEX-encoded (AVX) instructions only in functions of the
#   engine's AVX2 path, whose names carry "Avx2": nothing else may run them
#   on a CPU without AVX.
# Usage: check_instructions.sh OBJDUMP FILE...
set -euo pipefail
objdump=$1
shift
status=0
for file in "$@"; do
    listing=$("$objdump" -d --no-show-raw-insn -C "$file")
    fused=$(grep -E $':\t(vfn?m(add|sub)[a-z0-9]*|fn?m(add|sub)|fn?ml[as])[ \t]' <<<"$listing" || true)
    if [ -n "$fused" ]; then
        echo "$(basename "$file"): fused multiply-add instructions:"
        head -5 <<<"$fused"
        status=1
    fi
    if "$objdump" -f "$file" | grep -q 'architecture: i386:x86-64'; then
        outside=$(awk -F'\t' '/^[0-9a-f]+ </ { name = $0 }
                              /^ +[0-9a-f]+:\tv/ && name !~ /Avx2/ { print name; print; exit }' \
                      <<<"$listing")
        if [ -n "$outside" ]; then
            echo "$(basename "$file"): an AVX instruction outside the AVX2 path:"
            echo "$outside"
            status=1
        fi
    fi
done
[ $status -eq 0 ] && echo "checked: $*"
exit $status

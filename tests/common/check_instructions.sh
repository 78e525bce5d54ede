#!/usr/bin/env bash
# Checks the machine code of built files (libraries, programs, static
# archives), x86-64 or aarch64:
# - no fused multiply-add anywhere: every product and sum must be rounded
#   on its own (vfmadd..., vfnmsub... on x86-64; fmadd, fmsub, fnmadd,
#   fnmsub, fmla, fmls, fnmla, fnmls on aarch64);
# - in an x86-64 archive, VEX- or EVEX-encoded (AVX) instructions only in a
#   member built for the AVX2 or AVX-512 path (its name says avx2 or avx512),
#   and such a member defines no function another member could call or share:
#   a CPU without AVX never runs its code unless that path was chosen.
# Usage: check_instructions.sh OBJDUMP NM FILE...
set -euo pipefail
objdump=$1
nm=$2
shift 2
# x86-64's FMA and FMA4 mnemonics, then aarch64's scalar and vector ones.
fused_mnemonics=$':\t(vfn?m(add|sub)[a-z0-9]*|fn?m(add|sub)|fn?ml[as])[ \t]'
status=0
fail() {
    echo "$1"
    status=1
}
for file in "$@"; do
    name=$(basename "$file")
    listing=$("$objdump" -d --no-show-raw-insn -C "$file")
    fused=$(grep -E "$fused_mnemonics" <<<"$listing" || true)
    [ -z "$fused" ] || fail "$name: fused multiply-add instructions:"$'\n'"$(head -5 <<<"$fused")"

    [[ $file == *.a ]] && grep -q 'file format elf64-x86-64' <<<"$listing" || continue
    vex=$(awk '/: +file format / { member = $1 }
               /^ +[0-9a-f]+:\tv/ && member !~ /avx(2|512)/ { print member, $0; exit }' <<<"$listing")
    [ -z "$vex" ] || fail "$name: an AVX instruction outside the AVX2 path:"$'\n'"$vex"
    shared=$("$nm" -C "$file" | awk '/:$/ { member = $1 }
                                    member ~ /avx(2|512)/ && NF >= 2 && $(NF - 1) ~ /^[TWVui]$/ {
                                        print member, $0
                                    }')
    [ -z "$shared" ] || fail "$name: the AVX2 path lends code to other files:"$'\n'"$shared"
done
[ $status -ne 0 ] || echo "checked: $*"
exit $status

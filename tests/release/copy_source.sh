#!/usr/bin/env bash
# Copies halvane's source as it stands, without build or output folders:
#
#   copy_source.sh SOURCE_FOLDER TARGET_FOLDER
#
# In a git checkout, the files git knows of, committed or new (not those it
# ignores); elsewhere, every file but the build and output folders.
set -euo pipefail
[ $# = 2 ] || { echo "usage: $0 SOURCE_FOLDER TARGET_FOLDER" >&2; exit 2; }
source=$1
target=$(mkdir -p "$2" && cd "$2" && pwd)
cd "$source"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard |
        while IFS= read -r -d '' file; do
            [ ! -e "$file" ] || cp --parents -P "$file" "$target"
        done
else
    tar --exclude='./build*' --exclude=./out --exclude='./obj-*' -cf - . | tar -C "$target" -xf -
fi

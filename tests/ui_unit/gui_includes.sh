# shellcheck shell=bash
# ui/ includes from plugin/ only headers whose opening comment says the GUI
# uses them, and so do those headers. Usage: gui_includes.sh ROOT
cd "$1" || exit 1
status=0 files=(ui/*)
for ((i = 0; i < ${#files[@]}; i++)); do
    for header in $(sed -n 's|^#include "\([^"]*\.h\)".*|plugin/\1|p' "${files[i]}"); do
        [ -f "$header" ] || continue
        if ! awk '!/^\/\//{exit} /[Uu]sed by the GUI/{m=1} END{exit !m}' "$header"; then
            echo "${files[i]} includes $header, whose opening comment does not say the GUI uses it"
            status=1
        elif [[ " ${files[*]} " != *" $header "* ]]; then files+=("$header"); fi
    done
done
exit $status

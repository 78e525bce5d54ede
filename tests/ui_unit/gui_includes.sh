# shellcheck shell=bash
# The GUI includes from plugin/ only headers whose opening comment says they
# are used by the GUI, and so do those headers: a plug-in header the GUI
# comes to need says so where its readers look. Usage: gui_includes.sh ROOT
cd "$1" || exit 1
marked() { awk '!/^\/\//{exit} /[Uu]sed by the GUI/{found=1} END{exit !found}' "plugin/$1"; }
status=0
files=(ui/*)
for ((i = 0; i < ${#files[@]}; i++)); do
    for header in $(sed -n 's/^#include "\([^"]*\.h\)".*/\1/p' "${files[i]}"); do
        [ -f "plugin/$header" ] || continue
        if ! marked "$header"; then
            echo "${files[i]} includes plugin/$header, whose opening comment does not say it is used by the GUI"
            status=1
        elif [[ " ${files[*]} " != *" plugin/$header "* ]]; then
            files+=("plugin/$header")
        fi
    done
done
exit $status

#!/bin/sh
# Installs halvane from this unpacked archive: the LV2 bundle halvane.lv2,
# where LV2 hosts look for plug-ins, and strandprobe with its manual page.
#
#   ./install.sh              for you: ~/.lv2, ~/.local/bin, ~/.local/share/man
#   ./install.sh --system     for everyone, as root: under /usr/local
#   ./install.sh --uninstall  removes what this script installed (add
#                             --system for the system-wide copy)
#   ./install.sh --force      replaces a different halvane found in the way
#
# It checks first that the machine can run the archive (processor, C
# library) and says plainly what is wrong if not. It keeps a record of what
# it installed (halvane/installed in the data folder), so --uninstall
# removes exactly that and refuses to touch a halvane it did not install.
# Files are copied beside their place and renamed into it, so a host that
# has the plug-in loaded keeps running on the old copy.
set -eu

# Filled in when the archive is made.
VERSION='@VERSION@'
ARCH='@ARCH@'
GLIBC_NEEDED='@GLIBC_NEEDED@'

here=$(cd "$(dirname "$0")" && pwd)

say() {
    printf '%s\n' "$*"
}

die() {
    printf 'install.sh: %s\n' "$*" >&2
    exit 1
}

usage() {
    say "Usage: ./install.sh [--system] [--force] [--uninstall]"
    say ""
    say "Installs halvane $VERSION for $ARCH Linux."
    say "  (no option)   for you alone: ~/.lv2/halvane.lv2, ~/.local/bin/strandprobe"
    say "  --system      for every user, as root: /usr/local/lib/lv2/halvane.lv2,"
    say "                /usr/local/bin/strandprobe"
    say "  --force       replace a different halvane that is installed there"
    say "  --uninstall   remove what this script installed there"
    say "  -h, --help    show this text"
}

system=0
force=0
uninstall=0
for argument in "$@"; do
    case $argument in
        --system) system=1 ;;
        --force) force=1 ;;
        --uninstall) uninstall=1 ;;
        -h | --help) usage; exit 0 ;;
        *) usage >&2; die "unknown option '$argument'" ;;
    esac
done

# The option that chose where, to repeat in advice.
where_option=
[ $system = 0 ] || where_option=" --system"

if [ $system = 1 ]; then
    [ "$(id -u)" = 0 ] ||
        die "--system installs for every user under /usr/local and needs root: sudo $0 $*"
    lv2_dir=/usr/local/lib/lv2
    bin_dir=/usr/local/bin
    man_dir=/usr/local/share/man/man1
    data_dir=/usr/local/share/halvane
    whom="for every user"
else
    if [ -z "${HOME:-}" ] || [ ! -d "$HOME" ]; then
        die "HOME is not set to your home folder, so there is nowhere to install for you"
    fi
    lv2_dir=$HOME/.lv2
    bin_dir=$HOME/.local/bin
    man_dir=$HOME/.local/share/man/man1
    data_dir=$HOME/.local/share/halvane
    whom="for $(id -un 2>/dev/null || echo you)"
fi
bundle=$lv2_dir/halvane.lv2
program=$bin_dir/strandprobe
manual=$man_dir/strandprobe.1
record=$data_dir/installed

# The record: a line naming what was installed, then each folder the install
# had to create, each after the folder that holds it.
recorded_release() {
    sed -n '1s/^halvane //p' "$record"
}

recorded_folders() {
    sed -n 's/^created //p' "$record"
}

# Removes what the record says was installed, then the record and the
# folders the install created, as far as they are empty.
remove_installed() {
    rm -rf "$bundle"
    rm -f "$program" "$manual"
    folders=$(recorded_folders)
    rm -f "$record"
    printf '%s\n' "$folders" | sed '1!G;h;$!d' | while IFS= read -r folder; do
        [ -z "$folder" ] || rmdir "$folder" 2>/dev/null || true
    done
}

if [ $uninstall = 1 ]; then
    if [ ! -f "$record" ]; then
        for path in "$bundle" "$program"; do
            [ ! -e "$path" ] ||
                die "$path was not installed by this script (there is no $record), so it is left alone; remove it with whatever installed it (a Debian package: sudo apt remove halvane)"
        done
        say "halvane is not installed $whom; nothing to remove."
        exit 0
    fi
    release=$(recorded_release)
    remove_installed
    say "Removed halvane ${release%% *} $whom:"
    say "  $bundle"
    say "  $program"
    say "  $manual"
    exit 0
fi

# Can this machine run the archive's binaries?
machine=$(uname -m)
if [ "$machine" != "$ARCH" ]; then
    case $machine in
        x86_64 | aarch64)
            die "this archive is for $ARCH processors, but this machine is $machine: download halvane-$VERSION-$machine-linux.tar.gz instead" ;;
        *)
            die "this archive is for $ARCH processors, but this machine is $machine; halvane is made for x86_64 and aarch64 Linux" ;;
    esac
fi
case $ARCH in
    x86_64) loader=/lib64/ld-linux-x86-64.so.2 ;;
    aarch64) loader=/lib/ld-linux-aarch64.so.1 ;;
    *) loader= ;;
esac
libc=$(getconf GNU_LIBC_VERSION 2>/dev/null || true)
case $libc in
    "glibc "*) ;;
    *) die "this system's C library is not glibc (musl-based systems such as Alpine are not supported): halvane needs glibc $GLIBC_NEEDED or newer" ;;
esac
[ -z "$loader" ] || [ -e "$loader" ] ||
    die "this system has no 64-bit $ARCH C library ($loader is missing): halvane needs a 64-bit system with glibc $GLIBC_NEEDED or newer"
have=${libc#glibc }
if ! printf '%s\n%s\n' "$GLIBC_NEEDED" "$have" |
    awk -F. 'NR == 1 { a = $1; b = $2 } NR == 2 { exit !($1 > a || ($1 == a && $2 >= b)) }'; then
    die "this system has glibc $have, but halvane needs glibc $GLIBC_NEEDED or newer (Debian 11, Ubuntu 20.04, Fedora 30 and later have it)"
fi

# Is the same, or a different, halvane in the way?
same_files() {  # same_files INSTALLED_FOLDER_OR_FILE ARCHIVE_FOLDER_OR_FILE
    if [ -d "$2" ]; then
        [ -d "$1" ] || return 1
        [ "$(cd "$1" && find . | sort)" = "$(cd "$2" && find . | sort)" ] || return 1
        for file in "$2"/*; do
            cmp -s "$file" "$1/${file##*/}" || return 1
        done
    else
        cmp -s "$1" "$2"
    fi
}

if [ -f "$record" ] && [ "$(recorded_release)" = "$VERSION $ARCH" ] &&
    same_files "$bundle" "$here/halvane.lv2" && same_files "$program" "$here/strandprobe" &&
    same_files "$manual" "$here/strandprobe.1"; then
    say "halvane $VERSION is installed $whom already, in $bundle; nothing to do."
    exit 0
fi
if [ -e "$bundle" ] || [ -e "$program" ]; then
    if [ -f "$record" ]; then
        found="halvane $(recorded_release), installed by its install.sh"
    else
        found="a halvane this script did not install"
    fi
    [ $force = 1 ] ||
        die "$found is in the way ($bundle or $program); replace it with ./install.sh --force$where_option"
    say "Replacing $found."
    [ ! -f "$record" ] || remove_installed
fi

# Creates FOLDER and its missing parents, noting each one created; the
# folders an earlier install created stay noted.
created=
if [ -f "$record" ]; then
    created=$(recorded_folders)
    [ -z "$created" ] || created="$created
"
fi
make_folder() {
    missing=
    folder=$1
    while [ ! -d "$folder" ]; do
        missing="$folder
$missing"
        folder=$(dirname "$folder")
    done
    mkdir -p "$1"
    created="$created$missing"
}

# Copies SOURCE beside TARGET, then renames it into place.
put() {  # put SOURCE TARGET MODE
    rm -rf "$2.new.$$"
    cp -R "$1" "$2.new.$$"
    chmod -R "$3" "$2.new.$$"
    if [ -d "$2" ]; then
        mv "$2" "$2.old.$$"
        mv "$2.new.$$" "$2"
        rm -rf "$2.old.$$"
    else
        mv -f "$2.new.$$" "$2"
    fi
}

for folder in "$lv2_dir" "$bin_dir" "$man_dir" "$data_dir"; do
    make_folder "$folder"
done
put "$here/halvane.lv2" "$bundle" u=rwX,go=rX
put "$here/strandprobe" "$program" 755
put "$here/strandprobe.1" "$manual" 644
{
    say "halvane $VERSION $ARCH"
    printf '%s' "$created" | sed -n 's/^./created &/p'
} >"$record"

say "Installed halvane $VERSION $whom:"
say "  $bundle (Halvane Mono and Halvane Stereo, with their editor window)"
say "  $program"
say "  $manual"
say "Hosts find the plug-ins when they next start; lv2ls lists them. To remove: ./install.sh --uninstall$where_option"

# Things the user may want to know, none of which stops the install.
if [ -n "${LV2_PATH:-}" ]; then
    case ":$LV2_PATH:" in
        *":$lv2_dir:"* | *":$lv2_dir/:"*) ;;
        *) say "Note: LV2_PATH is set and does not hold $lv2_dir, so hosts that follow it will not look there." ;;
    esac
fi
case ":$PATH:" in
    *":$bin_dir:"*) ;;
    *) say "Note: $bin_dir is not on your PATH yet; Debian and Ubuntu add it at your next login, or run $program." ;;
esac
for other in /usr/lib/lv2/halvane.lv2 /usr/local/lib/lv2/halvane.lv2 "${HOME:-/nonexistent}/.lv2/halvane.lv2"; do
    if [ "$other" != "$bundle" ] && [ -d "$other" ]; then
        say "Note: another halvane is installed in $other; hosts see both and load one of them."
    fi
done
gui_missing=
if [ -x /sbin/ldconfig ]; then
    for library in libX11.so.6 libcairo.so.2; do
        /sbin/ldconfig -p 2>/dev/null | grep -q "$library" || gui_missing="${gui_missing:+$gui_missing and }$library"
    done
fi
if [ -n "$gui_missing" ]; then
    say "Note: the editor window needs $gui_missing, which this system lacks (Debian and Ubuntu: libx11-6 and libcairo2); the plug-ins work without it."
fi

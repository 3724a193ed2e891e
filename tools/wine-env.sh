#!/bin/sh
# Runs a command inside a private Wine setup: a 64-bit Wine prefix below the given build folder
# (never ~/.wine) that runs 32-bit programs under WoW64 as 64-bit Windows does, a virtual X
# display of its own (Xvfb) and a Wine virtual desktop of 1000 x 740 pixels on it. Wine and
# Xvfb are stopped afterwards, also when the command fails. A Wine that cannot run 32-bit
# programs is named, and the command is not run.
#
# Usage: tools/wine-env.sh <build folder> <command> [arguments...]
#   With BR927_WINE_DISPLAY=host the command uses the caller's $DISPLAY instead of Xvfb
#   (the virtual desktop is set up all the same).
# The command sees WINEPREFIX, WINEARCH, WINEDEBUG=-all, DISPLAY and BR927_WINE (the wine
# loader, which runs 32-bit and 64-bit programs alike).
set -eu

[ $# -ge 2 ] || { echo "usage: $0 <build folder> <command> [arguments...]" >&2; exit 2; }
build=$(mkdir -p "$1" && cd "$1" && pwd)
shift

WINEPREFIX="$build/wine-prefix"
WINEARCH=win64
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer prompts in a fresh prefix
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES

# What runs here is the 32-bit release and its 32-bit tests. Names what keeps this machine
# from running them, and ends.
cannot_run_32bit() {
    echo "wine-env: this machine cannot run the 32-bit release under Wine: $1" >&2
    exit 1
}
# The 32-bit loader (Debian's wine32:i386) starts 32-bit programs itself and hands 64-bit ones
# to the 64-bit loader, which has no 32-bit Unix side of its own to run them with.
if [ -x /usr/lib/wine/wine ]; then
    BR927_WINE=/usr/lib/wine/wine
elif [ -e /usr/lib/wine/wine64 ]; then
    cannot_run_32bit "Wine's 32-bit part, Debian's wine32:i386, is missing (install it as root with
  dpkg --add-architecture i386 && apt-get update && apt-get install wine32:i386, or make deps-windows)"
else
    BR927_WINE=wine
fi
export BR927_WINE
version=$("$BR927_WINE" --version 2>&1) ||
    cannot_run_32bit "its loader $BR927_WINE does not start: $version
  (it needs the kernel's 32-bit support, IA32 emulation, and the i386 C library, libc6:i386)"

xvfb_pid=""
state=$(mktemp -d)

cleanup() {
    status=$?
    trap - EXIT INT TERM
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$state"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits up to $1 seconds for the command "$2..." to succeed.
wait_for() {
    limit=$1
    shift
    elapsed=0
    until "$@"; do
        [ "$elapsed" -lt $((limit * 10)) ] || return 1
        sleep 0.1
        elapsed=$((elapsed + 1))
    done
}

if [ "${BR927_WINE_DISPLAY:-}" = host ] && [ -n "${DISPLAY:-}" ]; then
    : # the caller's display
else
    # Xvfb picks a free display number itself and reports it on descriptor 3.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" >"$state/xvfb.log" 2>&1 &
    xvfb_pid=$!
    if ! wait_for 20 grep -qs '[0-9]' "$state/display"; then
        echo "wine-env: Xvfb did not start:" >&2
        cat "$state/xvfb.log" >&2
        exit 1
    fi
    DISPLAY=":$(tr -dc 0-9 <"$state/display")"
    export DISPLAY
fi

# A new prefix takes a while to create; it is kept in the build folder for the next run. A
# prefix made while Wine's 32-bit part was missing has no 32-bit system (syswow64), in which
# no 32-bit program starts: it is made anew.
stamp="$WINEPREFIX/.br927-ready"
if [ ! -f "$stamp" ] || [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "wine-env: creating the Wine prefix $WINEPREFIX" >&2
    rm -rf "$WINEPREFIX"
    "$BR927_WINE" wineboot -i </dev/null >"$state/wineboot.log" 2>&1 || { cat "$state/wineboot.log" >&2; exit 1; }
    wineserver -w
    "$BR927_WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$BR927_WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1000x740 /f >/dev/null 2>&1
    wineserver -w
    touch "$stamp"
fi

# Wine's own fonts (Debian's fonts-wine), Marlett among them, which draws the window's frame
# buttons: this Wine does not find them in its data folder, but does in the prefix's Fonts.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -d /usr/share/wine/fonts ] && [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts"
    cp /usr/share/wine/fonts/* "$fonts/"
fi

# One wineserver for the whole command, so that the programs it starts share it. Wine's
# background services start with the first program and outlive it; they are started here with
# their output away from the command's, so that a pipe reading the command's output ends. That
# first program is the 32-bit system's own command shell, which proves that 32-bit programs
# start in this prefix.
wineserver -p </dev/null >/dev/null 2>&1
"$BR927_WINE" 'C:\windows\syswow64\cmd.exe' /c exit </dev/null >"$state/cmd32.log" 2>&1 ||
    cannot_run_32bit "Wine's own 32-bit command shell does not start in $WINEPREFIX: $(cat "$state/cmd32.log")"
"$@"

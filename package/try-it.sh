#!/bin/bash
# Runs the built package under Wine in a visible window, as a player would,
# against a throwaway game install in a throwaway 32-bit prefix. Click
# through the dialog; afterwards the script says what landed in the game
# folder and whether anything was left in the temporary folder.
#
# Usage: package/try-it.sh [PACKAGE]     (default: the package ./build.sh made)
#   KEEP=1   keep the throwaway folder (prefix and game) afterwards
# Without DISPLAY it starts Xvfb and says how to look at it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh test    # Wine, Xvfb

built=$(sed -n 's/^PACKAGE=//p' build/win/package/package-inputs.txt 2>/dev/null || true)
package=$(realpath -m -- "${1:-${built:-dist/Duneveil-mapa-Am01.exe}}")
[ -f "$package" ] || { echo "no $package: run ./build.sh first" >&2; exit 1; }

work=$(mktemp -d -t duneveil-try.XXXXXX)
prefix=$work/prefix
xvfb_pid=
cleanup() {
    # The prefix's wineserver must be gone before its folder is removed.
    [ ! -d "$prefix" ] || wine_stop "$prefix" >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    if [ "${KEEP:-0}" = 1 ]; then echo "kept: $work"; else rm -rf -- "$work"; fi
}
trap cleanup EXIT

display=${DISPLAY:-}
if [ -z "$display" ]; then
    display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=$display
    echo "no DISPLAY: started Xvfb on $display; look with e.g."
    echo "  import -display $display -window root shot.png    (imagemagick)"
    echo "  x11vnc -display $display                           (x11vnc)"
    sleep 1
fi

# wine_make_prefix / wine_run / wine_stop, and run_visible: the package in
# the prefix, on $DISPLAY, without a time limit (a person is clicking).
# shellcheck source=/dev/null
. tools/wine-env.sh
# The test prefixes draw nothing (the tests need no X), so switch this one
# to X11 and give it our display back.
make_prefix() {
    wine_make_prefix "$1" &&
        wine_run "$1" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d x11 /f
}
run_visible() { (wine_env "$prefix" && export DISPLAY=$display && wine "$@"); }

echo "creating a throwaway Wine prefix in $prefix (minutes when emulated) ..."
make_prefix "$prefix" >"$work/boot.log" 2>&1 || {
    echo "cannot create the prefix:" >&2
    tail -n 20 "$work/boot.log" "$prefix.boot.log" 2>/dev/null >&2
    exit 1
}
drive_c=$prefix/drive_c

# The game: a folder with data1.dvp, found through the registry as the game
# itself would be.
game_win='C:\Hry\Duneveil'
game=$drive_c/Hry/Duneveil
mkdir -p "$game"
printf 'throwaway game data\r\n' >"$game/data1.dvp"
wine_run "$prefix" reg add 'HKLM\SOFTWARE\Morvane\Duneveil' /v Path /t REG_SZ /d "$game_win" /f \
    >/dev/null 2>&1 || { echo "cannot set the registry" >&2; exit 1; }

# Started from inside the prefix, as if downloaded there.
mkdir -p "$drive_c/Stazene"
cp -- "$package" "$drive_c/Stazene/"
package_win="C:\\Stazene\\${package##*/}"

echo "running $package_win; game folder $game_win (= $game)"
status=0
# Wine's own chatter goes to a log, shown only if something went wrong.
run_visible "$package_win" 2>"$work/wine.log" || status=$?
echo "package exited with $status"
[ "$status" = 0 ] || tail -n 20 "$work/wine.log"

echo "game folder now:"
(cd "$game" && find . -type f | sort | sed 's/^/  /')
map=build/win/package/Am01.dvp
if [ -f "$game/Disk2/Am01.dvp" ] && [ -f "$map" ]; then
    if cmp -s "$game/Disk2/Am01.dvp" "$map"; then echo "Disk2/Am01.dvp is the packed map"
    else echo "Disk2/Am01.dvp differs from $map"; fi
fi
# NSIS unpacks into %TEMP%\nsXXXX.tmp and should remove it on exit.
left=$(find "$drive_c/users" -ipath '*/temp/*' -name 'ns*.tmp' -printf '  %p\n' 2>/dev/null || true)
if [ -n "$left" ]; then printf 'left behind in %%TEMP%%:\n%s\n' "$left"
else echo "nothing left behind in %TEMP%"; fi

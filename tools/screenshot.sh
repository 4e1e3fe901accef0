#!/bin/bash
# Screenshot of the installer's dialog, for the docs: runs the program under
# the team's (emulated) 32-bit Wine on a private Xvfb and crops the screen to
# the dialog. tools/setup.sh installs what it needs; the rest is throwaway.
#
# Usage: tools/screenshot.sh [EXE] [PNG]   (default: dist/instalator.exe docs/screenshot.png)
set -euo pipefail
cd "$(dirname "$0")/.."

exe=$(realpath -- "${1:-dist/instalator.exe}")
out=$(realpath -m -- "${2:-docs/screenshot.png}")
title='Duneveil - instalace nové mapy'
wait_secs=${SCREENSHOT_TIMEOUT:-300}   # emulated Wine starts in minutes, not seconds
die() { echo "screenshot: $*" >&2; exit 1; }
[ -f "$exe" ] || die "no $exe: run ./build.sh first"

tools/setup.sh test || die "cannot set up what the screenshot needs"
# shellcheck source=/dev/null
. tools/wine-env.sh || die "tools/wine-env.sh failed"

work=$(mktemp -d -t duneveil-shot.XXXXXX)
prefix=$work/prefix
xvfb_pid='' app_pid=''
cleanup() {
    # wineserver first: the prefix folder must outlive it.
    [ ! -d "$prefix" ] || wine_stop "$prefix" >/dev/null 2>&1 || true
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf -- "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

start=$SECONDS
echo "creating a throwaway prefix (minutes when emulated) ..." >&2
wine_make_prefix "$prefix" >"$work/boot.log" 2>&1 ||
    { tail -n 20 "$work/boot.log" "$prefix.boot.log" >&2 2>/dev/null; die "cannot create the prefix"; }

# One reg import (one emulated Wine start): X11 instead of the null driver,
# unmanaged windows (no window manager on Xvfb), and the game's Path value.
mkdir -p "$prefix/drive_c/Hry/Duneveil" "$work/cwd"
printf 'throwaway game data\r\n' >"$prefix/drive_c/Hry/Duneveil/data1.dvp"
printf 'throwaway map\r\n' >"$work/cwd/Am01.dvp"   # the program looks in its current directory
cat >"$work/shot.reg" <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Drivers]
"Graphics"="x11"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_LOCAL_MACHINE\SOFTWARE\Morvane\Duneveil]
"Path"="C:\\Hry\\Duneveil"
EOF
WINE_RUN_TIMEOUT=300 wine_run "$prefix" reg import "Z:${work//\//\\}\\shot.reg" >"$work/reg.log" 2>&1 ||
    { cat "$work/reg.log" >&2; die "cannot write the registry"; }
wine_stop "$prefix"   # no desktop process left over from the display-less run

# -displayfd: Xvfb picks a free display itself and tells us its number.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.2; done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; die "Xvfb did not start"; }
display=:$(head -1 "$work/display")

export DISPLAY=$display   # for xdotool and import
echo "running ${exe##*/} on $display ..." >&2
(wine_env "$prefix" && export DISPLAY=$display && cd "$work/cwd" &&
    exec timeout -k 10 $((wait_secs + 120)) wine "$exe") >"$work/wine.log" 2>&1 &
app_pid=$!

# The dialog is a popup without a caption bar: its X window is the whole dialog.
win=
deadline=$((SECONDS + wait_secs))
while [ -z "$win" ]; do
    kill -0 "$app_pid" 2>/dev/null || { tail -n 20 "$work/wine.log" >&2; die "the program exited before its window appeared"; }
    [ $SECONDS -lt $deadline ] || { tail -n 20 "$work/wine.log" >&2; die "no window \"$title\" after ${wait_secs}s"; }
    sleep 2
    win=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1) || true
done
sleep 5   # emulated painting of the picture and buttons lags behind the map

eval "$(xdotool getwindowgeometry --shell "$win")"   # X Y WIDTH HEIGHT
mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out" || die "capture failed"
echo "wrote $out (${WIDTH}x${HEIGHT}) in $((SECONDS - start))s" >&2

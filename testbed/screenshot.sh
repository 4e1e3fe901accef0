#!/bin/bash
# Screenshot of the installer's dialog, for the docs: runs the program under
# the team's (emulated) 32-bit Wine on a private Xvfb and crops the screen to
# the dialog. testbed/setup.sh installs what it needs; the rest is throwaway.
#
# Usage: testbed/screenshot.sh [--dpi N] [EXE] [PNG]
#   EXE, PNG   default: the program ./build.sh made, docs/screenshot.png
#   --dpi N    the screen's dots per inch as Windows sets them (96, the
#              default; 120 is Windows's 125 %)
set -euo pipefail
cd "$(dirname "$0")/.."

dpi=96
if [ "${1:-}" = --dpi ]; then
    dpi=${2:-}
    shift 2 || true
fi
[[ $dpi =~ ^[1-9][0-9]{1,2}$ ]] || { sed -n '6,9p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
out=$(realpath -m -- "${2:-docs/screenshot.png}")
title='Duneveil - instalace nové mapy'
wait_secs=${SCREENSHOT_TIMEOUT:-300}   # emulated Wine starts in minutes, not seconds
die() { echo "screenshot: $*" >&2; exit 1; }

testbed/setup.sh test || die "cannot set up what the screenshot needs"
# shellcheck source=testbed/wine-game.sh
. testbed/wine-game.sh || die "testbed/wine-game.sh failed"
exe=$(built program "${1:-}")
start=$SECONDS
unset DISPLAY   # an Xvfb of our own: the same picture whatever display this shell has
GAME_DPI=$dpi wine_game duneveil-shot || die "no throwaway game"
mkdir "$GAME_WORK/cwd"
printf 'throwaway map\r\n' >"$GAME_WORK/cwd/$MAP_FILE"   # the program looks in its current directory

echo "running ${exe##*/} on $DISPLAY ..." >&2
(cd "$GAME_WORK/cwd" && wine_game_run timeout -k 10 $((wait_secs + 120)) wine "$exe") >"$GAME_WORK/wine.log" 2>&1 &
app_pid=$!

# The dialog is a popup without a caption bar: its X window is the whole dialog.
win=
deadline=$((SECONDS + wait_secs))
while [ -z "$win" ]; do
    kill -0 "$app_pid" 2>/dev/null || { tail -n 20 "$GAME_WORK/wine.log" >&2; die "the program exited before its window appeared"; }
    [ $SECONDS -lt $deadline ] || { tail -n 20 "$GAME_WORK/wine.log" >&2; die "no window \"$title\" after ${wait_secs}s"; }
    sleep 2
    win=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1) || true
done
sleep 5   # emulated painting of the picture and buttons lags behind the map

eval "$(xdotool getwindowgeometry --shell "$win")"   # X Y WIDTH HEIGHT
mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out" || die "capture failed"
echo "wrote $out (${WIDTH}x${HEIGHT} at $dpi DPI) in $((SECONDS - start))s" >&2

#!/bin/bash
# Runs the built package under Wine in a visible window, as a player would,
# against a throwaway game install in a throwaway 32-bit prefix. Click
# through the dialog; afterwards the script says what landed in the game
# folder and whether the package left its work folder behind.
#
# Usage: package/try-it.sh [PACKAGE]     (default: the package ./build.sh made)
#   KEEP=1   keep the throwaway folder (prefix and game) afterwards
# Without DISPLAY it starts Xvfb and says how to look at it. It ends when
# the package does; Ctrl-C ends both.
set -euo pipefail
cd "$(dirname "$0")/.."
testbed/setup.sh test    # Wine, Xvfb
# shellcheck source=testbed/wine-game.sh
. testbed/wine-game.sh
package=$(built package "${1:-}")

wine_game duneveil-try
if [ -n "$GAME_XVFB" ]; then
    echo "no DISPLAY: started Xvfb on $DISPLAY; look with e.g."
    echo "  import -display $DISPLAY -window root shot.png    (imagemagick)"
    echo "  x11vnc -display $DISPLAY                           (x11vnc)"
fi

# Started from inside the prefix, as if downloaded there.
drive_c=$GAME_PREFIX/drive_c
mkdir -p "$drive_c/Stazene"
cp -- "$package" "$drive_c/Stazene/"
package_win="C:\\Stazene\\${package##*/}"

echo "running $package_win; game folder $GAME_DIR_WIN (= $GAME_DIR)"
status=0
# Without a time limit: a person is clicking. Wine's own chatter goes to a
# log, shown only if something went wrong.
wine_game_run wine "$package_win" 2>"$GAME_WORK/wine.log" || status=$?
echo "package exited with $status"
[ "$status" = 0 ] || tail -n 20 "$GAME_WORK/wine.log"

echo "game folder now:"
(cd "$GAME_DIR" && find . -type f | sort | sed 's/^/  /')
installed=$GAME_DIR/$MAP_FOLDER/$MAP_FILE map=build/win/package/$MAP_FILE
if [ -f "$installed" ] && [ -f "$map" ]; then
    if cmp -s "$installed" "$map"; then echo "$MAP_FOLDER/$MAP_FILE is the packed map"
    else echo "$MAP_FOLDER/$MAP_FILE differs from $map"; fi
fi
# The package unpacks into Program Files\Duneveil-mapa[-N].tmp (N up to
# NAME_TRIES of package/installer.nsi), after a claim file that GetTempFileName
# names ns?????.tmp there, and should remove both; nothing of it goes to TEMP.
left=$(find "$drive_c"/Program\ Files* "$drive_c/users" -maxdepth 3 \
    \( -name 'Duneveil-mapa.tmp' -o -name 'Duneveil-mapa-*.tmp' -o -name 'ns?????.tmp' \) -printf '  %p\n' \
    2>/dev/null || true)
if [ -n "$left" ]; then printf 'left behind:\n%s\n' "$left"
else echo "nothing left behind in Program Files or %TEMP%"; fi

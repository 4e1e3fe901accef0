#!/bin/bash
# A throwaway game in a throwaway Wine prefix that draws on X, for the
# screenshot and try-it. Sourcing this file sources wine-env.sh and defines:
#
#   wine_game NAME       a work folder /tmp/NAME.XXXXXX ($GAME_WORK) with a new
#                        prefix ($GAME_PREFIX), in it the game's folder ($GAME_DIR,
#                        $GAME_DIR_WIN) with its data file and map folder, the
#                        registry value naming it, and $DISPLAY: an Xvfb of its
#                        own ($GAME_XVFB=1) when none is set. All of it goes when
#                        the shell exits or is interrupted; KEEP=1 keeps the
#                        work folder, GAME_DPI=N sets the screen's dots per
#                        inch (Windows's LogPixels; Wine's default is 96).
#   wine_game_run CMD..  runs CMD (wine PROGRAM, say) in that prefix on $DISPLAY
#
# and the names the program takes from install/game_files.h: $GAME_KEY,
# $GAME_PATH_VALUE, $GAME_DATA_FILE, $MAP_FOLDER, $MAP_FILE.

_wine_game_dir=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=testbed/wine-env.sh
. "$_wine_game_dir/wine-env.sh" || return 1

# cpp expands each name as the compiler does; sed joins the literals and
# undoes their escapes.
for _name in GAME_KEY GAME_PATH_VALUE GAME_DATA_FILE MAP_FOLDER MAP_FILE; do
    printf -v "$_name" %s "$({ cat "$_wine_game_dir/../install/game_files.h" && echo "$_name"; } | cpp -P |
        sed -n '/^"/{s/" *"//g; s/^"\(.*\)"$/\1/; s/\\\(.\)/\1/g; p}')"
    [ -n "${!_name}" ] || { echo "wine-game: cannot read $_name from install/game_files.h" >&2; return 1; }
done

_wine_game_cleanup() {
    # The wineserver first: the prefix folder must outlive it. Then Xvfb
    # and whatever else the script left running.
    [ ! -d "$GAME_PREFIX" ] || wine_stop "$GAME_PREFIX" >/dev/null 2>&1 || true
    jobs -p | xargs -r kill 2>/dev/null || true
    wait 2>/dev/null || true
    if [ "${KEEP:-0}" = 1 ]; then echo "kept: $GAME_WORK" >&2; else rm -rf -- "$GAME_WORK"; fi
}

wine_game() {
    local fail="wine-game: cannot"
    GAME_WORK=$(mktemp -d -t "${1:?name}.XXXXXX") || return 1
    GAME_PREFIX=$GAME_WORK/prefix GAME_DIR_WIN='C:\Hry\Duneveil' GAME_XVFB=
    GAME_DIR=$GAME_PREFIX/drive_c/Hry/Duneveil
    [ -n "${DISPLAY:-}" ] || GAME_XVFB=1
    trap _wine_game_cleanup EXIT
    trap 'exit 1' INT TERM HUP
    echo "creating a throwaway Wine prefix in $GAME_PREFIX (minutes when emulated) ..." >&2
    wine_make_prefix "$GAME_PREFIX" >"$GAME_WORK/boot.log" 2>&1 || {
        tail -n 20 "$GAME_WORK/boot.log" "$GAME_PREFIX.boot.log" >&2 2>/dev/null
        echo "$fail create the prefix" >&2; return 1
    }
    mkdir -p "$GAME_DIR/$MAP_FOLDER" && printf 'throwaway game data\r\n' >"$GAME_DIR/$GAME_DATA_FILE" || return 1
    # One Wine start: X11 instead of the tests' null driver; unmanaged windows
    # on our Xvfb, which has no window manager; the DPI if asked; the game's value.
    {
        printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="x11"\n\n'
        [ -z "$GAME_XVFB" ] || printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n\n'
        [ -z "${GAME_DPI:-}" ] || printf '[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:%08x\n\n' "$GAME_DPI"
        printf '[HKEY_LOCAL_MACHINE\\%s]\n"%s"="%s"\n' "$GAME_KEY" "$GAME_PATH_VALUE" "${GAME_DIR_WIN//\\/\\\\}"
    } >"$GAME_WORK/game.reg"
    WINE_RUN_TIMEOUT=300 wine_run "$GAME_PREFIX" reg import "Z:${GAME_WORK//\//\\}\\game.reg" >"$GAME_WORK/reg.log" 2>&1 ||
        { cat "$GAME_WORK/reg.log" >&2; echo "$fail write the registry" >&2; return 1; }
    wine_stop "$GAME_PREFIX" 2>/dev/null   # no desktop process of the display-less run left over
    [ -n "$GAME_XVFB" ] || return 0
    # -displayfd: Xvfb picks a free display itself and tells us its number.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$GAME_WORK/display" 2>"$GAME_WORK/xvfb.log" &
    for _ in $(seq 50); do [ -s "$GAME_WORK/display" ] && break; sleep 0.2; done
    [ -s "$GAME_WORK/display" ] || { cat "$GAME_WORK/xvfb.log" >&2; echo "$fail start Xvfb" >&2; return 1; }
    DISPLAY=:$(head -1 "$GAME_WORK/display") && export DISPLAY
}

# wine_env clears DISPLAY, for the tests' display-less runs.
wine_game_run() { (display=$DISPLAY && wine_env "$GAME_PREFIX" && export DISPLAY=$display && exec "$@"); }

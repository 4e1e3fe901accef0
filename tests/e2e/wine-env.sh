#!/bin/bash
# Wine for the end-to-end tests, the benchmarks and the screenshot: 32-bit
# Windows programs in throwaway prefixes. tools/setup.sh installs and sets up
# all this needs; sourcing this file only checks that it is there (one line
# naming what is missing, and a non-zero status) and defines:
#
#   wine_make_prefix DIR        new 32-bit prefix (null graphics driver), then stopped
#   wine_clone_prefix SRC DST   copy a stopped template prefix
#   wine_run DIR PROGRAM [ARG]  run a program in the prefix, with a timeout
#   wine_stop DIR               stop the prefix's wineserver and its processes
#   wine_env DIR                export the variables for DIR into this shell
#
# Where the kernel cannot run i386 programs, the i386 Wine loader runs under
# qemu user-mode emulation and a preloaded library (qemu-wine-fix.c) mends
# what qemu 7.2 gets wrong for Wine; the set-up's probe decided which
# ($WINE_ENV_DIR/mode).

WINE_ENV_DIR=${WINE_ENV_DIR:-/opt/wine-e2e}
WINE_RUN_TIMEOUT=${WINE_RUN_TIMEOUT:-600}
WINE_BOOT_TIMEOUT=${WINE_BOOT_TIMEOUT:-900}

_wine_env_log() { echo "wine-env: $*" >&2; }

# One line for the first thing missing, with the command that provides it.
wine_env_check() {
    local fix="run: sudo tools/setup.sh test" mode
    mode=$(cat "$WINE_ENV_DIR/mode" 2>/dev/null) ||
        { _wine_env_log "missing: the Wine set-up ($WINE_ENV_DIR/mode); $fix"; return 1; }
    local probe=0
    "$WINE_ENV_DIR/i386-probe" 2>/dev/null || probe=$?
    case $mode/$probe in
    native/0 | emulated/10) ;;
    emulated/*) _wine_env_log "missing: the binfmt_misc entry that runs i386 programs under qemu (gone at reboot); $fix"; return 1 ;;
    *) _wine_env_log "missing: the set-up for how this kernel runs i386 programs now; $fix"; return 1 ;;
    esac
    if [ "$mode" = emulated ]; then
        [ -f "$WINE_ENV_DIR/lib/i386-linux-gnu/qemu-wine-fix.so" ] ||
            { _wine_env_log "missing: the qemu compatibility library; $fix"; return 1; }
    fi
    [ -x /usr/lib/wine/wine ] || { _wine_env_log "missing: Debian package wine32:i386; $fix"; return 1; }
    [ -f "$WINE_ENV_DIR/locale/cs_CZ.UTF-8/LC_CTYPE" ] ||
        { _wine_env_log "missing: the cs_CZ.UTF-8 locale in $WINE_ENV_DIR/locale; $fix"; return 1; }
}

wine_env() {
    local prefix=${1:?prefix directory}
    export WINEPREFIX=$(realpath -m "$prefix")
    export WINEARCH=win32
    export WINEDEBUG=${WINE_E2E_DEBUG:--all}
    # No Mono/Gecko prompts; no menu/desktop entries for the build user.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LOCPATH=$WINE_ENV_DIR/locale
    export LC_ALL=cs_CZ.UTF-8
    if [ "$(cat "$WINE_ENV_DIR/mode" 2>/dev/null)" = emulated ]; then
        # $LIB is expanded by ld.so: the i386 library for Wine, an empty one
        # for the 64-bit wineserver and tools.
        export LD_PRELOAD="$WINE_ENV_DIR/\$LIB/qemu-wine-fix.so"
    fi
    unset DISPLAY WAYLAND_DISPLAY
}

wine_make_prefix() {
    local prefix=${1:?prefix directory}
    (
        wine_env "$prefix"
        [ -f "$WINEPREFIX/system.reg" ] && { _wine_env_log "$WINEPREFIX exists already"; exit 1; }
        mkdir -p "$WINEPREFIX" || exit 1
        # Graphics=null in HKCU before the first boot, so explorer never tries X11.
        printf '%s\n' 'WINE REGISTRY Version 2' ';; All keys relative to \\User\\S-1-5-21-0-0-0-1000' '' \
            '#arch=win32' '' '[Software\\Wine\\Drivers] 1700000000' '"Graphics"="null"' > "$WINEPREFIX/user.reg"
        timeout "$WINE_BOOT_TIMEOUT" wine wineboot --init >"$WINEPREFIX.boot.log" 2>&1
        timeout 120 wineserver -w   # until the services exit and everything is written
        wineserver -k 2>/dev/null
        _wine_env_drop_sockets
        grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" &&
            [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] ||
            { _wine_env_log "prefix not complete, see $WINEPREFIX.boot.log"; exit 1; }
        rm -f "$WINEPREFIX.boot.log"
    )
}

wine_clone_prefix() {
    local src=${1:?template} dst=${2:?destination}
    rm -rf "$dst" && cp -a "$src" "$dst" && rm -f "$dst/wineserver"
}

wine_run() {
    local prefix=${1:?prefix directory}; shift
    (
        wine_env "$prefix"
        exec timeout -k 10 "$WINE_RUN_TIMEOUT" wine "$@"
    )
}

wine_stop() {
    local prefix=${1:?prefix directory}
    (
        wine_env "$prefix"
        wineserver -k 2>/dev/null
        timeout 30 wineserver -w 2>/dev/null
        _wine_env_drop_sockets
    )
}

# Debian's Wine names its private socket folder (/tmp/wine-XXXXXX, mode 700)
# in $WINEPREFIX/wineserver. Once the server is gone: remove the folder, which
# stays behind otherwise, and the name, which a copy of the prefix must not
# inherit (least of all another user's).
_wine_env_drop_sockets() {
    local sockets
    sockets=$(cat "$WINEPREFIX/wineserver" 2>/dev/null) &&
        [[ $sockets == wine-?????? ]] && [ -O "/tmp/$sockets" ] && rm -rf "/tmp/$sockets"
    rm -f "$WINEPREFIX/wineserver"
}


wine_env_check || { [ "${BASH_SOURCE[0]}" = "$0" ] && exit 1; return 1; }

#!/bin/bash
# Wine for the end-to-end tests, the benchmarks, the screenshot and try-it:
# 32-bit Windows programs in throwaway prefixes. testbed/setup.sh installs and
# sets up all this needs; sourcing this file only checks that it is there (one
# line naming what is missing, and a non-zero status) and defines:
#
#   wine_make_prefix DIR [ARCH] new prefix (null graphics driver, Wine's own
#                               fonts), then stopped; ARCH win32 (default) is
#                               32-bit Windows, win64 is 64-bit Windows
#   wine_template DIR [ARCH]    a template prefix (as wine_make_prefix) at DIR,
#                               made once and reused while Wine, its fonts and
#                               this file stay as they were
#   wine_clone_prefix SRC DST   copy a stopped template prefix
#   wine_run DIR PROGRAM [ARG]  run a program in the prefix, with a timeout
#   wine_stop DIR               stop the prefix's wineserver and its processes
#   wine_env DIR                export the variables for DIR into this shell
#   built NAME [FILE]           FILE, or NAME of build/win/built-files.sh, absolute;
#                               if none, one line and exit 1 (run from the top)
#
# WINE_LOCALE (default cs_CZ.UTF-8, ANSI code page 1250) picks the locale that
# Windows programs see; en_US.UTF-8 gives code page 1252.
#
# Where the kernel cannot run i386 programs, the i386 Wine loader runs under
# qemu user-mode emulation and a preloaded library (qemu-wine-fix.c) mends
# what qemu 7.2 gets wrong for Wine; the set-up's probe decided which
# ($WINE_ENV_DIR/mode).

WINE_ENV_DIR=${WINE_ENV_DIR:-/opt/wine-e2e}
WINE_RUN_TIMEOUT=${WINE_RUN_TIMEOUT:-600}
WINE_BOOT_TIMEOUT=${WINE_BOOT_TIMEOUT:-900}
WINE_LOCALE=${WINE_LOCALE:-cs_CZ.UTF-8}
# Debian's fonts-wine: without them every face, "MS Sans Serif" included,
# falls back to a Linux font with other metrics, and dialogs come out larger
# than Windows draws them.
WINE_FONTS=/usr/share/wine/fonts

_wine_env_log() { echo "wine-env: $*" >&2; }

_wine_env_missing() { _wine_env_log "missing: $1; run: sudo testbed/setup.sh test"; return 1; }

# One line for the first thing missing, with the command that provides it.
wine_env_check() {
    local mode probe=0 need
    mode=$(cat "$WINE_ENV_DIR/mode" 2>/dev/null) || { _wine_env_missing "the Wine set-up ($WINE_ENV_DIR/mode)"; return; }
    "$WINE_ENV_DIR/i386-probe" 2>/dev/null || probe=$?
    case $mode/$probe in
    native/0 | emulated/10) ;;
    emulated/*) _wine_env_missing "the binfmt_misc entry that runs i386 programs under qemu (gone at reboot)"; return ;;
    *) _wine_env_missing "the set-up for how this kernel runs i386 programs now"; return ;;
    esac
    # file | what provides it
    local needs=("/usr/lib/wine/wine|Debian package wine32:i386" "/usr/lib/wine/wine64|Debian package wine64"
        "$WINE_FONTS/sserife.fon|Debian package fonts-wine"
        "$WINE_ENV_DIR/locale/$WINE_LOCALE/LC_CTYPE|the $WINE_LOCALE locale in $WINE_ENV_DIR/locale")
    [ "$mode" = native ] || needs+=("$WINE_ENV_DIR/lib/i386-linux-gnu/qemu-wine-fix.so|the qemu compatibility library")
    for need in "${needs[@]}"; do
        [ -f "${need%%|*}" ] || { _wine_env_missing "${need#*|}"; return; }
    done
}

wine_env() {
    local prefix=${1:?prefix directory}
    export WINEPREFIX=$(realpath -m "$prefix")
    # As the prefix was made; a new one is 32-bit unless wine_make_prefix says.
    WINEARCH=$(sed -n '1,5s/^#arch=//p' "$WINEPREFIX/system.reg" 2>/dev/null)
    export WINEARCH=${WINEARCH:-win32}
    export WINEDEBUG=${WINE_E2E_DEBUG:--all}
    # No Mono/Gecko prompts; no menu/desktop entries for the build user.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LOCPATH=$WINE_ENV_DIR/locale
    export LC_ALL=$WINE_LOCALE
    if [ "$(cat "$WINE_ENV_DIR/mode" 2>/dev/null)" = emulated ]; then
        # $LIB is expanded by ld.so: the i386 library for Wine, an empty one
        # for the 64-bit wineserver and tools.
        export LD_PRELOAD="$WINE_ENV_DIR/\$LIB/qemu-wine-fix.so"
    fi
    unset DISPLAY WAYLAND_DISPLAY
}

wine_make_prefix() {
    local prefix=${1:?prefix directory} arch=${2:-win32}
    (
        wine_env "$prefix"
        export WINEARCH=$arch
        [ -f "$WINEPREFIX/system.reg" ] && { _wine_env_log "$WINEPREFIX exists already"; exit 1; }
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" || exit 1
        # Before the first boot, which registers them with the prefix's fonts.
        cp "$WINE_FONTS"/* "$WINEPREFIX/drive_c/windows/Fonts/" || exit 1
        # Graphics=null in HKCU before the first boot, so explorer never tries X11.
        printf '%s\n' 'WINE REGISTRY Version 2' ';; All keys relative to \\User\\S-1-5-21-0-0-0-1000' '' \
            "#arch=$arch" '' '[Software\\Wine\\Drivers] 1700000000' '"Graphics"="null"' > "$WINEPREFIX/user.reg"
        timeout "$WINE_BOOT_TIMEOUT" wine wineboot --init >"$WINEPREFIX.boot.log" 2>&1
        timeout 120 wineserver -w   # until the services exit and everything is written
        wine_stop "$WINEPREFIX"
        grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" &&
            [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] ||
            { _wine_env_log "prefix not complete, see $WINEPREFIX.boot.log"; exit 1; }
        rm -f "$WINEPREFIX.boot.log"
    )
}

# What a template was made with; another answer remakes it.
_WINE_ENV_FILE=$(realpath "${BASH_SOURCE[0]}")
_wine_env_stamp() {
    echo "arch $1"
    sha256sum <"$_WINE_ENV_FILE"
    dpkg-query -W -f '${Package}:${Architecture} ${Version}\n' wine32:i386 wine64 fonts-wine 2>/dev/null
}

# Made under DIR.new and renamed into place with its stamp (the old one
# renamed away first), so a template cut short is never taken; DIR.lock keeps
# two makers (and copies, see wine_clone_prefix) apart.
wine_template() {
    local dir=${1:?template directory} arch=${2:-win32} stamp
    dir=$(realpath -m "$dir") && mkdir -p "${dir%/*}" || return
    stamp=$(_wine_env_stamp "$arch")
    # Current: no wait behind the copies that groups are taking of it.
    [ "$(cat "$dir/template.stamp" 2>/dev/null)" != "$stamp" ] || return 0
    (
        flock 9 || exit
        [ "$(cat "$dir/template.stamp" 2>/dev/null)" = "$stamp" ] && exit
        _wine_env_log "making the $arch template prefix $dir (kept for later runs)"
        rm -rf "$dir.new" "$dir.old"
        # Wine's processes must not inherit, and hold, the lock.
        wine_make_prefix "$dir.new" "$arch" 9>&- || exit
        printf '%s\n' "$stamp" >"$dir.new/template.stamp"
        { [ ! -e "$dir" ] || mv "$dir" "$dir.old"; } && mv "$dir.new" "$dir" && rm -rf "$dir.old"
    ) 9>"$dir.lock"
}

wine_clone_prefix() {
    local src=${1:?template} dst=${2:?destination} lock=(); src=${src%/}
    # A template of wine_template's: not while it is being remade.
    [ ! -f "$src.lock" ] || lock=(flock -s "$src.lock")
    rm -rf "$dst" && "${lock[@]}" cp -a "$src" "$dst" && rm -f "$dst/wineserver" "$dst/template.stamp"
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

# Meant for VAR=$(built ...) under set -e: the exit ends the caller too.
built() {
    local file=${2:-}
    [ -n "$file" ] || [ ! -f build/win/built-files.sh ] || file=$(. build/win/built-files.sh && echo "${!1:-}")
    [ -f "$file" ] || { echo "no ${file:-$1}: run ./build.sh first" >&2; exit 1; }
    realpath -- "$file"
}

wine_env_check || { [ "${BASH_SOURCE[0]}" = "$0" ] && exit 1; return 1; }

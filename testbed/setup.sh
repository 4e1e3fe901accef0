#!/bin/bash
# Installs and sets up everything the build and the tests need: the one
# place that changes the machine, saying each change before making it
# (README.md and docs/setup.md list them). Quick when everything is there already.
#
#   testbed/setup.sh build   Debian packages for the Windows program and the package
#   testbed/setup.sh test    all of build, plus the tests', Wine's and the screenshot's
#
# For tests of this script: SETUP_PROBE=native|emulated|none takes that as
# the probe's answer, SETUP_LOADER_BASE=0xADDRESS where Wine's i386 loader
# lands; SETUP_DRY_RUN=1 says the changes instead of making them (the locales
# and the mode file under $WINE_ENV_DIR are still made); BINFMT_DIR names
# another binfmt_misc folder; SETUP_APT_GET runs another apt-get (a fake),
# SETUP_APT_RETRY_DELAY its seconds between updates, SETUP_OS_RELEASE names
# another os-release, SETUP_SUDO another sudo.
#
# What ./build.sh may make it say comes from author/messages.tsv, in the map
# author's language; what only ./test.sh makes it say stays English.
set -euo pipefail
cd "$(dirname "$0")/.."
source author/messages.sh

WINE_ENV_DIR=${WINE_ENV_DIR:-/opt/wine-e2e}
BINFMT_DIR=${BINFMT_DIR:-/proc/sys/fs/binfmt_misc}
E2E_USER=e2e-player

build_pkgs=(cmake make g++-mingw-w64-i686 nsis python3 python3-pil fonts-dejavu-core fonts-dejavu-extra)
sign_pkgs=(osslsigncode openssl)
test_pkgs=(g++ gcc libgtest-dev python3 python3-pefile p7zip-full clang
    libclang-rt-dev git locales fonts-wine xvfb imagemagick xdotool "${sign_pkgs[@]}")
wine_pkgs=(wine wine32:i386 wine64)
emulation_pkgs=(qemu-user-static libc6-dev-i386)

say() { echo "setup: $*" >&2; }
die() { say "$*"; exit 1; }
# The same from the messages table.
tell() { msg "$@" >&2; }
fail() { tell "$@"; exit 1; }

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=${SETUP_SUDO:-sudo}

# Makes a machine-wide change, or only says it in a dry run.
change() {
    if [ "${SETUP_DRY_RUN:-}" = 1 ]; then
        say "would run: $*"
    else
        $SUDO "$@"
    fi
}

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null | grep -qx installed || echo "$p"
    done
}

# Waits for another apt-get rather than fail on its lock.
apt_get() { change "${SETUP_APT_GET:-apt-get}" -o DPkg::Lock::Timeout=600 "$@"; }

# A mirror in the middle of a sync serves some lists with the wrong size for
# a while. Retried; a list that still fails is named, and every install of
# this run then takes the release's own suite: without (say) the security
# suite's i386 list, a library of that suite could not get its i386 twin of
# the same version, and apt could not resolve them. Once a run, and again
# after an architecture is added.
APT_UPDATED= APT_RELEASE=
apt_update() {
    local try out failed=
    APT_UPDATED=1 APT_RELEASE=
    for try in 1 2 3; do
        out=$(apt_get update -qq 2>&1) && return 0
        failed=$({ grep -o 'Failed to fetch [^ ]*' <<<"$out" || true; } | sed 's/Failed to fetch //' | sort -u | tr '\n' ' ')
        [ "$try" = 3 ] || sleep "${SETUP_APT_RETRY_DELAY:-5}"
    done
    failed=${failed% }
    tell setup_update_failed lists="${failed:-$(tail -1 <<<"$out")}"
    APT_RELEASE=$(release_codename)
    [ -z "$APT_RELEASE" ] || tell setup_from_release release="$APT_RELEASE"
}

release_codename() { (. "${SETUP_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}"); }

# From the release's own suite alone. A library of its security suite that is
# installed already (libssl3, say, with cmake) then has no i386 twin of its
# version: apt names each twin it cannot install, and the installed half is
# taken back to the release's version, as few as that takes.
install_from_release() {
    local codename=$1 extra=() add name round out
    shift
    for round in 1 2 3 4 5 6 7 8; do
        out=$(apt_get -t "$codename" install -s -q --no-install-recommends --allow-downgrades "$@" "${extra[@]}" 2>&1) &&
            break
        add=()
        for name in $(grep -oE 'Depends: [^ ]+:i386 .*but it is not (installable|going to be installed)' <<<"$out" |
            awk '{print $2}' | sed 's/:i386$//' | sort -u); do
            dpkg-query -W "$name:amd64" >/dev/null 2>&1 || continue
            [[ " ${extra[*]} " == *" $name:amd64/$codename "* ]] || add+=("$name:amd64/$codename")
        done
        [ ${#add[@]} -gt 0 ] || return 1
        extra+=("${add[@]}")
    done
    [ ${#extra[@]} -eq 0 ] || tell setup_taking_back release="$codename" pkgs="${extra[*]%%:*}"
    apt_get -t "$codename" install -y -qq --no-install-recommends --allow-downgrades "$@" "${extra[@]}" >/dev/null
}

install_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    # Without root or sudo, apt-get cannot run: say so, rather than fail in it.
    [ -z "$SUDO" ] || command -v "$SUDO" >/dev/null || fail setup_no_rights pkgs="${missing[*]}"
    tell setup_installing pkgs="${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    [ -n "$APT_UPDATED" ] || apt_update
    if [ -n "$APT_RELEASE" ]; then
        install_from_release "$APT_RELEASE" "${missing[@]}" ||
            fail setup_cannot_install_release pkgs="${missing[*]}" release="$APT_RELEASE"
    else
        apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
            fail setup_cannot_install pkgs="${missing[*]}"
    fi
}

# native: the kernel runs i386 programs; emulated: binfmt_misc already routes
# them to an emulator; none: they do not run. The probe stays in
# $WINE_ENV_DIR for the tests' own check that i386 programs still run.
probe_i386() {
    local rc=0
    $SUDO gcc -m32 -nostdlib -static -o "$WINE_ENV_DIR/i386-probe" testbed/i386-probe.S ||
        die "cannot build the i386 probe"
    if [ -n "${SETUP_PROBE:-}" ]; then echo "$SETUP_PROBE"; return; fi
    "$WINE_ENV_DIR/i386-probe" 2>/dev/null || rc=$?
    case $rc in 0) echo native ;; 10) echo emulated ;; *) echo none ;; esac
}

register_qemu() {
    # Mount first: an entry registered before (by us or by the host of this
    # chroot) is only visible once binfmt_misc is mounted.
    if [ ! -e "$BINFMT_DIR/register" ]; then
        say "mounting binfmt_misc on $BINFMT_DIR"
        change mount -t binfmt_misc binfmt_misc "$BINFMT_DIR"
    fi
    if [ ! -e "$BINFMT_DIR/qemu-i386" ]; then
        say "registering i386 programs with qemu-i386-static in binfmt_misc, until reboot"
        # Magic/mask of i386 ELF executables and shared objects (ld.so is one);
        # the kernel parses the \x escapes. F: the kernel opens the interpreter
        # now, so it works in any mount namespace or chroot later.
        local entry=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
        change sh -c 'printf "%s" "$1" > "$2/register"' sh "$entry" "$BINFMT_DIR"
    elif [ "$(head -1 "$BINFMT_DIR/qemu-i386")" != enabled ]; then
        say "enabling the qemu-i386 entry in binfmt_misc"
        change sh -c 'echo 1 > "$1/qemu-i386"' sh "$BINFMT_DIR"
    fi
}

add_i386_architecture() {
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    say "adding the i386 architecture to dpkg"
    change dpkg --add-architecture i386
    APT_UPDATED=
}

add_user() {
    getent passwd "$E2E_USER" >/dev/null && return 0
    say "creating the system user $E2E_USER"
    change useradd --system --no-create-home "$E2E_USER"
}

# Under $WINE_ENV_DIR, ours alone: made even in a dry run.
private_dir() {
    [ -w "$WINE_ENV_DIR" ] || [ ! -e "$WINE_ENV_DIR" ] || die "cannot write $WINE_ENV_DIR"
    $SUDO mkdir -p "$WINE_ENV_DIR"
}

build_shim() {
    local lib32=$WINE_ENV_DIR/lib/i386-linux-gnu lib64=$WINE_ENV_DIR/lib/x86_64-linux-gnu
    local src=testbed/qemu-wine-fix.c
    [ "$lib32/qemu-wine-fix.so" -nt "$src" ] && [ -f "$lib64/qemu-wine-fix.so" ] && return 0
    say "building the qemu compatibility library in $WINE_ENV_DIR/lib"
    change mkdir -p "$lib32" "$lib64"
    # -nostdlib: no 32-bit libgcc needed; no stack protector: the handler runs
    # before %gs is trustworthy.
    change gcc -m32 -O2 -fPIC -shared -fno-stack-protector -nostdlib -Wall -Wextra -Werror \
        -o "$lib32/qemu-wine-fix.so" "$src" -lc
    # LD_PRELOAD names $LIB, so 64-bit processes (wineserver, tools) load this
    # empty one instead of complaining about a 32-bit object.
    change gcc -shared -nostdlib -o "$lib64/qemu-wine-fix.so" -x c /dev/null
}

# Where the kernel or the emulator maps Wine's i386 loader: ld.so prints the
# auxiliary vector, and AT_PHDR lies in the loader's first page. `--version`
# answers before Wine re-executes itself.
loader_base() {
    if [ -n "${SETUP_LOADER_BASE:-}" ]; then echo "$SETUP_LOADER_BASE"; return; fi
    LD_SHOW_AUXV=1 /usr/lib/wine/wine --version 2>/dev/null | sed -n 's/^AT_PHDR: *//p' | head -1
}

# A position-independent loader (Wine 10) goes where the kernel or emulator
# puts such programs: qemu 10 puts it at 0x00400000, the image base of
# Windows programs, and one without relocations (the NSIS stub) then cannot
# load (status c0000018). Wine's preloader reserves that space before the
# loader is mapped. Only where it is needed: Wine 8's loader is linked at
# 0x7d000000, Linux 6.18 maps Wine 10's near 0x56600000 and qemu 7.2 near
# 0x40000000, and under qemu 7.2 the preloader slows Wine to a crawl.
add_preloader() {
    local base
    base=$(loader_base)
    [[ $base =~ ^0x[0-9a-fA-F]+$ ]] || die "cannot tell where Wine's i386 loader is mapped"
    ((base < 0x10000000)) || return 0
    say "Wine's i386 loader is mapped at $base, where Windows programs go: adding Wine's preloader"
    install_packages wine32-preloader:i386
}

build_locale() {
    # A private LOCPATH: no change to the system locale archive. Wine takes
    # the ANSI code page from it: 1250 from cs_CZ, 1252 from en_US.
    local name=$1
    [ -f "$WINE_ENV_DIR/locale/$name.UTF-8/LC_CTYPE" ] && return 0
    say "building the $name.UTF-8 locale in $WINE_ENV_DIR/locale"
    $SUDO mkdir -p "$WINE_ENV_DIR/locale"
    $SUDO localedef -i "$name" -f UTF-8 "$WINE_ENV_DIR/locale/$name.UTF-8" 2>/dev/null || true
    [ -f "$WINE_ENV_DIR/locale/$name.UTF-8/LC_CTYPE" ] || die "localedef $name failed"
}

setup_wine() {
    local mode
    private_dir
    mode=$(probe_i386)
    case $mode in
    native) say "the kernel runs i386 programs itself: Wine runs as it is" ;;
    emulated) say "i386 programs already run under an emulator: Wine runs there" ;;
    none) say "the kernel cannot run i386 programs: Wine's 32-bit half runs under qemu" ;;
    *) die "SETUP_PROBE: native, emulated or none, not '$mode'" ;;
    esac
    if [ "$mode" != native ]; then
        # qemu and its binfmt entry before the i386 packages: their
        # maintainer scripts may run i386 code.
        install_packages "${emulation_pkgs[@]}"
        register_qemu
    fi
    add_i386_architecture
    install_packages "${wine_pkgs[@]}"
    add_preloader
    add_user
    if [ "$mode" != native ]; then
        build_shim
        mode=emulated
    else
        $SUDO rm -rf "$WINE_ENV_DIR/lib"
    fi
    build_locale cs_CZ
    build_locale en_US
    echo "$mode" | $SUDO tee "$WINE_ENV_DIR/mode" >/dev/null
    $SUDO chmod -R a+rX "$WINE_ENV_DIR"
    [ "${SETUP_DRY_RUN:-}" = 1 ] || /usr/lib/wine/wine --version >/dev/null 2>&1 ||
        die "the i386 Wine loader does not run"
}

case "${1:-}" in
# Signing needs its tools only when a certificate is named.
build) install_packages "${build_pkgs[@]}" ${SIGN_PKCS12:+"${sign_pkgs[@]}"} ;;
test)
    # First: a list of its that cannot be fetched decides every install.
    add_i386_architecture
    install_packages "${build_pkgs[@]}" "${test_pkgs[@]}"
    setup_wine
    ;;
*) echo "usage: $0 build|test" >&2; exit 2 ;;
esac

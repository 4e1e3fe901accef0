#!/bin/bash
# Wine for the end-to-end tests: 32-bit Windows programs on a Debian 12 VM
# whose kernel cannot run 32-bit code (no compatibility mode).
#
# The i386 Wine loader runs under qemu user-mode emulation (qemu-i386-static,
# registered with binfmt_misc); the 64-bit wineserver runs natively. A small
# LD_PRELOAD shim, built here, works around the qemu 7.2 gaps that break
# Wine: one GDT shared by all threads (TLS and TEB selectors), trapno -1 in
# signal frames, MAP_FIXED_NOREPLACE ignored (see the C source below).
# Sourced or run, this script:
#   1. installs the missing Debian packages (root; quick when all are there),
#   2. registers i386 ELF binaries with qemu in binfmt_misc (root, idempotent),
#   3. builds the shim and the cs_CZ.UTF-8 locale under $WINE_ENV_DIR,
#   4. defines the functions below.
#
#   wine_make_prefix DIR        new 32-bit prefix (null graphics driver), then stopped
#   wine_clone_prefix SRC DST   copy a stopped template prefix (cp -a)
#   wine_run DIR PROGRAM [ARG]  run a program in the prefix, with a timeout
#   wine_start DIR              optional: keep a booted wineserver (fast wine_run)
#   wine_stop DIR               stop the prefix's wineserver and its processes
#   wine_env DIR                export the variables for DIR into this shell
#
# Run as a command: `wine-env.sh` sets up only; `wine-env.sh FUNCTION ARGS...`
# also calls one of the functions.

WINE_ENV_DIR=${WINE_ENV_DIR:-/opt/wine-e2e}
WINE_RUN_TIMEOUT=${WINE_RUN_TIMEOUT:-600}
WINE_BOOT_TIMEOUT=${WINE_BOOT_TIMEOUT:-900}

_wine_env_log() { echo "wine-env: $*" >&2; }

# ---- 1. packages ------------------------------------------------------------
_wine_env_have() {  # all given packages installed? (dpkg-query is fast)
    [ "$(dpkg-query -W -f='${db:Status-Status}\n' "$@" 2>/dev/null | grep -cx installed)" -eq $# ]
}

_wine_env_packages() {
    local pkgs=(wine wine32:i386 wine64 gcc libc6-dev-i386 locales)
    _wine_env_have qemu-user-static "${pkgs[@]}" && return 0
    if [ "$(id -u)" -ne 0 ]; then _wine_env_log "packages missing and not root"; return 1; fi
    _wine_env_log "installing qemu-user-static ${pkgs[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386 || return 1
    fi
    apt-get update -q >/dev/null || return 1
    # qemu and its binfmt entry first: i386 maintainer scripts may run i386 code.
    apt-get install -y -q --no-install-recommends qemu-user-static >/dev/null &&
        _wine_env_binfmt &&
        apt-get install -y -q --no-install-recommends "${pkgs[@]}" >/dev/null
}

# ---- 2. binfmt_misc ---------------------------------------------------------
_wine_env_binfmt() {
    local bf=/proc/sys/fs/binfmt_misc
    if [ ! -e $bf/qemu-i386 ]; then
        if [ "$(id -u)" -ne 0 ]; then _wine_env_log "no i386 binfmt entry and not root"; return 1; fi
        # No systemd on CI: mount binfmt_misc ourselves.
        [ -e $bf/register ] || mount -t binfmt_misc binfmt_misc $bf || return 1
        # Magic/mask of i386 ELF executables and shared objects (ld.so is one);
        # the kernel parses the \x escapes. F: the kernel opens the interpreter
        # now, so it works in any mount namespace or chroot later.
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > $bf/register || return 1
    fi
    [ "$(head -1 $bf/qemu-i386)" = enabled ] || echo 1 > $bf/qemu-i386 || return 1
}

_wine_env_check() {
    /usr/lib/wine/wine --version >/dev/null 2>&1 || { _wine_env_log "the i386 Wine loader does not run"; return 1; }
}

# ---- 3a. the qemu workaround shim ---------------------------------------------
_wine_env_shim_source() {
cat <<'EOF'
/* LD_PRELOAD shim: 32-bit Wine 8 under qemu-i386 7.2 user-mode emulation. */
#define _GNU_SOURCE
#include <signal.h>
#include <ucontext.h>
#include <dlfcn.h>
#include <stdarg.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/types.h>

#define E_EXIST 17
#define E_NOSYS 38
extern int *__errno_location(void);
#define set_errno(e) (*__errno_location() = (e))

typedef void (*sa_fn)(int, siginfo_t *, void *);
typedef int (*sigaction_fn)(int, const struct sigaction *, struct sigaction *);
typedef void *(*mmap64_fn)(void *, size_t, int, int, int, off64_t);
typedef long (*syscall_fn)(long, ...);
static sa_fn real_handler[65];

/* 1. qemu keeps ONE emulated GDT for all threads, so the glibc TLS slot (%gs)
 * holds the base of the thread created last. qemu reloads %gs from it on
 * sigreturn and Wine's handlers reload it too, giving this thread another
 * thread's TLS. Around Wine's handler, write this thread's own base (%gs:0 is
 * the TCB self pointer, read through the still valid cached segment) back.
 * Raw int $0x80: no libc and no TLS here. */
struct seg_desc { unsigned entry, base, limit, flags; };
static void fix_gs_entry(unsigned sel)
{
    struct seg_desc d;
    long ret;
    if ((sel & 4) || (sel >> 3) < 6 || (sel >> 3) > 8) return; /* GDT TLS slots only */
    __asm__ volatile ("movl %%gs:0,%0" : "=r" (d.base));
    d.entry = sel >> 3;
    d.limit = 0xfffff;
    d.flags = 1 /* seg_32bit */ | 1 << 4 /* limit_in_pages */ | 1 << 6 /* useable */;
    __asm__ volatile ("pushl %%ebx\n\tmovl %2,%%ebx\n\tint $0x80\n\tpopl %%ebx"
                      : "=a" (ret) : "0" (243 /* set_thread_area */), "r" (&d) : "memory");
    (void)ret;
}

/* 1b. The real cure for 1: give every thread its own LDT descriptor for
 * %gs (qemu shares the LDT table too, but each thread uses its own entry).
 * Wine expects this ("libc using the LDT for %gs") and then keeps its own
 * %fs entries at 512 and above; we use 1..511, round robin, freed at thread
 * exit. The main thread switches in the constructor, before any thread
 * exists, so that every thread's qemu CPU copies the allocated LDT. */
#include <pthread.h>
#include <stdlib.h>
static volatile int ldt_lock;
static unsigned char ldt_used[512];
static unsigned ldt_next = 1;
static pthread_key_t ldt_key;

static long raw_syscall3(long nr, long a, long b, long c)
{
    long ret;
    __asm__ volatile ("pushl %%ebx\n\tmovl %2,%%ebx\n\tint $0x80\n\tpopl %%ebx"
                      : "=a" (ret) : "0" (nr), "r" (a), "c" (b), "d" (c) : "memory");
    return ret;
}

static void gs_to_ldt(void)
{
    struct seg_desc d;
    unsigned i, idx = 0;
    unsigned short sel;

    __asm__ volatile ("movw %%gs,%0" : "=r" (sel));
    if (sel & 4) return;                         /* already an LDT selector */
    while (__sync_lock_test_and_set(&ldt_lock, 1)) ;
    for (i = 0; i < 511 && !idx; i++) {
        unsigned n = ldt_next;
        ldt_next = ldt_next % 511 + 1;
        if (!ldt_used[n]) { ldt_used[n] = 1; idx = n; }
    }
    __sync_lock_release(&ldt_lock);
    if (!idx) return;                            /* full: stay on the GDT (see 1) */
    __asm__ volatile ("movl %%gs:0,%0" : "=r" (d.base));
    d.entry = idx;
    d.limit = 0xfffff;
    d.flags = 1 | 1 << 4 | 1 << 6;
    if (raw_syscall3(123 /* modify_ldt */, 0x11, (long)&d, sizeof(d)) < 0) { ldt_used[idx] = 0; return; }
    sel = idx << 3 | 7;
    __asm__ volatile ("movw %0,%%gs" : : "r" (sel));
    pthread_setspecific(ldt_key, (void *)(unsigned long)idx);
}

static void gs_free(void *p)
{
    ldt_used[(unsigned long)p] = 0;
}

__attribute__((constructor)) static void shim_init(void)
{
    pthread_key_create(&ldt_key, gs_free);
    gs_to_ldt();
}

/* A new thread gets its parent's %gs selector (qemu reloads it after setting
 * the child's TLS in the GDT), so the parent must clone with the GDT selector,
 * and that entry must hold the parent's own base meanwhile: done under a lock
 * with signals blocked; the child restores the caller's signal mask. */
struct start_args { void *(*fn)(void *); void *arg; sigset_t mask; };
static volatile int create_lock;

static void *thread_start(void *p)
{
    struct start_args a = *(struct start_args *)p;
    free(p);
    gs_to_ldt();
    pthread_sigmask(SIG_SETMASK, &a.mask, NULL);
    return a.fn(a.arg);
}

typedef int (*pthread_create_fn)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
int pthread_create(pthread_t *t, const pthread_attr_t *attr, void *(*fn)(void *), void *arg)
{
    static pthread_create_fn real;
    struct start_args *a = malloc(sizeof(*a));
    sigset_t all, old;
    unsigned short sel, tls_sel = 6 << 3 | 3;
    int ret;

    if (!real) real = (pthread_create_fn)dlsym(RTLD_NEXT, "pthread_create");
    if (!a) return real(t, attr, fn, arg);
    a->fn = fn;
    a->arg = arg;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &old);
    a->mask = old;
    while (__sync_lock_test_and_set(&create_lock, 1)) ;
    __asm__ volatile ("movw %%gs,%0" : "=r" (sel));
    fix_gs_entry(tls_sel);                      /* GDT slot := our own base */
    __asm__ volatile ("movw %0,%%gs" : : "r" (tls_sel));
    ret = real(t, attr, thread_start, a);
    __asm__ volatile ("movw %0,%%gs" : : "r" (sel));
    __sync_lock_release(&create_lock);
    pthread_sigmask(SIG_SETMASK, &old, NULL);   /* a may be freed by now */
    if (ret) free(a);
    return ret;
}

/* 2. qemu puts -1 in sigcontext.trapno for every fault; Wine dispatches on
 * it (14 = page fault: guard pages, SEH, IsBadReadPtr...). Rebuild it. */
static void fix_handler(int sig, siginfo_t *si, void *ctx)
{
    ucontext_t *uc = ctx;
    unsigned gs_sel = uc->uc_mcontext.gregs[REG_GS] & 0xffff;
    greg_t *trap = &uc->uc_mcontext.gregs[REG_TRAPNO];

    if ((int)*trap == -1) {
        switch (sig) {
        case SIGSEGV: *trap = (si->si_code == SEGV_MAPERR || si->si_code == SEGV_ACCERR) ? 14 : 13; break;
        case SIGBUS:  *trap = 13; break;
        case SIGILL:  *trap = 6; break;
        case SIGTRAP: *trap = si->si_code == TRAP_TRACE ? 1 : 3; break;
        case SIGFPE:  *trap = si->si_code == FPE_INTDIV ? 0 : si->si_code == FPE_INTOVF ? 4 : 16; break;
        }
    }
    fix_gs_entry(gs_sel);
    real_handler[sig](sig, si, ctx);
    fix_gs_entry(gs_sel);
}

int sigaction(int sig, const struct sigaction *act, struct sigaction *old)
{
    static sigaction_fn real;
    struct sigaction tmp;
    sa_fn prev = (sig > 0 && sig < 65) ? real_handler[sig] : NULL;
    int ret;

    if (!real) real = (sigaction_fn)dlsym(RTLD_NEXT, "sigaction");
    if (act && sig > 0 && sig < 65 && (act->sa_flags & SA_SIGINFO) &&
        act->sa_handler != SIG_DFL && act->sa_handler != SIG_IGN && act->sa_sigaction != fix_handler) {
        tmp = *act;
        tmp.sa_sigaction = fix_handler;
        real_handler[sig] = act->sa_sigaction;
        act = &tmp;
    }
    ret = real(sig, act, old);
    if (ret == 0 && old && (old->sa_flags & SA_SIGINFO) && old->sa_sigaction == fix_handler)
        old->sa_sigaction = prev;   /* report the caller's handler, not ours */
    return ret;
}

/* 3. qemu ignores MAP_FIXED_NOREPLACE and takes the address as a hint. Wine
 * reserves its address space with it and would keep the misplaced blocks,
 * filling the top 2 GB so that Unix mappings land on 0x7ffe0000
 * (KUSER_SHARED_DATA). Give the real semantics: not there = EEXIST. */
void *mmap64(void *addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    static mmap64_fn real;
    void *p;

    if (!real) real = (mmap64_fn)dlsym(RTLD_NEXT, "mmap64");
    p = real(addr, len, prot, flags, fd, off);
    if ((flags & 0x100000 /* MAP_FIXED_NOREPLACE */) && !(flags & MAP_FIXED) &&
        p != MAP_FAILED && p != addr) {
        munmap(p, len);
        set_errno(E_EXIST);
        return MAP_FAILED;
    }
    return p;
}

void *mmap(void *addr, size_t len, int prot, int flags, int fd, off_t off)
{
    return mmap64(addr, len, prot, flags, fd, (off64_t)off);
}

/* 4. Wine asks set_thread_area() for a free GDT slot for %fs (the TEB); that
 * slot would be shared by all threads too (see 1). Refusing it makes Wine give
 * each thread its own LDT entry, which qemu handles correctly. */
long syscall(long nr, ...)
{
    static syscall_fn real;
    long a[6];
    va_list ap;
    int i;

    va_start(ap, nr);
    for (i = 0; i < 6; i++) a[i] = va_arg(ap, long);
    va_end(ap);
    if (!real) real = (syscall_fn)dlsym(RTLD_NEXT, "syscall");
    if (nr == 243 && a[0] && ((struct seg_desc *)a[0])->entry == 0xffffffffu) {
        set_errno(E_NOSYS);
        return -1;
    }
    return real(nr, a[0], a[1], a[2], a[3], a[4], a[5]);
}
EOF
}

_wine_env_shim() {
    local lib32=$WINE_ENV_DIR/lib/i386-linux-gnu lib64=$WINE_ENV_DIR/lib/x86_64-linux-gnu
    local sum; sum=$(_wine_env_shim_source | sha256sum | cut -c1-64)
    [ -f "$lib32/qemu-wine-fix.so" ] && [ "$(cat "$WINE_ENV_DIR/shim.sha256" 2>/dev/null)" = "$sum" ] && return 0
    if [ "$(id -u)" -ne 0 ] && [ ! -w "$WINE_ENV_DIR" ]; then _wine_env_log "shim not built and not root"; return 1; fi
    mkdir -p "$lib32" "$lib64" || return 1
    local tmp; tmp=$(mktemp -d) || return 1
    _wine_env_shim_source > "$tmp/fix.c"
    # -nostdlib: no 32-bit libgcc needed; no stack protector: the handler runs
    # before %gs is trustworthy.
    gcc -m32 -O2 -fPIC -shared -fno-stack-protector -nostdlib -o "$tmp/fix32.so" "$tmp/fix.c" -lc &&
    # LD_PRELOAD names $LIB, so 64-bit processes (wineserver, tools) load this
    # empty one instead of complaining about a 32-bit object.
    gcc -shared -nostdlib -o "$tmp/fix64.so" -x c /dev/null &&
    install -m 755 "$tmp/fix32.so" "$lib32/qemu-wine-fix.so" &&
    install -m 755 "$tmp/fix64.so" "$lib64/qemu-wine-fix.so" &&
    echo "$sum" > "$WINE_ENV_DIR/shim.sha256"
    local rc=$?
    rm -rf "$tmp"
    chmod -R a+rX "$WINE_ENV_DIR"
    return $rc
}

# ---- 3b. locale -------------------------------------------------------------
_wine_env_locale() {
    # A private LOCPATH: no change to the system locale archive (others may be
    # rewriting it); Wine picks the ANSI code page 1250 from cs_CZ.
    [ -f "$WINE_ENV_DIR/locale/cs_CZ.UTF-8/LC_CTYPE" ] && return 0
    if [ "$(id -u)" -ne 0 ] && [ ! -w "$WINE_ENV_DIR" ]; then _wine_env_log "locale not built and not root"; return 1; fi
    mkdir -p "$WINE_ENV_DIR/locale" || return 1
    localedef -i cs_CZ -f UTF-8 "$WINE_ENV_DIR/locale/cs_CZ.UTF-8" 2>/dev/null
    [ -f "$WINE_ENV_DIR/locale/cs_CZ.UTF-8/LC_CTYPE" ] || { _wine_env_log "localedef failed"; return 1; }
    chmod -R a+rX "$WINE_ENV_DIR"
}

wine_env_setup() {
    _wine_env_packages && _wine_env_binfmt && _wine_env_check && _wine_env_shim && _wine_env_locale
}

# ---- 4. prefixes ------------------------------------------------------------
wine_env() {
    local prefix=${1:?prefix directory}
    export WINEPREFIX=$(realpath -m "$prefix")
    export WINEARCH=win32
    export WINEDEBUG=${WINE_E2E_DEBUG:--all}
    # No Mono/Gecko prompts; no menu/desktop entries for the build user.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export LOCPATH=$WINE_ENV_DIR/locale
    export LC_ALL=cs_CZ.UTF-8
    # $LIB is expanded by ld.so: the i386 shim for Wine, the empty one elsewhere.
    export LD_PRELOAD="$WINE_ENV_DIR/\$LIB/qemu-wine-fix.so"
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
        grep -q '"Graphics"="null"' "$WINEPREFIX/user.reg" &&
            [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] ||
            { _wine_env_log "prefix not complete, see $WINEPREFIX.boot.log"; exit 1; }
        rm -f "$WINEPREFIX.boot.log"
        # Debian's Wine keeps the name of its private socket dir (/tmp/wine-XXXXXX,
        # mode 700) here; a copy must not inherit it, least of all another user's.
        rm -f "$WINEPREFIX/wineserver"
    )
}

wine_clone_prefix() {
    local src=${1:?template} dst=${2:?destination}
    wine_stop "$src"
    rm -rf "$dst" && cp -a "$src" "$dst" && rm -f "$dst/wineserver"
}

wine_run() {
    local prefix=${1:?prefix directory}; shift
    (
        wine_env "$prefix"
        # socket dir name left by another user (see wine_make_prefix): drop it
        [ -e "$WINEPREFIX/wineserver" ] && [ ! -r "$WINEPREFIX/wineserver" ] && rm -f "$WINEPREFIX/wineserver"
        exec timeout -k 10 "$WINE_RUN_TIMEOUT" wine "$@"
    )
}

wine_start() {
    # Optional: a wineserver that outlives its clients, already booted, so
    # each later wine_run costs ~1 s instead of a cold start. Ends with wine_stop.
    local prefix=${1:?prefix directory}
    wine_stop "$prefix"     # a lingering non-persistent server refuses -p
    (
        wine_env "$prefix"
        wineserver -p &&
        timeout "$WINE_RUN_TIMEOUT" wine wineboot >/dev/null 2>&1
    )
}

wine_stop() {
    local prefix=${1:?prefix directory}
    (
        wine_env "$prefix"
        wineserver -k 2>/dev/null
        timeout 30 wineserver -w 2>/dev/null
        true
    )
}

# ---- entry ------------------------------------------------------------------
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    wine_env_setup || exit 1
    if [ $# -gt 0 ]; then "$@"; fi
else
    wine_env_setup || return 1
fi

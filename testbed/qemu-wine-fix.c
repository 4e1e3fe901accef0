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

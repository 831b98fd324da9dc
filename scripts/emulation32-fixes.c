/* Preloaded into Wine's 32-bit loader when it runs under qemu 7.2's user-mode emulation (see
 * scripts/emulation32.sh), where three things differ from the kernel that Wine is written for.
 * Built for i386 without the C library (its functions are found at run time), so it needs no
 * 32-bit development files on the machine.
 *
 * 1. mmap: MAP_FIXED_NOREPLACE is taken as a mere hint. Wine reserves its address space with
 *    it and, handed other addresses, goes on trying: about 65,000 calls and a minute of start-up.
 *    A mapping that did not land where it was asked is undone and fails with EEXIST.
 * 2. Signals: the frame of a fault carries trap number -1. Wine's handler decides by that
 *    number (page faults drive guard pages and write watches), so it is filled in from the
 *    signal and its code first.
 * 3. Threads: qemu keeps one descriptor table for the whole process, so an entry that
 *    set_thread_area makes for one thread changes it for all of them, and threads end up with
 *    each other's Wine thread block (%fs) and C library thread storage (%gs). Wine is made to
 *    use a local descriptor per thread for %fs (its set_thread_area(-1) fails), and each thread
 *    gets a local descriptor of its own for %gs. */

extern int *__errno_location(void);
extern void *dlsym(void *handle, const char *name);
#define NEXT_DEFINITION ((void *)-1l) /* RTLD_NEXT */

/* Raw system calls through int $0x80. */
static long syscall6(long number, const long *arguments)
{
    long result;
    __asm__ volatile("push %%ebp\n\tpush %%ebx\n\t"
                     "mov 20(%%ecx), %%ebp\n\tmov 16(%%ecx), %%edi\n\tmov 12(%%ecx), %%esi\n\t"
                     "mov 8(%%ecx), %%edx\n\tmov 0(%%ecx), %%ebx\n\tmov 4(%%ecx), %%ecx\n\t"
                     "int $0x80\n\tpop %%ebx\n\tpop %%ebp"
                     : "=a"(result), "+c"(arguments)
                     : "a"(number)
                     : "edx", "esi", "edi", "memory");
    return result;
}
static long syscall3(long number, long a, long b, long c)
{
    long result;
    __asm__ volatile("push %%ebx\n\tmov %2, %%ebx\n\tint $0x80\n\tpop %%ebx"
                     : "=a"(result)
                     : "a"(number), "r"(a), "c"(b), "d"(c)
                     : "memory");
    return result;
}
enum { SYS_munmap = 91, SYS_modify_ldt = 123, SYS_mmap2 = 192, SYS_set_thread_area = 243 };
enum { EEXIST_ = 17, EINVAL_ = 22, ENOSYS_ = 38, EAGAIN_ = 11 };

/* 1. mmap */
#define MAP_FIXED_ 0x10
#define MAP_FIXED_NOREPLACE_ 0x100000

static void *map(void *address, unsigned long length, int protection, int flags, int fd, unsigned long long offset)
{
    long arguments[6];
    long result;
    if (offset & 0xfff) {
        *__errno_location() = EINVAL_;
        return (void *)-1;
    }
    arguments[0] = (long)address;
    arguments[1] = (long)length;
    arguments[2] = protection;
    arguments[3] = flags;
    arguments[4] = fd;
    arguments[5] = (long)(offset >> 12);
    result = syscall6(SYS_mmap2, arguments);
    if ((unsigned long)result > 0xfffff000ul) {
        *__errno_location() = (int)-result;
        return (void *)-1;
    }
    if ((flags & MAP_FIXED_NOREPLACE_) && !(flags & MAP_FIXED_) && (void *)result != address) {
        arguments[0] = result;
        arguments[1] = (long)length;
        syscall6(SYS_munmap, arguments);
        *__errno_location() = EEXIST_;
        return (void *)-1;
    }
    return (void *)result;
}
void *mmap(void *address, unsigned long length, int protection, int flags, int fd, long offset)
{
    return map(address, length, protection, flags, fd, (unsigned long)offset);
}
void *mmap64(void *address, unsigned long length, int protection, int flags, int fd, long long offset)
{
    return map(address, length, protection, flags, fd, (unsigned long long)offset);
}

/* 2. Signals. The kernel's i386 sigaction record and the signal frame's register array. */
typedef void (*Handler)(int, void *, void *);
struct Action {
    Handler handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};
enum { SIGILL_ = 4, SIGBUS_ = 7, SIGFPE_ = 8, SIGSEGV_ = 11, SA_SIGINFO_ = 4 };
enum { TRAP_NUMBER = 12 }; /* REG_TRAPNO in the frame's general registers */

static Handler wine_handlers[65];
static int (*next_sigaction)(int, const struct Action *, struct Action *);

static void with_trap_number(int signal, void *info, void *context)
{
    long *registers = (long *)((char *)context + 20); /* uc_mcontext.gregs */
    const int code = ((int *)info)[2];                /* si_code */
    if (registers[TRAP_NUMBER] == -1) {
        switch (signal) {
        case SIGSEGV_: registers[TRAP_NUMBER] = code == 0x80 ? 13 : 14; break; /* general protection, page fault */
        case SIGBUS_: registers[TRAP_NUMBER] = code == 1 ? 17 : 14; break;    /* alignment check */
        case SIGILL_: registers[TRAP_NUMBER] = 6; break;                      /* invalid opcode */
        case SIGFPE_: registers[TRAP_NUMBER] = code == 1 ? 0 : code == 2 ? 4 : 16; break;
        }
    }
    wine_handlers[signal](signal, info, context);
}

int sigaction(int signal, const struct Action *action, struct Action *previous)
{
    struct Action copy;
    const Handler replaced = signal > 0 && signal < 65 ? wine_handlers[signal] : 0;
    int result;
    if (!next_sigaction)
        next_sigaction = (int (*)(int, const struct Action *, struct Action *))dlsym(NEXT_DEFINITION, "sigaction");
    if (action && (signal == SIGSEGV_ || signal == SIGBUS_ || signal == SIGILL_ || signal == SIGFPE_) &&
        (action->flags & SA_SIGINFO_) && (unsigned long)action->handler > 1) {
        copy = *action;
        wine_handlers[signal] = action->handler;
        copy.handler = with_trap_number;
        action = &copy;
    } else if (action && signal > 0 && signal < 65) {
        wine_handlers[signal] = 0;
    }
    result = next_sigaction(signal, action, previous);
    if (previous && previous->handler == with_trap_number) previous->handler = replaced;
    return result;
}
int __sigaction(int signal, const struct Action *action, struct Action *previous)
{
    return sigaction(signal, action, previous);
}

/* 3. Threads: a local descriptor for each thread's %gs. */
struct Descriptor {
    unsigned entry, base, limit, flags;
};
extern int pthread_key_create(unsigned *key, void (*destructor)(void *));
extern int pthread_setspecific(unsigned key, const void *value);
extern void *malloc(unsigned long size);
extern void free(void *block);

enum { FIRST_ENTRY = 16, LAST_ENTRY = 511 }; /* Wine takes the entries from 512 for %fs */
#define SEGMENT_FLAGS (1 | (1 << 4) | (1 << 6)) /* 32-bit, limit in pages, usable */
static volatile unsigned char entry_taken[LAST_ENTRY + 1];
static volatile unsigned next_entry = FIRST_ENTRY;
static unsigned shared_gs;  /* the C library's own selector, in the shared table */
static unsigned entry_key;
static volatile int entry_key_made;
static volatile int creating;
static int per_thread;

static unsigned read_gs(void)
{
    unsigned short value;
    __asm__ volatile("movw %%gs, %0" : "=r"(value));
    return value;
}
static void write_gs(unsigned value) { __asm__ volatile("movw %w0, %%gs" : : "r"(value) : "memory"); }
static unsigned thread_storage_base(void)
{
    unsigned value;
    __asm__ volatile("movl %%gs:0, %0" : "=r"(value));
    return value;
}

static unsigned take_entry(void)
{
    unsigned i, entry;
    for (i = 0; i <= LAST_ENTRY - FIRST_ENTRY; ++i) {
        entry = FIRST_ENTRY + (next_entry - FIRST_ENTRY + i) % (LAST_ENTRY - FIRST_ENTRY + 1);
        if (__sync_bool_compare_and_swap(&entry_taken[entry], 0, 1)) {
            next_entry = entry + 1;
            return entry;
        }
    }
    return 0;
}
static void give_back_entry(void *entry)
{
    if (entry) entry_taken[(unsigned long)entry] = 0;
}

/* Moves the calling thread's %gs to a local descriptor of its own; the entry, or 0. */
static unsigned own_gs(void)
{
    struct Descriptor descriptor;
    const unsigned entry = take_entry();
    if (!entry) return 0;
    descriptor.entry = entry;
    descriptor.base = thread_storage_base();
    descriptor.limit = 0xfffff;
    descriptor.flags = SEGMENT_FLAGS;
    if (syscall3(SYS_modify_ldt, 1, (long)&descriptor, sizeof(descriptor)) != 0) {
        entry_taken[entry] = 0;
        return 0;
    }
    write_gs((entry << 3) | 7); /* local table, user privilege */
    return entry;
}

static void make_entry_key(void)
{
    if (!entry_key_made) {
        pthread_key_create(&entry_key, give_back_entry);
        entry_key_made = 1;
    }
}

__attribute__((constructor)) static void first_thread(void)
{
    shared_gs = read_gs();
    if (!shared_gs || (shared_gs & 4)) return; /* not in the shared table: nothing to do */
    per_thread = own_gs() != 0;
}

struct Start {
    void *(*routine)(void *);
    void *argument;
};
static void *start_thread(void *block)
{
    const struct Start start = *(struct Start *)block;
    unsigned entry;
    free(block);
    entry = own_gs();
    if (entry) {
        make_entry_key();
        pthread_setspecific(entry_key, (void *)(unsigned long)entry);
    }
    return start.routine(start.argument);
}

int pthread_create(void *thread, const void *attributes, void *(*routine)(void *), void *argument)
{
    static int (*next)(void *, const void *, void *(*)(void *), void *);
    struct Start *start;
    struct Descriptor descriptor;
    unsigned mine;
    int result;
    if (!next) next = (int (*)(void *, const void *, void *(*)(void *), void *))dlsym(NEXT_DEFINITION, "pthread_create");
    if (!per_thread) return next(thread, attributes, routine, argument);
    make_entry_key();
    start = malloc(sizeof(*start));
    if (!start) return EAGAIN_;
    start->routine = routine;
    start->argument = argument;
    while (__sync_lock_test_and_set(&creating, 1)) __asm__ volatile("pause");
    /* The C library makes the child's %gs entry from the parent's selector: for the call,
     * the parent stands on the shared entry again, pointing at its own storage. */
    mine = read_gs();
    descriptor.entry = shared_gs >> 3;
    descriptor.base = thread_storage_base();
    descriptor.limit = 0xfffff;
    descriptor.flags = SEGMENT_FLAGS;
    syscall3(SYS_set_thread_area, (long)&descriptor, 0, 0);
    write_gs(shared_gs);
    result = next(thread, attributes, start_thread, start);
    write_gs(mine);
    __sync_lock_release(&creating);
    if (result) free(start);
    return result;
}

/* Wine asks for a new shared entry for %fs with set_thread_area(-1); refused, it falls back to
 * a local descriptor per thread. */
long syscall(long number, long a, long b, long c, long d, long e, long f)
{
    static long (*next)(long, long, long, long, long, long, long);
    if (number == SYS_set_thread_area && a && *(int *)a == -1) {
        *__errno_location() = ENOSYS_;
        return -1;
    }
    if (!next) next = (long (*)(long, long, long, long, long, long, long))dlsym(NEXT_DEFINITION, "syscall");
    return next(number, a, b, c, d, e, f);
}

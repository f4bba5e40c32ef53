// An i386 Linux program of no library, run under a candidate qemu-i386: exit 0
// when mmap with MAP_FIXED_NOREPLACE over a page already mapped fails with
// EEXIST, as the kernel does. Wine reserves its address space that way; an
// emulator that ignores the flag (QEMU 7.2) answers with another address, and
// Wine then retries tens of thousands of times at every process start.

enum {
    kExit = 1,
    kMmap2 = 192,
    kRead = 1,
    kWrite = 2,
    kPrivate = 0x02,
    kFixed = 0x10,
    kAnonymous = 0x20,
    kFixedNoReplace = 0x100000,
    kEexist = 17,
};

static long syscall6(long number, long a, long b, long c, long d, long e, long f) {
    long result;
    // ebp holds the sixth argument; it is the frame register, so saved by hand.
    __asm__ volatile("push %%ebp\n\tmov %7, %%ebp\n\tint $0x80\n\tpop %%ebp"
                     : "=a"(result)
                     : "a"(number), "b"(a), "c"(b), "d"(c), "S"(d), "D"(e), "g"(f)
                     : "memory");
    return result;
}

void _start(void) {
    const long page = 0x20000000;
    const long first = syscall6(kMmap2, page, 4096, kRead | kWrite, kPrivate | kAnonymous | kFixed, -1, 0);
    const long second =
        syscall6(kMmap2, page, 4096, kRead | kWrite, kPrivate | kAnonymous | kFixedNoReplace, -1, 0);
    syscall6(kExit, first == page && second == -kEexist ? 0 : 1, 0, 0, 0, 0, 0);
    for (;;) {
    }
}

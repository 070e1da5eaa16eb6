#include "Memory.h"

#include <cstdio>
#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

void returnPictureMemoryPromptly() {
#if defined(__GLIBC__)
    mallopt(M_ARENA_MAX, 1);
    // Pictures up to 32 MB come from the heap, which reuses their pages for the next ones; by
    // default glibc maps the first ones afresh. The heap grows and shrinks in steps of 64 MB
    // of address space (pages are resident only once used): growing it a few megabytes at a
    // time, as the window's backing store and the resampled pictures of a resize ask, and
    // giving it back in between, cost every resize step 10-30 ms of page faults.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TOP_PAD, 64 << 20);
#endif
}

long long availableMemoryBytes() {
#if defined(__linux__)
    // The kernel's own estimate of what can be allocated without swapping.
    std::FILE* meminfo = std::fopen("/proc/meminfo", "r");
    if (!meminfo)
        return -1;
    char line[128];
    long long kb = -1;
    while (std::fgets(line, sizeof line, meminfo))
        if (std::sscanf(line, "MemAvailable: %lld kB", &kb) == 1)
            break;
    std::fclose(meminfo);
    return kb < 0 ? -1 : kb * 1024;
#else
    return -1;
#endif
}

} // namespace platform

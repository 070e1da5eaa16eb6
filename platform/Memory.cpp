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

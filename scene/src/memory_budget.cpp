#include "orrelin/scene/memory_budget.h"

#include <algorithm>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#elif defined(__EMSCRIPTEN__)
#include <emscripten/heap.h>
#include <malloc.h>
#else
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace {

constexpr std::uint64_t kFloor = 16u << 20;  // always allow a small tree

#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)
// Bytes of address space the process has mapped (Linux /proc; 0 if unknown).
std::uint64_t mappedBytes() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) return 0;
    unsigned long long pages = 0;
    const int read = std::fscanf(file, "%llu", &pages);
    std::fclose(file);
    return read == 1 ? pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}
#endif

}  // namespace

std::size_t quadtreeMemoryBudget() {
    std::uint64_t room = UINT64_MAX;
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) room = std::min<std::uint64_t>(status.ullTotalPhys, status.ullAvailVirtual);
#elif defined(__EMSCRIPTEN__)
    // A WebAssembly memory grows up to the module's maximum and never gives
    // anything back: what is left is the growth still allowed and what the
    // allocator holds free.
    const std::uint64_t heapMax = emscripten_get_heap_max();
    const std::uint64_t heapSize = emscripten_get_heap_size();
    room = (heapMax > heapSize ? heapMax - heapSize : 0) + static_cast<std::uint64_t>(mallinfo().fordblks);
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) room = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const std::uint64_t cap = limit.rlim_cur;
        const std::uint64_t mapped = mappedBytes();
        room = std::min<std::uint64_t>(room, cap > mapped ? cap - mapped : 0);
    }
#endif
    const std::uint64_t budget = std::max<std::uint64_t>(room / 2, kFloor);
    return static_cast<std::size_t>(std::min<std::uint64_t>(budget, SIZE_MAX));
}

// Fault injection for the window tests, loaded into the program with
// LD_PRELOAD: the file named by ORRELIN_VANISH_PATH is removed just before the
// program's own code opens it. The file chooser looks into a chosen file while
// it is chosen (from the toolkit's libraries); those opens leave it alone, so
// the chooser accepts a file that is gone by the time the program reads it.

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Range {
    std::uintptr_t first = 0;
    std::uintptr_t last = 0;
};

int findProgram(dl_phdr_info* info, std::size_t, void* data) {
    // The program itself is the first object listed.
    auto* range = static_cast<Range*>(data);
    for (int k = 0; k < info->dlpi_phnum; ++k) {
        const ElfW(Phdr)& header = info->dlpi_phdr[k];
        if (header.p_type != PT_LOAD) continue;
        const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
        if (range->first == 0 || start < range->first) range->first = start;
        if (start + header.p_memsz > range->last) range->last = start + header.p_memsz;
    }
    return 1;
}

bool fromProgram(const void* caller) {
    static const Range program = [] {
        Range range;
        dl_iterate_phdr(findProgram, &range);
        return range;
    }();
    const auto address = reinterpret_cast<std::uintptr_t>(caller);
    return address >= program.first && address < program.last;
}

void vanish(const char* path, const void* caller) {
    const char* target = std::getenv("ORRELIN_VANISH_PATH");
    if (path != nullptr && target != nullptr && std::strcmp(path, target) == 0 && fromProgram(caller)) {
        ::unlink(path);
    }
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool takesMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

mode_t modeArgument(int flags, va_list arguments) {
    return takesMode(flags) ? static_cast<mode_t>(va_arg(arguments, unsigned)) : 0;
}

using Open = int (*)(const char*, int, ...);
using OpenAt = int (*)(int, const char*, int, ...);
using FOpen = std::FILE* (*)(const char*, const char*);

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    vanish(path, __builtin_return_address(0));
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    static const Open real = next<Open>("open");
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    vanish(path, __builtin_return_address(0));
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    static const Open real = next<Open>("open64");
    return real(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
    vanish(path, __builtin_return_address(0));
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    static const OpenAt real = next<OpenAt>("openat");
    return real(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
    vanish(path, __builtin_return_address(0));
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeArgument(flags, arguments);
    va_end(arguments);
    static const OpenAt real = next<OpenAt>("openat64");
    return real(folder, path, flags, mode);
}

std::FILE* fopen(const char* path, const char* mode) {
    vanish(path, __builtin_return_address(0));
    static const FOpen real = next<FOpen>("fopen");
    return real(path, mode);
}

std::FILE* fopen64(const char* path, const char* mode) {
    vanish(path, __builtin_return_address(0));
    static const FOpen real = next<FOpen>("fopen64");
    return real(path, mode);
}

}  // extern "C"

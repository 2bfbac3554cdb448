// Fault injection for the window tests, loaded into the program with
// LD_PRELOAD: the file named by ORRELIN_VANISH_PATH is removed just before the
// program's own code opens it (the reader opens files with open). The file
// chooser looks into a chosen file while it is chosen (from the toolkit's
// libraries); those opens leave it alone, so the chooser accepts a file that
// is gone by the time the program reads it.

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
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

// The file open the program's reader makes, passed on to the next definition
// of `name` (open or open64) once the file is removed.
int openAfterVanishing(const char* name, const void* caller, const char* path, int flags, va_list arguments) {
    vanish(path, caller);
    const mode_t mode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE
                            ? static_cast<mode_t>(va_arg(arguments, unsigned))
                            : 0;
    using Open = int (*)(const char*, int, ...);
    const auto real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, name));
    return real(path, flags, mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openAfterVanishing("open", __builtin_return_address(0), path, flags, arguments);
    va_end(arguments);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openAfterVanishing("open64", __builtin_return_address(0), path, flags, arguments);
    va_end(arguments);
    return fd;
}

}  // extern "C"

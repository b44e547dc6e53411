#include "cli/platform/posix/memory_status.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace posix {

namespace {

// A "Name:  N kB" line of /proc/meminfo, in bytes; 0 when it is missing.
std::uint64_t MemInfoField(const char* name) {
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (file == nullptr) return 0;
    char line[256];
    unsigned long long kibibytes = 0;
    const std::size_t length = std::strlen(name);
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::strncmp(line, name, length) == 0 && line[length] == ':') {
            std::sscanf(line + length + 1, "%llu", &kibibytes);
            break;
        }
    }
    std::fclose(file);
    return kibibytes * 1024;
}

}  // namespace

std::optional<MemoryFigures> MemoryStatus() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::nullopt;
    MemoryFigures figures;
    figures.total = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    figures.available = MemInfoField("MemAvailable");
    if (figures.available == 0) {
        const long free = ::sysconf(_SC_AVPHYS_PAGES);
        if (free <= 0) return std::nullopt;
        figures.available = static_cast<std::uint64_t>(free) * static_cast<std::uint64_t>(pageSize);
    }
    return figures;
}

}  // namespace posix

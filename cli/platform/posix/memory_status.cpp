#include "cli/platform/memory_status.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

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

// Linux's MemAvailable: free memory and what the page cache can give back, which a new
// allocation can take without swapping; both figures are that.
std::optional<MemoryFigures> MemoryStatus() {
    std::uint64_t available = MemInfoField("MemAvailable");
    if (available == 0) {
        const long free = ::sysconf(_SC_AVPHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        if (free <= 0 || pageSize <= 0) return std::nullopt;
        available = static_cast<std::uint64_t>(free) * static_cast<std::uint64_t>(pageSize);
    }
    return MemoryFigures{available, available};
}

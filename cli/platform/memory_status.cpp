#include "cli/platform/memory_status.h"

#include <mutex>

std::optional<MEMORYSTATUSEX> MemoryStatus() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory) || memory.ullTotalPhys == 0 ||
        memory.ullAvailPageFile == 0) {
        return std::nullopt;
    }
    return memory;
}

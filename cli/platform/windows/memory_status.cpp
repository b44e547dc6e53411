#include "cli/platform/memory_status.h"

#include <windows.h>

#include <mutex>

// One call at a time: Wine fills a process-wide cache for these figures, and a second thread
// could read it half filled.
std::optional<MemoryFigures> MemoryStatus() {
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    MEMORYSTATUSEX memory{};
    memory.dwLength = sizeof memory;
    if (!GlobalMemoryStatusEx(&memory) || memory.ullTotalPhys == 0 ||
        memory.ullAvailPageFile == 0) {
        return std::nullopt;
    }
    return MemoryFigures{memory.ullAvailPhys, memory.ullAvailPageFile};
}

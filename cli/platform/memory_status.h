#pragma once

#include <cstdint>
#include <optional>

// The system's memory figures in bytes: physical memory available now, and what a new
// allocation can still commit (Windows: the page file's room too; Linux: what is available
// without swapping).
struct MemoryFigures {
    std::uint64_t availablePhysical = 0;
    std::uint64_t availableToCommit = 0;
};

// Nothing when the system gives no figures that make sense. Calls are made one at a time.
std::optional<MemoryFigures> MemoryStatus();

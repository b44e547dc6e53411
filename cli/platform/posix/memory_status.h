#pragma once

#include <cstdint>
#include <optional>

namespace posix {

// The system's memory figures in bytes: physical memory in all, and what is available to a new
// allocation without swapping (Linux's MemAvailable: free memory and what the page cache can
// give back).
struct MemoryFigures {
    std::uint64_t total = 0;
    std::uint64_t available = 0;
};

// Nothing when the system gives no figures that make sense.
std::optional<MemoryFigures> MemoryStatus();

}  // namespace posix

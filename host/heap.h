#pragma once

#include <cstddef>
#include <new>

#include "host/host_api.h"

// Objects handed to the host live on the host's heap: deriving from this routes new and
// delete of the derived class through the host.
class HOSTSDK_API HostHeapOperators {
  public:
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* memory) noexcept;
    static void operator delete(void* memory, const std::nothrow_t&) noexcept;
};

// Releases a block of the host's table storage and nulls the pointer that held it.
HOSTSDK_API void zfree(void** table);

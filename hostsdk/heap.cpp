#include "host/heap.h"

#include <atomic>
#include <cstdlib>

#include "hostsdk/records.h"

namespace {

void* HostAllocate(std::size_t size) noexcept {
    auto& records = hostsdk::TheRecords();
    if (records.hostAllocationCountdown > 0 && --records.hostAllocationCountdown == 0) {
        return nullptr;
    }
    void* memory = std::malloc(size == 0 ? 1 : size);
    // Counted atomically: a batch host creates and deletes filter objects on several threads.
    if (memory != nullptr) std::atomic_ref<int>(records.hostAllocations).fetch_add(1);
    return memory;
}

void HostRelease(void* memory) noexcept {
    if (memory == nullptr) return;
    std::atomic_ref<int>(hostsdk::TheRecords().hostReleases).fetch_add(1);
    std::free(memory);
}

}  // namespace

void* HostHeapOperators::operator new(std::size_t size) {
    void* memory = HostAllocate(size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void* HostHeapOperators::operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return HostAllocate(size);
}

void HostHeapOperators::operator delete(void* memory) noexcept {
    HostRelease(memory);
}

void HostHeapOperators::operator delete(void* memory, const std::nothrow_t&) noexcept {
    HostRelease(memory);
}

void zfree(void** table) {
    if (table == nullptr) return;
    std::free(*table);
    *table = nullptr;
}

#include "host/heap.h"

#include <cstdlib>

#include "hostsdk/hooks.h"

namespace {

void* HostAllocate(std::size_t size) noexcept {
    if (hostsdk::hooks::AllocationRefused()) return nullptr;
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory != nullptr) hostsdk::hooks::Allocated();
    return memory;
}

void HostRelease(void* memory) noexcept {
    if (memory == nullptr) return;
    hostsdk::hooks::Released();
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

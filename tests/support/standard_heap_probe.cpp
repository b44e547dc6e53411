#include "tests/support/standard_heap_probe.h"

#include <cstdlib>
#include <set>
#include <stdexcept>

namespace {

struct ProbeState {
    int failAt = 0;
    int calls = 0;
    int allocations = 0;
    int refusals = 0;
    int releases = 0;
    std::set<void*> live;
    void* (*realCalloc)(size_t, size_t) = nullptr;
    void (*realFree)(void*) = nullptr;
};

ProbeState* state = nullptr;

void* ProbeCalloc(size_t count, size_t size) {
    if (++state->calls == state->failAt) {
        ++state->refusals;
        return nullptr;
    }
    void* memory = state->realCalloc(count, size);
    if (memory != nullptr) {
        ++state->allocations;
        state->live.insert(memory);
    }
    return memory;
}

void ProbeFree(void* memory) {
    if (state->live.erase(memory) != 0) ++state->releases;
    state->realFree(memory);
}

const char* const kRuntimeLibraries[] = {"msvcrt.dll", "ucrtbase.dll",
                                         "api-ms-win-crt-heap-l1-1-0.dll"};

std::unique_ptr<ImportPatch> PatchRuntimeImport(HMODULE module, const char* name, void* with) {
    for (const char* library : kRuntimeLibraries) {
        if (FindImportSlot(module, library, name) != nullptr) {
            return std::make_unique<ImportPatch>(module, library, name, with);
        }
    }
    throw std::runtime_error(std::string("plug-in does not import ") + name);
}

}  // namespace

StandardHeapProbe::StandardHeapProbe(HMODULE plugin) {
    if (state != nullptr) throw std::logic_error("one heap probe at a time");
    state = new ProbeState;
    calloc_ = PatchRuntimeImport(plugin, "calloc", reinterpret_cast<void*>(&ProbeCalloc));
    free_ = PatchRuntimeImport(plugin, "free", reinterpret_cast<void*>(&ProbeFree));
    state->realCalloc = reinterpret_cast<void* (*)(size_t, size_t)>(calloc_->Original());
    state->realFree = reinterpret_cast<void (*)(void*)>(free_->Original());
}

StandardHeapProbe::~StandardHeapProbe() {
    calloc_.reset();
    free_.reset();
    delete state;
    state = nullptr;
}

void StandardHeapProbe::FailAllocation(int nth) {
    state->failAt = nth == 0 ? 0 : state->calls + nth;
}

int StandardHeapProbe::Allocations() const {
    return state->allocations;
}
int StandardHeapProbe::Refusals() const {
    return state->refusals;
}
int StandardHeapProbe::Releases() const {
    return state->releases;
}

#pragma once

#include <windows.h>

#include <memory>

#include "tests/support/import_patch.h"

// Watches the plug-in's standard-heap row buffers: counts its calloc calls and the releases
// of what they returned, and can refuse the nth calloc. Works by patching the plug-in's
// imports of calloc and free; one probe at a time.
class StandardHeapProbe {
  public:
    explicit StandardHeapProbe(HMODULE plugin);
    ~StandardHeapProbe();
    StandardHeapProbe(const StandardHeapProbe&) = delete;
    StandardHeapProbe& operator=(const StandardHeapProbe&) = delete;

    // The nth calloc from now (counted from 1) returns null; 0 refuses none.
    void FailAllocation(int nth);

    int Allocations() const;  // callocs that returned memory
    int Refusals() const;
    int Releases() const;  // frees of memory handed out by a counted calloc
    int Outstanding() const { return Allocations() - Releases(); }

  private:
    std::unique_ptr<ImportPatch> calloc_;
    std::unique_ptr<ImportPatch> free_;
};

#pragma once

#include <windows.h>

// Replaces one imported function of a loaded module by rewriting its import address table
// entry, and puts the original back when it goes out of scope. This is how tests substitute
// the platform functions a module calls without the module carrying any test hook.
class ImportPatch {
  public:
    ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    void* Original() const { return original_; }
    // Leaves the replacement in for good, for a module that is about to be unloaded (its
    // import table is gone once it is).
    void Keep() { slot_ = nullptr; }

  private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};

// The import address table slot of `functionName` from `dllName` (case-insensitive), or null.
void** FindImportSlot(HMODULE module, const char* dllName, const char* functionName);

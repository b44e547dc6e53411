#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "host/class_desc.h"
#include "host/image_filter.h"
#include "standin/sdk/plugin_loading.h"

// Braidel.flt (or a copy of it at `path`), loaded the way a host loads a plug-in.
class PluginLibrary {
  public:
    explicit PluginLibrary(const std::wstring& path = PathBesideProgram(L"Braidel.flt"));
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    HMODULE Handle() const { return module_; }
    const std::wstring& Path() const { return path_; }

    // An export by name; null when the library has no such export.
    template <class Function>
    Function Export(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    ClassDesc* Descriptor() const;
    // A new filter from the class descriptor, as the host creates one.
    FilterPtr CreateFilter() const;

    // Unloads the library now (the destructor then does nothing).
    void Unload();

  private:
    std::wstring path_;
    HMODULE module_;
};

// The library shared by all tests of a program, loaded on first use.
PluginLibrary& Plugin();

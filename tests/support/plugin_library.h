#pragma once

#include <windows.h>

#include <memory>

#include "host/class_desc.h"
#include "host/image_filter.h"

// The host's own deletion of a filter: through its virtual destructor.
struct FilterDeleter {
    void operator()(ImageFilter* filter) const { delete filter; }
};
using FilterPtr = std::unique_ptr<ImageFilter, FilterDeleter>;

// Braidel.flt, loaded from beside the test program the way a host loads a plug-in.
class PluginLibrary {
  public:
    PluginLibrary();
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    HMODULE Handle() const { return module_; }

    // An export by name; null when the library has no such export.
    template <class Function>
    Function Export(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    ClassDesc* Descriptor() const;
    // A new filter from the class descriptor, as the host creates one.
    FilterPtr CreateFilter() const;

  private:
    HMODULE module_;
};

// The library shared by all tests of a program, loaded on first use.
PluginLibrary& Plugin();

// Full path of a file beside the running test program.
std::wstring PathBesideProgram(const wchar_t* fileName);

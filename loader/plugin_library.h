#pragma once

// Loading the plug-in the way a host loads an image-filter plug-in: LoadLibraryW, the
// library's exports, the class descriptor of index 0, and filter objects owned as a host owns
// them. Every program of ours that loads Braidel.flt does it through this.

#include <windows.h>

#include <memory>
#include <string>

#include "common/failure.h"
#include "host/class_desc.h"
#include "host/image_filter.h"

// A filter object owned as a host owns it: deleted through its virtual destructor, which
// returns the memory to the host's heap.
struct FilterDeleter {
    void operator()(ImageFilter* filter) const { delete filter; }
};
using FilterPtr = std::unique_ptr<ImageFilter, FilterDeleter>;

// Full path of a file beside the running program, whatever the length of its folder.
std::wstring PathBesideProgram(const wchar_t* fileName);

// The plug-in library at `path`, loaded and checked: it has the exports a host calls and
// offers an image-filter class at index 0. When it is not, Loaded() is false and LoadFailure()
// says why (FailureCode::RenderFailed).
class PluginLibrary {
  public:
    explicit PluginLibrary(const std::wstring& path = PathBesideProgram(L"Braidel.flt"));
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool Loaded() const { return descriptor_ != nullptr; }
    const Failure& LoadFailure() const { return failure_; }

    HMODULE Handle() const { return module_; }
    const std::wstring& Path() const { return path_; }

    // An export by name; null when the library has no such export.
    template <class Function>
    Function Export(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    ClassDesc* Descriptor() const { return descriptor_; }
    // The library's description, as UTF-8.
    std::string Description() const;
    unsigned long Version() const { return version_; }
    // A new filter from the class descriptor, as the host creates one; null when refused.
    FilterPtr CreateFilter() const;

    // Unloads the library now (the destructor then does nothing).
    void Unload();

  private:
    bool Check();
    void Refuse(const std::string& why);

    std::wstring path_;
    Failure failure_;
    HMODULE module_ = nullptr;
    ClassDesc* descriptor_ = nullptr;
    unsigned long version_ = 0;
};

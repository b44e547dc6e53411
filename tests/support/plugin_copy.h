#pragma once

#include <windows.h>

#include <string>

#include "host/class_desc.h"
#include "tests/support/plugin_library.h"

// A private copy of Braidel.flt under its own file name, loaded as a module of its own: its
// module-wide state (activation hosting, edited filter, unload clean-up) starts fresh and is
// not shared with the Braidel.flt that other tests use.
class PluginCopy {
  public:
    // `relativePath` is relative to the test program's folder; missing folders are created.
    explicit PluginCopy(const std::wstring& relativePath);
    ~PluginCopy();
    PluginCopy(const PluginCopy&) = delete;
    PluginCopy& operator=(const PluginCopy&) = delete;

    HMODULE Handle() const { return module_; }
    const std::wstring& Path() const { return path_; }
    ClassDesc* Descriptor() const;
    FilterPtr CreateFilter() const;

    // Unloads the copy now (the destructor then does nothing).
    void Unload();

  private:
    std::wstring path_;
    HMODULE module_ = nullptr;
};

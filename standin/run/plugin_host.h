#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "filter/filter_config.h"
#include "host/class_desc.h"
#include "host/image_filter.h"
#include "standin/sdk/plugin_loading.h"

// Braidel.flt, loaded from beside this program the way a host loads an image-filter plug-in:
// LoadLibraryW, then the version, the class count and the class descriptor of index 0.
class PluginHost {
  public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the library; on failure returns false and sets `error` to one line.
    bool Load(std::wstring& error);

    std::wstring Description() const;
    unsigned long Version() const { return version_; }

    // A new filter object from the descriptor; null when the descriptor refuses.
    FilterPtr CreateFilter() const;

  private:
    HMODULE module_ = nullptr;
    ClassDesc* descriptor_ = nullptr;
    const wchar_t* (*description_)() = nullptr;
    unsigned long version_ = 0;
};

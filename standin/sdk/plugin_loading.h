#pragma once

// What every host program of ours needs to load the plug-in: where it lies and how a filter
// object is owned.

#include <windows.h>

#include <memory>
#include <string>

#include "host/image_filter.h"

// A filter object owned as a host owns it: deleted through its virtual destructor, which
// returns the memory to the host's heap.
struct FilterDeleter {
    void operator()(ImageFilter* filter) const { delete filter; }
};
using FilterPtr = std::unique_ptr<ImageFilter, FilterDeleter>;

// Full path of a file beside the running program, whatever the length of its folder.
inline std::wstring PathBesideProgram(const wchar_t* fileName) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.erase(path.find_last_of(L"\\/") + 1) + fileName;
}

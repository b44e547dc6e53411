#pragma once

#include <string>

#include "tests/support/plugin.h"

// A private copy of Braidel.flt under its own file name, loaded as a module of its own: its
// module-wide state (activation hosting, edited filter, unload clean-up) starts fresh and is
// not shared with the Braidel.flt that other tests use.
class PluginCopy : public PluginLibrary {
  public:
    // `relativePath` is relative to the test program's folder; missing folders are created.
    explicit PluginCopy(const std::wstring& relativePath);
};

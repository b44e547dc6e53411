#include "tests/support/plugin.h"

#include <stdexcept>

#include "hosting/win32_text.h"

PluginLibrary& Plugin() {
    static PluginLibrary library;
    if (!library.Loaded()) throw std::runtime_error(ToUtf8(library.Error()));
    return library;
}

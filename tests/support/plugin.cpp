#include "tests/support/plugin.h"

#include <stdexcept>

#include "hosting/win32_text.h"

PluginLibrary& Plugin() {
    static PluginLibrary library;
    if (!library.Loaded()) throw std::runtime_error(ToUtf8(library.Error()));
    return library;
}

FilterConfig ConfigOf(ImageFilter& filter) {
    FilterConfig config;
    if (filter.SaveConfig(&config) != 1) throw std::runtime_error("SaveConfig failed");
    return config;
}

void SetConfig(ImageFilter& filter, FilterConfig config) {
    if (filter.LoadConfig(&config) != 1) throw std::runtime_error("LoadConfig failed");
}

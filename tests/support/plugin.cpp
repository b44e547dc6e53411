#include "tests/support/plugin.h"

#include <stdexcept>

PluginLibrary& Plugin() {
    static PluginLibrary library;
    if (!library.Loaded()) throw std::runtime_error(library.LoadFailure().reason);
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

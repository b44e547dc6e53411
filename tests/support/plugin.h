#pragma once

#include "filter/filter_config.h"
#include "loader/plugin_library.h"

// Braidel.flt beside the test program, loaded on first use and shared by all tests of a
// program. Throws when it cannot be loaded, so no test runs against nothing.
PluginLibrary& Plugin();

// A filter's configuration as a host reads and sets it: through its 8-byte block.
FilterConfig ConfigOf(ImageFilter& filter);
void SetConfig(ImageFilter& filter, FilterConfig config);

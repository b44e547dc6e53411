#pragma once

#include "hosting/plugin_library.h"

// Braidel.flt beside the test program, loaded on first use and shared by all tests of a
// program. Throws when it cannot be loaded, so no test runs against nothing.
PluginLibrary& Plugin();

#pragma once

#include <windows.h>

#include "filter/filter_config.h"

// Runs the setup dialog modally on a filter's configuration: 1 after OK (the host's work is
// then marked as needing to be saved), 0 after Cancel or Escape (the configuration gets back the
// values it held when the dialog opened), -1 with the thread's last error when the dialog could
// not be shown.
int ShowSetupDialog(HWND parent, FilterConfig& config);

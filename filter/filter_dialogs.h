#pragma once

// The dialogs the filter opens for the host, as the filter needs them; ui/ implements them. The
// filter states what it needs here, so that ui/ depends on filter/ and not the other way round.

#include <windows.h>

#include "filter/filter_config.h"

// Runs the setup dialog modally on a filter's configuration: 1 after OK (the host's work is
// then marked as needing to be saved), 0 after Cancel or Escape (the configuration gets back the
// values it held when the dialog opened), -1 with the thread's last error when the dialog could
// not be shown. Implemented in ui/setup_dialog.cpp.
int ShowSetupDialog(HWND parent, FilterConfig& config);

// Runs the about box modally: 1 after OK, 0 after Escape, -1 with the thread's last error when
// it could not be shown. `initParam` reaches the box's procedure with WM_INITDIALOG (the filter
// passes its own address, as hosts' about boxes receive it); the box never uses it and changes
// nothing. Implemented in ui/about_dialog.cpp.
INT_PTR ShowAboutBox(HWND parent, LPARAM initParam);

#pragma once

#include <windows.h>

class BraideledCompositor;

// Runs the setup dialog modally on `filter`: 1 after OK, 0 after Cancel, -1 when it could not
// be shown.
int ShowSetupDialog(HWND parent, BraideledCompositor& filter);

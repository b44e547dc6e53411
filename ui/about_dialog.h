#pragma once

#include <windows.h>

class BraideledCompositor;

// Runs the about box modally: 1 after OK, 0 after Escape, -1 when it could not be shown.
INT_PTR ShowAboutBox(HWND parent, BraideledCompositor& filter);

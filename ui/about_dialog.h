#pragma once

#include <windows.h>

class BraideledCompositor;

// Runs the about box modally: 1 after OK, 0 after Escape, -1 with the thread's last error when
// it could not be shown. Changes nothing in the filter.
INT_PTR ShowAboutBox(HWND parent, BraideledCompositor& filter);

// The about box's procedure.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

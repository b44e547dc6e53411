#pragma once

#include <windows.h>

// Runs the about box modally: 1 after OK, 0 after Escape, -1 with the thread's last error when
// it could not be shown. `initParam` reaches the box's procedure with WM_INITDIALOG (the filter
// passes its own address, as hosts' about boxes receive it); the box never uses it and changes
// nothing.
INT_PTR ShowAboutBox(HWND parent, LPARAM initParam);

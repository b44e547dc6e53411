#pragma once

#include <windows.h>

// Shows a modal dialog of this module with the module's own activation context active around
// it. Same arguments and result as DialogBoxParamW: the value passed to EndDialog, or -1 with
// the thread's last error set when no dialog was shown.
INT_PTR ModuleDialogBoxParam(HINSTANCE instance, LPCWSTR templateName, HWND parent,
                             DLGPROC dialogProc, LPARAM initParam);

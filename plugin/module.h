#pragma once

#include <windows.h>

// This module's instance handle, stored when the library is attached; the dialogs load their
// templates through it.
HINSTANCE ModuleInstance();

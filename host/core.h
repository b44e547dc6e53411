#pragma once

#include <windows.h>

#include "host/host_api.h"

// Marks the host's current work as needing to be saved.
HOSTSDK_API void SetSaveRequiredFlag(int flag);

// Centres `window` over `parent` (over the desktop's work area when parent is null).
HOSTSDK_API BOOL CenterWindow(HWND window, HWND parent);

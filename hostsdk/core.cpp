#include "host/core.h"

#include "hostsdk/hooks.h"

void SetSaveRequiredFlag(int flag) {
    hostsdk::hooks::SaveRequiredFlagSet(flag);
}

BOOL CenterWindow(HWND window, HWND parent) {
    hostsdk::hooks::WindowCentered();
    RECT area{};
    if (parent != nullptr) {
        if (!GetWindowRect(parent, &area)) return FALSE;
    } else if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
        return FALSE;
    }
    RECT own{};
    if (!GetWindowRect(window, &own)) return FALSE;
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    return SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

#include "cli/render/cancellation.h"

#include <windows.h>

namespace {

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            AbortRequested().store(true);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::atomic<bool>& AbortRequested() {
    static std::atomic<bool> requested{false};
    return requested;
}

void InstallAbortHandler() {
    // A process started in a new process group has Ctrl-C disabled; enable it again.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

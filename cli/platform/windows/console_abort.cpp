#include "cli/platform/windows/console_abort.h"

#include <windows.h>

#include <atomic>

#include "cli/exit_codes.h"
#include "cli/platform/program.h"
#include "cli/platform/text.h"
#include "cli/render/cancellation.h"

namespace {

std::atomic<int>& DialogsShown() {
    static std::atomic<int> shown{0};
    return shown;
}

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            AbortRequested().store(true);
            // A modal dialog polls nothing, and nothing of the run is under way yet.
            if (DialogsShown().load() > 0) {
                PrintError("aborted while a dialog was open; nothing done");
                TerminateProcess(GetCurrentProcess(), kExitAborted);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

DialogScope::DialogScope() {
    ++DialogsShown();
    if (AbortRequested().load()) {
        PrintError("aborted before the dialog opened; nothing done");
        TerminateProcess(GetCurrentProcess(), kExitAborted);
    }
}

DialogScope::~DialogScope() {
    --DialogsShown();
}

// Ctrl-C, Ctrl-Break and closing the console set AbortRequested() from here on.
Failure PrepareRun() {
    // A process started in a new process group has Ctrl-C disabled; enable it again.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    return {};
}

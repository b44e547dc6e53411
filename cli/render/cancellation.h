#pragma once

#include <atomic>

// Cancellation of the whole run. Ctrl-C, Ctrl-Break and closing the console (under the Linux
// launcher also SIGTERM and SIGHUP, which it turns into Ctrl-C) set one flag; the render
// windows hand it to the filter at its next abort poll, and batch and stream check it between
// their steps, so that no further frame is written.
std::atomic<bool>& AbortRequested();

// Installs the console control handler that sets AbortRequested().
void InstallAbortHandler();

// While one lives, a modal dialog is open (setup or about box): it answers no abort poll, so a
// stop ends the program at once, with kExitAborted and one line. Nothing has been written then.
class DialogScope {
  public:
    DialogScope();
    ~DialogScope();
    DialogScope(const DialogScope&) = delete;
    DialogScope& operator=(const DialogScope&) = delete;
};

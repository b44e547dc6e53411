#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace posix {

// A crash (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT) ends the run with one line on stderr,
// "braidel-run: crashed (SIGSEGV); stopped", and exit code 4, as the Windows program's crash
// filter ends it; nothing waits and no core is left for it. Temporary files of frames in work
// may stay: nothing can be trusted after a fault. Call once at start.
void InstallCrashReport();

// The signals that stop a run cleanly: SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1,
// SIGUSR2 and SIGPIPE sent to the process (as kill, timeout or a closing terminal send them).
// They are blocked in every thread and taken by one watcher thread, which records the first
// and calls `onStop` once; the run then stops at its next poll, removes its temporary files and
// exits 128 + the signal's number. Further signals change nothing. A write to a pipe whose
// reader has gone raises SIGPIPE in the writing thread only, where it stays blocked: the write
// fails with EPIPE instead, which the run reports as an output not written. A signal that the
// caller set to be ignored (as nohup sets SIGHUP) stays ignored.
class StopSignals {
  public:
    // Blocks the signals; call in the main thread before any other thread starts, so that every
    // thread inherits the mask.
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first stop signal's number, 0 while none came.
    int Received() const { return received_.load(); }

    // 128 + the signal's number: the exit code of a run that a signal stopped.
    static int ExitCodeFor(int signal) { return 128 + signal; }

  private:
    void Watch();

    std::function<void()> onStop_;
    sigset_t ignored_;
    std::atomic<int> received_{0};
    std::atomic<bool> closing_{false};
    std::thread watcher_;
};

}  // namespace posix

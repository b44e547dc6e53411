#include "cli/platform/posix/stop_signals.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <utility>

#include "cli/exit_codes.h"
#include "cli/platform/text.h"

namespace posix {

namespace {

constexpr int kStopSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                                SIGALRM, SIGUSR1, SIGUSR2, SIGPIPE};
// Sent by the destructor to the watcher alone, to end its wait.
constexpr int kWakeSignal = SIGUSR2;

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kStopSignals) sigaddset(&set, signal);
    return set;
}

// The crash lines, made at start: the handler may only write(2).
struct CrashSignal {
    int number;
    const char* name;
    std::string line;
};
CrashSignal crashSignals[] = {{SIGSEGV, "SIGSEGV", {}},
                              {SIGBUS, "SIGBUS", {}},
                              {SIGILL, "SIGILL", {}},
                              {SIGFPE, "SIGFPE", {}},
                              {SIGABRT, "SIGABRT", {}}};

void OnCrash(int signal) {
    for (const CrashSignal& crash : crashSignals) {
        if (crash.number != signal) continue;
        // What write(2) cannot write is lost with the process.
        if (::write(STDERR_FILENO, crash.line.data(), crash.line.size()) < 0) break;
    }
    ::_exit(kExitRenderFailed);
}

// Its own stack, so that a stack overflow can still be reported.
alignas(16) char crashStack[64 * 1024];

}  // namespace

void InstallCrashReport() {
    stack_t stack{};
    stack.ss_sp = crashStack;
    stack.ss_size = sizeof crashStack;
    ::sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (CrashSignal& crash : crashSignals) {
        crash.line = CrashLine(crash.name);
        ::sigaction(crash.number, &action, nullptr);
    }
}

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    sigemptyset(&ignored_);
    for (int signal : kStopSignals) {
        struct sigaction action {};
        if (::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
            sigaddset(&ignored_, signal);
        }
    }
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    watcher_ = std::thread(&StopSignals::Watch, this);
}

StopSignals::~StopSignals() {
    closing_.store(true);
    pthread_kill(watcher_.native_handle(), kWakeSignal);
    watcher_.join();
}

void StopSignals::Watch() {
    const sigset_t set = StopSet();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0) continue;
        // A run that has finished keeps its own outcome.
        if (closing_.load()) return;
        // One the caller ignores (as nohup ignores SIGHUP) stays ignored.
        if (sigismember(&ignored_, signal) == 1) continue;
        int none = 0;
        if (received_.compare_exchange_strong(none, signal) && onStop_) onStop_();
    }
}

}  // namespace posix

#include "cli/platform/posix/stop_signals.h"

#include <pthread.h>
#include <signal.h>

#include <utility>

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

}  // namespace

StopSignals::StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
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
        int none = 0;
        if (received_.compare_exchange_strong(none, signal) && onStop_) onStop_();
    }
}

}  // namespace posix

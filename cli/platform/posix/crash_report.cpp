#include "cli/platform/posix/crash_report.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace posix {

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kExitCrashed = 4;  // the exit code of a failed render

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        default:
            return "SIGABRT";
    }
}

void Put(const char* text) {
    // Only write(2) may be called here; what it cannot write is lost with the process.
    if (::write(STDERR_FILENO, text, std::strlen(text)) < 0) return;
}

void OnCrash(int signal) {
    Put("braidel-run: crashed (");
    Put(SignalName(signal));
    Put("); stopped\n");
    ::_exit(kExitCrashed);
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
    for (int signal : kCrashSignals) ::sigaction(signal, &action, nullptr);
}

}  // namespace posix

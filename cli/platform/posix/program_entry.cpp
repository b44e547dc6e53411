// The native program's start-up: a crash reported in one line, the caller's standard streams as
// they are, the stop signals taken by one watcher thread, writes past the file-size limit as
// errors, and the arguments as the bytes they are.

#include <signal.h>

#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/platform/posix/stop_signals.h"
#include "cli/platform/posix/system_calls.h"
#include "cli/platform/program.h"
#include "cli/platform/text.h"
#include "cli/render/cancellation.h"

namespace {

bool IsOneOf(const std::string& arg, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (arg == name) return true;
    }
    return false;
}

// The names of the caller's standard input and output are "-", the stream itself; standard
// error carries the run's messages and is refused (false, with its line written).
bool CallerName(const std::string& arg, std::string& name) {
    if (IsOneOf(arg, {"/dev/stdin", "/dev/fd/0", "/proc/self/fd/0", "/dev/stdout", "/dev/fd/1",
                      "/proc/self/fd/1"})) {
        name.assign(1, '-');  // (assigning the literal trips a false -Wrestrict in GCC 12)
        return true;
    }
    if (IsOneOf(arg, {"/dev/stderr", "/dev/fd/2", "/proc/self/fd/2"})) {
        std::string line = arg;
        line +=
            " is standard error, which carries the run's messages; name a file or - for "
            "standard output";
        PrintError(line);
        return false;
    }
    name = arg;
    return true;
}

}  // namespace

Failure PrepareRun() {
    return {};
}

// Under the sanitizers their own report of a crash says more than one line.
#if defined(__SANITIZE_ADDRESS__)
#define BRAIDEL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRAIDEL_SANITIZED 1
#endif
#endif

int main(int argc, char** argv) {
#if !defined(BRAIDEL_SANITIZED)
    posix::InstallCrashReport();
#endif
    posix::TakeStandardStreams();
    // A write past the file-size limit (`ulimit -f`) then fails with EFBIG, reported like a full
    // disk, instead of ending the process.
    ::signal(SIGXFSZ, SIG_IGN);
    // Before any other thread starts, so that every thread keeps the signals blocked. Under a
    // tight memory limit even the watcher's thread may not start: one line, as for the run's own.
    std::optional<posix::StopSignals> stops;
    try {
        stops.emplace([] { AbortRequested().store(true); });
    } catch (const std::system_error& error) {
        PrintError(std::string("cannot start: the system refused a thread: ") + error.what());
        return kExitRenderFailed;
    }
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        std::string name;
        if (!CallerName(argv[i], name)) return kExitUsage;
        args.push_back(std::move(name));
    }
    const int code = RunCommandLine(args);
    // A run the signal stopped says which signal, as a shell expects of a program it ended.
    if (const int signal = stops->Received(); signal != 0 && code == kExitAborted) {
        return posix::StopSignals::ExitCodeFor(signal);
    }
    return code;
}

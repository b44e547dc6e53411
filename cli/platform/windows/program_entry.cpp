// The Windows program's start-up: a crash filter, binary standard streams and the wide command
// line as UTF-8; the console's Ctrl-C is taken once the arguments are parsed (console_abort.cpp).

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cli/platform/program.h"
#include "cli/platform/text.h"
#include "loader/win32_text.h"

namespace {

// A crash ends the run with one line and exit code 4; no debugger is started and nothing
// waits. Temporary files of frames in work may stay: nothing can be trusted after a fault.
LONG WINAPI OnCrash(EXCEPTION_POINTERS* exception) {
    char what[64];
    std::snprintf(what, sizeof what, "exception 0x%08lX at %p",
                  exception->ExceptionRecord->ExceptionCode,
                  exception->ExceptionRecord->ExceptionAddress);
    // Straight to the handle: the crash may have come while another line held the output lock.
    const std::string bytes = CrashLine(what);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
    TerminateProcess(GetCurrentProcess(), kExitRenderFailed);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    SetUnhandledExceptionFilter(OnCrash);
    // Lines end in a plain newline, as every other tool of a pipeline writes them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Text is UTF-8 from here on.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(ToUtf8(argv[i]));
    return RunCommandLine(args);
}

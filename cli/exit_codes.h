#pragma once

#include <string>

// What braidel-run tells its caller. A batch exits with the code of its first failed frame.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitUsage = 2,
    kExitBadInput = 3,
    kExitRenderFailed = 4,
    kExitNotWritten = 5,
    kExitAborted = 130,
};

// A failure: its exit code and the one line that explains it.
struct Failure {
    ExitCode code = kExitSuccess;
    std::wstring message;

    explicit operator bool() const { return code != kExitSuccess; }
};

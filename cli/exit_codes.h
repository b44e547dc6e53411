#pragma once

#include "common/failure.h"

// What braidel-run tells its caller. A batch exits with the code of its first failed frame.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitUsage = 2,
    kExitBadInput = 3,
    kExitRenderFailed = 4,
    kExitNotWritten = 5,
    kExitAborted = 130,
};

// The exit code that reports a failure of this kind.
constexpr int ExitCodeOf(FailureCode code) {
    switch (code) {
        case FailureCode::None:
            return kExitSuccess;
        case FailureCode::Usage:
            return kExitUsage;
        case FailureCode::BadInput:
            return kExitBadInput;
        case FailureCode::RenderFailed:
            return kExitRenderFailed;
        case FailureCode::NotWritten:
            return kExitNotWritten;
        case FailureCode::Aborted:
            return kExitAborted;
    }
    return kExitRenderFailed;
}

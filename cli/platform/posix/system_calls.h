#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <string>

#include "cli/exit_codes.h"

namespace posix {

// What the POSIX side of the platform shares among its files. Failures are errno values; 0 is
// success.

// Calls `call` until it is not interrupted by a signal; its result as it returned.
template <class Call>
auto RetryInterrupted(Call call) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

// The system's words for an error number, as one line of text.
std::string ErrorText(int error);

// Standard input, output and error as the caller left them. One the caller closed is given
// /dev/null in its place, so that no file the run opens takes its number, and StandardHandle
// says it is not there. Call once at start, before anything is opened.
void TakeStandardStreams();

// "NAME: cannot be read: why" (FailureCode::BadInput) and "NAME: not written: why"
// (FailureCode::NotWritten); past the file-size limit (EFBIG), which limit.
Failure CannotRead(const std::string& name, int error);
Failure NotWritten(const std::string& name, int error);

// Whether `status` is a file that is read or written as a stream and never replaced: a named
// pipe, or a character or block device.
bool IsStreamDevice(const struct stat& status);

}  // namespace posix

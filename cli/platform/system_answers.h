#pragma once

#include <cstdint>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/system_file.h"

// What each system answers for the code written once above it (file_io.cpp, file_paths.cpp and
// pending_file.cpp in cli/platform/): implemented in platform/windows/ and platform/posix/.

// A standard stream's handle; OwnedFile::None() when the caller closed it.
FileHandle StandardHandle(StandardStreamId which);

// One try at opening a named pipe or device as a raw stream's end. `notYet` tells that the
// other end is not there yet (a pipe with no reader), to be tried again.
Failure TryOpenStreamEnd(const FilePath& path, bool write, FailureCode code, OwnedFile& file,
                         bool& notYet);

// Waits up to `milliseconds` until a stream end can be read (a writer has written, or come and
// gone) or written; false on timeout. Its reads or writes block from then on.
bool WaitStreamReady(FileHandle handle, bool write, int milliseconds);

// 64 bits from the system's generator of random numbers.
std::uint64_t RandomBits();

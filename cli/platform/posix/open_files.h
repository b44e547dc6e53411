#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>

#include "cli/platform/posix/unique_fd.h"

namespace posix {

// Files the run reads, and the named pipes and devices it reads or writes straight on, opened
// through a walk of any length. Failures are errno values.

// A file opened only for reading, and what it is.
struct OpenedFile {
    UniqueFd fd;
    struct stat status {};
};

// Opens `path` (links followed) for reading. A named pipe is opened without waiting for its
// writer; WaitReady then tells when it may be read.
int OpenForReading(const std::string& path, OpenedFile& file);

// Opens a named pipe or character device for writing without waiting: ENXIO when a pipe has no
// reader.
int OpenStreamForWriting(const std::string& path, OpenedFile& file);

// Waits up to `milliseconds` until `fd` can be read (a writer has written, or come and gone) or
// written; false on timeout. The stream's reads and writes block from then on.
bool WaitReady(int fd, bool write, int milliseconds);

// The largest pipe this system lets a process ask for (fs.pipe-max-size), in bytes.
std::size_t LargestPipe();

// Makes the folder `path` and every missing parent, each with mode 0777 less the umask; an
// existing folder is no failure.
int MakeFolders(const std::string& path);

}  // namespace posix

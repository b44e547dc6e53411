#include "cli/platform/posix/open_files.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <fstream>

#include "cli/platform/posix/file_status.h"
#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/system_calls.h"

namespace posix {

namespace {

int OpenEntryAs(const std::string& path, int flags, OpenedFile& file) {
    FolderEntry entry;
    if (int error = OpenEntry(path, entry)) return error;
    const int fd = RetryInterrupted(
        [&] { return ::openat(entry.folder.Get(), entry.name.c_str(), flags | O_CLOEXEC); });
    if (fd < 0) return errno;
    file.fd = UniqueFd(fd);
    if (::fstat(fd, &file.status) != 0) return errno;
    return 0;
}

}  // namespace

int OpenForReading(const std::string& path, OpenedFile& file) {
    // Without O_NONBLOCK, opening a named pipe would wait for a writer where no stop is seen.
    return OpenEntryAs(path, O_RDONLY | O_NONBLOCK, file);
}

int OpenStreamForWriting(const std::string& path, OpenedFile& file) {
    if (int error = OpenEntryAs(path, O_WRONLY | O_NONBLOCK, file)) return error;
    return IsStreamDevice(file.status) ? 0 : EINVAL;
}

bool WaitReady(int fd, bool write, int milliseconds) {
    pollfd ready{fd, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    if (RetryInterrupted([&] { return ::poll(&ready, 1, milliseconds); }) <= 0) return false;
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

int MakeFolders(const std::string& typed) {
    std::string path = typed;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    UniqueFd folder;
    if (OpenFolder(path, folder) == 0) return 0;
    FolderEntry entry;
    int error = OpenEntry(path, entry);
    if (error == ENOENT) {
        // A missing parent: made first, then the walk is taken again.
        const std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || slash == 0) return error;
        if (int parent = MakeFolders(path.substr(0, slash))) return parent;
        error = OpenEntry(path, entry);
    }
    if (error) return error;
    if (::mkdirat(entry.folder.Get(), entry.name.c_str(), 0777) != 0 && errno != EEXIST) {
        return errno;
    }
    // What is there now must be a folder (ENOTDIR for a file of that name).
    return OpenFolder(path, folder);
}

std::size_t LargestPipe() {
    // Linux's default; the file says when the administrator set another.
    static const std::size_t largest = [] {
        std::size_t bytes = 0;
        std::ifstream("/proc/sys/fs/pipe-max-size") >> bytes;
        return bytes > 0 ? bytes : std::size_t{1} << 20;
    }();
    return largest;
}

}  // namespace posix

// Reads and writes of whole blocks, the standard streams, and named pipes and devices as a raw
// stream's ends, on POSIX.

#include "cli/platform/file_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/system_calls.h"
#include "cli/platform/system_answers.h"

namespace {

// The largest block one read or write moves: Linux moves at most this much per call anyway.
constexpr std::size_t kLargestTransfer = 0x7ffff000;

bool closedByCaller[3] = {false, false, false};

// The largest pipe this system lets a process ask for (fs.pipe-max-size), in bytes.
std::size_t LargestPipe() {
    static const std::size_t largest = [] {
        std::size_t bytes = 0;
        std::ifstream("/proc/sys/fs/pipe-max-size") >> bytes;
        return bytes > 0 ? bytes : std::size_t{1} << 20;  // Linux's default
    }();
    return largest;
}

// Opens `path` (links followed) without waiting: a named pipe's reader would wait for its
// writer, and its writer for a reader, where no stop is seen.
int OpenWithoutWaiting(const std::string& path, int flags, OwnedFile& file) {
    posix::FolderEntry entry;
    if (int error = posix::OpenEntry(path, entry)) return error;
    const int fd = posix::RetryInterrupted([&] {
        return ::openat(entry.folder.Get(), entry.name.c_str(),
                        flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    });
    if (fd < 0) return errno;
    file = OwnedFile(fd);
    return 0;
}

int MakeBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 ? 0 : errno;
}

// Reads until `bytes` is full or the file ends, through `read(buffer, size, done)`.
template <class Read>
Failure ReadFull(std::span<std::byte> bytes, const std::string& name, std::size_t& got, Read read) {
    got = 0;
    while (got < bytes.size()) {
        const std::size_t size = std::min(bytes.size() - got, kLargestTransfer);
        const ssize_t count =
            posix::RetryInterrupted([&] { return read(bytes.data() + got, size, got); });
        if (count < 0) return posix::CannotRead(name, errno);
        if (count == 0) break;
        got += static_cast<std::size_t>(count);
    }
    return {};
}

}  // namespace

namespace posix {

std::string ErrorText(int error) {
    char text[256];
    // The GNU strerror_r returns its text, which need not be in `text`.
    return ::strerror_r(error, text, sizeof text);
}

void TakeStandardStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken, which is `fd` since the ones below are open now.
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        closedByCaller[fd] = true;
        if (null >= 0 && null != fd) ::close(null);
    }
}

Failure CannotRead(const std::string& name, int error) {
    return {FailureCode::BadInput, name + ": cannot be read: " + ErrorText(error)};
}

// A write past the file-size limit fails with EFBIG (SIGXFSZ is ignored): this says which limit.
Failure NotWritten(const std::string& name, int error) {
    rlimit limit{};
    if (error == EFBIG && ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
        limit.rlim_cur != RLIM_INFINITY) {
        return {FailureCode::NotWritten,
                name + ": not written: larger than the file-size limit (ulimit -f) of " +
                    std::to_string(limit.rlim_cur) + " bytes"};
    }
    return {FailureCode::NotWritten, name + ": not written: " + ErrorText(error)};
}

bool IsStreamDevice(const struct stat& status) {
    return S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode);
}

}  // namespace posix

bool OwnedFile::Close() {
    // close() is never retried on EINTR: Linux has released the descriptor either way.
    const bool ok = !IsOpen(handle_) || ::close(handle_) == 0;
    handle_ = None();
    return ok;
}

FileHandle StandardHandle(StandardStreamId which) {
    const int fd = which == StandardStreamId::Input    ? STDIN_FILENO
                   : which == StandardStreamId::Output ? STDOUT_FILENO
                                                       : STDERR_FILENO;
    return closedByCaller[fd] ? OwnedFile::None() : fd;
}

// POSIX has no share modes: other processes may write or remove the file meanwhile, which the
// reader finds by the file's state (StateOf). A named pipe, opened without waiting for its
// writer, waits as any read does.
Failure OpenToRead(const FilePath& path, OwnedFile& file, bool /*shareWrites*/) {
    int error = OpenWithoutWaiting(path.system, O_RDONLY, file);
    if (error == 0) error = MakeBlocking(file.Get());
    return error ? posix::CannotRead(path.shown, error) : Failure{};
}

Failure ReadAll(FileHandle handle, std::span<std::byte> bytes, const std::string& name,
                std::size_t& got) {
    return ReadFull(bytes, name, got, [&](std::byte* buffer, std::size_t size, std::size_t) {
        return ::read(handle, buffer, size);
    });
}

Failure ReadAt(FileHandle handle, std::uint64_t offset, std::span<std::byte> bytes,
               const std::string& name, std::size_t& got) {
    return ReadFull(bytes, name, got, [&](std::byte* buffer, std::size_t size, std::size_t done) {
        return ::pread(handle, buffer, size, static_cast<off_t>(offset + done));
    });
}

Failure WriteAll(FileHandle handle, std::span<const std::byte> bytes, const std::string& name,
                 bool& readerGone) {
    readerGone = false;
    while (!bytes.empty()) {
        const std::size_t size = std::min(bytes.size(), kLargestTransfer);
        const ssize_t written =
            posix::RetryInterrupted([&] { return ::write(handle, bytes.data(), size); });
        // A write that moves nothing and says nothing would repeat forever.
        if (written <= 0) {
            const int error = written < 0 ? errno : EIO;
            readerGone = error == EPIPE;
            return posix::NotWritten(name, error);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return {};
}

bool IsTerminal(StandardStreamId which) {
    return ::isatty(StandardHandle(which)) == 1;
}

// Only a character device is opened to ask: opening a named pipe would meet its other end.
bool IsTerminal(const FilePath& path) {
    struct stat status {};
    OwnedFile file;
    return posix::StatusOf(path.system, status) == 0 && S_ISCHR(status.st_mode) &&
           OpenWithoutWaiting(path.system, O_RDONLY, file) == 0 && ::isatty(file.Get()) == 1;
}

Failure StateOf(FileHandle handle, const std::string& name, FileState& state) {
    struct stat status {};
    if (::fstat(handle, &status) != 0) return posix::CannotRead(name, errno);
    state.size = static_cast<std::uint64_t>(status.st_size);
    state.modified = static_cast<std::uint64_t>(status.st_mtim.tv_sec) * 1000000000u +
                     static_cast<std::uint64_t>(status.st_mtim.tv_nsec);
    return {};
}

bool MayBlock(FileHandle handle) {
    struct stat status {};
    return ::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode);
}

void WidenPipe(FileHandle handle, std::size_t bytes) {
    struct stat status {};
    if (::fstat(handle, &status) != 0 || !S_ISFIFO(status.st_mode)) return;
    const std::size_t wanted = std::min(bytes, LargestPipe());
    const int now = ::fcntl(handle, F_GETPIPE_SZ);
    if (now < 0 || static_cast<std::size_t>(now) >= wanted) return;
    // Refused beyond the user's share of pipe memory: the pipe then stays as it is.
    (void)::fcntl(handle, F_SETPIPE_SZ, static_cast<int>(wanted));
}

bool IsStreamDevice(const FilePath& path) {
    struct stat status {};
    return posix::StatusOf(path.system, status) == 0 && posix::IsStreamDevice(status);
}

// A named pipe without a reader refuses a writer that does not wait (ENXIO): asked again.
Failure TryOpenStreamEnd(const FilePath& path, bool write, FailureCode code, OwnedFile& file,
                         bool& notYet) {
    const int error = OpenWithoutWaiting(path.system, write ? O_WRONLY : O_RDONLY, file);
    notYet = write && error == ENXIO;
    if (error == 0 || notYet) return {};
    return {code, path.shown + (write ? ": not written: " : ": cannot be read: ") +
                      posix::ErrorText(error)};
}

bool WaitStreamReady(FileHandle handle, bool write, int milliseconds) {
    pollfd ready{handle, static_cast<short>(write ? POLLOUT : POLLIN), 0};
    if (posix::RetryInterrupted([&] { return ::poll(&ready, 1, milliseconds); }) <= 0) {
        return false;
    }
    return MakeBlocking(handle) == 0;
}

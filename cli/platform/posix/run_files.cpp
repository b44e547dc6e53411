// The neutral file interfaces on POSIX: reads and writes of whole blocks, the standard streams,
// named pipes and devices as raw stream ends, outputs through pending files, memory figures.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "cli/platform/file_io.h"
#include "cli/platform/memory_status.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/posix/file_status.h"
#include "cli/platform/posix/memory_status.h"
#include "cli/platform/posix/open_files.h"
#include "cli/platform/posix/pending_file.h"
#include "cli/platform/posix/standard_streams.h"
#include "cli/platform/posix/system_calls.h"
#include "cli/platform/posix/terminal.h"

namespace {

constexpr auto kWaitStep = std::chrono::milliseconds(100);  // between looks for a stop

bool closedByCaller[3] = {false, false, false};

Failure CannotRead(const std::string& name, int error) {
    return {FailureCode::BadInput, name + ": cannot be read: " + posix::ErrorText(error)};
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
    return {FailureCode::NotWritten, name + ": not written: " + posix::ErrorText(error)};
}

Failure Aborted(const FilePath& path) {
    return {FailureCode::Aborted, path.shown + ": aborted"};
}

// Waits until the stream end can be read or written, looking for a stop in between; its reads
// or writes block from then on.
Failure WaitReady(const FilePath& path, int fd, bool write,
                  const std::function<bool()>& stopWanted) {
    while (!posix::WaitReady(fd, write, static_cast<int>(kWaitStep.count()))) {
        if (stopWanted()) return Aborted(path);
    }
    return {};
}

// A pending file of the POSIX layer, its errors worded as the run words them.
class PosixPendingFile final : public PendingFile {
  public:
    PosixPendingFile(std::unique_ptr<posix::PendingFile> file, std::string name)
        : file_(std::move(file)), name_(std::move(name)) {}

    Failure Write(std::span<const std::byte> bytes) override {
        const int error = file_->Write(bytes);
        return error ? NotWritten(name_, error) : Failure{};
    }
    Failure Commit() override {
        const int error = file_->Commit();
        return error ? NotWritten(name_, error) : Failure{};
    }

  private:
    std::unique_ptr<posix::PendingFile> file_;
    std::string name_;
};

}  // namespace

namespace posix {

void TakeStandardStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken, which is `fd` since the ones below are open now.
        const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        closedByCaller[fd] = true;
        if (null >= 0 && null != fd) ::close(null);
    }
}

int DescriptorOf(StandardStreamId which) {
    switch (which) {
        case StandardStreamId::Input:
            return STDIN_FILENO;
        case StandardStreamId::Output:
            return STDOUT_FILENO;
        case StandardStreamId::Error:
            break;
    }
    return STDERR_FILENO;
}

bool ClosedByCaller(int fd) {
    return fd >= 0 && fd < 3 && closedByCaller[fd];
}

}  // namespace posix

bool OwnedFile::Close() {
    // close() is never retried on EINTR: Linux has released the descriptor either way.
    const bool ok = !IsOpen(handle_) || ::close(handle_) == 0;
    handle_ = None();
    return ok;
}

// POSIX has no share modes: other processes may write or remove the file meanwhile, which the
// reader finds by the file's state (StateOf).
Failure OpenToRead(const FilePath& path, OwnedFile& file, bool /*shareWrites*/) {
    posix::OpenedFile opened;
    if (const int error = posix::OpenForReading(path.system, opened)) {
        return CannotRead(path.shown, error);
    }
    // Opened without waiting for a named pipe's writer; read, it waits as any read does.
    const int flags = ::fcntl(opened.fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(opened.fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return CannotRead(path.shown, errno);
    }
    file = OwnedFile(opened.fd.Release());
    return {};
}

Failure ReadAll(FileHandle handle, std::span<std::byte> bytes, const std::string& name,
                std::size_t& got) {
    const int error = posix::ReadFull(handle, bytes, got);
    return error ? CannotRead(name, error) : Failure{};
}

Failure ReadAt(FileHandle handle, std::uint64_t offset, std::span<std::byte> bytes,
               const std::string& name, std::size_t& got) {
    const int error = posix::ReadFullAt(handle, offset, bytes, got);
    return error ? CannotRead(name, error) : Failure{};
}

Failure WriteAll(FileHandle handle, std::span<const std::byte> bytes, const std::string& name,
                 bool& readerGone) {
    const int error = posix::WriteAll(handle, bytes);
    readerGone = error == EPIPE;
    return error ? NotWritten(name, error) : Failure{};
}

const char* StandardStreamName(StandardStreamId which) {
    return which == StandardStreamId::Input ? "standard input" : "standard output";
}

Failure StandardStream(StandardStreamId which, FileHandle& handle) {
    handle = posix::DescriptorOf(which);
    if (!posix::ClosedByCaller(handle)) return {};
    return {which == StandardStreamId::Input ? FailureCode::BadInput : FailureCode::NotWritten,
            std::string(StandardStreamName(which)) + ": not open (closed by the caller)"};
}

bool IsTerminal(StandardStreamId which) {
    return posix::IsTerminal(posix::DescriptorOf(which));
}

Failure StateOf(FileHandle handle, const std::string& name, FileState& state) {
    struct stat status {};
    if (::fstat(handle, &status) != 0) return CannotRead(name, errno);
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
    const std::size_t wanted = std::min(bytes, posix::LargestPipe());
    const int now = ::fcntl(handle, F_GETPIPE_SZ);
    if (now < 0 || static_cast<std::size_t>(now) >= wanted) return;
    // Refused beyond the user's share of pipe memory: the pipe then stays as it is.
    (void)::fcntl(handle, F_SETPIPE_SZ, static_cast<int>(wanted));
}

bool IsStreamDevice(const FilePath& path) {
    struct stat status {};
    return posix::StatusOf(path.system, status) == 0 && posix::IsStreamDevice(status);
}

Failure OpenStreamEnd(const FilePath& path, bool write, FailureCode code,
                      const std::function<bool()>& stopWanted, OwnedFile& file) {
    posix::OpenedFile opened;
    if (!write) {
        if (const int error = posix::OpenForReading(path.system, opened)) {
            return {code, path.shown + ": cannot be read: " + posix::ErrorText(error)};
        }
    } else {
        // A named pipe without a reader refuses a writer that does not wait (ENXIO): it is
        // asked again until a reader comes or the run stops.
        for (;;) {
            const int error = posix::OpenStreamForWriting(path.system, opened);
            if (error == 0) break;
            if (error != ENXIO) {
                return {code, path.shown + ": not written: " + posix::ErrorText(error)};
            }
            if (stopWanted()) return Aborted(path);
            std::this_thread::sleep_for(kWaitStep);
        }
    }
    if (Failure failure = WaitReady(path, opened.fd.Get(), write, stopWanted)) return failure;
    file = OwnedFile(opened.fd.Release());
    return {};
}

Failure PendingFile::Create(const FilePath& destination, std::unique_ptr<PendingFile>& file) {
    std::unique_ptr<posix::PendingFile> created;
    if (const int error = posix::PendingFile::Create(destination.system, created)) {
        return NotWritten(destination.shown, error);
    }
    file = std::make_unique<PosixPendingFile>(std::move(created), destination.shown);
    return {};
}

std::optional<MemoryFigures> MemoryStatus() {
    const std::optional<posix::MemoryFigures> figures = posix::MemoryStatus();
    if (!figures) return std::nullopt;
    return MemoryFigures{figures->available, figures->available};
}

// Outputs on POSIX: a temporary file in the destination's folder, created exclusively (O_EXCL:
// never over an existing name; O_NOFOLLOW: never through a link) with the caller's umask, its
// data put on the disk before it is renamed over the destination inside one folder, so that the
// rename never crosses file systems. A destination that is a link is written through to the file
// it leads to, which keeps the link; one that is a named pipe or a device (or a link to one) is
// written straight on, never replaced.

#include "cli/platform/pending_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "cli/platform/file_io.h"
#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/system_calls.h"
#include "cli/platform/system_answers.h"
#include "cli/render/cancellation.h"

namespace {

// As many links as Linux itself follows in one path.
constexpr int kMostLinks = 40;
// New names tried before giving up: a clash of 64 random bits means someone is guessing.
constexpr int kNameAttempts = 8;

// Follows `entry` while it is a link, to the entry of the file it leads to.
int FollowLinks(posix::FolderEntry& entry, struct stat& status) {
    for (int hops = 0;; ++hops) {
        if (::fstatat(entry.folder.Get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            // A new file is made under its own name; a link must lead to a file.
            if (errno == ENOENT) return hops == 0 ? 0 : ENOENT;
            return errno;
        }
        if (!S_ISLNK(status.st_mode)) return 0;
        if (hops == kMostLinks) return ELOOP;
        std::string target;
        if (int error = posix::ReadLink(entry, target)) return error;
        posix::FolderEntry next;
        if (int error = posix::OpenEntry(target, next, entry.folder.Get())) return error;
        entry = std::move(next);
    }
}

int CreateExclusive(int folder, std::string& name, OwnedFile& file) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = TemporaryName();
        const int fd = posix::RetryInterrupted([&] {
            return ::openat(folder, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        });
        if (fd >= 0) {
            file = OwnedFile(fd);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

// A temporary file of this run, removed unless it is committed; or, with no temporary name, a
// named pipe or device written straight on, as standard output is.
class OutputFile final : public PendingFile {
  public:
    OutputFile(posix::FolderEntry destination, std::string temporary, OwnedFile file,
               std::string shown)
        : destination_(std::move(destination)),
          temporary_(std::move(temporary)),
          file_(std::move(file)),
          shown_(std::move(shown)) {}
    ~OutputFile() override {
        if (!committed_ && !temporary_.empty()) {
            ::unlinkat(destination_.folder.Get(), temporary_.c_str(), 0);
        }
    }

    Failure Write(std::span<const std::byte> bytes) override {
        bool readerGone = false;
        return WriteAll(file_.Get(), bytes, shown_, readerGone);
    }
    // The data reaches the disk before the name does, so that a power cut leaves the
    // destination as it was or complete, never empty.
    Failure Commit() override {
        if (temporary_.empty()) return file_.Close() ? Failure{} : posix::NotWritten(shown_, errno);
        const int folder = destination_.folder.Get();
        if (posix::RetryInterrupted([&] { return ::fdatasync(file_.Get()); }) != 0 ||
            ::renameat(folder, temporary_.c_str(), folder, destination_.name.c_str()) != 0) {
            return posix::NotWritten(shown_, errno);
        }
        committed_ = true;
        return {};
    }

  private:
    posix::FolderEntry destination_;
    std::string temporary_;  // empty for a pipe or device
    OwnedFile file_;
    std::string shown_;
    bool committed_ = false;
};

}  // namespace

std::uint64_t RandomBits() {
    std::uint64_t bits = 0;
    if (posix::RetryInterrupted([&] { return ::getrandom(&bits, sizeof bits, 0); }) !=
        static_cast<ssize_t>(sizeof bits)) {
        bits ^=
            static_cast<std::uint64_t>(::getpid()) << 32 ^ reinterpret_cast<std::uintptr_t>(&bits);
    }
    return bits;
}

Failure PendingFile::Create(const FilePath& destination, std::unique_ptr<PendingFile>& file) {
    posix::FolderEntry entry;
    struct stat status {};
    int error = posix::OpenPathEntry(destination, entry);
    if (error == 0 && entry.name == ".") error = EISDIR;
    if (error == 0) error = FollowLinks(entry, status);
    if (error) return posix::NotWritten(destination.shown, error);
    if (status.st_mode != 0 && posix::IsStreamDevice(status)) {
        OwnedFile device;
        if (Failure failure = OpenStreamEnd(
                destination, true, FailureCode::NotWritten, [] { return AbortRequested().load(); },
                device)) {
            return failure;
        }
        file = std::make_unique<OutputFile>(std::move(entry), std::string(), std::move(device),
                                            destination.shown);
        return {};
    }
    std::string temporary;
    OwnedFile created;
    if ((error = CreateExclusive(entry.folder.Get(), temporary, created))) {
        return posix::NotWritten(destination.shown, error);
    }
    file = std::make_unique<OutputFile>(std::move(entry), std::move(temporary), std::move(created),
                                        destination.shown);
    return {};
}

#include "cli/platform/posix/pending_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/system_calls.h"

namespace posix {

namespace {

// As many links as Linux itself follows in one path.
constexpr int kMostLinks = 40;
// New names tried before giving up: a clash of 64 random bits means someone is guessing.
constexpr int kNameAttempts = 8;

// ".braidel-0123456789abcdef.tmp": hidden, recognisably ours, and unpredictable.
std::string TemporaryName() {
    std::uint64_t bits = 0;
    if (RetryInterrupted([&] { return ::getrandom(&bits, sizeof bits, 0); }) !=
        static_cast<ssize_t>(sizeof bits)) {
        bits ^=
            static_cast<std::uint64_t>(::getpid()) << 32 ^ reinterpret_cast<std::uintptr_t>(&bits);
    }
    char name[32];
    std::snprintf(name, sizeof name, ".braidel-%016llx.tmp", static_cast<unsigned long long>(bits));
    return name;
}

// Follows `entry` while it is a link, to the entry of the file it leads to.
int FollowLinks(FolderEntry& entry) {
    for (int hops = 0;; ++hops) {
        struct stat status {};
        if (::fstatat(entry.folder.Get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            // A new file is made under its own name; a link must lead to a file.
            if (errno == ENOENT) return hops == 0 ? 0 : ENOENT;
            return errno;
        }
        if (!S_ISLNK(status.st_mode)) return 0;
        if (hops == kMostLinks) return ELOOP;
        std::string target;
        if (int error = ReadLink(entry, static_cast<std::size_t>(status.st_size), target)) {
            return error;
        }
        FolderEntry next;
        if (int error = OpenEntryFrom(entry.folder.Get(), target, next)) return error;
        entry = std::move(next);
    }
}

int CreateExclusive(int folder, std::string& name, UniqueFd& file) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name = TemporaryName();
        const int fd = RetryInterrupted([&] {
            return ::openat(folder, name.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        });
        if (fd >= 0) {
            file = UniqueFd(fd);
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

}  // namespace

int PendingFile::Create(const std::string& destination, std::unique_ptr<PendingFile>& file) {
    FolderEntry entry;
    if (int error = OpenEntry(destination, entry)) return error;
    if (entry.name == ".") return EISDIR;
    if (int error = FollowLinks(entry)) return error;
    std::string temporary;
    UniqueFd created;
    if (int error = CreateExclusive(entry.folder.Get(), temporary, created)) return error;
    file.reset(new PendingFile(std::move(entry.folder), std::move(entry.name), std::move(temporary),
                               std::move(created)));
    return 0;
}

PendingFile::PendingFile(UniqueFd folder, std::string name, std::string temporary, UniqueFd file)
    : folder_(std::move(folder)),
      name_(std::move(name)),
      temporary_(std::move(temporary)),
      file_(std::move(file)) {}

PendingFile::~PendingFile() {
    if (!committed_) ::unlinkat(folder_.Get(), temporary_.c_str(), 0);
}

int PendingFile::Write(std::span<const std::byte> bytes) {
    return WriteAll(file_.Get(), bytes);
}

int PendingFile::Commit() {
    if (RetryInterrupted([&] { return ::fdatasync(file_.Get()); }) != 0) return errno;
    if (::renameat(folder_.Get(), temporary_.c_str(), folder_.Get(), name_.c_str()) != 0) {
        return errno;
    }
    committed_ = true;
    return 0;
}

int WriteWholeFile(const std::string& destination, std::span<const std::byte> bytes) {
    std::unique_ptr<PendingFile> file;
    if (int error = PendingFile::Create(destination, file)) return error;
    if (int error = file->Write(bytes)) return error;
    return file->Commit();
}

}  // namespace posix

#include "cli/platform/posix/file_status.h"

#include <fcntl.h>

#include <cerrno>

#include "cli/platform/posix/folder_walk.h"

namespace posix {

namespace {

FileIdentity IdentityFrom(const struct stat& status, std::string newName = {}) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
            std::move(newName)};
}

}  // namespace

int StatusOf(const std::string& path, struct stat& status) {
    FolderEntry entry;
    if (int error = OpenEntry(path, entry)) return error;
    if (::fstatat(entry.folder.Get(), entry.name.c_str(), &status, 0) != 0) return errno;
    return 0;
}

std::optional<FileIdentity> IdentityOf(const std::string& path) {
    FolderEntry entry;
    if (OpenEntry(path, entry) != 0) return std::nullopt;
    struct stat status {};
    if (::fstatat(entry.folder.Get(), entry.name.c_str(), &status, 0) == 0) {
        return IdentityFrom(status);
    }
    if (errno != ENOENT || ::fstat(entry.folder.Get(), &status) != 0) return std::nullopt;
    return IdentityFrom(status, entry.name);
}

std::optional<FileIdentity> IdentityOf(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return IdentityFrom(status);
}

}  // namespace posix

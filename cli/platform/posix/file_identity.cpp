// File identity on POSIX: device and inode, so that links, hard links and linked folders lead to
// one identity; a new file's name is its bytes.

#include "cli/platform/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/system_answers.h"

namespace {

FileIdentity IdentityFrom(const struct stat& status, std::string newName = {}) {
    FileIdentity identity;
    identity.volume = static_cast<std::uint64_t>(status.st_dev);
    const auto inode = static_cast<std::uint64_t>(status.st_ino);
    std::memcpy(identity.index.data(), &inode, sizeof inode);
    identity.newName = std::move(newName);
    return identity;
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const FilePath& path) {
    // An output whose folders are still to be made is compared where they will lead.
    posix::FolderEntry entry;
    if (posix::OpenPathEntry(path, entry) != 0 &&
        posix::OpenEntry(path.system, entry, AT_FDCWD, true) != 0) {
        return std::nullopt;
    }
    struct stat status {};
    if (::fstatat(entry.folder.Get(), entry.name.c_str(), &status, 0) == 0) {
        return IdentityFrom(status);
    }
    if (errno != ENOENT || ::fstat(entry.folder.Get(), &status) != 0) return std::nullopt;
    return IdentityFrom(status, entry.name);
}

// Pipes, terminals and devices are never replaced, so they have no identity to compare.
std::optional<FileIdentity> IdentityOf(StandardStreamId which) {
    struct stat status {};
    if (::fstat(StandardHandle(which), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    return IdentityFrom(status);
}

const char* NewNamesRule() {
    return "";
}

bool NewNamesAreOne(const std::string& a, const std::string& b) {
    return a == b;
}

// The path with "." and empty names left out, from the current folder when relative: two
// spellings of one new file in a folder that does not exist yet give one key. ".." stays, since
// after a linked folder it leads elsewhere than the name before it.
std::string NewFileKey(const FilePath& path) {
    std::string whole = path.system;
    if (whole.empty() || whole[0] != '/') {
        char folder[4096];
        if (::getcwd(folder, sizeof folder) != nullptr) whole = folder + ("/" + whole);
    }
    std::string key;
    for (const std::string& name : posix::NamesOf(whole)) key += "/" + name;
    return key;
}

bool NewFileKeysAreOne(const std::string& a, const std::string& b) {
    return a == b;
}

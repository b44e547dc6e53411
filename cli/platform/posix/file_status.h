#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

namespace posix {

// What makes a file the same file whatever it is called: its device and inode, so that links,
// hard links and linked folders lead to one identity. A file that does not exist yet is its
// folder's identity and its exact name there (a POSIX name is any bytes).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::string newName;  // empty for an existing file

    bool operator==(const FileIdentity&) const = default;
};

// What the file at `path` is (links followed), through a walk of any length; the errno of the
// failed step otherwise.
int StatusOf(const std::string& path, struct stat& status);

// The identity of the file `path` opens (links followed); for a missing file, its folder's and
// its name; empty when the folder is missing too.
std::optional<FileIdentity> IdentityOf(const std::string& path);

// The identity of an open file (a standard stream's); empty for pipes, terminals and devices,
// which are never replaced.
std::optional<FileIdentity> IdentityOf(int fd);

// A named pipe or a character device: read or written as a stream, never replaced.
inline bool IsStreamDevice(const struct stat& status) {
    return S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode);
}

}  // namespace posix

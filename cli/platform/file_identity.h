#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/platform/file_paths.h"
#include "cli/platform/system_file.h"

// What makes a file the same file whatever it is called: its volume (device) and its index
// (inode) there, so links and hard links lead to the same identity. A file that does not exist
// yet is its folder's identity and its name in that folder.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::array<std::uint8_t, 16> index{};
    SystemText newName;  // empty for an existing file

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file that `path` opens (links followed); for a missing file, its folder's
// and its name (in the form NewNamesAreOne compares); empty when the folder is missing too.
std::optional<FileIdentity> IdentityOf(const FilePath& path);

// The identity of the file a standard stream is; empty for pipes, terminals and devices.
std::optional<FileIdentity> IdentityOf(StandardStreamId which);

// Whether the system takes two names of new files in one folder for one file, so that the
// second rename replaces the first. Windows: they differ only in
// case, or one is the short (8.3) name generated for the other. POSIX: the same bytes.
bool NewNamesAreOne(const SystemText& a, const SystemText& b);

// What a line about two outputs that are one file adds to explain it: how Windows takes names
// for one; nothing on POSIX, where names are their bytes.
const char* NewNamesRule();

// The key of a path whose folder does not exist yet, and whether two such keys name one file:
// the same folder, and names the system takes for one.
std::string NewFileKey(const FilePath& path);
bool NewFileKeysAreOne(const std::string& a, const std::string& b);

#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "cli/platform/file_paths.h"

// What makes a file the same file whatever it is called: its volume and its index on that
// volume, from an open handle, so links and hard links lead to the same identity. A file that
// does not exist yet is its folder's identity and its name in that folder.
struct FileIdentity {
    uint64_t volume = 0;
    std::array<uint8_t, 16> index{};
    std::wstring newName;  // empty for an existing file

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file that `path` opens (links followed); for a missing file, its folder's
// and its name (exact under the Linux launcher, in lower case for Windows names); empty when
// the folder is missing too.
std::optional<FileIdentity> IdentityOf(const FilePath& path);

// The identity of an open file (a standard stream's); empty for pipes, consoles and devices.
std::optional<FileIdentity> IdentityOf(HANDLE file);

// Whether Windows takes two names of new files in one folder for one file, so that the second
// rename replaces the first: they differ only in case, or one is the short (8.3) name that the
// system generates for the other. Wine looks names up this way in every folder.
bool WindowsTakesForOne(const std::wstring& a, const std::wstring& b);

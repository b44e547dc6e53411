#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "cli/platform/file_paths.h"

// What makes a file the same file whatever it is called: its volume and its index on that
// volume, from an open handle, so links and hard links lead to the same identity.
struct FileIdentity {
    uint64_t volume = 0;
    std::array<uint8_t, 16> index{};

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file that `path` opens (links followed); empty when nothing is there.
std::optional<FileIdentity> IdentityOf(const FilePath& path);

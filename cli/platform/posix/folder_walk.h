#pragma once

#include <cstddef>
#include <string>

#include "cli/platform/posix/unique_fd.h"

namespace posix {

// Paths of any length. Linux refuses a path of PATH_MAX bytes or more in one call, so a path is
// walked one folder at a time, each opened relative to the one before; Linux resolves each step
// as it resolves a whole path (links followed, ".." after a linked folder going to the link
// target's parent), so the walk reaches exactly the file a shorter path would name.

// A file named by the entry `name` in an open folder.
struct FolderEntry {
    UniqueFd folder;
    std::string name;  // "." when the path names the folder itself
};

// Opens the folder that holds the last component of `path` (relative paths from the current
// folder). Fails with the errno of the step that failed; ENOENT for an empty path.
int OpenEntry(const std::string& path, FolderEntry& entry);

// The same, with a relative `path` taken from the open folder `base`.
int OpenEntryFrom(int base, const std::string& path, FolderEntry& entry);

// The text of the symbolic link that `entry` names, whose status gave it `size` bytes (0 for
// links that report none, as /proc's do). Fails with the errno of the read.
int ReadLink(const FolderEntry& entry, std::size_t size, std::string& target);

// Opens the folder at `path` (a path of any length), for further calls relative to it.
int OpenFolder(const std::string& path, UniqueFd& folder);

}  // namespace posix

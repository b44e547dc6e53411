#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/platform/file_paths.h"
#include "cli/platform/system_file.h"

namespace posix {

// Paths of any length. Linux refuses a path of PATH_MAX bytes or more in one call, so a path is
// walked one folder at a time, each opened relative to the one before; Linux resolves each step
// as it resolves a whole path (links followed, ".." after a linked folder going to the link
// target's parent), so the walk reaches exactly the file a shorter path would name. Failures are
// errno values.

// The names of a path, in order, without empty ones (from "//") or ".".
std::vector<std::string> NamesOf(const std::string& path);

// A file named by the entry `name` in an open folder.
struct FolderEntry {
    OwnedFile folder;
    std::string name;  // "." when the path names the folder itself
};

// Opens the folder that holds the last name of `path`; a relative path is taken from `base`
// (an open folder, or the current one). ENOENT for an empty path. `asMade`: the entry that
// `path` will name once its missing folders are made, where a missing folder followed by ".."
// is the folder before it, as Linux will find it then ("out/new/.." is "out").
int OpenEntry(const std::string& path, FolderEntry& entry, int base = -100 /* AT_FDCWD */,
              bool asMade = false);

// The last name of a path that names a file in a folder; empty for one that names a folder
// ("dir/", "dir/.", "dir/..").
std::string LastName(const std::string& path);

// The entry of `path`: its last name in its held folder (FilePath::folder) where the held
// folder can stand for the path, else (none held, or a path that names a folder) by a walk.
int OpenPathEntry(const FilePath& path, FolderEntry& entry);

// The text of the symbolic link that `entry` names, whatever its length (a descriptor's link in
// /proc says it has 64 bytes, whatever it holds).
int ReadLink(const FolderEntry& entry, std::string& target);

// Opens the folder at `path`, for further calls relative to it.
int OpenFolder(const std::string& path, OwnedFile& folder);

// What the file at `path` is (links followed).
int StatusOf(const std::string& path, struct stat& status);

}  // namespace posix

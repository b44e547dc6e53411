#pragma once

#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/system_file.h"

// A file named on the command line: as the user typed it, for messages, and as the system
// opens it.
struct FilePath {
    std::string shown;  // UTF-8 where the name is; OneLine escapes other bytes in messages
    SystemText system;  // the Win32 form on Windows; on POSIX the name's bytes
    // The Windows program under the Linux launcher: the absolute Unix path, from which children
    // are derived. Empty elsewhere.
    std::string unixPath;

    bool Empty() const { return shown.empty(); }
};

// Resolves a path as typed. Windows: under the Linux launcher (which sets BRAIDEL_UNIX_CWD to
// the caller's folder) the text is a Unix path, a relative one taken from that folder, and
// Wine's own mapping gives the Windows path: the working directory's length never matters, and
// names such as "c:name.png" are the files of that name; elsewhere the text is a Windows path.
// POSIX: the bytes are the name, of any length. Fails with FailureCode::Usage when the path
// cannot be named on this system.
Failure ResolvePath(const std::string& typed, FilePath& path);

// An output named through a symbolic link is written to the file the link leads to, so that the
// link stays and its target gets the new content (written beside the target and renamed over
// it). A link that leads to no file is refused (FailureCode::NotWritten). Other paths pass.
Failure FollowOutputLink(FilePath& path);

// The file `name` inside `folder`, refused as ResolvePath refuses a name (FailureCode::Usage).
Failure InFolder(const FilePath& folder, const std::string& name, FilePath& child);

// The last component of a typed path (after the last separator this system knows).
std::string FileNameOf(const std::string& typed);

// Whether anything is at the path, and whether it is a folder (links followed).
bool Exists(const FilePath& path);
bool IsFolder(const FilePath& path);

// Makes the folder and every missing parent; fails with FailureCode::NotWritten.
Failure MakeFolders(const FilePath& folder);

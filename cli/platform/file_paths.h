#pragma once

#include <string>

#include "cli/exit_codes.h"
#include "loader/unique_handle.h"

// A file named on the command line: as the user typed it, for messages, and as the system
// opens it.
struct FilePath {
    std::string shown;    // UTF-8
    std::wstring system;  // the Win32 form
    // Under the Linux launcher: the absolute Unix path, from which children are derived.
    std::string unixPath;

    bool Empty() const { return shown.empty(); }
};

// Resolves a path as typed. Under the Linux launcher (which sets BRAIDEL_UNIX_CWD to the
// caller's folder) the text is a Unix path, a relative one taken from that folder, and Wine's
// own mapping gives the Windows path: the working directory's length never matters, and names
// such as "c:name.png" are the files of that name. Elsewhere the text is a Windows path.
// Fails with FailureCode::Usage when the path cannot be mapped.
Failure ResolvePath(const std::string& typed, FilePath& path);

// An output named through a symbolic link is written to the file the link leads to, so that the
// link stays and its target gets the new content (written beside the target and renamed over
// it). A link that leads to no file is refused (FailureCode::NotWritten). Other paths pass.
Failure FollowOutputLink(FilePath& path);

// The file `name` inside `folder`.
FilePath InFolder(const FilePath& folder, const std::string& name);

// The last component of a typed path.
std::string FileNameOf(const std::string& typed);

// The folder that holds `path` (its system form), ending in a separator.
std::wstring FolderOf(const FilePath& path);

// A file or folder at a system path opened only to ask about it (no access rights needed, any
// sharing allowed); empty when it cannot be opened, with the thread's last error set.
UniqueHandle OpenForAttributes(const std::wstring& systemPath);

// Makes the folder and every missing parent; fails with FailureCode::NotWritten.
Failure MakeFolders(const FilePath& folder);

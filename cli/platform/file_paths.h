#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/platform/system_file.h"

// A file named on the command line: as the user typed it, for messages, and as the system
// opens it.
struct FilePath {
    std::string shown;  // UTF-8 where the name is; OneLine escapes other bytes in messages
    SystemText system;  // the Win32 form on Windows; on POSIX the name's bytes
    // An output's folder, opened once before its write is checked and held until the output is
    // in place, so that the folder checked is the folder written; null: found by its path.
    std::shared_ptr<const OwnedFile> folder;

    bool Empty() const { return shown.empty(); }
};

// Resolves a path as typed. Windows: a Windows path, which means what Windows makes of it; a
// name holding a character Windows cannot express is refused. POSIX: the bytes are the name, of
// any length, each of its names at most 255 bytes. Fails with FailureCode::Usage when the path
// cannot be named on this system.
Failure ResolvePath(const std::string& typed, FilePath& path);

// An output named through a symbolic link is written to the file the link leads to, so that the
// link stays and its target gets the new content (written beside the target and renamed over
// it). A link that leads to no file is refused (FailureCode::NotWritten). Other paths pass.
Failure FollowOutputLink(FilePath& path);
// The refusal of an output link whose `target` (its text) leads to no file.
Failure DanglingLink(const FilePath& path, const std::string& target);

// Holds the folders of outputs (`HoldFoldersOf`, one open folder for the outputs it holds) or a
// folder of outputs (`HoldFolder`, whose InFolder children share it) where they exist; the
// identity of an output and its write then go from its held folder, whatever the folder's path
// leads to meanwhile. POSIX: the folder's descriptor; Windows: nothing is held, and names are
// found by their paths.
void HoldFoldersOf(const std::vector<FilePath*>& outputs);
void HoldFolder(FilePath& folder);

// The file `name` inside `folder`, refused as ResolvePath refuses a name (FailureCode::Usage).
Failure InFolder(const FilePath& folder, const std::string& name, FilePath& child);

// The last component of a typed path (after the last separator this system knows).
std::string FileNameOf(const std::string& typed);

// Whether anything is at the path, and whether it is a folder (links followed).
bool Exists(const FilePath& path);
bool IsFolder(const FilePath& path);

// Makes the folder and every missing parent; fails with FailureCode::NotWritten.
Failure MakeFolders(const FilePath& folder);

// The names of the entries in a folder (not "." or ".."), in no particular order, as a typed
// name would give them: UTF-8 on Windows, the bytes on POSIX. Fails with FailureCode::BadInput,
// "NAME: cannot be read: why".
Failure ListFolderNames(const FilePath& folder, std::vector<std::string>& names);

#pragma once

#include <string>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"

// The names of the entries in a folder (not "." or ".."), in no particular order, as a typed
// name would give them: UTF-8 on Windows, the bytes on POSIX. Fails with FailureCode::BadInput,
// "NAME: cannot be read: why".
Failure ListFolderNames(const FilePath& folder, std::vector<std::string>& names);

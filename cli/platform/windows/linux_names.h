#pragma once

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"

// Under the Linux launcher a name on the command line is a Linux name, and the run must touch
// exactly that file. Wine looks names up its own way: a missing name may find another file that
// differs only in case or whose generated short (8.3) name it is, and "\" separates folders.
// Such a name, a name Windows cannot express and a path longer than Wine can open are refused
// (FailureCode::Usage, one line that names both files where there are two) before anything is read
// or written. Paths typed for Windows pass unchanged.
Failure CheckLinuxName(const FilePath& path);

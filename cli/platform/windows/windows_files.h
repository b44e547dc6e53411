#pragma once

#include <windows.h>

#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/system_file.h"
#include "loader/unique_handle.h"

// What the Windows implementations of the platform headers share, in Win32's own terms.

// One ReadFile or WriteFile moves at most this many bytes (the count is a DWORD).
inline constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

// The folder that holds `path` (its system form), ending in a separator.
std::wstring FolderOf(const FilePath& path);

// A file or folder at a system path opened only to ask about it (no access rights needed, any
// sharing allowed); empty when it cannot be opened, with the thread's last error set.
UniqueHandle OpenForAttributes(const std::wstring& systemPath);

// "NAME: cannot be read: <the system's words for `error`>", FailureCode::BadInput: every input
// that cannot be opened or read says so in these words.
Failure CannotRead(const std::string& name, unsigned long error);
// "NAME: not written: <why `error` stopped the write>", FailureCode::NotWritten.
Failure NotWritten(const std::string& name, unsigned long error);

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

// STD_INPUT_HANDLE, STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
DWORD StandardHandleId(StandardStreamId which);

// The folder that holds `path` (its system form), ending in a separator.
std::wstring FolderOf(const FilePath& path);

// A file or folder at a system path opened only to ask about it (no access rights needed, any
// sharing allowed); empty when it cannot be opened, with the thread's last error set.
UniqueHandle OpenForAttributes(const std::wstring& systemPath);

// How a pipe tells its reader that the writer closed it, or its writer that the reader did.
bool IsPipeClosed(unsigned long error);

// "NAME: cannot be read: <the system's words for `error`>", FailureCode::BadInput: every input
// that cannot be opened or read says so in these words.
Failure CannotRead(const std::string& name, unsigned long error);
// "NAME: not written: <why `error` stopped the write>", FailureCode::NotWritten.
Failure NotWritten(const std::string& name, unsigned long error);

// Whether Windows takes two names of new files in one folder for one file, so that the second
// rename replaces the first: they differ only in case, or one is the short (8.3) name that the
// system generates for the other.
bool WindowsTakesForOne(const std::wstring& a, const std::wstring& b);

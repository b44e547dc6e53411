#pragma once

#include <windows.h>

#include <cstddef>
#include <span>
#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "loader/unique_handle.h"

// Moving bytes between memory and an open file, pipe or device: the one read loop and the one
// write loop of the program. One ReadFile or WriteFile moves at most kLargestTransfer bytes (the
// count is a DWORD).
inline constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

// An existing file opened for reading only, shared with readers (and, with `shareWrites`,
// writers and deletion too); empty with the thread's last error set when it cannot be opened.
UniqueHandle OpenToRead(const FilePath& path, bool shareWrites = false);

// Fills `bytes` unless the file or stream ends first (a writer closing its pipe is an end);
// `got` says how many bytes came. Fails with FailureCode::BadInput, "NAME: cannot be read: why".
Failure ReadAll(HANDLE handle, std::span<std::byte> bytes, const std::string& name,
                std::size_t& got);

// Writes all of `bytes`, in as many calls as it takes. Fails with FailureCode::NotWritten,
// "NAME: not written: why"; `readerGone` tells that the reader of a pipe closed it.
Failure WriteAll(HANDLE handle, std::span<const std::byte> bytes, const std::string& name,
                 bool& readerGone);

// Standard input or output (STD_INPUT_HANDLE or STD_OUTPUT_HANDLE) as a stream the run reads or
// writes: refused when it is not open, also when the caller of the Linux launcher closed it
// (FailureCode::BadInput for input, NotWritten for output).
Failure StandardStream(DWORD which, HANDLE& handle);
// "standard input" or "standard output".
const char* StandardStreamName(DWORD which);

// How a pipe tells its reader that the writer closed it, or its writer that the reader did.
bool IsPipeClosed(unsigned long error);

// "NAME: cannot be read: <the system's words for `error`>", FailureCode::BadInput: every input
// that cannot be opened or read says so in these words.
Failure CannotRead(const std::string& name, unsigned long error);
// "NAME: not written: <why `error` stopped the write>", FailureCode::NotWritten. Wine reports a
// write past the file-size limit as a general failure; this says which limit.
Failure NotWritten(const std::string& name, unsigned long error);

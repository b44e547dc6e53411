#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "hosting/unique_handle.h"

// A new file that takes the place of its destination only once it is complete. It is written
// to a temporary file in the destination's folder, created exclusively (never over an existing
// name, never through a link) under an unpredictable short name, with the caller's permissions;
// Commit renames it over the destination in one step. On every other path the temporary file is
// removed.
class PendingFile {
  public:
    // Failures carry kExitNotWritten.
    static Failure Create(const FilePath& destination, std::unique_ptr<PendingFile>& file);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    Failure Write(std::span<const std::byte> bytes);
    Failure Commit();

  private:
    PendingFile(FilePath destination, std::wstring temporary, UniqueHandle file);
    Failure NotWritten(unsigned long error) const;

    FilePath destination_;
    std::wstring temporary_;
    UniqueHandle file_;
    bool committed_ = false;
};

// Writes all of `bytes` to an open file or pipe, in as many calls as it takes. Fails with
// kExitNotWritten and "NAME: not written: why"; `readerGone` tells that the reader of a pipe
// closed it.
Failure WriteAll(HANDLE handle, std::span<const std::byte> bytes, const std::wstring& name,
                 bool& readerGone);

// How a pipe tells its reader that the writer closed it, or its writer that the reader did.
bool IsPipeClosed(unsigned long error);

// The whole of `bytes` as the destination's new content, through a PendingFile.
Failure WriteWholeFile(const FilePath& destination, std::span<const std::byte> bytes);

#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "loader/unique_handle.h"

// A new file that takes the place of its destination only once it is complete. It is written
// to a temporary file in the destination's folder, created exclusively (never over an existing
// name, never through a link) under an unpredictable short name, with the caller's permissions;
// Commit renames it over the destination in one step. On every other path the temporary file is
// removed.
class PendingFile {
  public:
    // Failures carry FailureCode::NotWritten.
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

// The whole of `bytes` as the destination's new content, through a PendingFile.
Failure WriteWholeFile(const FilePath& destination, std::span<const std::byte> bytes);

#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"

// A new file that takes the place of its destination only once it is complete. It is written
// to a temporary file in the destination's folder, created exclusively (never over an existing
// name, never through a link) under an unpredictable short name, with the caller's permissions;
// Commit puts its data on the disk and renames it over the destination in one step. On every
// other path the temporary file is removed. Failures carry FailureCode::NotWritten,
// "NAME: not written: why".
class PendingFile {
  public:
    static Failure Create(const FilePath& destination, std::unique_ptr<PendingFile>& file);
    virtual ~PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    virtual Failure Write(std::span<const std::byte> bytes) = 0;
    virtual Failure Commit() = 0;

  protected:
    PendingFile() = default;
};

// A temporary file's name: ".braidel-" and 64 random bits as 16 hex digits, then ".tmp":
// hidden, recognisably ours, and unpredictable.
std::string TemporaryName();

// A PendingFile for `destination` that holds the whole of `bytes`, not yet in its place.
Failure WritePending(const FilePath& destination, std::span<const std::byte> bytes,
                     std::unique_ptr<PendingFile>& file);

// The whole of `bytes` as the destination's new content, through a PendingFile.
Failure WriteWholeFile(const FilePath& destination, std::span<const std::byte> bytes);

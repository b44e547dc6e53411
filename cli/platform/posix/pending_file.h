#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "cli/platform/posix/unique_fd.h"

namespace posix {

// A new file that takes the place of its destination only once it is complete. It is written
// to a temporary file in the destination's folder, created exclusively (O_EXCL: never over an
// existing name; O_NOFOLLOW: never through a link) under an unpredictable name, with the
// caller's umask; Commit writes it to the disk and renames it over the destination in one step,
// inside one folder, so the rename never crosses file systems. On every other path the
// temporary file is removed. A destination that is a link is written through to the file it
// leads to, which keeps the link. Failures are errno values.
class PendingFile {
  public:
    // ENOENT also for a link that leads to no file.
    static int Create(const std::string& destination, std::unique_ptr<PendingFile>& file);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    int Write(std::span<const std::byte> bytes);
    // The data reaches the disk before the name does, so that a power cut leaves the
    // destination as it was or complete, never empty.
    int Commit();

    // The temporary file's name in the destination's folder.
    const std::string& TemporaryName() const { return temporary_; }

  private:
    PendingFile(UniqueFd folder, std::string name, std::string temporary, UniqueFd file);

    UniqueFd folder_;
    std::string name_;
    std::string temporary_;
    UniqueFd file_;
    bool committed_ = false;
};

// The whole of `bytes` as the destination's new content, through a PendingFile.
int WriteWholeFile(const std::string& destination, std::span<const std::byte> bytes);

}  // namespace posix

#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_io.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/system_file.h"

// The two ends of a raw frame stream: a file or a standard stream ("-"), read and written in
// large blocks straight from and into frame memory.

class RawInput {
  public:
    // Failures carry FailureCode::BadInput.
    static Failure Open(const FilePath& path, std::unique_ptr<RawInput>& input);

    // Fills `bytes` unless the stream ends first; `got` says how many bytes came. A read error
    // fails with FailureCode::BadInput.
    Failure Fill(std::span<std::byte> bytes, std::size_t& got);

    const std::string& Name() const { return name_; }
    // Whether a read may wait for another process (a pipe or terminal, not a file).
    bool MayBlock() const { return mayBlock_; }
    // A pipe it reads from widened to hold a frame of `bytes`.
    void WidenPipe(std::size_t bytes) const { ::WidenPipe(handle_, bytes); }

  private:
    RawInput(OwnedFile owned, FileHandle handle, std::string name);

    OwnedFile owned_;
    FileHandle handle_;
    std::string name_;
    bool mayBlock_;
};

// A file, written through a PendingFile, or standard output, written straight out.
class RawOutput {
  public:
    // Failures carry FailureCode::NotWritten.
    static Failure Open(const FilePath& path, std::unique_ptr<RawOutput>& output);
    virtual ~RawOutput() = default;

    // Failures carry FailureCode::NotWritten; `readerGone` tells that the reader of a pipe closed
    // it.
    virtual Failure Write(std::span<const std::byte> bytes, bool& readerGone) = 0;
    // Puts a file in place of its destination; nothing to do for standard output.
    virtual Failure Finish() = 0;

    const std::string& Name() const { return name_; }
    virtual bool IsFile() const = 0;
    // Whether a write may wait for another process (a pipe, not a file).
    virtual bool MayBlock() const = 0;
    // A pipe it writes to widened to hold a frame of `bytes`; a file stays as it is.
    virtual void WidenPipe(std::size_t /*bytes*/) const {}

  protected:
    explicit RawOutput(std::string name) : name_(std::move(name)) {}

  private:
    std::string name_;
};

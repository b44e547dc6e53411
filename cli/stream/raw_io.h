#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <span>
#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/pending_file.h"
#include "hosting/unique_handle.h"

// The two ends of a raw frame stream: a file or a standard stream ("-"), read and written in
// large blocks straight from and into frame memory.

class RawInput {
  public:
    // Failures carry kExitBadInput (kExitUsage when standard input is a terminal).
    static std::unique_ptr<RawInput> Open(const FilePath& path, Failure& failure);

    // Fills `bytes` unless the stream ends first; returns how many bytes came. A read error
    // sets `failure` (kExitBadInput).
    std::size_t Fill(std::span<std::byte> bytes, Failure& failure);

    const std::wstring& Name() const { return name_; }
    // Whether a read may wait for another process (a pipe or terminal, not a file).
    bool MayBlock() const { return mayBlock_; }

  private:
    RawInput(UniqueHandle owned, HANDLE handle, std::wstring name);

    UniqueHandle owned_;
    HANDLE handle_;
    std::wstring name_;
    bool mayBlock_;
    std::size_t request_;
};

class RawOutput {
  public:
    // A file is written through a PendingFile; standard output is written straight out.
    // Failures carry kExitNotWritten (kExitUsage when standard output is a terminal).
    static std::unique_ptr<RawOutput> Open(const FilePath& path, Failure& failure);

    // Failures carry kExitNotWritten; `readerGone` tells that the reader of a pipe closed it.
    Failure Write(std::span<const std::byte> bytes, bool& readerGone);
    // Puts a file in place of its destination; nothing to do for standard output.
    Failure Finish();

    const std::wstring& Name() const { return name_; }
    bool IsFile() const { return pending_ != nullptr; }
    bool MayBlock() const { return mayBlock_; }

  private:
    RawOutput(std::unique_ptr<PendingFile> pending, HANDLE handle, std::wstring name);

    std::unique_ptr<PendingFile> pending_;
    HANDLE handle_;
    std::wstring name_;
    bool mayBlock_;
};

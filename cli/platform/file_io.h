#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "cli/exit_codes.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/system_file.h"

// Moving bytes between memory and an open file, pipe or device: the one read loop and the one
// write loop of the program, each in as many calls as the system's transfer limit takes.

// An existing file opened for reading only, shared with readers (and, with `shareWrites`,
// writers and deletion too). Fails with FailureCode::BadInput, "NAME: cannot be read: why".
Failure OpenToRead(const FilePath& path, OwnedFile& file, bool shareWrites = false);

// Fills `bytes` unless the file or stream ends first (a writer closing its pipe is an end);
// `got` says how many bytes came. Fails with FailureCode::BadInput, "NAME: cannot be read: why".
Failure ReadAll(FileHandle handle, std::span<std::byte> bytes, const std::string& name,
                std::size_t& got);

// Fills `bytes` from `offset` of a file on disk unless the file ends first, leaving the file's
// position alone; `got` says how many bytes came. Fails as ReadAll does.
Failure ReadAt(FileHandle handle, std::uint64_t offset, std::span<std::byte> bytes,
               const std::string& name, std::size_t& got);

// Writes all of `bytes`. Fails with FailureCode::NotWritten, "NAME: not written: why";
// `readerGone` tells that the reader of a pipe closed it.
Failure WriteAll(FileHandle handle, std::span<const std::byte> bytes, const std::string& name,
                 bool& readerGone);

// Standard input or output as a stream the run reads or writes: refused when the caller closed
// it (FailureCode::BadInput for input, NotWritten for output).
Failure StandardStream(StandardStreamId which, FileHandle& handle);
// "standard input" or "standard output".
const char* StandardStreamName(StandardStreamId which);

// Whether a standard stream is a terminal (a console on Windows; a character device such as
// /dev/null is none).
bool IsTerminal(StandardStreamId which);
// Whether a named file is a terminal (/dev/tty, or CON on Windows), which carries no frames.
bool IsTerminal(const FilePath& path);

// What an open file is while it is read: its size and when it was last written. A file that
// another process shrinks or rewrites meanwhile is found by a change in these.
struct FileState {
    std::uint64_t size = 0;
    std::uint64_t modified = 0;  // in the system's own units

    bool operator==(const FileState&) const = default;
};
// Fails with FailureCode::BadInput, "NAME: cannot be read: why".
Failure StateOf(FileHandle handle, const std::string& name, FileState& state);

// Whether reads or writes of the handle may wait for another process (a pipe, terminal or
// device, not a file on disk).
bool MayBlock(FileHandle handle);

// A pipe at `handle` widened to hold `bytes`, as far as the system lets this process, so that a
// whole frame crosses it in a few steps rather than in many of the default size; never
// narrowed. Anything that is not a pipe, or a system that sizes no pipes, is left as it is.
void WidenPipe(FileHandle handle, std::size_t bytes);

// Whether a named file is a named pipe or a character device, read or written as a stream and
// never replaced.
bool IsStreamDevice(const FilePath& path);

// Waits until a pipe or device can be read, looking for a stop between looks:
// FailureCode::Aborted, "NAME: aborted", when `stopWanted` says so.
Failure WaitReadable(FileHandle handle, const std::string& name,
                     const std::function<bool()>& stopWanted);

// A named pipe or device opened as a raw stream's end, for reading or writing. A named pipe's
// reader waits for its writer and its writer for a reader, each until `stopWanted` says so
// (FailureCode::Aborted, "NAME: aborted"); other failures carry `code` (BadInput or NotWritten)
// and the run's wording.
Failure OpenStreamEnd(const FilePath& path, bool write, FailureCode code,
                      const std::function<bool()>& stopWanted, OwnedFile& file);

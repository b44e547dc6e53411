#include "cli/stream/raw_io.h"

#include <algorithm>

#include "cli/plan/arguments.h"
#include "cli/platform/file_io.h"
#include "cli/platform/text.h"
#include "cli/platform/wine.h"
#include "cli/render/cancellation.h"

namespace {

bool IsDiskFile(HANDLE handle) {
    return GetFileType(handle) == FILE_TYPE_DISK;
}

constexpr int kNoReader = 6;    // ENXIO: a named pipe opened for writing before its reader
constexpr int kWaitStep = 100;  // milliseconds between looks for an abort while waiting

// A named pipe or character device as a raw stream's end, opened by Linux itself (Wine would
// take a named pipe with no writer yet for one at its end). A named pipe's reader waits for its
// writer and its writer for a reader, each until an abort.
Failure OpenStreamDevice(const FilePath& path, bool write, FailureCode code, UniqueHandle& handle) {
    std::unique_ptr<wine::UnixStream> stream;
    for (;;) {
        stream = std::make_unique<wine::UnixStream>(path.unixPath, write);
        if (!write || stream->Error() != kNoReader) break;
        if (AbortRequested().load()) return {FailureCode::Aborted, path.shown + ": aborted"};
        Sleep(kWaitStep);
    }
    if (stream->Error() != 0) {
        return {code, path.shown + (write ? ": not written: " : ": cannot be read: ") +
                          wine::LinuxErrorText(stream->Error())};
    }
    while (!write && !stream->WaitReady(false, kWaitStep)) {
        if (AbortRequested().load()) return {FailureCode::Aborted, path.shown + ": aborted"};
    }
    handle = UniqueHandle(stream->ToHandle(write));
    if (!handle) {
        return write ? NotWritten(path.shown, GetLastError())
                     : CannotRead(path.shown, GetLastError());
    }
    return {};
}

// Whether a named file is a named pipe or a device, read or written as a stream.
bool IsStreamDevice(const FilePath& path) {
    if (path.unixPath.empty()) return false;
    const std::optional<wine::UnixStatus> status = wine::StatusOf(path.unixPath);
    return status && status->IsStreamDevice();
}

}  // namespace

RawInput::RawInput(UniqueHandle owned, HANDLE handle, std::string name)
    : owned_(std::move(owned)),
      handle_(handle),
      name_(std::move(name)),
      mayBlock_(!IsDiskFile(handle)) {}

Failure RawInput::Open(const FilePath& path, std::unique_ptr<RawInput>& input) {
    if (IsStandardStream(path.shown)) {
        HANDLE handle = nullptr;
        if (Failure failure = StandardStream(STD_INPUT_HANDLE, handle)) return failure;
        input.reset(new RawInput({}, handle, StandardStreamName(STD_INPUT_HANDLE)));
        return {};
    }
    UniqueHandle file;
    if (IsStreamDevice(path)) {
        if (Failure failure = OpenStreamDevice(path, false, FailureCode::BadInput, file))
            return failure;
    } else {
        file = OpenToRead(path, true);
    }
    if (!file) return CannotRead(path.shown, GetLastError());
    const HANDLE handle = file.Get();
    input.reset(new RawInput(std::move(file), handle, path.shown));
    return {};
}

Failure RawInput::Fill(std::span<std::byte> bytes, std::size_t& got) {
    return ReadAll(handle_, bytes, name_, got);
}

namespace {

// A stream into a new file that replaces its destination once the stream is complete.
class FileOutput final : public RawOutput {
  public:
    FileOutput(std::unique_ptr<PendingFile> pending, std::string name)
        : RawOutput(std::move(name)), pending_(std::move(pending)) {}

    Failure Write(std::span<const std::byte> bytes, bool& readerGone) override {
        readerGone = false;
        return pending_->Write(bytes);
    }
    Failure Finish() override { return pending_->Commit(); }
    bool IsFile() const override { return true; }
    bool MayBlock() const override { return false; }

  private:
    std::unique_ptr<PendingFile> pending_;
};

// Standard output (a pipe or a file the caller opened, which stays open), or a named pipe or
// device written straight on, as standard output is.
class DirectOutput final : public RawOutput {
  public:
    DirectOutput(UniqueHandle owned, HANDLE handle, std::string name)
        : RawOutput(std::move(name)),
          owned_(std::move(owned)),
          handle_(handle),
          mayBlock_(!IsDiskFile(handle)) {}

    Failure Write(std::span<const std::byte> bytes, bool& readerGone) override {
        Failure failure = WriteAll(handle_, bytes, Name(), readerGone);
        if (readerGone) failure.reason = Name() + ": its reader closed it";
        return failure;
    }
    Failure Finish() override { return {}; }
    bool IsFile() const override { return false; }
    bool MayBlock() const override { return mayBlock_; }

  private:
    UniqueHandle owned_;
    HANDLE handle_;
    bool mayBlock_;
};

}  // namespace

Failure RawOutput::Open(const FilePath& path, std::unique_ptr<RawOutput>& output) {
    if (IsStandardStream(path.shown)) {
        HANDLE handle = nullptr;
        if (Failure failure = StandardStream(STD_OUTPUT_HANDLE, handle)) return failure;
        output = std::make_unique<DirectOutput>(UniqueHandle(), handle,
                                                StandardStreamName(STD_OUTPUT_HANDLE));
        return {};
    }
    if (IsStreamDevice(path)) {
        UniqueHandle device;
        if (Failure failure = OpenStreamDevice(path, true, FailureCode::NotWritten, device)) {
            return failure;
        }
        const HANDLE handle = device.Get();
        output = std::make_unique<DirectOutput>(std::move(device), handle, path.shown);
        return {};
    }
    std::unique_ptr<PendingFile> pending;
    if (Failure failure = PendingFile::Create(path, pending)) return failure;
    output = std::make_unique<FileOutput>(std::move(pending), path.shown);
    return {};
}

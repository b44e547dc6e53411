#include "cli/stream/raw_io.h"

#include <algorithm>

#include "cli/plan/arguments.h"
#include "cli/platform/file_io.h"
#include "cli/platform/text.h"
#include "cli/render/cancellation.h"

namespace {

bool StopWanted() {
    return AbortRequested().load();
}

}  // namespace

RawInput::RawInput(OwnedFile owned, FileHandle handle, std::string name)
    : owned_(std::move(owned)),
      handle_(handle),
      name_(std::move(name)),
      mayBlock_(::MayBlock(handle)) {}

Failure RawInput::Open(const FilePath& path, std::unique_ptr<RawInput>& input) {
    if (IsStandardStream(path.shown)) {
        FileHandle handle = OwnedFile::None();
        if (Failure failure = StandardStream(StandardStreamId::Input, handle)) return failure;
        input.reset(new RawInput({}, handle, StandardStreamName(StandardStreamId::Input)));
        return {};
    }
    OwnedFile file;
    if (IsStreamDevice(path)) {
        if (Failure failure = OpenStreamEnd(path, false, FailureCode::BadInput, StopWanted, file))
            return failure;
    } else if (Failure failure = OpenToRead(path, file, true)) {
        return failure;
    }
    const FileHandle handle = file.Get();
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
    DirectOutput(OwnedFile owned, FileHandle handle, std::string name)
        : RawOutput(std::move(name)),
          owned_(std::move(owned)),
          handle_(handle),
          mayBlock_(::MayBlock(handle)) {}

    Failure Write(std::span<const std::byte> bytes, bool& readerGone) override {
        Failure failure = WriteAll(handle_, bytes, Name(), readerGone);
        if (readerGone) failure.reason = Name() + ": its reader closed it";
        return failure;
    }
    Failure Finish() override { return {}; }
    bool IsFile() const override { return false; }
    bool MayBlock() const override { return mayBlock_; }
    void WidenPipe(std::size_t bytes) const override { ::WidenPipe(handle_, bytes); }

  private:
    OwnedFile owned_;
    FileHandle handle_;
    bool mayBlock_;
};

}  // namespace

Failure RawOutput::Open(const FilePath& path, std::unique_ptr<RawOutput>& output) {
    if (IsStandardStream(path.shown)) {
        FileHandle handle = OwnedFile::None();
        if (Failure failure = StandardStream(StandardStreamId::Output, handle)) return failure;
        output = std::make_unique<DirectOutput>(OwnedFile(), handle,
                                                StandardStreamName(StandardStreamId::Output));
        return {};
    }
    if (IsStreamDevice(path)) {
        OwnedFile device;
        if (Failure failure =
                OpenStreamEnd(path, true, FailureCode::NotWritten, StopWanted, device)) {
            return failure;
        }
        const FileHandle handle = device.Get();
        output = std::make_unique<DirectOutput>(std::move(device), handle, path.shown);
        return {};
    }
    std::unique_ptr<PendingFile> pending;
    if (Failure failure = PendingFile::Create(path, pending)) return failure;
    output = std::make_unique<FileOutput>(std::move(pending), path.shown);
    return {};
}

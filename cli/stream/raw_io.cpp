#include "cli/stream/raw_io.h"

#include <algorithm>

#include "cli/plan/arguments.h"
#include "cli/platform/text.h"

namespace {

// One ReadFile or WriteFile moves at most this much: the count is a DWORD.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;
// Wine touches every page of a read's buffer before each read, while a pipe hands over at most
// its own buffer (64 KiB) per read: asking for the rest of a frame every time would touch it
// over and over. A request is therefore twice what the last read brought, within these bounds.
constexpr std::size_t kSmallestRequest = std::size_t{64} << 10;

std::size_t NextRequest(std::size_t lastRead) {
    return std::clamp(lastRead * 2, kSmallestRequest, kLargestTransfer);
}

bool IsDiskFile(HANDLE handle) {
    return GetFileType(handle) == FILE_TYPE_DISK;
}

// How a pipe tells its reader that the writer closed it, or its writer that the reader did.
bool IsPipeClosed(DWORD error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

// A standard stream for raw frames: refused when it is not open (`closedCode`). The run's plan
// has already refused a terminal.
HANDLE StandardStream(DWORD which, const std::wstring& name, ExitCode closedCode,
                      Failure& failure) {
    const HANDLE handle = GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) return handle;
    failure = {closedCode, name + L": not open"};
    return nullptr;
}

}  // namespace

RawInput::RawInput(UniqueHandle owned, HANDLE handle, std::wstring name)
    : owned_(std::move(owned)),
      handle_(handle),
      name_(std::move(name)),
      mayBlock_(!IsDiskFile(handle)),
      request_(kSmallestRequest) {}

std::unique_ptr<RawInput> RawInput::Open(const FilePath& path, Failure& failure) {
    if (IsStandardStream(path.shown)) {
        const std::wstring name = L"standard input";
        const HANDLE handle = StandardStream(STD_INPUT_HANDLE, name, kExitBadInput, failure);
        if (handle == nullptr) return nullptr;
        return std::unique_ptr<RawInput>(new RawInput({}, handle, name));
    }
    UniqueHandle file(CreateFileW(path.system.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        failure = {kExitBadInput, path.shown + L": cannot be read: " + ErrorText(GetLastError())};
        return nullptr;
    }
    const HANDLE handle = file.Get();
    return std::unique_ptr<RawInput>(new RawInput(std::move(file), handle, path.shown));
}

std::size_t RawInput::Fill(std::span<std::byte> bytes, Failure& failure) {
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const auto wanted = static_cast<DWORD>(std::min(bytes.size() - filled, request_));
        DWORD got = 0;
        if (!ReadFile(handle_, bytes.data() + filled, wanted, &got, nullptr)) {
            const DWORD error = GetLastError();
            if (IsPipeClosed(error) || error == ERROR_HANDLE_EOF) break;
            failure = {kExitBadInput, name_ + L": cannot be read: " + ErrorText(error)};
            break;
        }
        if (got == 0) break;
        filled += got;
        request_ = NextRequest(got);
    }
    return filled;
}

RawOutput::RawOutput(std::unique_ptr<PendingFile> pending, HANDLE handle, std::wstring name)
    : pending_(std::move(pending)),
      handle_(handle),
      name_(std::move(name)),
      mayBlock_(pending_ == nullptr && !IsDiskFile(handle)) {}

std::unique_ptr<RawOutput> RawOutput::Open(const FilePath& path, Failure& failure) {
    if (IsStandardStream(path.shown)) {
        const std::wstring name = L"standard output";
        const HANDLE handle = StandardStream(STD_OUTPUT_HANDLE, name, kExitNotWritten, failure);
        if (handle == nullptr) return nullptr;
        return std::unique_ptr<RawOutput>(new RawOutput(nullptr, handle, name));
    }
    auto pending = PendingFile::Create(path, failure);
    if (!pending) return nullptr;
    return std::unique_ptr<RawOutput>(new RawOutput(std::move(pending), nullptr, path.shown));
}

Failure RawOutput::Write(std::span<const std::byte> bytes, bool& readerGone) {
    readerGone = false;
    if (pending_) return pending_->Write(bytes);
    unsigned long error = 0;
    if (WriteAll(handle_, bytes, error)) return {};
    readerGone = IsPipeClosed(error);
    if (readerGone) return {kExitNotWritten, name_ + L": its reader closed it"};
    return {kExitNotWritten, name_ + L": not written: " + ErrorText(error)};
}

Failure RawOutput::Finish() {
    return pending_ ? pending_->Commit() : Failure{};
}

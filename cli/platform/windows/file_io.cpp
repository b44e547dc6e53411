#include "cli/platform/file_io.h"

#include <algorithm>
#include <optional>

#include "cli/platform/windows/windows_files.h"
#include "cli/platform/windows/wine.h"
#include "loader/win32_text.h"

namespace {

// Wine touches every page of a read's buffer before each read, while a pipe hands over at most
// its own buffer (64 KiB) per read: asking for the rest of a frame every time would touch it
// over and over. A request is therefore twice what the last read brought, within these bounds.
constexpr std::size_t kSmallestRequest = std::size_t{64} << 10;

std::size_t NextRequest(std::size_t lastRead) {
    return std::clamp(lastRead * 2, kSmallestRequest, kLargestTransfer);
}

}  // namespace

bool OwnedFile::Close() {
    const bool ok = !IsOpen(handle_) || CloseHandle(handle_) != 0;
    handle_ = None();
    return ok;
}

DWORD StandardHandleId(StandardStreamId which) {
    switch (which) {
        case StandardStreamId::Input:
            return STD_INPUT_HANDLE;
        case StandardStreamId::Output:
            return STD_OUTPUT_HANDLE;
        case StandardStreamId::Error:
            break;
    }
    return STD_ERROR_HANDLE;
}

Failure OpenToRead(const FilePath& path, OwnedFile& file, bool shareWrites) {
    const DWORD sharing =
        FILE_SHARE_READ | (shareWrites ? FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0);
    file = OwnedFile(CreateFileW(path.system.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return file ? Failure{} : CannotRead(path.shown, GetLastError());
}

Failure ReadAll(FileHandle handle, std::span<std::byte> bytes, const std::string& name,
                std::size_t& got) {
    got = 0;
    std::size_t request = kSmallestRequest;
    while (got < bytes.size()) {
        const auto wanted = static_cast<DWORD>(std::min(bytes.size() - got, request));
        DWORD read = 0;
        if (!ReadFile(handle, bytes.data() + got, wanted, &read, nullptr)) {
            const DWORD error = GetLastError();
            if (IsPipeClosed(error) || error == ERROR_HANDLE_EOF) break;
            return CannotRead(name, error);
        }
        if (read == 0) break;
        got += read;
        request = NextRequest(read);
    }
    return {};
}

Failure ReadAt(FileHandle handle, std::uint64_t offset, std::span<std::byte> bytes,
               const std::string& name, std::size_t& got) {
    got = 0;
    while (got < bytes.size()) {
        const auto wanted = static_cast<DWORD>(std::min(bytes.size() - got, kLargestTransfer));
        const std::uint64_t position = offset + got;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD read = 0;
        if (!ReadFile(handle, bytes.data() + got, wanted, &read, &at)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) break;
            return CannotRead(name, error);
        }
        if (read == 0) break;
        got += read;
    }
    return {};
}

Failure WriteAll(FileHandle handle, std::span<const std::byte> bytes, const std::string& name,
                 bool& readerGone) {
    readerGone = false;
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
        DWORD written = 0;
        const bool ok = WriteFile(handle, bytes.data(), chunk, &written, nullptr) != 0;
        if (!ok || written == 0) {
            const DWORD error = ok ? ERROR_WRITE_FAULT : GetLastError();
            readerGone = IsPipeClosed(error);
            return NotWritten(name, error);
        }
        bytes = bytes.subspan(written);
    }
    return {};
}

const char* StandardStreamName(StandardStreamId which) {
    return which == StandardStreamId::Input ? "standard input" : "standard output";
}

Failure StandardStream(StandardStreamId which, FileHandle& handle) {
    handle = GetStdHandle(StandardHandleId(which));
    const bool input = which == StandardStreamId::Input;
    const bool closed = wine::ClosedByCaller(input ? 0 : 1);
    if (!closed && handle != nullptr && handle != INVALID_HANDLE_VALUE) return {};
    return {input ? FailureCode::BadInput : FailureCode::NotWritten,
            std::string(StandardStreamName(which)) + ": not open (closed by the caller)"};
}

bool IsPipeClosed(unsigned long error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

Failure CannotRead(const std::string& name, unsigned long error) {
    return {FailureCode::BadInput, name + ": cannot be read: " + ErrorText(error)};
}

Failure NotWritten(const std::string& name, unsigned long error) {
    if (const std::optional<std::uint64_t> limit = wine::FileSizeLimit();
        limit && error == ERROR_GEN_FAILURE) {
        return {FailureCode::NotWritten, name +
                                             ": not written: larger than the file-size limit "
                                             "(ulimit -f) of " +
                                             std::to_string(*limit) + " bytes"};
    }
    return {FailureCode::NotWritten, name + ": not written: " + ErrorText(error)};
}

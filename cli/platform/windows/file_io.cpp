// Reads and writes of whole blocks, the standard streams, and named pipes and devices as a raw
// stream's ends, on Windows.

#include "cli/platform/file_io.h"

#include <algorithm>
#include <optional>

#include "cli/platform/system_answers.h"
#include "cli/platform/windows/windows_files.h"
#include "loader/win32_text.h"

namespace {

// Wine touches every page of a read's buffer before each read, while a pipe hands over at most
// its own buffer (64 KiB) per read: asking for the rest of a frame every time would touch it
// over and over. A request is therefore twice what the last read brought, within these bounds.
constexpr std::size_t kSmallestRequest = std::size_t{64} << 10;

std::size_t NextRequest(std::size_t lastRead) {
    return std::clamp(lastRead * 2, kSmallestRequest, kLargestTransfer);
}

// How a pipe tells its reader that the writer closed it, or its writer that the reader did.
bool IsPipeClosed(DWORD error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

}  // namespace

bool OwnedFile::Close() {
    const bool ok = !IsOpen(handle_) || CloseHandle(handle_) != 0;
    handle_ = None();
    return ok;
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

FileHandle StandardHandle(StandardStreamId which) {
    const HANDLE handle = GetStdHandle(which == StandardStreamId::Input    ? STD_INPUT_HANDLE
                                       : which == StandardStreamId::Output ? STD_OUTPUT_HANDLE
                                                                           : STD_ERROR_HANDLE);
    return OwnedFile::IsOpen(handle) ? handle : OwnedFile::None();
}

Failure CannotRead(const std::string& name, unsigned long error) {
    return {FailureCode::BadInput, name + ": cannot be read: " + ErrorText(error)};
}

Failure NotWritten(const std::string& name, unsigned long error) {
    return {FailureCode::NotWritten, name + ": not written: " + ErrorText(error)};
}

// Only a console has a console mode; a character device such as NUL has none.
bool IsTerminal(StandardStreamId which) {
    DWORD mode = 0;
    return GetConsoleMode(StandardHandle(which), &mode) != 0;
}

bool IsTerminal(const FilePath& path) {
    const UniqueHandle device = OpenForAttributes(path.system);
    if (!device || GetFileType(device.Get()) != FILE_TYPE_CHAR) return false;
    const UniqueHandle console(CreateFileW(path.system.c_str(), GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    DWORD mode = 0;
    return console && GetConsoleMode(console.Get(), &mode) != 0;
}

Failure StateOf(FileHandle handle, const std::string& name, FileState& state) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return CannotRead(name, GetLastError());
    state.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    state.modified = (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                     info.ftLastWriteTime.dwLowDateTime;
    return {};
}

bool MayBlock(FileHandle handle) {
    return GetFileType(handle) != FILE_TYPE_DISK;
}

// A pipe's size is set by the process that creates it.
void WidenPipe(FileHandle, std::size_t) {}

// A named pipe (\\.\pipe\...) or a device such as NUL: not a file on a disk.
bool IsStreamDevice(const FilePath& path) {
    const UniqueHandle file = OpenForAttributes(path.system);
    return file && GetFileType(file.Get()) != FILE_TYPE_DISK;
}

// A pipe whose every instance is busy is asked again.
Failure TryOpenStreamEnd(const FilePath& path, bool write, FailureCode code, OwnedFile& file,
                         bool& notYet) {
    file = OwnedFile(CreateFileW(path.system.c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    const DWORD error = file ? ERROR_SUCCESS : GetLastError();
    notYet = error == ERROR_PIPE_BUSY;
    if (file || notYet) return {};
    return code == FailureCode::NotWritten ? NotWritten(path.shown, error)
                                           : Failure{code, CannotRead(path.shown, error).reason};
}

// A Windows pipe or device is ready once it is open.
bool WaitStreamReady(FileHandle, bool, int) {
    return true;
}

// Standard streams and the state of open files under Windows, and the named pipes and devices
// that Linux opens for the program under Wine as raw stream ends.

#include <windows.h>

#include <memory>
#include <optional>

#include "cli/platform/file_io.h"
#include "cli/platform/windows/windows_files.h"
#include "cli/platform/windows/wine.h"

// Only a console has a console mode; a character device such as /dev/null has none.
bool IsTerminal(StandardStreamId which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(StandardHandleId(which)), &mode) != 0;
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

// Wine's pipes are the Wine server's, sized by it.
void WidenPipe(FileHandle, std::size_t) {}

bool IsStreamDevice(const FilePath& path) {
    if (path.unixPath.empty()) return false;
    const std::optional<wine::UnixStatus> status = wine::StatusOf(path.unixPath);
    return status && status->IsStreamDevice();
}

namespace {

constexpr int kNoReader = 6;    // ENXIO: a named pipe opened for writing before its reader
constexpr int kWaitStep = 100;  // milliseconds between looks for a stop while waiting

}  // namespace

// Opened by Linux itself: Wine would take a named pipe with no writer yet for one at its end.
Failure OpenStreamEnd(const FilePath& path, bool write, FailureCode code,
                      const std::function<bool()>& stopWanted, OwnedFile& file) {
    std::unique_ptr<wine::UnixStream> stream;
    for (;;) {
        stream = std::make_unique<wine::UnixStream>(path.unixPath, write);
        if (!write || stream->Error() != kNoReader) break;
        if (stopWanted()) return {FailureCode::Aborted, path.shown + ": aborted"};
        Sleep(kWaitStep);
    }
    if (stream->Error() != 0) {
        return {code, path.shown + (write ? ": not written: " : ": cannot be read: ") +
                          wine::LinuxErrorText(stream->Error())};
    }
    while (!write && !stream->WaitReady(false, kWaitStep)) {
        if (stopWanted()) return {FailureCode::Aborted, path.shown + ": aborted"};
    }
    file = OwnedFile(stream->ToHandle(write));
    if (!file) {
        return write ? NotWritten(path.shown, GetLastError())
                     : CannotRead(path.shown, GetLastError());
    }
    return {};
}

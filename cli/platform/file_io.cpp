// What both systems say of their streams, and the wait for a stream's other end.

#include "cli/platform/file_io.h"

#include <chrono>
#include <thread>

#include "cli/platform/system_answers.h"

namespace {

constexpr int kWaitStep = 100;  // milliseconds between looks for a stop

Failure Aborted(const FilePath& path, OwnedFile& file) {
    file.Close();
    return {FailureCode::Aborted, path.shown + ": aborted"};
}

}  // namespace

const char* StandardStreamName(StandardStreamId which) {
    return which == StandardStreamId::Input ? "standard input" : "standard output";
}

Failure StandardStream(StandardStreamId which, FileHandle& handle) {
    handle = StandardHandle(which);
    if (OwnedFile::IsOpen(handle)) return {};
    return {which == StandardStreamId::Input ? FailureCode::BadInput : FailureCode::NotWritten,
            std::string(StandardStreamName(which)) + ": not open (closed by the caller)"};
}

Failure WaitReadable(FileHandle handle, const std::string& name,
                     const std::function<bool()>& stopWanted) {
    while (!WaitStreamReady(handle, false, kWaitStep)) {
        if (stopWanted()) return {FailureCode::Aborted, name + ": aborted"};
    }
    return {};
}

Failure OpenStreamEnd(const FilePath& path, bool write, FailureCode code,
                      const std::function<bool()>& stopWanted, OwnedFile& file) {
    for (;;) {
        bool notYet = false;
        if (Failure failure = TryOpenStreamEnd(path, write, code, file, notYet)) return failure;
        if (!notYet) break;
        if (stopWanted()) return Aborted(path, file);
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStep));
    }
    while (!WaitStreamReady(file.Get(), write, kWaitStep)) {
        if (stopWanted()) return Aborted(path, file);
    }
    return {};
}

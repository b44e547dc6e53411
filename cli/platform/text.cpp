#include "cli/platform/text.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex& OutputLock() {
    static std::mutex lock;
    return lock;
}

void WriteLine(FILE* stream, const std::wstring& line) {
    const std::string bytes = ToUtf8(line) + "\n";
    std::lock_guard<std::mutex> guard(OutputLock());
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

void PrintError(const std::wstring& line) {
    WriteLine(stderr, line);
}

void PrintOut(const std::wstring& line) {
    WriteLine(stdout, line);
}

bool IsTerminal(HANDLE handle) {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
}

void WriteErrorRaw(const std::string& bytes) {
    std::lock_guard<std::mutex> guard(OutputLock());
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

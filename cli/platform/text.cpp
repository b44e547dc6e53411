#include "cli/platform/text.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex& OutputLock() {
    static std::mutex lock;
    return lock;
}

void WriteLine(FILE* stream, const std::string& line) {
    const std::string bytes = line + "\n";
    std::lock_guard<std::mutex> guard(OutputLock());
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

}  // namespace

std::string ProgramLine(const std::string& text) {
    return "braidel-run: " + text;
}

void PrintError(const std::string& text) {
    WriteLine(stderr, OneLine(ProgramLine(text)));
}

void PrintOut(const std::string& line) {
    WriteLine(stdout, line);
}

std::string OneLine(const std::string& text) {
    std::string line;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            line += c;
        } else if (c == '\n') {
            line += "\\n";
        } else if (c == '\t') {
            line += "\\t";
        } else if (c == '\r') {
            line += "\\r";
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            line += escaped;
        }
    }
    return line;
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

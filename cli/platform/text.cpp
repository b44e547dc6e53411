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
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // U+0080 to U+009F, the C1 controls, in UTF-8.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", next);
            line += escaped;
            ++i;
        } else if (byte >= 0x20 && byte != 0x7F) {
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

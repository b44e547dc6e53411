#include "cli/platform/text.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex& OutputLock() {
    static std::mutex lock;
    return lock;
}

bool WriteLine(FILE* stream, const std::string& line) {
    const std::string bytes = line + "\n";
    std::lock_guard<std::mutex> guard(OutputLock());
    const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
    return std::fflush(stream) == 0 && whole;
}

// "\\u0085" for a C1 control, "\\x01" for any other byte shown escaped.
std::string Escaped(bool control, unsigned value) {
    char escaped[8];
    if (control) {
        std::snprintf(escaped, sizeof escaped, "\\u%04x", value);
    } else {
        std::snprintf(escaped, sizeof escaped, "\\x%02x", value);
    }
    return escaped;
}

bool IsContinuation(const std::string& text, std::size_t i, unsigned char low = 0x80,
                    unsigned char high = 0xBF) {
    if (i >= text.size()) return false;
    const auto byte = static_cast<unsigned char>(text[i]);
    return byte >= low && byte <= high;
}

// The length of the valid UTF-8 sequence at `i` (1 for ASCII), 0 when the byte there starts
// none: a stray continuation byte, an overlong form, a surrogate or a sequence cut short.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return 1;
    // The second byte's range, which rules out overlong forms, surrogates and values past
    // U+10FFFF; the rest are plain continuation bytes.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (!IsContinuation(text, i + 1, low, high)) return 0;
    for (std::size_t k = 2; k < length; ++k) {
        if (!IsContinuation(text, i + k)) return 0;
    }
    return length;
}

}  // namespace

std::string ProgramLine(const std::string& text) {
    return "braidel-run: " + text;
}

std::string CrashLine(const std::string& what) {
    return ProgramLine("crashed (" + what + "); stopped") + "\n";
}

void PrintError(const std::string& text) {
    WriteLine(stderr, OneLine(ProgramLine(text)));
}

bool PrintOut(const std::string& line) {
    return WriteLine(stdout, line);
}

std::string OneLine(const std::string& text) {
    std::string line;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // U+0080 to U+009F, the C1 controls, in UTF-8.
            line += Escaped(true, static_cast<unsigned char>(text[i + 1]));
        } else if (length > 1 || (length == 1 && byte >= 0x20 && byte != 0x7F)) {
            line.append(text, i, length);
        } else if (byte == '\n') {
            line += "\\n";
        } else if (byte == '\t') {
            line += "\\t";
        } else if (byte == '\r') {
            line += "\\r";
        } else {
            line += Escaped(false, byte);
        }
        i += length == 0 ? 1 : length;
    }
    return line;
}

void WriteErrorRaw(const std::string& bytes) {
    std::lock_guard<std::mutex> guard(OutputLock());
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

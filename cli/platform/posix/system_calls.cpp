#include "cli/platform/posix/system_calls.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace posix {

int WriteAll(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const std::size_t size = std::min(bytes.size(), kLargestTransfer);
        const ssize_t written = RetryInterrupted([&] { return ::write(fd, bytes.data(), size); });
        if (written < 0) return errno;
        // A write that moves nothing and says nothing would repeat forever.
        if (written == 0) return EIO;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return 0;
}

int ReadFull(int fd, std::span<std::byte> bytes, std::size_t& got) {
    got = 0;
    while (got < bytes.size()) {
        const std::size_t size = std::min(bytes.size() - got, kLargestTransfer);
        const ssize_t read = RetryInterrupted([&] { return ::read(fd, bytes.data() + got, size); });
        if (read < 0) return errno;
        if (read == 0) break;
        got += static_cast<std::size_t>(read);
    }
    return 0;
}

int ReadFullAt(int fd, std::uint64_t offset, std::span<std::byte> bytes, std::size_t& got) {
    got = 0;
    while (got < bytes.size()) {
        const std::size_t size = std::min(bytes.size() - got, kLargestTransfer);
        const auto at = static_cast<off_t>(offset + got);
        const ssize_t read =
            RetryInterrupted([&] { return ::pread(fd, bytes.data() + got, size, at); });
        if (read < 0) return errno;
        if (read == 0) break;
        got += static_cast<std::size_t>(read);
    }
    return 0;
}

void IgnoreFileSizeSignal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

std::string ErrorText(int error) {
    char text[256];
    // The GNU strerror_r returns its text, which need not be in `text`.
    const char* words = ::strerror_r(error, text, sizeof text);
    return words;
}

}  // namespace posix

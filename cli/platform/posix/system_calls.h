#pragma once

#include <cerrno>
#include <cstddef>
#include <span>
#include <string>

namespace posix {

// The system calls braidel-run makes on POSIX, each retried when a signal interrupts it, and the
// loops that move whole blocks. Failures are the call's errno value; 0 is success.

// Calls `call` until it is not interrupted by a signal; its result as it returned.
template <class Call>
auto RetryInterrupted(Call call) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

// The largest block one read or write moves: Linux moves at most this much per call anyway.
inline constexpr std::size_t kLargestTransfer = 0x7ffff000;

// Writes all of `bytes`, in as many calls as it takes. A write past the file-size limit fails
// with EFBIG (the signal that would end the process is ignored: see IgnoreFileSizeSignal).
int WriteAll(int fd, std::span<const std::byte> bytes);

// Reads until `bytes` is full or the file ends; `got` says how many bytes came.
int ReadFull(int fd, std::span<std::byte> bytes, std::size_t& got);
// The same from `offset` of a file, its position left alone.
int ReadFullAt(int fd, std::uint64_t offset, std::span<std::byte> bytes, std::size_t& got);

// A write past the file-size limit (`ulimit -f`) returns EFBIG instead of ending the process, so
// that it is reported like a full disk. Call once at start.
void IgnoreFileSizeSignal();

// The system's words for an error number, as one line of text.
std::string ErrorText(int error);

}  // namespace posix

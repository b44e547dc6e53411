#pragma once

#include <unistd.h>

#include <utility>

namespace posix {

// A file descriptor owned by one object and closed when it goes.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        // close() is never retried on EINTR: Linux has released the descriptor either way.
        if (fd_ >= 0) ::close(fd_);
    }

    explicit operator bool() const { return fd_ >= 0; }
    int Get() const { return fd_; }
    // Gives the descriptor up to the caller, who closes it.
    int Release() { return std::exchange(fd_, -1); }

  private:
    int fd_ = -1;
};

}  // namespace posix

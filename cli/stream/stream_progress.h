#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "cli/platform/status_line.h"

// A stream's progress on the status line: on a terminal the frames done and the rate, redrawn
// at most twice a second; otherwise only a summary line at the end; nothing when quiet.
class StreamProgress {
  public:
    explicit StreamProgress(StatusLine& line);

    void Show(std::uint64_t frames);
    // The last line of a stream that ended well.
    void Summary(std::uint64_t frames, const std::string& what);

  private:
    double Seconds() const;
    std::string RateText(std::uint64_t frames) const;

    StatusLine& line_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_;
};

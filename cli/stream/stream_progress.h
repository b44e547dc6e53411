#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "cli/render/progress.h"

// What the user sees of a stream on stderr: on a terminal one line that keeps showing the
// frames done and the rate; otherwise only a summary line at the end; nothing when quiet.
class StreamProgress {
  public:
    explicit StreamProgress(ProgressReport::Style style);

    // Redraws the terminal line, at most twice a second.
    void Show(std::uint64_t frames);
    // The last line of a stream that ended well.
    void Summary(std::uint64_t frames, const std::wstring& what);
    // Clears the terminal line before an error line.
    void Clear();

  private:
    double Seconds() const;
    std::string RateText(std::uint64_t frames) const;

    ProgressReport::Style style_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point drawn_;
    bool shown_ = false;
};

#include "cli/stream/stream_progress.h"

#include <cstdio>

#include "cli/platform/text.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(500);

}  // namespace

StreamProgress::StreamProgress(StatusLine& line)
    : line_(line), start_(std::chrono::steady_clock::now()), drawn_(start_) {}

double StreamProgress::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

std::string StreamProgress::RateText(std::uint64_t frames) const {
    const double seconds = Seconds();
    const double rate = seconds > 0 ? static_cast<double>(frames) / seconds : 0.0;
    char text[96];
    std::snprintf(text, sizeof text, "%llu frames in %.2f s, %.1f frames/s",
                  static_cast<unsigned long long>(frames), seconds, rate);
    return text;
}

void StreamProgress::Show(std::uint64_t frames) {
    if (line_.GetStyle() != StatusLine::Style::Terminal) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - drawn_ < kRedrawInterval) return;
    drawn_ = now;
    line_.Draw(ProgramLine(RateText(frames)));
}

void StreamProgress::Summary(std::uint64_t frames, const std::string& what) {
    if (line_.GetStyle() == StatusLine::Style::Quiet) return;
    line_.Clear();
    line_.Print(what + ": " + RateText(frames));
}

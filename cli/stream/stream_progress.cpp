#include "cli/stream/stream_progress.h"

#include <cstdio>

#include "cli/platform/text.h"

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(500);
constexpr std::size_t kLineWidth = 72;

}  // namespace

StreamProgress::StreamProgress(ProgressReport::Style style)
    : style_(style), start_(std::chrono::steady_clock::now()), drawn_(start_) {}

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
    if (style_ != ProgressReport::Style::Bar) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - drawn_ < kRedrawInterval) return;
    drawn_ = now;
    std::string line = "\rbraidel-run: " + RateText(frames);
    if (line.size() < kLineWidth) line.resize(kLineWidth, ' ');
    WriteErrorRaw(line);
    shown_ = true;
}

void StreamProgress::Summary(std::uint64_t frames, const std::wstring& what) {
    if (style_ == ProgressReport::Style::Quiet) return;
    Clear();
    WriteErrorRaw("braidel-run: " + ToUtf8(what) + ": " + RateText(frames) + "\n");
}

void StreamProgress::Clear() {
    if (!shown_) return;
    WriteErrorRaw("\r" + std::string(kLineWidth, ' ') + "\r");
    shown_ = false;
}

#include "cli/batch/batch_progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kBarWidth = 40;
// The steps of a frame's share: whole numbers keep the running sum exact, so that all frames
// done is 100% and never 99; decimal ones take a tenth or a fifth as it is.
constexpr std::int64_t kWhole = 1'000'000;

}  // namespace

ProgressReport::ProgressReport(StatusLine& line, int frames)
    : line_(line), done_(static_cast<std::size_t>(frames), 0) {}

void ProgressReport::Update(int index, double fraction) {
    if (line_.GetStyle() != StatusLine::Style::Terminal) return;
    std::lock_guard<std::mutex> guard(lock_);
    SetLocked(index, fraction);
    DrawLocked();
}

void ProgressReport::Finished(int index, const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    SetLocked(index, 1.0);
    ++finished_;
    if (line_.GetStyle() == StatusLine::Style::Lines) line_.Print(line);
    drawnPercent_ = -1;
    DrawLocked();
}

void ProgressReport::Error(const std::string& line) {
    line_.Print(line);
}

void ProgressReport::SetLocked(int index, double fraction) {
    std::int64_t& done = done_.at(static_cast<std::size_t>(index));
    const auto steps =
        static_cast<std::int64_t>(std::llround(std::clamp(fraction, 0.0, 1.0) * kWhole));
    doneSum_ += steps - done;
    done = steps;
}

void ProgressReport::DrawLocked() {
    if (line_.GetStyle() != StatusLine::Style::Terminal) return;
    const auto whole = kWhole * static_cast<std::int64_t>(done_.size());
    // A redraw per whole percent: a console redraws every character it is sent.
    const int percent = done_.empty() ? 100 : static_cast<int>(doneSum_ * 100 / whole);
    if (percent == drawnPercent_) return;
    drawnPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    char tail[64];
    std::snprintf(tail, sizeof tail, "%3d%%  %d/%zu frames", percent, finished_, done_.size());
    std::string bar = "[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    line_.Draw(bar + "] " + tail);
}

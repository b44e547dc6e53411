#include "cli/batch/batch_progress.h"

#include <cstdio>

namespace {

constexpr int kBarWidth = 40;

}  // namespace

ProgressReport::ProgressReport(StatusLine& line, int frames)
    : line_(line), fractions_(static_cast<std::size_t>(frames), 0.0) {}

void ProgressReport::Update(int index, double fraction) {
    if (line_.GetStyle() != StatusLine::Style::Terminal) return;
    std::lock_guard<std::mutex> guard(lock_);
    fractions_.at(static_cast<std::size_t>(index)) = fraction;
    DrawLocked();
}

void ProgressReport::Finished(int index, const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    fractions_.at(static_cast<std::size_t>(index)) = 1.0;
    ++finished_;
    if (line_.GetStyle() == StatusLine::Style::Lines) line_.Print(line);
    drawnPercent_ = -1;
    DrawLocked();
}

void ProgressReport::Error(const std::string& line) {
    line_.Print(line);
}

void ProgressReport::DrawLocked() {
    if (line_.GetStyle() != StatusLine::Style::Terminal) return;
    double sum = 0;
    for (double f : fractions_) sum += f;
    const double overall = fractions_.empty() ? 1.0 : sum / static_cast<double>(fractions_.size());
    // A redraw per whole percent: a console redraws every character it is sent.
    const int percent = static_cast<int>(overall * 100.0);
    if (percent == drawnPercent_) return;
    drawnPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    char tail[64];
    std::snprintf(tail, sizeof tail, "%3d%%  %d/%zu frames", percent, finished_, fractions_.size());
    std::string bar = "[";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    line_.Draw(bar + "] " + tail);
}

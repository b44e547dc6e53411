#include "cli/render/progress.h"

#include <cstdio>

#include "cli/platform/text.h"

namespace {

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            AbortRequested().store(true);
            return TRUE;
        default:
            return FALSE;
    }
}

constexpr int kBarWidth = 40;

}  // namespace

std::atomic<bool>& AbortRequested() {
    static std::atomic<bool> requested{false};
    return requested;
}

void InstallAbortHandler() {
    // A process started in a new process group has Ctrl-C disabled; enable it again.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

ProgressReport::ProgressReport(Style style, int frames)
    : style_(style), fractions_(static_cast<std::size_t>(frames), 0.0) {}

ProgressReport::Style ProgressReport::StyleForStderr(bool quiet) {
    if (quiet) return Style::Quiet;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) ? Style::Bar : Style::Lines;
}

void ProgressReport::Update(int index, double fraction) {
    if (style_ != Style::Bar) return;
    std::lock_guard<std::mutex> guard(lock_);
    fractions_.at(static_cast<std::size_t>(index)) = fraction;
    DrawLocked();
}

void ProgressReport::Finished(int index, const std::wstring& line) {
    std::lock_guard<std::mutex> guard(lock_);
    fractions_.at(static_cast<std::size_t>(index)) = 1.0;
    ++finished_;
    if (style_ == Style::Lines) {
        WriteErrorRaw(ToUtf8(line) + "\n");
    } else if (style_ == Style::Bar) {
        drawnPercent_ = -1;
        DrawLocked();
    }
}

void ProgressReport::Error(const std::wstring& line) {
    std::lock_guard<std::mutex> guard(lock_);
    ClearLocked();
    WriteErrorRaw(ToUtf8(line) + "\n");
    if (style_ == Style::Bar) DrawLocked();
}

void ProgressReport::Close() {
    std::lock_guard<std::mutex> guard(lock_);
    if (barShown_) WriteErrorRaw("\n");
    barShown_ = false;
}

void ProgressReport::DrawLocked() {
    double sum = 0;
    for (double f : fractions_) sum += f;
    const double overall = fractions_.empty() ? 1.0 : sum / static_cast<double>(fractions_.size());
    // A redraw per whole percent: a console redraws every character it is sent.
    const int percent = static_cast<int>(overall * 100.0);
    if (percent == drawnPercent_ && barShown_) return;
    drawnPercent_ = percent;
    const int filled = percent * kBarWidth / 100;
    std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "] ";
    char tail[64];
    std::snprintf(tail, sizeof tail, "%3d%%  %d/%zu frames", percent, finished_, fractions_.size());
    WriteErrorRaw(bar + tail);
    barShown_ = true;
}

void ProgressReport::ClearLocked() {
    if (!barShown_) return;
    WriteErrorRaw("\r" + std::string(kBarWidth + 24, ' ') + "\r");
    barShown_ = false;
    drawnPercent_ = -1;
}

ProgressWindow::ProgressWindow(ProgressReport& report, int index, int expectedMessages)
    : report_(report), index_(index), expected_(expectedMessages) {}

void ProgressWindow::OnProgress(WPARAM, LPARAM) {
    ++received_;
    const double fraction = expected_ > 0 ? static_cast<double>(received_) / expected_ : 1.0;
    report_.Update(index_, fraction < 1.0 ? fraction : 1.0);
}

void ProgressWindow::OnAbortPoll(WPARAM, int32_t* flag) {
    if (AbortRequested().load() && flag != nullptr) {
        *flag = 1;
        abortDelivered_ = true;
    }
}

int ExpectedProgressMessages(int height, int field, bool mask) {
    const int rebuilt = field == 1 ? (height > 0 ? (height - 1) / 2 : 0) : height / 2;
    return rebuilt + (mask ? height : 0);
}

#include "tests/support/progress_window.h"

#include <cstdint>
#include <stdexcept>

#include "host/image_filter.h"

ProgressWindow::ProgressWindow() {
    if (Handle() == nullptr) throw std::runtime_error("progress window not created");
}

void ProgressWindow::OnProgress(WPARAM position, LPARAM total) {
    messages_.push_back({kProgressMessage, position, total});
}

void ProgressWindow::OnAbortPoll(WPARAM wParam, int32_t* flag) {
    messages_.push_back({kAbortPollMessage, wParam, reinterpret_cast<LPARAM>(flag)});
    flagsOnArrival_.push_back(*flag);
    if (PollCount() == abortAtPoll_) *flag = 1;
}

std::vector<long long> ProgressWindow::Positions() const {
    std::vector<long long> positions;
    for (const Message& m : messages_) {
        if (m.id == kProgressMessage) positions.push_back(static_cast<long long>(m.wParam));
    }
    return positions;
}

std::vector<long long> ProgressWindow::Totals() const {
    std::vector<long long> totals;
    for (const Message& m : messages_) {
        if (m.id == kProgressMessage) totals.push_back(static_cast<long long>(m.lParam));
    }
    return totals;
}

int ProgressWindow::PollCount() const {
    int polls = 0;
    for (const Message& m : messages_) polls += m.id == kAbortPollMessage;
    return polls;
}

#pragma once

#include <windows.h>

#include <vector>

#include "loader/message_window.h"

// A host's render window that records every progress message and abort poll, and can ask for
// an abort at a chosen poll.
class ProgressWindow final : public MessageWindow {
  public:
    struct Message {
        UINT id;
        WPARAM wParam;
        LPARAM lParam;
    };

    ProgressWindow();

    // Sets the abort flag during the nth abort poll (counted from 1); 0 never.
    void AbortAtPoll(int nth) { abortAtPoll_ = nth; }

    const std::vector<Message>& Messages() const { return messages_; }
    // The positions of the progress messages, in order.
    std::vector<long long> Positions() const;
    // The totals of the progress messages, in order.
    std::vector<long long> Totals() const;
    int PollCount() const;
    // The flag value each poll found on arrival.
    std::vector<int> FlagsOnArrival() const { return flagsOnArrival_; }

  private:
    void OnProgress(WPARAM position, LPARAM total) override;
    void OnAbortPoll(WPARAM wParam, int32_t* flag) override;

    int abortAtPoll_ = 0;
    std::vector<Message> messages_;
    std::vector<int> flagsOnArrival_;
};

#pragma once

#include <windows.h>

#include <vector>

// A host's render window: a real (message-only) window whose procedure records every progress
// message and abort poll, and can ask for an abort at a chosen poll.
class ProgressWindow {
  public:
    struct Message {
        UINT id;
        WPARAM wParam;
        LPARAM lParam;
    };

    ProgressWindow();
    ~ProgressWindow();
    ProgressWindow(const ProgressWindow&) = delete;
    ProgressWindow& operator=(const ProgressWindow&) = delete;

    HWND Handle() const { return window_; }

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
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Record(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    int abortAtPoll_ = 0;
    std::vector<Message> messages_;
    std::vector<int> flagsOnArrival_;
};

#pragma once

#include <windows.h>

#include <cstdint>

#include "host/image_filter.h"

// Progress messages and abort polls to the host's render window. The abort flag lives here,
// in the pass's own frame; the host writes it while it handles the synchronous poll.
class ProgressChannel {
  public:
    explicit ProgressChannel(HWND window) : window_(window) {}

    // Both values arrive sign-extended, so a total of -1 stays -1.
    void Report(int position, int total) const {
        SendMessageW(window_, kProgressMessage, static_cast<WPARAM>(static_cast<INT_PTR>(position)),
                     static_cast<LPARAM>(total));
    }

    bool AbortRequested() {
        SendMessageW(window_, kAbortPollMessage, 0, reinterpret_cast<LPARAM>(&abortFlag_));
        return abortFlag_ != 0;
    }

    // Progress, then the poll: false when the host asked to stop.
    bool Step(int position, int total) {
        Report(position, total);
        return !AbortRequested();
    }

  private:
    HWND window_;
    int32_t abortFlag_ = 0;
};

#pragma once

#include <windows.h>

#include <cstdint>

// The window a host hands the filter's render: a message-only window on the creating thread
// that receives the progress messages and answers the abort polls. A window belongs to the
// thread that made it, so each rendering thread makes its own.
class MessageWindow {
  public:
    MessageWindow();
    virtual ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Null when the window could not be made (the thread's last error says why).
    HWND Handle() const { return window_; }

  protected:
    // A progress message: the row position and the total the pass reports.
    virtual void OnProgress(WPARAM position, LPARAM total);
    // An abort poll (wParam is 0 from a well-behaved filter): setting *flag non-zero asks the
    // render to stop.
    virtual void OnAbortPoll(WPARAM wParam, int32_t* flag);

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
};

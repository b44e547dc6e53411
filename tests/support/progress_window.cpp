#include "tests/support/progress_window.h"

#include <cstdint>
#include <stdexcept>

#include "host/image_filter.h"

namespace {

const wchar_t* WindowClass() {
    static const wchar_t* name = [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"BraidelTestProgressWindow";
        RegisterClassW(&windowClass);
        return windowClass.lpszClassName;
    }();
    return name;
}

}  // namespace

ProgressWindow::ProgressWindow() {
    window_ = CreateWindowExW(0, WindowClass(), L"progress", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) throw std::runtime_error("progress window not created");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
}

ProgressWindow::~ProgressWindow() {
    DestroyWindow(window_);
}

LRESULT CALLBACK ProgressWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && (message == kProgressMessage || message == kAbortPollMessage)) {
        self->Record(message, wParam, lParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ProgressWindow::Record(UINT message, WPARAM wParam, LPARAM lParam) {
    messages_.push_back({message, wParam, lParam});
    if (message != kAbortPollMessage) return;
    auto* flag = reinterpret_cast<int32_t*>(lParam);
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

#include "loader/message_window.h"

#include <mutex>

#include "host/image_filter.h"

namespace {

const wchar_t kWindowClass[] = L"BraidelHostMessageWindow";

void RegisterWindowClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kWindowClass;
        RegisterClassW(&windowClass);
    });
}

}  // namespace

MessageWindow::MessageWindow() {
    RegisterWindowClass();
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) return;
    // The procedure is attached only after creation, so no message reaches a half-built object.
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
}

MessageWindow::~MessageWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
}

void MessageWindow::OnProgress(WPARAM, LPARAM) {}
void MessageWindow::OnAbortPoll(WPARAM, int32_t*) {}

LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == kProgressMessage) {
        self->OnProgress(wParam, lParam);
        return 0;
    }
    if (self != nullptr && message == kAbortPollMessage) {
        self->OnAbortPoll(wParam, reinterpret_cast<int32_t*>(lParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

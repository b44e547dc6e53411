#include "tests/support/dialog_driver.h"

#include <atomic>
#include <thread>

namespace {

HANDLE initialised = nullptr;
std::atomic<HWND> initialisedDialog{nullptr};
HANDLE contextAtInit = nullptr;

LRESULT CALLBACK AfterWindowProc(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && initialisedDialog == nullptr) {
        HANDLE current = nullptr;
        if (GetCurrentActCtx(&current)) {
            contextAtInit = current;
            if (current != nullptr) ReleaseActCtx(current);
        }
        initialisedDialog = call->hwnd;
        SetEvent(initialised);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD ThreadOf(HWND window) {
    return GetWindowThreadProcessId(window, nullptr);
}

}  // namespace

INT_PTR DriveDialog(const std::function<INT_PTR()>& show,
                    const std::function<void(HWND dialog)>& script) {
    if (initialised == nullptr) initialised = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(initialised);
    initialisedDialog = nullptr;
    contextAtInit = nullptr;
    HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROCRET, AfterWindowProc, nullptr, GetCurrentThreadId());
    std::thread helper([&script] {
        if (WaitForSingleObject(initialised, 5000) != WAIT_OBJECT_0) return;
        HWND dialog = initialisedDialog;
        // The dialog manager gives the focus once WM_INITDIALOG has returned; act after that,
        // as a user would.
        if (dialog != nullptr) FocusAfter(dialog, nullptr);
        script(dialog);
    });
    const INT_PTR result = show();
    if (initialisedDialog == nullptr) SetEvent(initialised);  // no dialog: release the helper
    helper.join();
    UnhookWindowsHookEx(hook);
    return result;
}

bool DialogWasShown() {
    return initialisedDialog != nullptr;
}

HANDLE ContextActiveAtDialogInit() {
    return contextAtInit;
}

void Click(HWND dialog, int controlId) {
    SendMessageW(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0);
}

HWND FocusedWindow(HWND dialog) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(ThreadOf(dialog), &info);
    return info.hwndFocus;
}

HWND FocusAfter(HWND dialog, HWND previous) {
    for (int i = 0; i < 200; ++i) {
        HWND focus = FocusedWindow(dialog);
        if (focus != previous) return focus;
        Sleep(10);
    }
    return FocusedWindow(dialog);
}

void PressKey(HWND dialog, WORD virtualKey) {
    HWND target = FocusedWindow(dialog);
    if (target == nullptr) target = dialog;
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (static_cast<LPARAM>(scan) << 16));
    PostMessageW(target, WM_KEYUP, virtualKey,
                 1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
}

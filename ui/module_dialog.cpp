#include "ui/module_dialog.h"

#include "ui/activation_context.h"

namespace {

// Ends the dialog's activation on every way out of the dialog call. While the result still
// counts as failed (-1, also when an exception leaves the call) the caller must see the dialog
// call's last error, not the deactivation's.
class DialogActivationScope {
  public:
    explicit DialogActivationScope(ContextActivation& activation) : activation_(activation) {}
    ~DialogActivationScope() {
        if (result != -1) {
            activation_.Deactivate();
            return;
        }
        const DWORD saved = GetLastError();
        activation_.Deactivate();
        SetLastError(saved);
    }
    DialogActivationScope(const DialogActivationScope&) = delete;
    DialogActivationScope& operator=(const DialogActivationScope&) = delete;

    INT_PTR result = -1;

  private:
    ContextActivation& activation_;
};

}  // namespace

INT_PTR ModuleDialogBoxParam(HINSTANCE instance, LPCWSTR templateName, HWND parent,
                             DLGPROC dialogProc, LPARAM initParam) {
    // On the fallback path nothing is activated, so nothing is deactivated either.
    ContextActivation activation;
    if (!ActivationFallback()) {
        if (!InitModuleActCtx() || !activation.Activate(ModuleActivationContext())) {
            // The failing call's last error stays for the caller either way.
            if (!IsActivationFallbackCode(GetLastError())) return -1;
            EnterActivationFallback();
        }
    }

    DialogActivationScope scope(activation);
    scope.result = DialogBoxParamW(instance, templateName, parent, dialogProc, initParam);
    return scope.result;
}

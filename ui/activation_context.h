#pragma once

#include <windows.h>

// The module's activation-context hosting state. It lives as long as the module is loaded and is
// never reset: the context handle starts as INVALID_HANDLE_VALUE (not set up yet) and then holds
// the module's own context, or null when the module has none; the fallback flag, once set, means
// that activation is unsupported and dialogs are shown without it.

// Sets the module's context up on first use, and loads the common-controls library under it when
// the context redirects that library. 1 on success (also when there is nothing left to do), or 0
// with the thread's last error describing the failure.
int InitModuleActCtx();

// The stored context: the module's own, or null. Meaningful once InitModuleActCtx succeeded.
HANDLE ModuleActivationContext();

bool ActivationFallback();
void EnterActivationFallback();

// Whether a failed set-up or activation with this error code means that activation contexts are
// unsupported here, rather than a real failure.
bool IsActivationFallbackCode(DWORD code);

// One activation of a context on the calling thread, deactivated when this goes out of scope
// (also when an exception passes), or earlier through Deactivate.
class ContextActivation {
  public:
    ContextActivation() = default;
    ~ContextActivation() { Deactivate(); }
    ContextActivation(const ContextActivation&) = delete;
    ContextActivation& operator=(const ContextActivation&) = delete;

    // ActivateActCtx; false with its last error when it fails.
    bool Activate(HANDLE context);
    // Ends the activation, if there is one; leaves the thread's last error as DeactivateActCtx
    // leaves it.
    void Deactivate() noexcept;

  private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

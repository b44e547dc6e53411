#include "ui/activation_context.h"

#include <algorithm>
#include <array>

namespace {

// The hosting state. The address of `contextHandle` also names this module to QueryActCtxW and
// GetModuleHandleExW.
HANDLE contextHandle = INVALID_HANDLE_VALUE;
int fallbackFlag = 0;

constexpr DWORD kQueryFlags = QUERY_ACTCTX_FLAG_ACTCTX_IS_ADDRESS | QUERY_ACTCTX_FLAG_NO_ADDREF;
constexpr DWORD kModuleFromAddress =
    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
constexpr DWORD kPathCapacity = MAX_PATH + 1;  // 261 characters
// The resource ID under which a DLL keeps the manifest of the context it creates for itself at
// run time (the loader applies none from it to static imports). This module carries no manifest
// with this ID, so a creation from it finds no resource and the dialogs get the null context.
constexpr WORD kOwnManifestId = 3;
constexpr const wchar_t* kCommonControls = L"Comctl32.dll";

static_assert(kQueryFlags == 0x80000010);
static_assert(kModuleFromAddress == 6);
static_assert(sizeof(ACTIVATION_CONTEXT_BASIC_INFORMATION) == 16);
static_assert(sizeof(ACTCTXW) == 56);
static_assert(sizeof(ACTCTX_SECTION_KEYED_DATA) == 112);
static_assert((ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID) == 0x88);

constexpr std::array<DWORD, 5> kFallbackCodes{ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED,
                                              ERROR_CALL_NOT_IMPLEMENTED, ERROR_MOD_NOT_FOUND,
                                              ERROR_PROC_NOT_FOUND};

// A creation failing with one of these leaves the module without a context of its own.
constexpr std::array<DWORD, 6> kNoOwnContextCodes{
    ERROR_FILE_NOT_FOUND,          ERROR_PATH_NOT_FOUND,          ERROR_RESOURCE_DATA_NOT_FOUND,
    ERROR_RESOURCE_TYPE_NOT_FOUND, ERROR_RESOURCE_NAME_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND};

template <std::size_t N>
bool Contains(const std::array<DWORD, N>& codes, DWORD code) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// Creates a context from this module's own manifest resource. True with `context` set (null
// when the module turns out to have none); false with the last error on failure.
bool CreateOwnContext(HANDLE& context) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(kModuleFromAddress, reinterpret_cast<LPCWSTR>(&contextHandle),
                            &module)) {
        return false;
    }
    wchar_t path[kPathCapacity];
    const DWORD length = GetModuleFileNameW(module, path, kPathCapacity);
    if (length == 0) return false;
    if (length >= kPathCapacity) {  // truncated: the path did not fit
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return false;
    }

    ACTCTXW request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.lpSource = path;
    request.lpResourceName = MAKEINTRESOURCEW(kOwnManifestId);
    request.hModule = module;
    HANDLE created = CreateActCtxW(&request);
    if (created == INVALID_HANDLE_VALUE) {
        if (!Contains(kNoOwnContextCodes, GetLastError())) return false;
        created = nullptr;
    }
    context = created;
    return true;
}

// With the module's context active, loads the common-controls library when the context
// redirects it, so the dialogs' controls come from the redirected version. The library stays
// loaded; failures here are not errors.
void LoadRedirectedCommonControls(HANDLE context) {
    ContextActivation activation;
    if (!activation.Activate(context)) return;
    ACTCTX_SECTION_KEYED_DATA section{};
    section.cbSize = sizeof section;
    if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                 kCommonControls, &section)) {
        LoadLibraryW(kCommonControls);
    }
}

}  // namespace

int InitModuleActCtx() {
    if (fallbackFlag != 0 || contextHandle != INVALID_HANDLE_VALUE) return 1;

    // The context the system associates with this module, without taking a reference on it.
    ACTIVATION_CONTEXT_BASIC_INFORMATION basic{};
    if (!QueryActCtxW(kQueryFlags, &contextHandle, nullptr, ActivationContextBasicInformation,
                      &basic, sizeof basic, nullptr)) {
        return 0;
    }
    HANDLE context = basic.hActCtx;
    if (context == nullptr && !CreateOwnContext(context)) return 0;

    // Set up for good from here on, whatever the rest finds.
    contextHandle = context;
    LoadRedirectedCommonControls(context);
    return 1;
}

HANDLE ModuleActivationContext() {
    return contextHandle;
}

bool ActivationFallback() {
    return fallbackFlag != 0;
}

void EnterActivationFallback() {
    fallbackFlag = 1;
}

bool IsActivationFallbackCode(DWORD code) {
    return Contains(kFallbackCodes, code);
}

bool ContextActivation::Activate(HANDLE context) {
    Deactivate();
    active_ = ActivateActCtx(context, &cookie_) != FALSE;
    return active_;
}

void ContextActivation::Deactivate() noexcept {
    if (!active_) return;
    active_ = false;
    DeactivateActCtx(0, cookie_);
    cookie_ = 0;
}

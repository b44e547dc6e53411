#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "hostsdk/instrumentation.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/import_patch.h"
#include "tests/support/plugin_copy.h"
#include "ui/dialog_ids.h"

namespace {

// What the copy under test asks of the platform, and what the test makes the platform answer.
// The wrappers stand in the copy's import address table and call the real functions unless told
// to fail.
struct HostingSpy {
    int queries = 0;
    DWORD queryFlags = 0;
    const void* queriedAddress = nullptr;
    ULONG queryClass = 0;
    SIZE_T queryBufferSize = 0;
    SIZE_T* queryWrittenOut = reinterpret_cast<SIZE_T*>(1);
    DWORD queryFailure = 0;  // non-zero: fail with this code
    bool queryYieldsNull = false;
    HANDLE queriedContext = nullptr;

    int creations = 0;
    DWORD creationFailure = 0;  // non-zero: fail with this code
    ACTCTXW creationRequest{};
    std::wstring creationSource;
    DWORD creationError = 0;

    int activations = 0;
    DWORD activationFailure = 0;  // non-zero: fail with this code
    std::vector<HANDLE> activated;
    int deactivations = 0;

    int dialogs = 0;
    DWORD dialogFailure = 0;  // non-zero: return -1 with this code
    HANDLE contextAtDialog = INVALID_HANDLE_VALUE;

    decltype(&QueryActCtxW) realQuery = nullptr;
    decltype(&CreateActCtxW) realCreate = nullptr;
    decltype(&ActivateActCtx) realActivate = nullptr;
    decltype(&DeactivateActCtx) realDeactivate = nullptr;
    decltype(&DialogBoxParamW) realDialog = nullptr;
};
HostingSpy spy;

// What DeactivateActCtx leaves behind, so a caller that relies on it is caught.
constexpr DWORD kDeactivationLeftover = ERROR_INVALID_HANDLE;

BOOL WINAPI SpyQuery(DWORD flags, HANDLE context, PVOID subInstance, ULONG infoClass, PVOID buffer,
                     SIZE_T size, SIZE_T* written) {
    ++spy.queries;
    spy.queryFlags = flags;
    spy.queriedAddress = context;
    spy.queryClass = infoClass;
    spy.queryBufferSize = size;
    spy.queryWrittenOut = written;
    if (spy.queryFailure != 0) {
        SetLastError(spy.queryFailure);
        return FALSE;
    }
    const BOOL ok = spy.realQuery(flags, context, subInstance, infoClass, buffer, size, written);
    auto* basic = static_cast<ACTIVATION_CONTEXT_BASIC_INFORMATION*>(buffer);
    if (ok && spy.queryYieldsNull) basic->hActCtx = nullptr;
    if (ok) spy.queriedContext = basic->hActCtx;
    return ok;
}

HANDLE WINAPI SpyCreate(PCACTCTXW request) {
    ++spy.creations;
    spy.creationRequest = *request;
    spy.creationSource = request->lpSource != nullptr ? request->lpSource : L"";
    if (spy.creationFailure != 0) {
        SetLastError(spy.creationFailure);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE created = spy.realCreate(request);
    spy.creationError = created == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    return created;
}

BOOL WINAPI SpyActivate(HANDLE context, ULONG_PTR* cookie) {
    ++spy.activations;
    spy.activated.push_back(context);
    if (spy.activationFailure != 0) {
        SetLastError(spy.activationFailure);
        return FALSE;
    }
    return spy.realActivate(context, cookie);
}

BOOL WINAPI SpyDeactivate(DWORD flags, ULONG_PTR cookie) {
    ++spy.deactivations;
    const BOOL ok = spy.realDeactivate(flags, cookie);
    SetLastError(kDeactivationLeftover);
    return ok;
}

INT_PTR WINAPI SpyDialog(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC procedure,
                         LPARAM param) {
    ++spy.dialogs;
    HANDLE current = nullptr;
    if (GetCurrentActCtx(&current)) {
        spy.contextAtDialog = current;
        if (current != nullptr) ReleaseActCtx(current);
    }
    if (spy.dialogFailure != 0) {
        SetLastError(spy.dialogFailure);
        return -1;
    }
    return spy.realDialog(instance, name, parent, procedure, param);
}

std::wstring CopyName() {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    return std::wstring(name.begin(), name.end());
}

class DialogHosting : public ::testing::Test {
  protected:
    void SetUp() override {
        spy = HostingSpy{};
        hostsdk::ResetRecords();
    }
    void TearDown() override {
        filter_.reset();
        patches_.clear();
        copy_.reset();
    }

    // A fresh copy of the module (fresh hosting state) at `relativePath`, with its activation
    // and dialog imports routed through the spy.
    void Load(const std::wstring& relativePath) {
        copy_ = std::make_unique<PluginCopy>(relativePath);
        spy.realQuery = reinterpret_cast<decltype(spy.realQuery)>(
            Patch("KERNEL32.dll", "QueryActCtxW", reinterpret_cast<void*>(&SpyQuery)));
        spy.realCreate = reinterpret_cast<decltype(spy.realCreate)>(
            Patch("KERNEL32.dll", "CreateActCtxW", reinterpret_cast<void*>(&SpyCreate)));
        spy.realActivate = reinterpret_cast<decltype(spy.realActivate)>(
            Patch("KERNEL32.dll", "ActivateActCtx", reinterpret_cast<void*>(&SpyActivate)));
        spy.realDeactivate = reinterpret_cast<decltype(spy.realDeactivate)>(
            Patch("KERNEL32.dll", "DeactivateActCtx", reinterpret_cast<void*>(&SpyDeactivate)));
        spy.realDialog = reinterpret_cast<decltype(spy.realDialog)>(
            Patch("USER32.dll", "DialogBoxParamW", reinterpret_cast<void*>(&SpyDialog)));
        filter_ = copy_->CreateFilter();
        ASSERT_NE(filter_, nullptr);
    }
    void Load() { Load(L"hosting\\" + CopyName() + L".flt"); }

    void* Patch(const char* dll, const char* function, void* replacement) {
        patches_.push_back(
            std::make_unique<ImportPatch>(copy_->Handle(), dll, function, replacement));
        return patches_.back()->Original();
    }

    // Opens the about box and presses OK in it, if it shows. Returns the result and leaves the
    // last error of the call in `lastError`.
    INT_PTR About(DWORD* lastError = nullptr) {
        DWORD error = 0;
        const INT_PTR result = DriveDialog(
            [&] {
                SetLastError(0);
                const INT_PTR shown = filter_->ShowAbout(nullptr);
                error = GetLastError();
                return shown;
            },
            [](HWND dialog) { Click(dialog, IDOK); });
        if (lastError != nullptr) *lastError = error;
        return result;
    }

    std::unique_ptr<PluginCopy> copy_;
    std::vector<std::unique_ptr<ImportPatch>> patches_;
    FilterPtr filter_;
};

bool InsideModule(const void* address, HMODULE module) {
    MEMORY_BASIC_INFORMATION region{};
    return VirtualQuery(address, &region, sizeof region) != 0 && region.AllocationBase == module;
}

TEST_F(DialogHosting, FirstDialogSetsUpOnceAndLaterOnesOnlyActivate) {
    Load();
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 1);
    EXPECT_EQ(spy.queryFlags, 0x80000010u);
    EXPECT_TRUE(InsideModule(spy.queriedAddress, copy_->Handle()));
    EXPECT_EQ(spy.queryClass, 1u);
    EXPECT_EQ(spy.queryBufferSize, 16u);
    EXPECT_EQ(spy.queryWrittenOut, nullptr);
    // The loader gave the module a context of its own from its manifest.
    ASSERT_NE(spy.queriedContext, nullptr);
    EXPECT_EQ(spy.creations, 0);
    // One activation for the common-controls lookup, one around the dialog.
    EXPECT_EQ(spy.activations, 2);
    EXPECT_EQ(spy.deactivations, 2);
    EXPECT_EQ(spy.dialogs, 1);
    EXPECT_EQ(spy.contextAtDialog, spy.queriedContext);
    EXPECT_EQ(ContextActiveAtDialogInit(), spy.queriedContext);

    for (int round = 2; round <= 3; ++round) {
        EXPECT_EQ(About(), 1);
        EXPECT_EQ(spy.queries, 1);
        EXPECT_EQ(spy.creations, 0);
        EXPECT_EQ(spy.activations, round + 1);
        EXPECT_EQ(spy.deactivations, round + 1);
        EXPECT_EQ(spy.activated.back(), spy.queriedContext);
        EXPECT_EQ(spy.contextAtDialog, spy.queriedContext);
    }
}

// Without a context from the query, the module asks for its manifest 3, which it does not
// carry; it then runs every dialog with the null context activated.
TEST_F(DialogHosting, NoQueriedContextCreatesFromManifestThreeAndSettlesOnNull) {
    Load();
    spy.queryYieldsNull = true;
    EXPECT_EQ(About(), 1);
    ASSERT_EQ(spy.creations, 1);
    EXPECT_EQ(spy.creationRequest.cbSize, 56u);
    EXPECT_EQ(spy.creationRequest.dwFlags, 0x88u);
    EXPECT_EQ(spy.creationRequest.lpResourceName, MAKEINTRESOURCEW(3));
    EXPECT_EQ(spy.creationRequest.hModule, copy_->Handle());
    EXPECT_EQ(spy.creationSource, copy_->Path());
    EXPECT_TRUE(spy.creationError == ERROR_RESOURCE_TYPE_NOT_FOUND ||
                spy.creationError == ERROR_RESOURCE_NAME_NOT_FOUND ||
                spy.creationError == ERROR_RESOURCE_DATA_NOT_FOUND ||
                spy.creationError == ERROR_RESOURCE_LANG_NOT_FOUND)
        << spy.creationError;
    EXPECT_EQ(spy.dialogs, 1);
    ASSERT_FALSE(spy.activated.empty());
    EXPECT_EQ(spy.activated.back(), nullptr);

    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 1);
    EXPECT_EQ(spy.creations, 1);
    EXPECT_EQ(spy.activated.back(), nullptr);
    EXPECT_EQ(spy.activations, spy.deactivations);
}

// How a failed creation of the module's own context decides the hosting state.
struct CreationOutcome {
    DWORD code;
    INT_PTR result;
    int queriesAfterSecondRequest;  // 2: the set-up was tried again
    int activationsAfterSecondRequest;
};
class DialogHostingCreation : public DialogHosting,
                              public ::testing::WithParamInterface<CreationOutcome> {};

TEST_P(DialogHostingCreation, DecidesBetweenNullContextFailureAndFallback) {
    const CreationOutcome outcome = GetParam();
    Load();
    spy.queryYieldsNull = true;
    spy.creationFailure = outcome.code;
    DWORD error = 0;
    EXPECT_EQ(About(&error), outcome.result);
    if (outcome.result == -1) {
        EXPECT_EQ(error, outcome.code);
    }
    About();
    EXPECT_EQ(spy.queries, outcome.queriesAfterSecondRequest);
    EXPECT_EQ(spy.activations, outcome.activationsAfterSecondRequest);
    EXPECT_EQ(spy.dialogs, outcome.result == -1 ? 0 : 2);
    for (HANDLE activated : spy.activated) EXPECT_EQ(activated, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DialogHostingCreation,
    ::testing::Values(
        // Tolerated: no context of its own; set up with null, activated around each dialog.
        CreationOutcome{ERROR_FILE_NOT_FOUND, 1, 1, 3},
        CreationOutcome{ERROR_PATH_NOT_FOUND, 1, 1, 3},
        CreationOutcome{ERROR_RESOURCE_DATA_NOT_FOUND, 1, 1, 3},
        CreationOutcome{ERROR_RESOURCE_TYPE_NOT_FOUND, 1, 1, 3},
        CreationOutcome{ERROR_RESOURCE_NAME_NOT_FOUND, 1, 1, 3},
        CreationOutcome{ERROR_RESOURCE_LANG_NOT_FOUND, 1, 1, 3},
        // A real failure: nothing shown, not set up, tried again.
        CreationOutcome{ERROR_SXS_CANT_GEN_ACTCTX, -1, 2, 0},
        CreationOutcome{ERROR_OUTOFMEMORY, -1, 2, 0},
        // A fallback code: shown without activation from then on.
        CreationOutcome{ERROR_INVALID_FUNCTION, 1, 1, 0},
        CreationOutcome{ERROR_NOT_SUPPORTED, 1, 1, 0},
        CreationOutcome{ERROR_CALL_NOT_IMPLEMENTED, 1, 1, 0},
        CreationOutcome{ERROR_MOD_NOT_FOUND, 1, 1, 0},
        CreationOutcome{ERROR_PROC_NOT_FOUND, 1, 1, 0}));

// A failure that is no fallback code shows nothing, leaves the failing call's error, and keeps
// the module not set up, so the next request starts over.
TEST_F(DialogHosting, FailingQueryShowsNothingAndIsRetried) {
    Load();
    spy.queryFailure = ERROR_ACCESS_DENIED;
    DWORD error = 0;
    EXPECT_EQ(About(&error), -1);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DialogWasShown());
    EXPECT_EQ(spy.dialogs, 0);
    EXPECT_EQ(spy.activations, 0);
    EXPECT_EQ(spy.deactivations, 0);

    EXPECT_EQ(About(&error), -1);
    EXPECT_EQ(spy.queries, 2);

    spy.queryFailure = 0;
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 3);
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 3);
}

TEST_F(DialogHosting, QueryUnsupportedFallsBackForGood) {
    Load();
    spy.queryFailure = ERROR_CALL_NOT_IMPLEMENTED;
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.dialogs, 1);
    EXPECT_EQ(spy.activations, 0);
    EXPECT_EQ(spy.deactivations, 0);
    spy.queryFailure = 0;
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 1);
    EXPECT_EQ(spy.activations, 0);
    EXPECT_EQ(spy.dialogs, 2);
}

// The module's path must fit 260 characters when it has to create its own context.
class DialogHostingPath : public DialogHosting, public ::testing::WithParamInterface<int> {};

TEST_P(DialogHostingPath, LongModulePathFailsWithBufferOverflowEveryTime) {
    const int length = GetParam();
    const std::wstring base = PathBesideProgram(L"");
    std::wstring relative = L"deep";
    while (base.size() + relative.size() + 1 + 200 < static_cast<std::size_t>(length)) {
        relative += L"\\" + std::wstring(100, L'd');
    }
    const std::size_t fileLength = length - base.size() - relative.size() - 1;
    ASSERT_GT(fileLength, 4u);
    relative += L"\\" + std::wstring(fileLength - 4, L'b') + L".flt";
    ASSERT_EQ(base.size() + relative.size(), static_cast<std::size_t>(length));
    Load(relative);
    spy.queryYieldsNull = true;

    DWORD error = 0;
    const INT_PTR result = About(&error);
    if (length <= 260) {
        EXPECT_EQ(result, 1);
        EXPECT_EQ(spy.creations, 1);
        EXPECT_EQ(spy.creationSource.size(), static_cast<std::size_t>(length));
        return;
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(spy.creations, 0);
    EXPECT_EQ(spy.dialogs, 0);
    EXPECT_EQ(About(&error), -1);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BUFFER_OVERFLOW));
    EXPECT_EQ(spy.queries, 2);
}

INSTANTIATE_TEST_SUITE_P(Lengths, DialogHostingPath, ::testing::Values(260, 261, 300));

TEST_F(DialogHosting, ActivationNotSupportedShowsTheDialogAndFallsBackForGood) {
    Load();
    spy.activationFailure = ERROR_NOT_SUPPORTED;
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 1);
    EXPECT_EQ(spy.dialogs, 1);
    EXPECT_EQ(spy.deactivations, 0);  // nothing was activated
    const int activationsSoFar = spy.activations;

    spy.activationFailure = 0;
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 1);
    EXPECT_EQ(spy.activations, activationsSoFar);
    EXPECT_EQ(spy.dialogs, 3);
}

TEST_F(DialogHosting, ActivationFailingOtherwiseShowsNothingButStaysSetUp) {
    Load();
    spy.activationFailure = ERROR_INVALID_PARAMETER;
    DWORD error = 0;
    EXPECT_EQ(About(&error), -1);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(spy.dialogs, 0);
    EXPECT_EQ(spy.deactivations, 0);

    spy.activationFailure = 0;
    EXPECT_EQ(About(), 1);
    EXPECT_EQ(spy.queries, 1);  // the set-up had been done
    EXPECT_EQ(spy.dialogs, 1);
    EXPECT_EQ(spy.contextAtDialog, spy.queriedContext);
}

TEST_F(DialogHosting, DialogFailureKeepsItsLastErrorAcrossTheDeactivation) {
    Load();
    spy.dialogFailure = ERROR_RESOURCE_TYPE_NOT_FOUND;
    DWORD error = 0;
    EXPECT_EQ(About(&error), -1);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(spy.dialogs, 1);
    EXPECT_EQ(spy.deactivations, spy.activations);

    // Show-setup passes the failure on and marks nothing.
    SetConfig(*filter_, {kTwoPointLinear, kEvenLines});
    SetLastError(0);
    EXPECT_EQ(filter_->ShowSetup(nullptr), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
    EXPECT_EQ(hostsdk::SaveRequiredCallCount(), 0);
    EXPECT_EQ(ConfigOf(*filter_).mode, kTwoPointLinear);
}

// A successful dialog passes its result through whatever the deactivation leaves behind.
TEST_F(DialogHosting, SetupDialogRunsUnderTheModulesContext) {
    Load();
    const INT_PTR result =
        DriveDialog([&] { return static_cast<INT_PTR>(filter_->ShowSetup(nullptr)); },
                    [](HWND dialog) {
                        Click(dialog, IDC_MODE_SIX_POINT);
                        Click(dialog, IDOK);
                    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(ConfigOf(*filter_).mode, kSixPointWeighted);
    EXPECT_EQ(hostsdk::SaveRequiredCallCount(), 1);
    EXPECT_EQ(ContextActiveAtDialogInit(), spy.queriedContext);
    EXPECT_EQ(spy.deactivations, spy.activations);
}

}  // namespace

namespace {

struct LeftTheDialog {};
constexpr DWORD kErrorAtThrow = 0x20001234;

BOOL ThrowingCenterWindow(HWND, HWND) {
    SetLastError(kErrorAtThrow);
    throw LeftTheDialog{};
}

BOOL CALLBACK DestroyThreadWindow(HWND window, LPARAM) {
    DestroyWindow(window);
    return TRUE;
}

// An exception leaving the dialog call still ends the activation, and goes on to the caller.
TEST_F(DialogHosting, ExceptionFromTheDialogStillDeactivates) {
    Load();
    Patch("hostsdk.dll", "_Z12CenterWindowP6HWND__S0_",
          reinterpret_cast<void*>(&ThrowingCenterWindow));
    bool caught = false;
    DWORD error = 0;
    try {
        filter_->ShowAbout(nullptr);
    } catch (const LeftTheDialog&) {
        error = GetLastError();
        caught = true;
    }
    EnumThreadWindows(GetCurrentThreadId(), DestroyThreadWindow, 0);
    EXPECT_TRUE(caught);
    EXPECT_EQ(spy.dialogs, 1);
    EXPECT_EQ(spy.activations, 2);
    EXPECT_EQ(spy.deactivations, 2);
    // The result still counts as failed, so what the deactivation leaves does not show.
    EXPECT_NE(error, kDeactivationLeftover);
}

}  // namespace

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "hostsdk/instrumentation.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/plugin.h"

namespace {

std::wstring ControlText(HWND dialog, int index) {
    HWND child = GetWindow(dialog, GW_CHILD);
    for (int i = 0; i < index && child != nullptr; ++i) child = GetWindow(child, GW_HWNDNEXT);
    wchar_t text[128] = {};
    if (child != nullptr) GetWindowTextW(child, text, 128);
    return text;
}

struct AboutEnding {
    const char* name;
    void (*end)(HWND dialog);
    INT_PTR result;
};
class AboutBox : public ::testing::TestWithParam<AboutEnding> {};

TEST_P(AboutBox, EndsWithItsResultAndTouchesNothing) {
    hostsdk::ResetRecords();
    FilterPtr filter = Plugin().CreateFilter();
    SetConfig(*filter, {kSixPointWeighted, kOddLines});
    std::wstring rebuildCredit;
    LONG_PTR style = 0;
    const INT_PTR result = DriveDialog([&] { return filter->ShowAbout(nullptr); },
                                       [&](HWND dialog) {
                                           rebuildCredit = ControlText(dialog, 2);
                                           style = GetWindowLongPtrW(dialog, GWL_STYLE);
                                           GetParam().end(dialog);
                                       });
    EXPECT_EQ(result, GetParam().result);
    EXPECT_EQ(rebuildCredit, L"Recompiled for Host 2024\nRebuilt by the Braidel team");
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_EQ(ConfigOf(*filter).mode, kSixPointWeighted);
    EXPECT_EQ(ConfigOf(*filter).field, kOddLines);
    EXPECT_EQ(hostsdk::SaveRequiredCallCount(), 0);
    EXPECT_EQ(hostsdk::CenterWindowCallCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutBox,
    ::testing::Values(AboutEnding{"Ok", [](HWND d) { Click(d, IDOK); }, 1},
                      AboutEnding{"Escape", [](HWND d) { PressKey(d, VK_ESCAPE); }, 0},
                      AboutEnding{"OkByEnter", [](HWND d) { PressKey(d, VK_RETURN); }, 1}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <climits>
#include <cstdint>

#include "hostsdk/instrumentation.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/plugin.h"
#include "ui/dialog_ids.h"

namespace {

constexpr std::array<int, 5> kRadioIds{IDC_MODE_COPY_LINE, IDC_MODE_TWO_POINT, IDC_MODE_SIX_POINT,
                                       IDC_FIELD_EVEN, IDC_FIELD_ODD};
using RadioStates = std::array<UINT, 5>;

RadioStates ReadRadios(HWND dialog) {
    RadioStates states{};
    for (std::size_t i = 0; i < kRadioIds.size(); ++i) {
        states[i] = IsDlgButtonChecked(dialog, kRadioIds[i]);
    }
    return states;
}

class SetupDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        hostsdk::ResetRecords();
        filter_ = Plugin().CreateFilter();
        ASSERT_NE(filter_, nullptr);
    }
    void Hold(int32_t mode, int32_t field) {
        SetConfig(*filter_, {static_cast<Kernel>(mode), static_cast<::Field>(field)});
    }
    int Show(const std::function<void(HWND)>& script) {
        return static_cast<int>(DriveDialog(
            [this] { return static_cast<INT_PTR>(filter_->ShowSetup(nullptr)); }, script));
    }
    int32_t Mode() { return ConfigOf(*filter_).mode; }
    int32_t Field() { return ConfigOf(*filter_).field; }

    FilterPtr filter_;
};

struct Opening {
    int32_t mode;
    int32_t field;
    RadioStates expected;
};

class SetupDialogOpening : public SetupDialog, public ::testing::WithParamInterface<Opening> {};

// The dialog shows the held values; one outside a group's range leaves that group unselected,
// and OK without a click keeps every value as it was.
TEST_P(SetupDialogOpening, ShowsTheHeldValuesAndOkKeepsThem) {
    const Opening opening = GetParam();
    Hold(opening.mode, opening.field);
    RadioStates shown{};
    const int result = Show([&](HWND dialog) {
        shown = ReadRadios(dialog);
        Click(dialog, IDOK);
    });
    EXPECT_TRUE(DialogWasShown());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(shown, opening.expected);
    EXPECT_EQ(Mode(), opening.mode);
    EXPECT_EQ(Field(), opening.field);
    EXPECT_EQ(hostsdk::SaveRequiredCallCount(), 1);
    EXPECT_EQ(hostsdk::LastSaveRequiredFlag(), 1);
    EXPECT_EQ(hostsdk::CenterWindowCallCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SetupDialogOpening,
    ::testing::Values(Opening{0, 0, {1, 0, 0, 1, 0}}, Opening{1, 0, {0, 1, 0, 1, 0}},
                      Opening{2, 1, {0, 0, 1, 0, 1}}, Opening{0, 1, {1, 0, 0, 0, 1}},
                      Opening{3, 0, {0, 0, 0, 1, 0}}, Opening{-1, 2, {0, 0, 0, 0, 0}},
                      Opening{1, -1, {0, 1, 0, 0, 0}}, Opening{INT32_MAX, INT32_MIN, {}},
                      Opening{-4048, 1, {0, 0, 0, 0, 1}}));

TEST_F(SetupDialog, ClicksWriteTheFilterAtOnceAndOkKeepsThem) {
    std::array<int32_t, 4> seen{};
    const int result = Show([&](HWND dialog) {
        Click(dialog, IDC_MODE_SIX_POINT);
        seen[0] = Mode();
        Click(dialog, IDC_FIELD_ODD);
        seen[1] = Field();
        Click(dialog, IDC_MODE_TWO_POINT);
        seen[2] = Mode();
        seen[3] = static_cast<int32_t>(ReadRadios(dialog)[2]);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, (std::array<int32_t, 4>{2, 1, 1, 0}));
    EXPECT_EQ(Mode(), 1);
    EXPECT_EQ(Field(), 1);
    EXPECT_EQ(hostsdk::SaveRequiredCallCount(), 1);
}

// Cancel and Escape give back what the filter held at opening, also out-of-range values that a
// click had replaced; the host sees no save-required mark.
struct Dismissal {
    const char* name;
    void (*dismiss)(HWND dialog);
};
class SetupDialogDismissal : public SetupDialog, public ::testing::WithParamInterface<Dismissal> {};

TEST_P(SetupDialogDismissal, RestoresTheValuesHeldAtOpening) {
    Hold(7, 0);
    int32_t modeWhileOpen = -1;
    int32_t fieldWhileOpen = -1;
    const int result = Show([&](HWND dialog) {
        Click(dialog, IDC_MODE_TWO_POINT);
        Click(dialog, IDC_FIELD_ODD);
        modeWhileOpen = Mode();
        fieldWhileOpen = Field();
        GetParam().dismiss(dialog);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(modeWhileOpen, 1);  // a live preview saw the clicks
    EXPECT_EQ(fieldWhileOpen, 1);
    EXPECT_EQ(Mode(), 7);
    EXPECT_EQ(Field(), 0);
    EXPECT_EQ(hostsdk::SaveRequiredCallCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Ways, SetupDialogDismissal,
                         ::testing::Values(Dismissal{"Cancel", [](HWND d) { Click(d, IDCANCEL); }},
                                           Dismissal{"Escape",
                                                     [](HWND d) { PressKey(d, VK_ESCAPE); }}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(SetupDialog, CancelWithoutClicksChangesNothing) {
    Hold(2, 1);
    EXPECT_EQ(Show([](HWND dialog) { Click(dialog, IDCANCEL); }), 0);
    EXPECT_EQ(Mode(), 2);
    EXPECT_EQ(Field(), 1);
    EXPECT_EQ(hostsdk::SaveRequiredCallCount(), 0);
}

// The template makes only OK and Cancel tab stops, so with both groups unselected the focus
// starts on OK and Tab moves only between OK and Cancel. Checking a radio button makes it its
// group's tab stop (the platform's radio-button behaviour), so the checked buttons join the
// cycle, each group's once.
struct TabCycle {
    int32_t mode;
    int32_t field;
    std::array<int, 5> focusIds;
};
class SetupDialogTab : public SetupDialog, public ::testing::WithParamInterface<TabCycle> {};

TEST_P(SetupDialogTab, TabCyclesThroughTheTabStops) {
    Hold(GetParam().mode, GetParam().field);
    std::array<int, 5> focusIds{};
    const int result = Show([&](HWND dialog) {
        HWND focus = FocusedWindow(dialog);
        focusIds[0] = GetDlgCtrlID(focus);
        for (std::size_t i = 1; i < focusIds.size(); ++i) {
            PressKey(dialog, VK_TAB);
            focus = FocusAfter(dialog, focus);
            focusIds[i] = GetDlgCtrlID(focus);
        }
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(focusIds, GetParam().focusIds);
    EXPECT_EQ(Mode(), GetParam().mode);
}

INSTANTIATE_TEST_SUITE_P(
    Groups, SetupDialogTab,
    ::testing::Values(
        TabCycle{3, 2, {IDOK, IDCANCEL, IDOK, IDCANCEL, IDOK}},
        TabCycle{3, 1, {IDC_FIELD_ODD, IDOK, IDCANCEL, IDC_FIELD_ODD, IDOK}},
        TabCycle{1, 0, {IDC_MODE_TWO_POINT, IDC_FIELD_EVEN, IDOK, IDCANCEL, IDC_MODE_TWO_POINT}}));

// The checked buttons decide what is stored, not the ID that the command carries.
TEST_F(SetupDialog, CommandStoresTheGroupsCheckedButton) {
    Hold(3, 5);
    std::array<int32_t, 4> seen{};
    Show([&](HWND dialog) {
        SendMessageW(dialog, WM_COMMAND, IDC_MODE_TWO_POINT,
                     0);  // nothing checked in the group yet
        SendMessageW(dialog, WM_COMMAND, IDC_FIELD_ODD, 0);
        seen[0] = Mode();
        seen[1] = Field();
        // Checking without a click sends no command; the next command reads the state.
        SendDlgItemMessageW(dialog, IDC_MODE_COPY_LINE, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageW(dialog, IDC_FIELD_EVEN, BM_SETCHECK, BST_CHECKED, 0);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_MODE_SIX_POINT, BN_DOUBLECLICKED), 0);
        SendMessageW(dialog, WM_COMMAND, IDC_FIELD_ODD, 0);
        seen[2] = Mode();
        seen[3] = Field();
        Click(dialog, IDOK);
    });
    EXPECT_EQ(seen, (std::array<int32_t, 4>{3, 5, 0, 0}));
}

TEST_F(SetupDialog, ProcedureAnswersEveryCommandAndNothingElse) {
    Hold(1, 1);
    std::array<INT_PTR, 5> answers{};
    Show([&](HWND dialog) {
        const auto procedure = reinterpret_cast<DLGPROC>(GetWindowLongPtrW(dialog, DWLP_DLGPROC));
        for (const WPARAM id : {WPARAM{4051}, WPARAM{4053}, WPARAM{0xFFFF}}) {
            answers[id == 4051 ? 0 : id == 4053 ? 1 : 2] = procedure(dialog, WM_COMMAND, id, 0);
        }
        answers[3] = procedure(dialog, WM_NULL, 0, 0);
        answers[4] = procedure(dialog, WM_SETFONT, 0, 0);
        SendMessageW(dialog, WM_COMMAND, 4052, 0);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(answers, (std::array<INT_PTR, 5>{1, 1, 1, 0, 0}));
    EXPECT_EQ(Mode(), 1);
    EXPECT_EQ(Field(), 1);
}

TEST_F(SetupDialog, WindowHasACaptionButNoSystemMenu) {
    LONG_PTR style = 0;
    Show([&](HWND dialog) {
        style = GetWindowLongPtrW(dialog, GWL_STYLE);
        Click(dialog, IDOK);
    });
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
}

}  // namespace

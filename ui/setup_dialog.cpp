#include "filter/filter_dialogs.h"

#include <cstdint>

#include "host/core.h"
#include "plugin/module.h"
#include "ui/dialog_ids.h"
#include "ui/module_dialog.h"

namespace {

// The configuration of the filter that the open setup dialog edits: one module-wide variable,
// not per-window data, set at each opening and never cleared. Only one setup dialog can be open
// at a time: the dialog is modal.
FilterConfig* editedFilter = nullptr;

struct RadioGroup {
    int first;
    int last;
};
constexpr RadioGroup kModeGroup{IDC_MODE_COPY_LINE, IDC_MODE_SIX_POINT};
constexpr RadioGroup kFieldGroup{IDC_FIELD_EVEN, IDC_FIELD_ODD};

// Selects the button of `value` in the group. A value outside the group's range names no button
// of it, which leaves the whole group unselected. The sum wraps instead of overflowing for
// extreme values from a loaded block.
void SelectValue(HWND dialog, RadioGroup group, int32_t value) {
    const auto id =
        static_cast<int>(static_cast<uint32_t>(group.first) + static_cast<uint32_t>(value));
    CheckRadioButton(dialog, group.first, group.last, id);
}

// The value of the group's first checked button in ID order, or -1 when none is checked. The
// buttons decide, not the ID that a command carries.
int CheckedValue(HWND dialog, RadioGroup group) {
    for (int id = group.first; id <= group.last; ++id) {
        if (IsDlgButtonChecked(dialog, id) != 0) return id - group.first;
    }
    return -1;
}

void OnCommand(HWND dialog, unsigned int id) {
    switch (id) {
        case IDOK:
            EndDialog(dialog, 1);
            break;
        case IDCANCEL:  // also sent for Escape
            EndDialog(dialog, 0);
            break;
        case IDC_MODE_COPY_LINE:
        case IDC_MODE_TWO_POINT:
        case IDC_MODE_SIX_POINT:
            if (const int value = CheckedValue(dialog, kModeGroup); value >= 0) {
                editedFilter->mode = static_cast<Kernel>(value);
            }
            break;
        case IDC_FIELD_EVEN:
        case IDC_FIELD_ODD:
            if (const int value = CheckedValue(dialog, kFieldGroup); value >= 0) {
                editedFilter->field = static_cast<Field>(value);
            }
            break;
        default:
            break;
    }
}

// The setup dialog's procedure. Its radio buttons write the edited configuration at once.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            editedFilter = reinterpret_cast<FilterConfig*>(lParam);
            SelectValue(dialog, kModeGroup, editedFilter->mode);
            SelectValue(dialog, kFieldGroup, editedFilter->field);
            CenterWindow(dialog, GetParent(dialog));
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            return TRUE;  // the dialog manager focuses the first tab stop, OK
        }
        case WM_COMMAND:
            OnCommand(dialog, LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int ShowSetupDialog(HWND parent, FilterConfig& config) {
    // Clicks write the configuration while the dialog is open, so a live preview follows them;
    // a cancelled dialog puts back what the configuration held when it opened.
    const FilterConfig atOpen = config;
    const auto result = static_cast<int>(
        ModuleDialogBoxParam(ModuleInstance(), MAKEINTRESOURCEW(IDD_BRAIDEL_SETUP), parent,
                             SetupDlgProc, reinterpret_cast<LPARAM>(&config)));
    if (result == 1) {
        SetSaveRequiredFlag(1);
    } else if (result == 0) {
        config = atOpen;
    }
    return result;
}

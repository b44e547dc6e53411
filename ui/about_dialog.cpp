#include "filter/filter_dialogs.h"

#include "host/core.h"
#include "plugin/module.h"
#include "ui/dialog_ids.h"
#include "ui/module_dialog.h"

namespace {

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            CenterWindow(dialog, GetParent(dialog));
            SetCursor(LoadCursorW(nullptr, IDC_ARROW));
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    EndDialog(dialog, 1);
                    break;
                case IDCANCEL:  // Escape
                    EndDialog(dialog, 0);
                    break;
                default:
                    break;
            }
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR ShowAboutBox(HWND parent, LPARAM initParam) {
    return ModuleDialogBoxParam(ModuleInstance(), MAKEINTRESOURCEW(IDD_BRAIDEL_ABOUT), parent,
                                AboutDlgProc, initParam);
}

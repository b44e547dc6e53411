// The dialogs are not built yet: both report that no dialog was shown.

#include "ui/about_dialog.h"
#include "ui/setup_dialog.h"

INT_PTR ShowAboutBox(HWND, BraideledCompositor&) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return -1;
}

int ShowSetupDialog(HWND, BraideledCompositor&) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return -1;
}

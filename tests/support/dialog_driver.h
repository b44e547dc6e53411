#pragma once

#include <windows.h>

#include <functional>

// Drives a modal dialog as a user would while the calling thread sits in the dialog's message
// loop. `show` runs on the calling thread and opens the dialog; as soon as the dialog has been
// initialised, `script` runs on a helper thread with its window and acts on it through real
// messages (BM_CLICK, keys posted to the focused control). Returns what `show` returns.
// If no dialog appears within a few seconds the script is not run.
INT_PTR DriveDialog(const std::function<INT_PTR()>& show,
                    const std::function<void(HWND dialog)>& script);

// Whether a dialog reached WM_INITDIALOG during the last DriveDialog.
bool DialogWasShown();

// The activation context that was current on the dialog's thread when the last driven dialog
// was initialised (null for none; the reference is released at once, so only compare it).
HANDLE ContextActiveAtDialogInit();

// Helpers for scripts, all usable from the helper thread.
void Click(HWND dialog, int controlId);
// Posts a key press to the control that has the focus on the dialog's thread, as the keyboard
// would, so that the dialog manager handles it.
void PressKey(HWND dialog, WORD virtualKey);
// The dialog thread's focused window; waits up to two seconds for it to differ from `previous`.
HWND FocusAfter(HWND dialog, HWND previous);
HWND FocusedWindow(HWND dialog);

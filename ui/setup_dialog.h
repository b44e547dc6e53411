#pragma once

#include <windows.h>

class BraideledCompositor;

// Runs the setup dialog modally on `filter`: 1 after OK (the host's work is then marked as
// needing to be saved), 0 after Cancel or Escape (the filter gets back the values it held when
// the dialog opened), -1 with the thread's last error when the dialog could not be shown.
int ShowSetupDialog(HWND parent, BraideledCompositor& filter);

// The setup dialog's procedure. Its radio buttons write the edited filter at once.
INT_PTR CALLBACK SetupDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

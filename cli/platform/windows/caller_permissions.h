#pragma once

#include <windows.h>

// New files and folders get the caller's permissions. Under Wine on Linux the Wine server
// creates every file, under the server's own umask, which may be another process's; the Unix
// mode is then set from this process's umask (inherited from the caller) through the file's
// descriptor. Elsewhere the folder's permissions apply and this does nothing.

// Reads the caller's umask; call once at start, before any thread creates files.
void CaptureCallerUmask();

// Gives a file this process created the mode 0666 less the caller's umask. False when the mode
// could not be set.
bool ApplyCallerPermissions(HANDLE file);

// Gives a folder this process made (open with backup semantics) the mode 0777 less the
// caller's umask.
bool ApplyCallerFolderPermissions(HANDLE folder);

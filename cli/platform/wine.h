#pragma once

#include <windows.h>

#include <string>

// What braidel-run asks of Wine, and through it of Linux, when it runs there: everything of the
// program that knows it may run under Wine is here. Elsewhere each answer is "not available",
// and the callers keep to plain Windows behaviour.
namespace wine {

// The caller's folder as an absolute Unix path, when the Linux launcher started the program
// (it passes BRAIDEL_UNIX_CWD); null otherwise.
const char* LauncherFolder();

// Wine's mapping of an absolute Unix path to the Windows path of the same file, in the form no
// length limit applies to ("\\?\Z:\..."). False when not under Wine or the path has no mapping.
bool WindowsPathOf(const std::string& unixPath, std::wstring& windows);

// Whether the program runs under Wine on a Linux host, where Linux system calls can be made.
bool OnLinux();

// The Unix descriptor behind an open file handle, which the caller closes; -1 when there is none.
int UnixDescriptorOf(HANDLE file);

}  // namespace wine

#include "cli/platform/caller_permissions.h"

#include "cli/platform/wine.h"

namespace {

// The Linux system calls used, by their x86-64 numbers. A Windows program under Wine runs
// natively, so it can make them itself; Wine's own exports give the Unix descriptor of a file.
constexpr long long kSysClose = 3;
constexpr long long kSysFchmod = 91;
constexpr long long kSysUmask = 95;

long long LinuxCall(long long number, long long first, long long second = 0) {
#if defined(__x86_64__)
    long long result;
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(number), "D"(first), "S"(second)
                 : "rcx", "r11", "memory");
    return result;
#else
    (void)number, (void)first, (void)second;
    return -1;
#endif
}

int callerUmask = -1;  // -1: not under Wine on Linux

}  // namespace

void CaptureCallerUmask() {
    if (!wine::OnLinux()) return;
    const long long mask = LinuxCall(kSysUmask, 022);
    LinuxCall(kSysUmask, mask);
    callerUmask = static_cast<int>(mask & 0777);
}

bool ApplyCallerPermissions(HANDLE file) {
    if (callerUmask < 0) return true;
    const int fd = wine::UnixDescriptorOf(file);
    if (fd < 0) return false;
    const bool ok = LinuxCall(kSysFchmod, fd, 0666 & ~callerUmask) == 0;
    LinuxCall(kSysClose, fd);
    return ok;
}

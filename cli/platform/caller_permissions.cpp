#include "cli/platform/caller_permissions.h"

#include <cstring>

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

// True under Wine on a Linux host, where the calls above mean what they say.
bool UnderWineOnLinux() {
    using HostVersion = void(CDECL*)(const char** sysname, const char** release);
    const auto hostVersion = reinterpret_cast<HostVersion>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_host_version")));
    if (hostVersion == nullptr) return false;
    const char* sysname = nullptr;
    const char* release = nullptr;
    hostVersion(&sysname, &release);
    return sysname != nullptr && std::strcmp(sysname, "Linux") == 0;
}

int callerUmask = -1;  // -1: not under Wine on Linux

}  // namespace

void CaptureCallerUmask() {
    if (!UnderWineOnLinux()) return;
    const long long mask = LinuxCall(kSysUmask, 022);
    LinuxCall(kSysUmask, mask);
    callerUmask = static_cast<int>(mask & 0777);
}

bool ApplyCallerPermissions(HANDLE file) {
    if (callerUmask < 0) return true;
    using HandleToFd =
        LONG(CDECL*)(HANDLE handle, unsigned int access, int* fd, unsigned int* options);
    static const auto handleToFd = reinterpret_cast<HandleToFd>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_server_handle_to_fd")));
    int fd = -1;
    if (handleToFd == nullptr || handleToFd(file, 0, &fd, nullptr) != 0 || fd < 0) return false;
    const bool ok = LinuxCall(kSysFchmod, fd, 0666 & ~callerUmask) == 0;
    LinuxCall(kSysClose, fd);
    return ok;
}

#include "cli/platform/wine.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace wine {

namespace {

// An export of Wine's ntdll; null on Windows.
template <class Function>
Function NtdllExport(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

}  // namespace

const char* LauncherFolder() {
    static const char* folder = std::getenv("BRAIDEL_UNIX_CWD");
    return folder != nullptr && folder[0] == '/' ? folder : nullptr;
}

bool WindowsPathOf(const std::string& unixPath, std::wstring& windows) {
    using UnixToNt = LONG(CDECL*)(const char* name, wchar_t* buffer, ULONG* size);
    static const auto convert = NtdllExport<UnixToNt>("wine_unix_to_nt_file_name");
    if (convert == nullptr) return false;
    std::wstring buffer(unixPath.size() + 64, L'\0');
    auto size = static_cast<ULONG>(buffer.size());
    if (convert(unixPath.c_str(), buffer.data(), &size) != 0) return false;
    buffer.resize(std::wcslen(buffer.c_str()));
    // Wine gives the NT path of the file ("\??\Z:\...").
    if (buffer.rfind(L"\\??\\", 0) != 0) return false;
    windows = L"\\\\?\\" + buffer.substr(4);
    return true;
}

bool OnLinux() {
    using HostVersion = void(CDECL*)(const char** sysname, const char** release);
    static const auto hostVersion = NtdllExport<HostVersion>("wine_get_host_version");
    if (hostVersion == nullptr) return false;
    const char* sysname = nullptr;
    const char* release = nullptr;
    hostVersion(&sysname, &release);
    return sysname != nullptr && std::strcmp(sysname, "Linux") == 0;
}

int UnixDescriptorOf(HANDLE file) {
    using HandleToFd =
        LONG(CDECL*)(HANDLE handle, unsigned int access, int* fd, unsigned int* options);
    static const auto handleToFd = NtdllExport<HandleToFd>("wine_server_handle_to_fd");
    int fd = -1;
    if (handleToFd == nullptr || handleToFd(file, 0, &fd, nullptr) != 0) return -1;
    return fd;
}

}  // namespace wine

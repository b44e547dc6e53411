#include "cli/platform/windows/wine.h"

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

// The Linux system calls used, by their x86-64 numbers. A Windows program under Wine runs
// natively, so it can make them itself.
constexpr long long kSysOpen = 2;
constexpr long long kSysClose = 3;
constexpr long long kSysStat = 4;
constexpr long long kSysFstat = 5;
constexpr long long kSysPoll = 7;
constexpr long long kSysFcntl = 72;
constexpr long long kSysReadlink = 89;
constexpr long long kSysFchmod = 91;
constexpr long long kSysUmask = 95;
constexpr long long kSysGetrlimit = 97;
constexpr long long kLimitFileSize = 1;

// Flags of the open system call.
constexpr long long kOpenWrite = 01;
constexpr long long kOpenNonBlocking = 04000;
constexpr long long kOpenCloseOnExec = 02000000;
constexpr long long kOpenPathOnly = 010000000;  // O_PATH: no access, nothing opened for I/O

long long LinuxCall(long long number, long long first, long long second = 0, long long third = 0) {
#if defined(__x86_64__)
    long long result;
    asm volatile("syscall"
                 : "=a"(result)
                 : "a"(number), "D"(first), "S"(second), "d"(third)
                 : "rcx", "r11", "memory");
    return result;
#else
    (void)number, (void)first, (void)second, (void)third;
    return -1;
#endif
}

template <class T>
long long Address(T* pointer) {
    return static_cast<long long>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The head of Linux's x86-64 struct stat, in a buffer of the whole structure's size.
struct LinuxStat {
    std::uint64_t device;
    std::uint64_t inode;
    std::uint64_t links;
    std::uint32_t mode;
    unsigned char rest[144 - 28];
};
static_assert(sizeof(LinuxStat) == 144, "x86-64 struct stat");

UnixStatus FromLinux(const LinuxStat& stat) {
    return {stat.device, stat.inode, stat.mode};
}

// The Unix descriptor behind an open handle, closed when it goes; -1 when there is none.
class UnixDescriptor {
  public:
    explicit UnixDescriptor(HANDLE file) {
        using HandleToFd =
            LONG(CDECL*)(HANDLE handle, unsigned int access, int* fd, unsigned int* options);
        static const auto handleToFd = NtdllExport<HandleToFd>("wine_server_handle_to_fd");
        if (handleToFd == nullptr || !OnLinux() || handleToFd(file, 0, &fd_, nullptr) != 0) {
            fd_ = -1;
        }
    }
    ~UnixDescriptor() {
        if (fd_ >= 0) LinuxCall(kSysClose, fd_);
    }
    UnixDescriptor(const UnixDescriptor&) = delete;
    UnixDescriptor& operator=(const UnixDescriptor&) = delete;

    int Get() const { return fd_; }

  private:
    int fd_ = -1;
};

// The path Linux gives an open descriptor.
std::string PathOfDescriptor(int fd) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string target(4096, '\0');
    const long long length =
        LinuxCall(kSysReadlink, Address(link.c_str()), Address(target.data()), target.size());
    if (length <= 0) return {};
    target.resize(static_cast<std::size_t>(length));
    return target;
}

}  // namespace

const char* LauncherFolder() {
    static const char* folder = std::getenv("BRAIDEL_UNIX_CWD");
    return folder != nullptr && folder[0] == '/' ? folder : nullptr;
}

bool ClosedByCaller(int fd) {
    static const char* closed = std::getenv("BRAIDEL_CLOSED_STREAMS");
    return closed != nullptr && std::strchr(closed, '0' + fd) != nullptr;
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
    static const bool onLinux = [] {
        static const auto hostVersion = NtdllExport<HostVersion>("wine_get_host_version");
        if (hostVersion == nullptr) return false;
        const char* sysname = nullptr;
        const char* release = nullptr;
        hostVersion(&sysname, &release);
        return sysname != nullptr && std::strcmp(sysname, "Linux") == 0;
    }();
    return onLinux;
}

std::optional<UnixStatus> StatusOf(const std::string& unixPath) {
    if (!OnLinux()) return std::nullopt;
    LinuxStat stat{};
    if (LinuxCall(kSysStat, Address(unixPath.c_str()), Address(&stat)) != 0) return std::nullopt;
    return FromLinux(stat);
}

std::optional<UnixStatus> StatusOf(HANDLE file) {
    const UnixDescriptor fd(file);
    LinuxStat stat{};
    if (fd.Get() < 0 || LinuxCall(kSysFstat, fd.Get(), Address(&stat)) != 0) return std::nullopt;
    return FromLinux(stat);
}

std::string UnixPathOf(HANDLE file) {
    const UnixDescriptor fd(file);
    return fd.Get() < 0 ? std::string() : PathOfDescriptor(fd.Get());
}

std::string RealPath(const std::string& unixPath) {
    if (!OnLinux()) return {};
    const long long fd =
        LinuxCall(kSysOpen, Address(unixPath.c_str()), kOpenPathOnly | kOpenCloseOnExec);
    if (fd < 0) return {};
    std::string path = PathOfDescriptor(static_cast<int>(fd));
    LinuxCall(kSysClose, fd);
    return path;
}

std::string UnreachedCallerFolder() {
    if (!OnLinux() || LauncherFolder() != nullptr) return {};
    const std::string caller = RealPath("/proc/self/cwd");
    if (caller.empty()) return {};
    using ToUnixName = char*(CDECL*)(const wchar_t* name);
    static const auto toUnix = reinterpret_cast<ToUnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring current(32768, L'\0');
    current.resize(GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
    char* unixName = toUnix != nullptr && !current.empty() ? toUnix(current.c_str()) : nullptr;
    if (unixName == nullptr) return {};
    const std::string working = RealPath(unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    return caller != working ? caller : std::string();
}

bool IsLink(const std::string& unixPath, std::string& target) {
    if (!OnLinux()) return false;
    target.assign(4096, '\0');
    const long long length =
        LinuxCall(kSysReadlink, Address(unixPath.c_str()), Address(target.data()), target.size());
    if (length < 0) return false;
    target.resize(static_cast<std::size_t>(length));
    return true;
}

std::size_t LongestUnixPath() {
    constexpr std::size_t kLinuxLongest = 4095;
    const char* prefix = std::getenv("WINEPREFIX");
    const std::size_t drive =
        (prefix != nullptr ? std::strlen(prefix) : 0) + std::strlen("/dosdevices/z:");
    return kLinuxLongest - drive;
}

namespace {

constexpr long long kSetStatusFlags = 4;  // F_SETFL
constexpr short kPollIn = 0x001;
constexpr short kPollOut = 0x004;
constexpr int kInterrupted = 4;  // EINTR

struct PollRecord {
    int fd;
    short events;
    short revents;
};

}  // namespace

UnixStream::UnixStream(const std::string& unixPath, bool write)
    : fd_(static_cast<int>(
          LinuxCall(kSysOpen, Address(unixPath.c_str()),
                    (write ? kOpenWrite : 0) | kOpenNonBlocking | kOpenCloseOnExec))) {}

UnixStream::~UnixStream() {
    if (fd_ >= 0) LinuxCall(kSysClose, fd_);
}

bool UnixStream::WaitReady(bool write, int milliseconds) const {
    PollRecord poll{fd_, write ? kPollOut : kPollIn, 0};
    long long ready = LinuxCall(kSysPoll, Address(&poll), 1, milliseconds);
    while (ready == -kInterrupted) ready = LinuxCall(kSysPoll, Address(&poll), 1, milliseconds);
    return ready > 0;
}

HANDLE UnixStream::ToHandle(bool write) {
    using FdToHandle =
        LONG(CDECL*)(int fd, unsigned int access, unsigned int attributes, HANDLE* handle);
    static const auto fdToHandle = NtdllExport<FdToHandle>("wine_server_fd_to_handle");
    HANDLE handle = nullptr;
    if (fd_ < 0 || fdToHandle == nullptr || LinuxCall(kSysFcntl, fd_, kSetStatusFlags, 0) != 0) {
        return nullptr;
    }
    const unsigned int access = (write ? GENERIC_WRITE : GENERIC_READ) | SYNCHRONIZE;
    if (fdToHandle(fd_, access, 0, &handle) != 0) return nullptr;
    return handle;
}

std::string LinuxErrorText(int error) {
    switch (error) {
        case 2:
            return "No such file or directory";
        case 6:
            return "No reader has it open (No such device or address)";
        case 13:
            return "Permission denied";
        default:
            return "Linux error " + std::to_string(error);
    }
}

std::optional<std::uint64_t> FileSizeLimit() {
    if (!OnLinux()) return std::nullopt;
    std::uint64_t limits[2] = {};  // current, maximum
    if (LinuxCall(kSysGetrlimit, kLimitFileSize, Address(limits)) != 0) return std::nullopt;
    if (limits[0] == ~std::uint64_t{0}) return std::nullopt;
    return limits[0];
}

std::optional<unsigned> ProcessUmask() {
    static const std::optional<unsigned> mask = []() -> std::optional<unsigned> {
        if (!OnLinux()) return std::nullopt;
        const long long old = LinuxCall(kSysUmask, 022);
        LinuxCall(kSysUmask, old);
        return static_cast<unsigned>(old & 0777);
    }();
    return mask;
}

bool SetUnixMode(HANDLE file, unsigned mode) {
    const UnixDescriptor fd(file);
    return fd.Get() >= 0 && LinuxCall(kSysFchmod, fd.Get(), mode) == 0;
}

}  // namespace wine

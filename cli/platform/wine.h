#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

// What braidel-run asks of Wine, and through it of Linux, when it runs there: everything of the
// program that knows it may run under Wine is here. Elsewhere each answer is "not available",
// and the callers keep to plain Windows behaviour.
namespace wine {

// The caller's folder as an absolute Unix path, when the Linux launcher started the program
// (it passes BRAIDEL_UNIX_CWD); null otherwise.
const char* LauncherFolder();

// Whether the caller started the launcher with standard stream `fd` (0, 1 or 2) closed; the
// launcher then gives the program /dev/null in its place and says so in BRAIDEL_CLOSED_STREAMS.
bool ClosedByCaller(int fd);

// Wine's mapping of an absolute Unix path to the Windows path of the same file, in the form no
// length limit applies to ("\\?\Z:\..."). False when not under Wine or the path has no mapping.
bool WindowsPathOf(const std::string& unixPath, std::wstring& windows);

// Whether the program runs under Wine on a Linux host, where Linux system calls can be made.
bool OnLinux();

// What Linux says of a file: its device, inode and mode (type and permission bits).
struct UnixStatus {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t mode = 0;

    bool IsFolder() const { return (mode & 0170000) == 0040000; }
    bool IsRegular() const { return (mode & 0170000) == 0100000; }
    bool SameFile(const UnixStatus& other) const {
        return device == other.device && inode == other.inode;
    }
};

// The status of the file at an absolute Unix path, links followed; nothing when there is none
// (or it cannot be reached, or not under Wine on Linux).
std::optional<UnixStatus> StatusOf(const std::string& unixPath);
// The status of the file behind an open handle.
std::optional<UnixStatus> StatusOf(HANDLE file);

// The Unix path of the file behind an open handle, as Linux names it; empty when unknown.
std::string UnixPathOf(HANDLE file);

// The longest absolute Unix path Wine can open: Linux takes 4095 bytes, and Wine reaches every
// file through the prefix's drive folder ("<prefix>/dosdevices/z:"), which takes its share.
std::size_t LongestUnixPath();

// The largest file this process may write (its file-size limit, `ulimit -f`); nothing when
// there is no limit or not on Linux.
std::optional<std::uint64_t> FileSizeLimit();

// The process's umask, read once (Linux has no call that only reads it); nothing when not on
// Linux.
std::optional<unsigned> ProcessUmask();

// Sets the Unix permission bits of the file behind an open handle. False when they could not be
// set.
bool SetUnixMode(HANDLE file, unsigned mode);

}  // namespace wine

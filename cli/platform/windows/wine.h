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

// Started by Wine itself (no launcher) from a Linux folder that Wine could not make the
// program's working folder (its path holds a character Windows cannot name, such as * ? \), so
// that Wine started it elsewhere: that folder (the process's Linux working folder). Empty
// otherwise.
std::string UnreachedCallerFolder();

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
    // A named pipe or a character device: read or written as a stream, never replaced.
    bool IsStreamDevice() const {
        return (mode & 0170000) == 0010000 || (mode & 0170000) == 0020000;
    }
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

// The path Linux reaches through `unixPath`, with every link and ".." resolved as Linux resolves
// them; empty when nothing is there.
std::string RealPath(const std::string& unixPath);

// Whether the last name of `unixPath` is a symbolic link (not followed); with its target's text.
bool IsLink(const std::string& unixPath, std::string& target);

// The Unix path of the file behind an open handle, as Linux names it; empty when unknown.
std::string UnixPathOf(HANDLE file);

// The longest absolute Unix path Wine can open: Linux takes 4095 bytes, and Wine reaches every
// file through the prefix's drive folder ("<prefix>/dosdevices/z:"), which takes its share.
std::size_t LongestUnixPath();

// A named pipe or device opened by Linux itself, without waiting, for reading or writing:
// Wine would open a named pipe in a way that reads its end before a writer comes. A descriptor
// (closed when it goes) or a negative Linux error number.
class UnixStream {
  public:
    UnixStream(const std::string& unixPath, bool write);
    ~UnixStream();
    UnixStream(const UnixStream&) = delete;
    UnixStream& operator=(const UnixStream&) = delete;

    // 0 once open; else the Linux error number of the open.
    int Error() const { return fd_ < 0 ? -fd_ : 0; }
    // Waits up to `milliseconds` until the stream can be read (a writer has written or come and
    // gone) or written; false on timeout.
    bool WaitReady(bool write, int milliseconds) const;
    // A Windows handle of the stream, with blocking reads or writes, for ReadFile and WriteFile;
    // null on failure.
    HANDLE ToHandle(bool write);

  private:
    int fd_;
};

// Linux's words for an error number of its own (a few common ones), else the number.
std::string LinuxErrorText(int error);

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

#include "cli/platform/posix/folder_walk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "cli/platform/posix/system_calls.h"

namespace posix {

namespace {

static_assert(AT_FDCWD == -100, "the default base of OpenEntry");

int OpenStep(int folder, const std::string& name, OwnedFile& next) {
    const int fd = RetryInterrupted(
        [&] { return ::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return errno;
    next = OwnedFile(fd);
    return 0;
}

}  // namespace

std::vector<std::string> NamesOf(const std::string& path) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string name = path.substr(start, end - start);
        if (!name.empty() && name != ".") names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}

int OpenEntry(const std::string& path, FolderEntry& entry, int base, bool asMade) {
    if (path.empty()) return ENOENT;
    std::vector<std::string> names = NamesOf(path);
    // A path that ends in "/" or "/." names a folder: the walk then opens it whole.
    const bool namesFolder = path.back() == '/' || path.ends_with("/.") || path == ".";
    std::string last = namesFolder || names.empty() ? "." : names.back();
    if (!namesFolder && !names.empty()) names.pop_back();

    OwnedFile folder;
    if (int error = OpenStep(base, path.front() == '/' ? "/" : ".", folder)) return error;
    std::size_t missing = 0;  // folders still to be made, each undone by a ".." after it
    for (const std::string& name : names) {
        if (missing > 0) {
            missing = name == ".." ? missing - 1 : missing + 1;
            continue;
        }
        OwnedFile next;
        const int error = OpenStep(folder.Get(), name, next);
        missing += asMade && error == ENOENT;
        if (error && !missing) return error;
        if (!error) folder = std::move(next);
    }
    if (missing > 0 || (asMade && last == "..")) return ENOENT;
    entry = {std::move(folder), std::move(last)};
    return 0;
}

std::string LastName(const std::string& path) {
    const std::vector<std::string> names = NamesOf(path);
    if (names.empty() || names.back() == ".." || path.back() == '/' || path.ends_with("/.")) {
        return {};
    }
    return names.back();
}

int OpenPathEntry(const FilePath& path, FolderEntry& entry) {
    std::string name = path.folder ? LastName(path.system) : std::string();
    if (name.empty()) return OpenEntry(path.system, entry);
    const int fd = ::fcntl(path.folder->Get(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return errno;
    entry = {OwnedFile(fd), std::move(name)};
    return 0;
}

int ReadLink(const FolderEntry& entry, std::string& target) {
    for (std::size_t size = 256;; size *= 2) {
        target.assign(size, '\0');
        const ssize_t length =
            ::readlinkat(entry.folder.Get(), entry.name.c_str(), target.data(), target.size());
        if (length < 0) {
            target.clear();
            return errno;
        }
        // A text that fills the buffer may have been cut short: read again, with more room.
        if (static_cast<std::size_t>(length) < size) {
            target.resize(static_cast<std::size_t>(length));
            return 0;
        }
    }
}

int OpenFolder(const std::string& path, OwnedFile& folder) {
    FolderEntry entry;
    if (int error = OpenEntry(path, entry)) return error;
    if (entry.name == ".") {
        folder = std::move(entry.folder);
        return 0;
    }
    return OpenStep(entry.folder.Get(), entry.name, folder);
}

int StatusOf(const std::string& path, struct stat& status) {
    FolderEntry entry;
    if (int error = OpenEntry(path, entry)) return error;
    return ::fstatat(entry.folder.Get(), entry.name.c_str(), &status, 0) == 0 ? 0 : errno;
}

}  // namespace posix

#include "cli/platform/posix/folder_walk.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "cli/platform/posix/system_calls.h"

namespace posix {

namespace {

// The components of a path, in order, without empty ones (from "//") or ".".
std::vector<std::string> ComponentsOf(const std::string& path) {
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string component = path.substr(start, end - start);
        if (!component.empty() && component != ".") components.push_back(std::move(component));
        start = end + 1;
    }
    return components;
}

int OpenStep(int folder, const std::string& name, UniqueFd& next) {
    const int fd = RetryInterrupted(
        [&] { return ::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return errno;
    next = UniqueFd(fd);
    return 0;
}

// Walks every component but the last from `start` (a folder or AT_FDCWD).
int Walk(int start, const std::string& path, FolderEntry& entry) {
    if (path.empty()) return ENOENT;
    const bool absolute = path.front() == '/';
    std::vector<std::string> components = ComponentsOf(path);
    // A path that ends in "/" or "/." names a folder: the walk then opens it whole.
    const bool namesFolder =
        path.back() == '/' || (path.size() >= 2 && path.ends_with("/.")) || path == ".";
    std::string last = namesFolder || components.empty() ? "." : components.back();
    if (!namesFolder && !components.empty()) components.pop_back();

    UniqueFd folder;
    if (int error = OpenStep(start, absolute ? "/" : ".", folder)) return error;
    for (const std::string& component : components) {
        UniqueFd next;
        if (int error = OpenStep(folder.Get(), component, next)) return error;
        folder = std::move(next);
    }
    entry = {std::move(folder), std::move(last)};
    return 0;
}

}  // namespace

int OpenEntry(const std::string& path, FolderEntry& entry) {
    return Walk(AT_FDCWD, path, entry);
}

int OpenEntryFrom(int base, const std::string& path, FolderEntry& entry) {
    return Walk(base, path, entry);
}

int ReadLink(const FolderEntry& entry, std::size_t size, std::string& target) {
    target.assign((size > 0 ? size : 255) + 1, '\0');
    const ssize_t length =
        ::readlinkat(entry.folder.Get(), entry.name.c_str(), target.data(), target.size());
    target.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return length < 0 ? errno : 0;
}

int OpenFolder(const std::string& path, UniqueFd& folder) {
    FolderEntry entry;
    if (int error = OpenEntry(path, entry)) return error;
    if (entry.name == ".") {
        folder = std::move(entry.folder);
        return 0;
    }
    return OpenStep(entry.folder.Get(), entry.name, folder);
}

}  // namespace posix

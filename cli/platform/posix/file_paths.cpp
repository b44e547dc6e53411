// Paths on POSIX: a name is its bytes (any but NUL), of any length, walked one folder at a time.

#include "cli/platform/file_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/system_calls.h"

namespace {

// Linux file systems take no name (a part of a path between slashes) longer than this. A path
// holding a longer one is refused before anything is read or written, so that no run fails
// half-way on it.
constexpr std::size_t kLongestName = 255;

Failure CheckNameLengths(const FilePath& path) {
    for (const std::string& name : posix::NamesOf(path.system)) {
        if (name.size() <= kLongestName) continue;
        return {FailureCode::Usage, path.shown + ": a name in this path is longer than the " +
                                        std::to_string(kLongestName) +
                                        " bytes Linux allows; nothing written"};
    }
    return {};
}

// Whether a link's text names no file: a descriptor's link in /proc to a pipe, a socket or
// another object with no name ("pipe:[1234]").
bool NamesNoFile(const std::string& target) {
    return !target.empty() && target.front() != '/' && target.find(":[") != std::string::npos;
}

// Makes the folder `path` and every missing parent, each with mode 0777 less the umask.
int MakeFolderPath(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    OwnedFile folder;
    if (posix::OpenFolder(path, folder) == 0) return 0;
    posix::FolderEntry entry;
    int error = posix::OpenEntry(path, entry);
    if (error == ENOENT) {
        // A missing parent: made first, then the walk is taken again.
        const std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos || slash == 0) return error;
        if (int parent = MakeFolderPath(path.substr(0, slash))) return parent;
        error = posix::OpenEntry(path, entry);
    }
    if (error) return error;
    if (::mkdirat(entry.folder.Get(), entry.name.c_str(), 0777) != 0 && errno != EEXIST) {
        return errno;
    }
    // What is there now must be a folder (ENOTDIR for a file of that name).
    return posix::OpenFolder(path, folder);
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

Failure ResolvePath(const std::string& typed, FilePath& path) {
    path = {typed, typed, {}};
    return CheckNameLengths(path);
}

Failure FollowOutputLink(FilePath& path) {
    posix::FolderEntry entry;
    struct stat status {};
    if (posix::OpenEntry(path.system, entry) != 0 ||
        ::fstatat(entry.folder.Get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(status.st_mode)) {
        return {};
    }
    // A link whose text cannot be read is still a link; only the message lacks its target.
    std::string target;
    posix::ReadLink(entry, target);
    if (NamesNoFile(target)) {
        return {FailureCode::Usage, path.shown + ": an open stream of the caller (" + target +
                                        ") that names no file; name a file, or - for standard "
                                        "output"};
    }
    // The pending file writes through the link itself; only a link to nothing is refused.
    if (::fstatat(entry.folder.Get(), entry.name.c_str(), &status, 0) == 0) return {};
    return DanglingLink(path, target);
}

void HoldFoldersOf(const std::vector<FilePath*>& outputs) {
    std::map<std::string, std::shared_ptr<const OwnedFile>> held;  // by the folder's path
    for (FilePath* output : outputs) {
        const std::size_t slash = output->system.find_last_of('/');
        const std::string key = slash == std::string::npos ? "" : output->system.substr(0, slash);
        posix::FolderEntry entry;
        if (output->system.empty() || posix::LastName(output->system).empty()) continue;
        if (!held.contains(key) && posix::OpenEntry(output->system, entry) == 0) {
            held[key] = std::make_shared<const OwnedFile>(std::move(entry.folder));
        }
        if (held.contains(key)) output->folder = held[key];
    }
}

void HoldFolder(FilePath& folder) {
    OwnedFile held;
    if (!folder.system.empty() && posix::OpenFolder(folder.system, held) == 0) {
        folder.folder = std::make_shared<const OwnedFile>(std::move(held));
    }
}

Failure InFolder(const FilePath& folder, const std::string& name, FilePath& child) {
    child.folder = folder.folder;
    const bool separated = folder.system.empty() || folder.system.back() == '/';
    child.shown =
        folder.shown + (folder.shown.empty() || folder.shown.back() == '/' ? "" : "/") + name;
    child.system = folder.system + (separated ? "" : "/") + name;
    return CheckNameLengths(child);
}

std::string FileNameOf(const std::string& typed) {
    const std::size_t slash = typed.find_last_of('/');
    return slash == std::string::npos ? typed : typed.substr(slash + 1);
}

bool Exists(const FilePath& path) {
    struct stat status {};
    return posix::StatusOf(path.system, status) == 0;
}

bool IsFolder(const FilePath& path) {
    struct stat status {};
    return posix::StatusOf(path.system, status) == 0 && S_ISDIR(status.st_mode);
}

Failure MakeFolders(const FilePath& folder) {
    if (const int error = MakeFolderPath(folder.system)) {
        return {FailureCode::NotWritten,
                folder.shown + ": the output folder cannot be made: " + posix::ErrorText(error)};
    }
    return {};
}

Failure ListFolderNames(const FilePath& folder, std::vector<std::string>& names) {
    OwnedFile walked;
    if (const int error = posix::OpenFolder(folder.system, walked))
        return posix::CannotRead(folder.shown, error);
    // The walk's descriptor only names the folder; reading its entries takes one opened to read.
    const int opened = ::openat(walked.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (opened < 0) return posix::CannotRead(folder.shown, errno);
    // The stream takes the descriptor over and closes it.
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(opened));
    if (!dir) {
        const int error = errno;
        ::close(opened);
        return posix::CannotRead(folder.shown, error);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) break;
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        names.emplace_back(entry->d_name);
    }
    return errno != 0 ? posix::CannotRead(folder.shown, errno) : Failure{};
}

// The native program's side of cli/platform/folder_names.h.

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "cli/platform/folder_names.h"
#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/system_calls.h"

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

Failure CannotList(const FilePath& folder, int error) {
    return posix::CannotRead(folder.shown, error);
}

}  // namespace

Failure ListFolderNames(const FilePath& folder, std::vector<std::string>& names) {
    OwnedFile walked;
    if (const int error = posix::OpenFolder(folder.system, walked))
        return CannotList(folder, error);
    // The walk's descriptor only names the folder; reading its entries takes one opened to read.
    const int opened = ::openat(walked.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (opened < 0) return CannotList(folder, errno);
    // The stream takes the descriptor over and closes it.
    std::unique_ptr<DIR, DirCloser> dir(::fdopendir(opened));
    if (!dir) {
        const int error = errno;
        ::close(opened);
        return CannotList(folder, error);
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
    return errno != 0 ? CannotList(folder, errno) : Failure{};
}

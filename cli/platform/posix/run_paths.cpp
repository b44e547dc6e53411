// The neutral path and identity interfaces on POSIX: a name is its bytes (any but NUL), of any
// length, walked one folder at a time; identity is device and inode.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "cli/platform/file_identity.h"
#include "cli/platform/file_paths.h"
#include "cli/platform/name_lengths.h"
#include "cli/platform/posix/file_status.h"
#include "cli/platform/posix/folder_walk.h"
#include "cli/platform/posix/open_files.h"
#include "cli/platform/posix/standard_streams.h"
#include "cli/platform/posix/system_calls.h"

namespace {

// Whether the last name of `path` is a symbolic link (not followed), with its target's text.
bool IsLink(const std::string& path, std::string& target) {
    posix::FolderEntry entry;
    if (posix::OpenEntry(path, entry) != 0) return false;
    struct stat status {};
    if (::fstatat(entry.folder.Get(), entry.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(status.st_mode)) {
        return false;
    }
    // A link whose text cannot be read is still a link; only the message lacks its target.
    posix::ReadLink(entry, static_cast<std::size_t>(status.st_size), target);
    return true;
}

// The path with "." and empty names left out, from the current folder when relative: two
// spellings of one new file in a folder that does not exist yet give one key. ".." stays, since
// after a linked folder it leads elsewhere than the name before it.
std::string Lexical(const std::string& path) {
    std::string whole = path;
    if (whole.empty() || whole[0] != '/') {
        std::vector<char> folder(4096);
        if (::getcwd(folder.data(), folder.size()) != nullptr) whole = folder.data() + ("/" + path);
    }
    std::string key;
    std::size_t start = 0;
    while (start <= whole.size()) {
        std::size_t slash = whole.find('/', start);
        if (slash == std::string::npos) slash = whole.size();
        const std::string name = whole.substr(start, slash - start);
        if (!name.empty() && name != ".") key += "/" + name;
        start = slash + 1;
    }
    return key;
}

FileIdentity FromPosix(const posix::FileIdentity& found) {
    FileIdentity identity;
    identity.volume = found.device;
    std::memcpy(identity.index.data(), &found.inode, sizeof found.inode);
    identity.newName = found.newName;
    return identity;
}

}  // namespace

Failure ResolvePath(const std::string& typed, FilePath& path) {
    path = {typed, typed, {}};
    return CheckLinuxNameLengths(path.system, path.shown);
}

Failure FollowOutputLink(FilePath& path) {
    std::string target;
    if (!IsLink(path.system, target)) return {};
    // The pending file writes through the link itself; only a link to nothing is refused.
    struct stat status {};
    if (posix::StatusOf(path.system, status) == 0) return {};
    return {FailureCode::NotWritten, path.shown + ": a link to " + target +
                                         ", which does not exist; not written (remove the "
                                         "link or make its target)"};
}

Failure InFolder(const FilePath& folder, const std::string& name, FilePath& child) {
    const bool separated = folder.shown.empty() || folder.shown.back() == '/';
    child.shown = folder.shown + (separated ? "" : "/") + name;
    const bool systemSeparated = folder.system.empty() || folder.system.back() == '/';
    child.system = folder.system + (systemSeparated ? "" : "/") + name;
    child.unixPath.clear();
    return CheckLinuxNameLengths(child.system, child.shown);
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
    if (const int error = posix::MakeFolders(folder.system)) {
        return {FailureCode::NotWritten,
                folder.shown + ": the output folder cannot be made: " + posix::ErrorText(error)};
    }
    return {};
}

std::optional<FileIdentity> IdentityOf(const FilePath& path) {
    const std::optional<posix::FileIdentity> found = posix::IdentityOf(path.system);
    if (!found) return std::nullopt;
    return FromPosix(*found);
}

std::optional<FileIdentity> IdentityOf(StandardStreamId which) {
    const std::optional<posix::FileIdentity> found = posix::IdentityOf(posix::DescriptorOf(which));
    if (!found) return std::nullopt;
    return FromPosix(*found);
}

const char* NewNamesRule() {
    return "";
}

bool NewNamesAreOne(const std::string& a, const std::string& b) {
    return a == b;
}

std::string NewFileKey(const FilePath& path) {
    return Lexical(path.system);
}

bool NewFileKeysAreOne(const std::string& a, const std::string& b) {
    return a == b;
}

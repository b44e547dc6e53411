#include "cli/platform/file_paths.h"

#include <windows.h>

#include "cli/platform/windows/caller_permissions.h"
#include "cli/platform/windows/linux_names.h"
#include "cli/platform/windows/windows_files.h"
#include "cli/platform/windows/wine.h"
#include "loader/unique_handle.h"
#include "loader/win32_text.h"

namespace {

// `name` inside `folder`, with `separator` between them unless the folder is empty or ends in one.
template <class Text>
Text Joined(const Text& folder, const typename Text::value_type* separator, const Text& name) {
    const bool separated = folder.empty() || folder.back() == '/' || folder.back() == '\\';
    return folder + (separated ? Text() : Text(separator)) + name;
}

// A folder this run made gets the caller's permissions, as its files do.
bool GiveCallerPermissions(const std::wstring& folder) {
    const UniqueHandle handle = OpenForAttributes(folder);
    if (handle && ApplyCallerFolderPermissions(handle.Get())) return true;
    if (handle) SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

// Makes the folder at the system path and every missing parent. False with the thread's last
// error set, which the caller turns into its one line.
bool MakeFolderPath(std::wstring path) {
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
        SetLastError(ERROR_DIRECTORY);
        return false;
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos && slash > 0 && path[slash - 1] != ':' &&
        path[slash - 1] != '?') {
        if (!MakeFolderPath(path.substr(0, slash))) return false;
    }
    if (!CreateDirectoryW(path.c_str(), nullptr)) return GetLastError() == ERROR_ALREADY_EXISTS;
    return GiveCallerPermissions(path);
}

// Wine's mapping takes ".." as the name before it, where Linux goes up from the folder that
// name leads to (another folder when it is a link): a path with ".." is given the folder Linux
// reaches. A missing folder keeps the path as typed, for the name check to explain.
std::string AsLinuxReachesIt(const std::string& unixPath) {
    const bool upward = unixPath.find("/../") != std::string::npos || unixPath.ends_with("/..");
    if (!upward) return unixPath;
    const std::size_t slash = unixPath.find_last_of('/');
    const std::string name = unixPath.substr(slash + 1);
    if (name == ".." || name == ".") {
        const std::string real = wine::RealPath(unixPath);
        return real.empty() ? unixPath : real;
    }
    const std::string folder = wine::RealPath(unixPath.substr(0, slash));
    if (folder.empty()) return unixPath;
    return (folder == "/" ? "" : folder) + "/" + name;
}

}  // namespace

Failure ResolvePath(const std::string& typed, FilePath& path) {
    path = {typed, FromUtf8(typed), {}};
    const char* folder = wine::LauncherFolder();
    if (folder == nullptr) return {};
    std::string unixPath = typed;
    if (unixPath.empty() || unixPath[0] != '/') unixPath = std::string(folder) + "/" + unixPath;
    path.unixPath = AsLinuxReachesIt(unixPath);
    if (Failure failure = CheckLinuxName(path)) return failure;
    if (!wine::WindowsPathOf(path.unixPath, path.system)) {
        return {FailureCode::Usage, typed + ": no Windows name for this path"};
    }
    return {};
}

Failure FollowOutputLink(FilePath& path) {
    std::string target;
    if (path.unixPath.empty() || !wine::IsLink(path.unixPath, target)) return {};
    const std::string real = wine::RealPath(path.unixPath);
    if (real.empty() || !wine::WindowsPathOf(real, path.system)) {
        return {FailureCode::NotWritten, path.shown + ": a link to " + target +
                                             ", which does not exist; not written (remove the "
                                             "link or make its target)"};
    }
    path.unixPath = real;
    return {};
}

UniqueHandle OpenForAttributes(const std::wstring& systemPath) {
    // Folders open too, with backup semantics.
    return UniqueHandle(CreateFileW(systemPath.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

namespace {

FilePath ChildOf(const FilePath& folder, const std::string& name) {
    FilePath child;
    child.shown = Joined(folder.shown, "/", name);
    if (!folder.unixPath.empty()) {
        child.unixPath = folder.unixPath + "/" + name;
        if (wine::WindowsPathOf(child.unixPath, child.system)) return child;
    }
    child.system = Joined(folder.system, L"\\", FromUtf8(name));
    return child;
}

}  // namespace

Failure InFolder(const FilePath& folder, const std::string& name, FilePath& child) {
    child = ChildOf(folder, name);
    return CheckLinuxName(child);
}

std::string FileNameOf(const std::string& typed) {
    const std::size_t slash = typed.find_last_of("\\/");
    return slash == std::string::npos ? typed : typed.substr(slash + 1);
}

std::wstring FolderOf(const FilePath& path) {
    const std::size_t slash = path.system.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".\\";
    return path.system.substr(0, slash + 1);
}

Failure MakeFolders(const FilePath& folder) {
    if (MakeFolderPath(folder.system)) return {};
    return {FailureCode::NotWritten,
            folder.shown + ": the output folder cannot be made: " + ErrorText(GetLastError())};
}

bool Exists(const FilePath& path) {
    return GetFileAttributesW(path.system.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const FilePath& path) {
    const DWORD attributes = GetFileAttributesW(path.system.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

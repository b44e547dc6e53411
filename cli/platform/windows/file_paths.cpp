// Paths on Windows: a name means what Windows makes of it.

#include "cli/platform/file_paths.h"

#include <windows.h>

#include <memory>

#include "cli/platform/windows/windows_files.h"
#include "loader/unique_handle.h"
#include "loader/win32_text.h"

namespace {

// `name` inside `folder`, with `separator` between them unless the folder is empty or ends in one.
template <class Text>
Text Joined(const Text& folder, const typename Text::value_type* separator, const Text& name) {
    const bool separated = folder.empty() || folder.back() == '/' || folder.back() == '\\';
    return folder + (separated ? Text() : Text(separator)) + name;
}

// A character that Windows takes in no file name ("\\?\" and "\\.\" prefixes aside).
char CharacterWindowsRefuses(const std::string& typed) {
    const bool prefixed = typed.starts_with("\\\\?\\") || typed.starts_with("\\\\.\\");
    for (std::size_t i = prefixed ? 4 : 0; i < typed.size(); ++i) {
        const char c = typed[i];
        if (std::string_view("*?<>|\"").find(c) != std::string_view::npos ||
            static_cast<unsigned char>(c) < 0x20) {
            return c;
        }
    }
    return 0;
}

Failure CheckWindowsName(const FilePath& path) {
    const char bad = CharacterWindowsRefuses(path.shown);
    if (bad == 0) return {};
    const std::string what = static_cast<unsigned char>(bad) < 0x20
                                 ? std::string("a control character")
                                 : std::string(1, bad);
    return {FailureCode::Usage,
            path.shown + ": Windows cannot name a file with " + what + " in it; nothing written"};
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
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};

}  // namespace

Failure ResolvePath(const std::string& typed, FilePath& path) {
    path = {typed, FromUtf8(typed), {}};
    return CheckWindowsName(path);
}

// A symbolic link is a reparse point: the file it leads to is the one Windows opens through it.
Failure FollowOutputLink(FilePath& path) {
    const DWORD attributes = GetFileAttributesW(path.system.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {};
    }
    const UniqueHandle target = OpenForAttributes(path.system);
    std::wstring final(32768, L'\0');
    const DWORD length = target ? GetFinalPathNameByHandleW(target.Get(), final.data(),
                                                            static_cast<DWORD>(final.size()), 0)
                                : 0;
    if (length == 0 || length >= final.size()) return DanglingLink(path, "a missing file");
    final.resize(length);
    path.system = final;
    return {};
}

UniqueHandle OpenForAttributes(const std::wstring& systemPath) {
    // Folders open too, with backup semantics.
    return UniqueHandle(CreateFileW(systemPath.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

void HoldFoldersOf(const std::vector<FilePath*>&) {}
void HoldFolder(FilePath&) {}

Failure InFolder(const FilePath& folder, const std::string& name, FilePath& child) {
    child.shown = Joined(folder.shown, "/", name);
    child.system = Joined(folder.system, L"\\", FromUtf8(name));
    return CheckWindowsName(child);
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

Failure ListFolderNames(const FilePath& folder, std::vector<std::string>& names) {
    const std::wstring pattern = Joined<std::wstring>(folder.system, L"\\", L"*");
    WIN32_FIND_DATAW found{};
    const HANDLE first = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                          FindExSearchNameMatch, nullptr, 0);
    if (first == INVALID_HANDLE_VALUE) return CannotRead(folder.shown, GetLastError());
    const std::unique_ptr<void, FindCloser> find(first);
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(ToUtf8(name));
    } while (FindNextFileW(first, &found));
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_FILES ? Failure{} : CannotRead(folder.shown, error);
}

// The Windows program's side of cli/platform/folder_names.h.

#include <windows.h>

#include <memory>

#include "cli/platform/folder_names.h"
#include "cli/platform/windows/windows_files.h"
#include "loader/win32_text.h"

namespace {

struct FindCloser {
    void operator()(HANDLE find) const { FindClose(find); }
};

}  // namespace

Failure ListFolderNames(const FilePath& folder, std::vector<std::string>& names) {
    std::wstring pattern = folder.system;
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
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

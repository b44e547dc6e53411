#include "cli/config_file.h"

#include <windows.h>

#include <cstring>

#include "cli/text.h"

Failure ReadConfigFile(const std::wstring& path, FilterConfig& config) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {kExitBadInput, DisplayPath(path) + L": cannot open: " + ErrorText(GetLastError())};
    }
    unsigned char block[sizeof(FilterConfig) + 1];
    DWORD read = 0;
    const BOOL ok = ReadFile(file, block, sizeof block, &read, nullptr);
    CloseHandle(file);
    if (!ok || read != sizeof(FilterConfig)) {
        return {kExitBadInput, DisplayPath(path) + L": not an 8-byte configuration block"};
    }
    std::memcpy(&config, block, sizeof(FilterConfig));
    return {};
}

Failure WriteConfigFile(const std::wstring& path, const FilterConfig& config) {
    const std::wstring temporary =
        path + L"." + std::to_wstring(GetCurrentProcessId()) + L".braidel-tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {kExitNotWritten,
                DisplayPath(path) + L": not written: " + ErrorText(GetLastError())};
    }
    DWORD written = 0;
    BOOL ok = WriteFile(file, &config, sizeof config, &written, nullptr);
    DWORD error = GetLastError();
    ok = CloseHandle(file) && ok && written == sizeof config;
    if (ok && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = FALSE;
        error = GetLastError();
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        return {kExitNotWritten, DisplayPath(path) + L": not written: " + ErrorText(error)};
    }
    return {};
}

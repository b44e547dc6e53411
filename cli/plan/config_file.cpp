#include "cli/plan/config_file.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <span>

#include "cli/plan/names.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/text.h"
#include "hosting/unique_handle.h"

Failure ReadConfigFile(const FilePath& path, FilterConfig& config) {
    const DWORD attributes = GetFileAttributesW(path.system.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {kExitBadInput, path.shown + L": is a folder, not a configuration block"};
    }
    UniqueHandle file(CreateFileW(path.system.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {kExitBadInput, path.shown + L": cannot open: " + ErrorText(GetLastError())};
    }
    unsigned char block[sizeof(FilterConfig) + 1];
    DWORD read = 0;
    if (!ReadFile(file.Get(), block, sizeof block, &read, nullptr) ||
        read != sizeof(FilterConfig)) {
        return {kExitBadInput, path.shown + L": not an 8-byte configuration block"};
    }
    std::memcpy(&config, block, sizeof(FilterConfig));
    return {};
}

// Only a configuration block is ever replaced: a forgotten value after --save-config would
// otherwise turn the next argument, an image perhaps, into 8 bytes.
Failure WriteConfigFile(const FilePath& path, const FilterConfig& config) {
    const DWORD attributes = GetFileAttributesW(path.system.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        FilterConfig existing;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || ReadConfigFile(path, existing)) {
            return {kExitNotWritten, path.shown +
                                         L": exists and is not a configuration block; not "
                                         L"replaced"};
        }
    }
    return WriteWholeFile(path, std::as_bytes(std::span(&config, 1)));
}

Failure CheckConfig(const FilterConfig& config) {
    if (!IsDefinedKernel(config.mode)) {
        return {kExitRenderFailed, L"the configuration selects no kernel: mode " +
                                       std::to_wstring(config.mode) + L" (" + NumberedModes() +
                                       L")"};
    }
    if (!IsDefinedField(config.field)) {
        return {kExitRenderFailed, L"the configuration selects no field: field " +
                                       std::to_wstring(config.field) + L" (" + NumberedFields() +
                                       L")"};
    }
    return {};
}

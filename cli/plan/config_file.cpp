#include "cli/plan/config_file.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <span>

#include "cli/plan/names.h"
#include "cli/platform/file_io.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/text.h"
#include "hosting/unique_handle.h"

Failure ReadConfigFile(const FilePath& path, FilterConfig& config) {
    const DWORD attributes = GetFileAttributesW(path.system.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {FailureCode::BadInput, path.shown + ": is a folder, not a configuration block"};
    }
    const UniqueHandle file = OpenToRead(path);
    if (!file) return CannotRead(path.shown, GetLastError());
    std::byte block[sizeof(FilterConfig) + 1];
    std::size_t read = 0;
    if (Failure failure = ReadAll(file.Get(), block, path.shown, read)) return failure;
    if (read != sizeof(FilterConfig)) {
        return {FailureCode::BadInput, path.shown + ": not an 8-byte configuration block"};
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
            return {FailureCode::NotWritten, path.shown +
                                                 ": exists and is not a configuration block; not "
                                                 "replaced"};
        }
    }
    return WriteWholeFile(path, std::as_bytes(std::span(&config, 1)));
}

Failure CheckConfig(const FilterConfig& config) {
    if (!IsDefinedKernel(config.mode)) {
        return {FailureCode::RenderFailed, "the configuration selects no kernel: mode " +
                                               std::to_string(config.mode) + " (" +
                                               NumberedModes() + ")"};
    }
    if (!IsDefinedField(config.field)) {
        return {FailureCode::RenderFailed, "the configuration selects no field: field " +
                                               std::to_string(config.field) + " (" +
                                               NumberedFields() + ")"};
    }
    return {};
}

#include "cli/plan/config_file.h"

#include <cstddef>
#include <cstring>
#include <span>

#include "cli/plan/arguments.h"
#include "cli/plan/names.h"
#include "cli/platform/file_io.h"
#include "cli/platform/pending_file.h"
#include "cli/platform/text.h"
#include "cli/render/cancellation.h"

namespace {

// The block from an open file or stream: exactly its 8 bytes. A pipe is read a byte at a time,
// each after a wait that a stop ends, since its writer may never write or close it.
Failure ReadBlock(FileHandle handle, const std::string& name, FilterConfig& config) {
    std::byte block[sizeof(FilterConfig) + 1];
    std::size_t read = 0;
    if (!MayBlock(handle)) {
        if (Failure failure = ReadAll(handle, block, name, read)) return failure;
    }
    for (std::size_t got = 1; MayBlock(handle) && read < sizeof block && got == 1; read += got) {
        const auto stopWanted = [] { return AbortRequested().load(); };
        if (Failure failure = WaitReadable(handle, name, stopWanted)) return failure;
        if (Failure failure = ReadAll(handle, std::span(block + read, 1), name, got)) {
            return failure;
        }
    }
    if (read != sizeof(FilterConfig)) {
        return {FailureCode::BadInput, name + ": not an 8-byte configuration block"};
    }
    std::memcpy(&config, block, sizeof(FilterConfig));
    return {};
}

}  // namespace

Failure ReadConfigFile(const FilePath& path, FilterConfig& config) {
    if (IsStandardStream(path.shown)) {
        FileHandle input = OwnedFile::None();
        if (Failure failure = StandardStream(StandardStreamId::Input, input)) return failure;
        return ReadBlock(input, StandardStreamName(StandardStreamId::Input), config);
    }
    if (IsFolder(path)) {
        return {FailureCode::BadInput, path.shown + ": is a folder, not a configuration block"};
    }
    OwnedFile file;
    if (Failure failure = OpenToRead(path, file)) return failure;
    return ReadBlock(file.Get(), path.shown, config);
}

// Only a configuration block is ever replaced: a forgotten value after --save-config would
// otherwise turn the next argument, an image perhaps, into 8 bytes.
Failure WriteConfigFile(const FilePath& path, const FilterConfig& config) {
    const auto bytes = std::as_bytes(std::span(&config, 1));
    if (IsStandardStream(path.shown)) {
        FileHandle output = OwnedFile::None();
        if (Failure failure = StandardStream(StandardStreamId::Output, output)) return failure;
        bool readerGone = false;
        return WriteAll(output, bytes, StandardStreamName(StandardStreamId::Output), readerGone);
    }
    if (Exists(path)) {
        FilterConfig existing;
        if (IsFolder(path) || ReadConfigFile(path, existing)) {
            return {FailureCode::NotWritten, path.shown +
                                                 ": exists and is not a configuration block; not "
                                                 "replaced"};
        }
    }
    return WriteWholeFile(path, bytes);
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

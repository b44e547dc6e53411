#include "cli/platform/pending_file.h"

#include <cstdio>

#include "cli/platform/system_answers.h"

std::string TemporaryName() {
    char name[32];
    std::snprintf(name, sizeof name, ".braidel-%016llx.tmp",
                  static_cast<unsigned long long>(RandomBits()));
    return name;
}

Failure WritePending(const FilePath& destination, std::span<const std::byte> bytes,
                     std::unique_ptr<PendingFile>& file) {
    if (Failure failure = PendingFile::Create(destination, file)) return failure;
    return file->Write(bytes);
}

Failure WriteWholeFile(const FilePath& destination, std::span<const std::byte> bytes) {
    std::unique_ptr<PendingFile> pending;
    if (Failure failure = WritePending(destination, bytes, pending)) return failure;
    return pending->Commit();
}

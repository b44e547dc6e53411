#include "cli/platform/pending_file.h"

Failure WriteWholeFile(const FilePath& destination, std::span<const std::byte> bytes) {
    std::unique_ptr<PendingFile> pending;
    if (Failure failure = PendingFile::Create(destination, pending)) return failure;
    if (Failure failure = pending->Write(bytes)) return failure;
    return pending->Commit();
}

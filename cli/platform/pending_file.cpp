#include "cli/platform/pending_file.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstdio>

#include "cli/platform/caller_permissions.h"
#include "cli/platform/text.h"
#include "cli/platform/wine.h"

namespace {

// 64 random bits from the system's generator, as 16 hex digits: a name nobody can guess.
bool RandomName(std::wstring& name) {
    unsigned int parts[2];
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(parts), sizeof parts,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        return false;
    }
    wchar_t text[32];
    swprintf(text, 32, L".braidel-%08x%08x.tmp", parts[0], parts[1]);
    name = text;
    return true;
}

}  // namespace

PendingFile::PendingFile(FilePath destination, std::wstring temporary, UniqueHandle file)
    : destination_(std::move(destination)),
      temporary_(std::move(temporary)),
      file_(std::move(file)) {}

Failure PendingFile::Create(const FilePath& destination, std::unique_ptr<PendingFile>& pending) {
    const std::wstring folder = FolderOf(destination);
    // A name that exists already, a planted link included, is never opened: another name is
    // drawn instead.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::wstring name;
        if (!RandomName(name)) break;
        const std::wstring temporary = folder + name;
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return {kExitNotWritten,
                    destination.shown + L": not written: " + ErrorText(GetLastError())};
        }
        std::unique_ptr<PendingFile> created(
            new PendingFile(destination, temporary, std::move(file)));
        if (!ApplyCallerPermissions(created->file_.Get())) {
            return {kExitNotWritten,
                    destination.shown + L": not written: its permissions could not be set"};
        }
        pending = std::move(created);
        return {};
    }
    return {kExitNotWritten, destination.shown + L": not written: no temporary file name"};
}

// Removed through its own handle while it is open, so that only the file this run created can
// go, whatever its name meanwhile leads to.
PendingFile::~PendingFile() {
    if (committed_) return;
    if (file_) {
        FILE_DISPOSITION_INFO dispose{TRUE};
        SetFileInformationByHandle(file_.Get(), FileDispositionInfo, &dispose, sizeof dispose);
        file_.Close();
        return;
    }
    DeleteFileW(temporary_.c_str());
}

namespace {

// Why a write or its completion failed. Wine reports a write past the file-size limit as a
// general failure.
std::wstring NotWrittenReason(unsigned long error) {
    if (const std::optional<std::uint64_t> limit = wine::FileSizeLimit();
        limit && error == ERROR_GEN_FAILURE) {
        return L"larger than the file-size limit (ulimit -f) of " + std::to_wstring(*limit) +
               L" bytes";
    }
    return ErrorText(error);
}

}  // namespace

Failure PendingFile::NotWritten(unsigned long error) const {
    return {kExitNotWritten, destination_.shown + L": not written: " + NotWrittenReason(error)};
}

Failure PendingFile::Write(std::span<const std::byte> bytes) {
    bool readerGone = false;
    return WriteAll(file_.Get(), bytes, destination_.shown, readerGone);
}

Failure WriteAll(HANDLE handle, std::span<const std::byte> bytes, const std::wstring& name,
                 bool& readerGone) {
    // One call moves at most 1 GiB: the count is a DWORD.
    constexpr std::size_t kLargestWrite = std::size_t{1} << 30;
    readerGone = false;
    while (!bytes.empty()) {
        const auto chunk = static_cast<DWORD>(std::min(bytes.size(), kLargestWrite));
        DWORD written = 0;
        const bool ok = WriteFile(handle, bytes.data(), chunk, &written, nullptr) != 0;
        if (!ok || written == 0) {
            const DWORD error = ok ? ERROR_WRITE_FAULT : GetLastError();
            readerGone = IsPipeClosed(error);
            return {kExitNotWritten, name + L": not written: " + NotWrittenReason(error)};
        }
        bytes = bytes.subspan(written);
    }
    return {};
}

bool IsPipeClosed(unsigned long error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
           error == ERROR_PIPE_NOT_CONNECTED;
}

Failure PendingFile::Commit() {
    if (!FlushFileBuffers(file_.Get())) return NotWritten(GetLastError());
    if (!file_.Close()) return NotWritten(GetLastError());
    if (!MoveFileExW(temporary_.c_str(), destination_.system.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return NotWritten(GetLastError());
    }
    committed_ = true;
    return {};
}

Failure WriteWholeFile(const FilePath& destination, std::span<const std::byte> bytes) {
    std::unique_ptr<PendingFile> pending;
    if (Failure failure = PendingFile::Create(destination, pending)) return failure;
    if (Failure failure = pending->Write(bytes)) return failure;
    return pending->Commit();
}

#include "cli/platform/pending_file.h"

#include <windows.h>

#include <bcrypt.h>

#include "cli/platform/file_io.h"
#include "cli/platform/system_answers.h"
#include "cli/platform/windows/windows_files.h"
#include "loader/unique_handle.h"
#include "loader/win32_text.h"

std::uint64_t RandomBits() {
    std::uint64_t bits = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits,
                        BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        bits = GetTickCount64() ^ (std::uint64_t{GetCurrentProcessId()} << 32);
    }
    return bits;
}

namespace {

// A temporary file of this process, removed unless it is committed.
class WindowsPendingFile final : public PendingFile {
  public:
    WindowsPendingFile(FilePath destination, std::wstring temporary, UniqueHandle file)
        : destination_(std::move(destination)),
          temporary_(std::move(temporary)),
          file_(std::move(file)) {}

    // Removed through its own handle while it is open, so that only the file this run created
    // can go, whatever its name meanwhile leads to.
    ~WindowsPendingFile() override {
        if (committed_) return;
        if (file_) {
            FILE_DISPOSITION_INFO dispose{TRUE};
            SetFileInformationByHandle(file_.Get(), FileDispositionInfo, &dispose, sizeof dispose);
            file_.Close();
            return;
        }
        DeleteFileW(temporary_.c_str());
    }

    Failure Write(std::span<const std::byte> bytes) override {
        bool readerGone = false;
        return WriteAll(file_.Get(), bytes, destination_.shown, readerGone);
    }

    Failure Commit() override {
        if (!FlushFileBuffers(file_.Get()) || !file_.Close() ||
            !MoveFileExW(temporary_.c_str(), destination_.system.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return NotWritten(destination_.shown, GetLastError());
        }
        committed_ = true;
        return {};
    }

  private:
    FilePath destination_;
    std::wstring temporary_;
    UniqueHandle file_;
    bool committed_ = false;
};

}  // namespace

Failure PendingFile::Create(const FilePath& destination, std::unique_ptr<PendingFile>& pending) {
    const std::wstring folder = FolderOf(destination);
    // A name that exists already, a planted link included, is never opened: another name is
    // drawn instead.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::wstring temporary = folder + FromUtf8(TemporaryName());
        UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS)
                continue;
            return NotWritten(destination.shown, GetLastError());
        }
        pending = std::make_unique<WindowsPendingFile>(destination, temporary, std::move(file));
        return {};
    }
    return {FailureCode::NotWritten, destination.shown + ": not written: no temporary file name"};
}

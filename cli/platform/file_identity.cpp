#include "cli/platform/file_identity.h"

#include <windows.h>

#include <cstring>

#include "hosting/unique_handle.h"

namespace {

// FILE_ID_INFO and its class, which the headers offer only to Windows 8 targets; Windows 7
// refuses the class and the volume serial and 64-bit index are taken instead.
struct FileIdRecord {
    ULONGLONG volumeSerialNumber;
    BYTE fileId[16];
};
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

}  // namespace

std::optional<FileIdentity> IdentityOf(const FilePath& path) {
    // No access rights needed; folders open too, with backup semantics.
    UniqueHandle file(CreateFileW(path.system.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return std::nullopt;
    FileIdentity identity;
    FileIdRecord id{};
    if (GetFileInformationByHandleEx(file.Get(), kFileIdInfo, &id, sizeof id)) {
        identity.volume = id.volumeSerialNumber;
        std::memcpy(identity.index.data(), id.fileId, identity.index.size());
        return identity;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.Get(), &info)) return std::nullopt;
    identity.volume = info.dwVolumeSerialNumber;
    const uint64_t index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    std::memcpy(identity.index.data(), &index, sizeof index);
    return identity;
}

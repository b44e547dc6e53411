#include "cli/platform/file_identity.h"

#include <cstring>
#include <cwctype>

#include "cli/platform/system_answers.h"
#include "cli/platform/windows/windows_files.h"
#include "loader/unique_handle.h"
#include "loader/win32_text.h"

namespace {

// FILE_ID_INFO and its class, which the headers offer only to Windows 8 targets; Windows 7
// refuses the class and the volume serial and 64-bit index are taken instead.
struct FileIdRecord {
    ULONGLONG volumeSerialNumber;
    BYTE fileId[16];
};
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

std::optional<FileIdentity> IdentityOfHandle(HANDLE file) {
    FileIdentity identity;
    FileIdRecord id{};
    if (GetFileInformationByHandleEx(file, kFileIdInfo, &id, sizeof id)) {
        identity.volume = id.volumeSerialNumber;
        std::memcpy(identity.index.data(), id.fileId, identity.index.size());
        return identity;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)) return std::nullopt;
    identity.volume = info.dwVolumeSerialNumber;
    const uint64_t index = (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    std::memcpy(identity.index.data(), &index, sizeof index);
    return identity;
}

std::optional<FileIdentity> IdentityOfOpened(const std::wstring& systemPath) {
    const UniqueHandle file = OpenForAttributes(systemPath);
    return file ? IdentityOfHandle(file.Get()) : std::nullopt;
}

// The name a new file gets in its folder, in a form that ignores case as Windows does.
std::wstring NewNameKey(const FilePath& path) {
    std::wstring name = path.system.substr(path.system.find_last_of(L"\\/") + 1);
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towlower(c));
    return name;
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// The short name the system generates for a long name: asked of the system itself, through an
// empty file of that name in a folder of our own under the temporary folder, both removed at
// once. Empty when it cannot be asked.
std::wstring GeneratedShortName(const std::wstring& name) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    const std::wstring folder = std::wstring(temp) + L"braidel-short-names-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetCurrentThreadId());
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return {};
    const std::wstring path = folder + L"\\" + name;
    std::wstring shortName;
    {
        const UniqueHandle probe(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        wchar_t shortPath[MAX_PATH * 2];
        const DWORD got = probe ? GetShortPathNameW(path.c_str(), shortPath, MAX_PATH * 2) : 0;
        if (got > 0 && got < MAX_PATH * 2) {
            const std::wstring whole(shortPath, got);
            shortName = whole.substr(whole.find_last_of(L"\\/") + 1);
        }
    }
    RemoveDirectoryW(folder.c_str());
    return shortName;
}

// Whether `shortName` is the short name generated for `name`. Only a name with a tilde can be
// one, so only then is the system asked.
bool IsShortNameOf(const std::wstring& shortName, const std::wstring& name) {
    if (shortName.find(L'~') == std::wstring::npos || SameIgnoringCase(shortName, name)) {
        return false;
    }
    const std::wstring generated = GeneratedShortName(name);
    return !generated.empty() && SameIgnoringCase(generated, shortName);
}

}  // namespace

std::optional<FileIdentity> IdentityOf(const FilePath& path) {
    if (std::optional<FileIdentity> identity = IdentityOfOpened(path.system)) return identity;
    std::optional<FileIdentity> folder = IdentityOfOpened(FolderOf(path));
    if (!folder) return std::nullopt;
    folder->newName = NewNameKey(path);
    return folder;
}

std::optional<FileIdentity> IdentityOf(StandardStreamId which) {
    const HANDLE file = StandardHandle(which);
    if (!OwnedFile::IsOpen(file) || GetFileType(file) != FILE_TYPE_DISK) {
        return std::nullopt;
    }
    return IdentityOfHandle(file);
}

const char* NewNamesRule() {
    return " (for Windows, names that differ only in case or by a short form are one)";
}

bool NewNamesAreOne(const std::wstring& a, const std::wstring& b) {
    return SameIgnoringCase(a, b) || IsShortNameOf(a, b) || IsShortNameOf(b, a);
}

namespace {

// The full path, as Windows makes it of every name it opens (the current folder, "." and ".."
// taken by their text), with case ignored: two spellings of one new file give one key.
std::wstring FullPath(const std::wstring& path) {
    std::wstring full(32768, L'\0');
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return full;
}

}  // namespace

std::string NewFileKey(const FilePath& path) {
    std::wstring key = FullPath(path.system);
    for (wchar_t& c : key) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    return ToUtf8(key);
}

bool NewFileKeysAreOne(const std::string& a, const std::string& b) {
    const std::size_t slashA = a.find_last_of("\\/");
    const std::size_t slashB = b.find_last_of("\\/");
    if (slashA == std::string::npos || slashB == std::string::npos) return a == b;
    return a.compare(0, slashA, b, 0, slashB) == 0 &&
           NewNamesAreOne(FromUtf8(a.substr(slashA + 1)), FromUtf8(b.substr(slashB + 1)));
}

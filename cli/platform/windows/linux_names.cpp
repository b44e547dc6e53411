#include "cli/platform/windows/linux_names.h"

#include <windows.h>

#include <string>

#include "cli/platform/name_lengths.h"
#include "cli/platform/windows/windows_files.h"
#include "cli/platform/windows/wine.h"
#include "loader/unique_handle.h"
#include "loader/win32_text.h"

namespace {

// An output is first written beside itself as ".braidel-<16 hex digits>.tmp".
constexpr std::size_t kTemporaryName = 29;

Failure Refused(const FilePath& path, const std::string& why) {
    return {FailureCode::Usage, path.shown + ": " + why + "; nothing written"};
}

// A Unix path as the caller sees it: relative to the launcher's folder when inside it.
std::string ShownUnixPath(const std::string& unixPath) {
    const char* launcherFolder = wine::LauncherFolder();
    const std::string folder = launcherFolder == nullptr ? "" : std::string(launcherFolder) + "/";
    if (!folder.empty() && unixPath.rfind(folder, 0) == 0) return unixPath.substr(folder.size());
    return unixPath;
}

std::string CharacterWindowsRefuses(const std::string& unixPath) {
    for (const char c : unixPath) {
        if (std::string_view("*?<>|\"").find(c) != std::string_view::npos)
            return std::string(1, static_cast<char>(c));
    }
    return {};
}

bool HasControlCharacter(const std::string& unixPath) {
    for (const char c : unixPath) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    }
    return false;
}

// What Windows opens under the Windows form of `unixPath`, as a Unix path; empty when nothing.
std::string WhatWindowsOpens(const std::string& unixPath) {
    std::wstring windows;
    if (!wine::WindowsPathOf(unixPath, windows)) return {};
    const UniqueHandle file = OpenForAttributes(windows);
    return file ? wine::UnixPathOf(file.Get()) : std::string();
}

// The first missing name of the path, from the end, that Windows finds as another file: Wine
// opens an existing exact name first, so only missing names can be taken for others.
std::string AliasedFile(const std::string& unixPath, std::string& alias) {
    std::string current = unixPath;
    while (current.size() > 1 && !wine::StatusOf(current)) {
        const std::string other = WhatWindowsOpens(current);
        if (!other.empty()) {
            alias = current;
            return other;
        }
        current.resize(current.find_last_of('/'));
        if (current.empty()) break;
    }
    return {};
}

std::string Slashed(std::string text) {
    for (char& c : text) c = c == '\\' ? '/' : c;
    return text;
}

}  // namespace

Failure CheckLinuxName(const FilePath& path) {
    const std::string& unixPath = path.unixPath;
    if (unixPath.empty()) return {};
    if (path.shown.find('\\') != std::string::npos) {
        return Refused(path, "Windows reads \\ as a folder separator, so this name would mean " +
                                 Slashed(path.shown) + "; rename the file");
    }
    if (const std::string bad = CharacterWindowsRefuses(unixPath); !bad.empty()) {
        return Refused(path, "Windows cannot name a file with " + bad + " in it");
    }
    if (HasControlCharacter(unixPath)) {
        return Refused(path, "Windows cannot name a file with a control character in it");
    }
    if (Failure failure = CheckLinuxNameLengths(unixPath, path.shown)) return failure;
    // Outputs take a temporary file beside them first; inputs are held to the same length.
    const std::size_t length =
        std::max(unixPath.size(), unixPath.find_last_of('/') + 1 + kTemporaryName);
    if (length > wine::LongestUnixPath()) {
        return Refused(path, "the full path (or a temporary file beside it) has " +
                                 std::to_string(length) + " bytes, more than the " +
                                 std::to_string(wine::LongestUnixPath()) +
                                 " that Wine can open here");
    }
    std::string alias;
    const std::string other = AliasedFile(unixPath, alias);
    if (other.empty()) return {};
    return Refused(
        path,
        "Windows would take " + ShownUnixPath(alias) + " for " + ShownUnixPath(other) +
            ", another file (Windows names ignore case and trailing dots and spaces, and have "
            "short forms)");
}

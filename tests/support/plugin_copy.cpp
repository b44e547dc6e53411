#include "tests/support/plugin_copy.h"

#include <stdexcept>

namespace {

void CreateFolders(const std::wstring& filePath) {
    for (std::size_t at = filePath.find_first_of(L"\\/", 3); at != std::wstring::npos;
         at = filePath.find_first_of(L"\\/", at + 1)) {
        CreateDirectoryW(filePath.substr(0, at).c_str(), nullptr);
    }
}

// Copies Braidel.flt to `path` and returns the path, so the library can load the copy.
std::wstring CopiedPlugin(std::wstring path) {
    CreateFolders(path);
    if (!CopyFileW(PathBesideProgram(L"Braidel.flt").c_str(), path.c_str(), FALSE)) {
        throw std::runtime_error("Braidel.flt could not be copied");
    }
    return path;
}

}  // namespace

PluginCopy::PluginCopy(const std::wstring& relativePath)
    : PluginLibrary(CopiedPlugin(PathBesideProgram(relativePath.c_str()))) {
    if (!Loaded()) throw std::runtime_error(LoadFailure().reason);
}

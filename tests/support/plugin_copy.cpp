#include "tests/support/plugin_copy.h"

#include <stdexcept>

namespace {

void CreateFolders(const std::wstring& filePath) {
    for (std::size_t at = filePath.find_first_of(L"\\/", 3); at != std::wstring::npos;
         at = filePath.find_first_of(L"\\/", at + 1)) {
        CreateDirectoryW(filePath.substr(0, at).c_str(), nullptr);
    }
}

}  // namespace

PluginCopy::PluginCopy(const std::wstring& relativePath)
    : path_(PathBesideProgram(relativePath.c_str())) {
    CreateFolders(path_);
    if (!CopyFileW(PathBesideProgram(L"Braidel.flt").c_str(), path_.c_str(), FALSE)) {
        throw std::runtime_error("Braidel.flt could not be copied");
    }
    module_ = LoadLibraryW(path_.c_str());
    if (module_ == nullptr) throw std::runtime_error("the copy of Braidel.flt did not load");
}

PluginCopy::~PluginCopy() {
    Unload();
}

void PluginCopy::Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

ClassDesc* PluginCopy::Descriptor() const {
    auto libClassDesc = reinterpret_cast<ClassDesc* (*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "LibClassDesc")));
    if (libClassDesc == nullptr) throw std::runtime_error("the copy has no LibClassDesc");
    return libClassDesc(0);
}

FilterPtr PluginCopy::CreateFilter() const {
    return FilterPtr(static_cast<ImageFilter*>(Descriptor()->Create(0)));
}

#include "tests/support/plugin_library.h"

#include <iterator>
#include <stdexcept>
#include <string>

std::wstring PathBesideProgram(const wchar_t* fileName) {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring folder(path, length);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    return folder + fileName;
}

PluginLibrary::PluginLibrary() : module_(LoadLibraryW(PathBesideProgram(L"Braidel.flt").c_str())) {
    if (module_ == nullptr) throw std::runtime_error("Braidel.flt could not be loaded");
}

PluginLibrary::~PluginLibrary() {
    FreeLibrary(module_);
}

ClassDesc* PluginLibrary::Descriptor() const {
    auto libClassDesc = Export<ClassDesc* (*)(int)>("LibClassDesc");
    if (libClassDesc == nullptr) throw std::runtime_error("Braidel.flt has no LibClassDesc");
    return libClassDesc(0);
}

FilterPtr PluginLibrary::CreateFilter() const {
    return FilterPtr(static_cast<ImageFilter*>(Descriptor()->Create(0)));
}

PluginLibrary& Plugin() {
    static PluginLibrary library;
    return library;
}

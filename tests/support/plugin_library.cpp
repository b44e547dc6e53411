#include "tests/support/plugin_library.h"

#include <stdexcept>
#include <string>

PluginLibrary::PluginLibrary(const std::wstring& path)
    : path_(path), module_(LoadLibraryW(path.c_str())) {
    if (module_ == nullptr) throw std::runtime_error("Braidel.flt could not be loaded");
}

PluginLibrary::~PluginLibrary() {
    Unload();
}

void PluginLibrary::Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
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

#include "loader/plugin_library.h"

#include "loader/win32_text.h"

std::wstring PathBesideProgram(const wchar_t* fileName) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.erase(path.find_last_of(L"\\/") + 1) + fileName;
}

PluginLibrary::PluginLibrary(const std::wstring& path)
    : path_(path), module_(LoadLibraryW(path.c_str())) {
    if (module_ == nullptr) {
        Refuse("the plug-in could not be loaded: " + ErrorText(GetLastError()));
    } else if (!Check()) {
        descriptor_ = nullptr;
    }
}

PluginLibrary::~PluginLibrary() {
    Unload();
}

void PluginLibrary::Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
    descriptor_ = nullptr;
}

// The answers a host asks for before it trusts a library: its version, its class count and an
// image-filter class descriptor at index 0.
bool PluginLibrary::Check() {
    auto version = Export<ULONG (*)()>("LibVersion");
    auto classCount = Export<int (*)()>("LibNumberClasses");
    auto classDesc = Export<ClassDesc* (*)(int)>("LibClassDesc");
    if (version == nullptr || classCount == nullptr || classDesc == nullptr ||
        Export<const wchar_t* (*)()>("LibDescription") == nullptr) {
        Refuse("not an image-filter plug-in (exports missing)");
        return false;
    }
    version_ = version();
    if (classCount() < 1 || (descriptor_ = classDesc(0)) == nullptr ||
        descriptor_->SuperClassID() != kFilterSuperClassId) {
        Refuse("the plug-in offers no image-filter class");
        return false;
    }
    return true;
}

void PluginLibrary::Refuse(const std::string& why) {
    failure_ = {FailureCode::RenderFailed, ToUtf8(path_) + ": " + why};
}

std::string PluginLibrary::Description() const {
    auto description = Export<const wchar_t* (*)()>("LibDescription");
    const wchar_t* text = description != nullptr ? description() : nullptr;
    return text != nullptr ? ToUtf8(text) : std::string();
}

FilterPtr PluginLibrary::CreateFilter() const {
    if (descriptor_ == nullptr) return nullptr;
    return FilterPtr(static_cast<ImageFilter*>(descriptor_->Create(0)));
}

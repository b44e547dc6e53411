#include "standin/run/plugin_host.h"

#include "standin/run/text.h"

namespace {

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

PluginHost::~PluginHost() {
    if (module_ != nullptr) FreeLibrary(module_);
}

bool PluginHost::Load(std::wstring& error) {
    const std::wstring path = PathBesideProgram(L"Braidel.flt");
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr) {
        error = path + L": the plug-in could not be loaded: " + ErrorText(GetLastError());
        return false;
    }
    auto version = Export<ULONG (*)()>(module_, "LibVersion");
    auto classCount = Export<int (*)()>(module_, "LibNumberClasses");
    auto classDesc = Export<ClassDesc* (*)(int)>(module_, "LibClassDesc");
    description_ = Export<const wchar_t* (*)()>(module_, "LibDescription");
    if (version == nullptr || classCount == nullptr || classDesc == nullptr) {
        error = path + L": not an image-filter plug-in (exports missing)";
        return false;
    }
    version_ = version();
    if (classCount() < 1 || (descriptor_ = classDesc(0)) == nullptr ||
        descriptor_->SuperClassID() != kFilterSuperClassId) {
        error = path + L": the plug-in offers no image-filter class";
        return false;
    }
    return true;
}

std::wstring PluginHost::Description() const {
    const wchar_t* text = description_ != nullptr ? description_() : nullptr;
    return text != nullptr ? text : L"";
}

FilterPtr PluginHost::CreateFilter() const {
    return FilterPtr(static_cast<ImageFilter*>(descriptor_->Create(0)));
}

#include "plugin/braideled_class_desc.h"

#include <cstdlib>
#include <new>

#include "filter/braideled_compositor.h"
#include "host/heap.h"

namespace {

inline constexpr Class_ID kBraideledClassId{0x61CB177A, 0x33790CC2};
inline constexpr const wchar_t* kClassName = L"Stereo Braidel Filter";

BraideledClassDesc classDesc;

// Registered with the module's exit list, so it runs when the library unloads.
const int releaseAtUnload = std::atexit([] { classDesc.ReleaseInterfaceTable(); });

}  // namespace

BraideledClassDesc& TheClassDesc() {
    return classDesc;
}

int BraideledClassDesc::IsPublic() {
    return 1;
}

// The host owns the filter from here on and deletes it through its virtual destructor,
// which returns the memory to the host's heap.
void* BraideledClassDesc::Create(int) {
    ImageFilter* filter = new (std::nothrow) BraideledCompositor;
    return filter;
}

const wchar_t* BraideledClassDesc::ClassName() {
    return kClassName;
}
const wchar_t* BraideledClassDesc::NonLocalizedClassName() {
    return kClassName;
}
SClass_ID BraideledClassDesc::SuperClassID() {
    return kFilterSuperClassId;
}
Class_ID BraideledClassDesc::ClassID() {
    return kBraideledClassId;
}
const wchar_t* BraideledClassDesc::Category() {
    return L"Image Filter";
}

void BraideledClassDesc::ReleaseInterfaceTable() {
    zfree(interfaces.StorageAddress());
    interfaces.ForgetStorage();
}

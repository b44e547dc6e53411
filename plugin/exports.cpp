// The functions the host's plug-in loader looks up by name.

#include <windows.h>

#include "plugin/braideled_class_desc.h"
#include "plugin/description.h"

#define BRAIDEL_EXPORT extern "C" __declspec(dllexport)

BRAIDEL_EXPORT const wchar_t* LibDescription() {
    return L"" BRAIDEL_PLUGIN_DESCRIPTION;
}

BRAIDEL_EXPORT int LibNumberClasses() {
    return 1;
}

BRAIDEL_EXPORT ClassDesc* LibClassDesc(int index) {
    return index == 0 ? &TheClassDesc() : nullptr;
}

// Host SDK release 26000, API level 64.
BRAIDEL_EXPORT ULONG LibVersion() {
    return 0x65904000;
}

BRAIDEL_EXPORT ULONG CanAutoDefer() {
    return 1;
}

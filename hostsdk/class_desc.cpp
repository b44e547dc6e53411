#include "host/class_desc.h"

ClassDesc::~ClassDesc() = default;

const wchar_t* ClassDesc::GetRsrcString(intptr_t) {
    return L"";
}

int ClassDesc::NumInterfaces() {
    return interfaces.Count();
}

void ClassDesc::AddInterface(FPInterface* fpi) {
    if (fpi != nullptr) interfaces.Append(fpi);
}

FPInterface* ClassDesc::GetInterface(int index) {
    return interfaces[index];
}

FPInterface* ClassDesc::GetInterface(Interface_ID id) {
    for (int i = 0; i < interfaces.Count(); ++i) {
        if (interfaces[i]->GetID() == id) return interfaces[i];
    }
    return nullptr;
}

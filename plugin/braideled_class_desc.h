#pragma once

#include "host/class_desc.h"

// The one class descriptor of this library: how the host finds and creates the filter.
class BraideledClassDesc final : public ClassDesc {
  public:
    int IsPublic() override;
    void* Create(int loading) override;
    const wchar_t* ClassName() override;
    const wchar_t* NonLocalizedClassName() override;
    SClass_ID SuperClassID() override;
    Class_ID ClassID() override;
    const wchar_t* Category() override;

    // Releases the (never filled) interface table; run once at unload.
    void ReleaseInterfaceTable();
};

// The module-wide descriptor, static from load to unload.
BraideledClassDesc& TheClassDesc();

#pragma once

#include <vector>

#include "hostsdk/instrumentation.h"

namespace hostsdk {

// Everything the stand-in host records, shared by its parts.
struct Records {
    int saveRequiredCalls = 0;
    int lastSaveRequiredFlag = 0;
    int centerWindowCalls = 0;
    bool recordLerp = false;
    std::vector<LerpCall> lerpCalls;
    int hostAllocationCountdown = 0;
    int hostAllocations = 0;
    int hostReleases = 0;
};

Records& TheRecords();

}  // namespace hostsdk

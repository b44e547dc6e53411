#pragma once

// What the stand-in host records and can be told to do, for tests. Only the SDK's test variant
// exports it (see CMakeLists.txt); the plain variant, like a real host, has none of this.

#include "host/host_api.h"

namespace hostsdk {

// SetSaveRequiredFlag: number of calls and the last flag passed.
HOSTSDK_API int SaveRequiredCallCount();
HOSTSDK_API int LastSaveRequiredFlag();

// CenterWindow: number of calls.
HOSTSDK_API int CenterWindowCallCount();

// ImageFilter::Lerp(int, int, int): calls are logged while recording is on.
struct LerpCall {
    int a;
    int b;
    int l;
    int result;
};
HOSTSDK_API void RecordLerpCalls(bool on);
HOSTSDK_API int LerpCallCount();
HOSTSDK_API LerpCall LerpCallAt(int index);

// HostHeapOperators: the allocation `countdown` calls from now fails (1: the next one);
// 0 cancels.
HOSTSDK_API void FailHostAllocation(int countdown);
HOSTSDK_API int HostAllocationCount();
HOSTSDK_API int HostReleaseCount();

// Clears every record and pending failure above.
HOSTSDK_API void ResetRecords();

}  // namespace hostsdk
